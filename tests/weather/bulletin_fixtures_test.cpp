// Real bulletins as received by radio and as relayed by a centre, through the
// scanner with the staged reference data: none may crash the scanner, and
// the counts of reports present, accepted and refused (with the reasons)
// are printed for the record.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "bulletin_fixture.h"
#include "support/TestEnv.h"
#include "weather/MessageFramer.h"
#include "weather/NavtexMessage.h"
#include "weather/TextModel.h"

namespace zeb::weather {
namespace {

using namespace test;

struct Counts {
    int present = 0;
    int accepted = 0;
    int refused = 0;
    int unknownStation = 0;
    int unknownHeading = 0;
    int badShip = 0;
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
    return os << c.present << " present, " << c.accepted << " accepted, " << c.refused
              << " refused (time), " << c.unknownStation << " unknown stations, "
              << c.unknownHeading << " unknown headings, " << c.badShip
              << " unreadable ship identifications";
}

// Line ends as the teleprinter sends them.
std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\r\r";
        out.push_back(c);
    }
    return out;
}

class BulletinFixtures : public ::testing::Test {
protected:
    void SetUp() override {
        shared_ = zeb::test::sharedData();
        if (!shared_) GTEST_SKIP() << "reference data absent";
        const std::filesystem::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
        auto loaded = loadWeatherData(suite / "DATA");
        if (!loaded) GTEST_SKIP() << "staged data: " << loaded.error().message;
        data_ = std::move(loaded).value();
    }

    Counts run(const std::string& text, TimeKey now) {
        RecordingOutput output;
        VectorStore store;
        TextScanner scanner(data_, output, &store);
        scanner.setClock([now] { return now; });
        feed(scanner, crlf(text));
        Counts c;
        c.accepted = scanner.accepted();
        c.refused = scanner.refused();
        c.unknownStation = scanner.errors(2);
        c.unknownHeading = scanner.errors(1);
        c.badShip = scanner.errors(0);
        for (const SynopRecord& r : store.records) {
            // Every stored record must describe and encode within bounds.
            EXPECT_LE(describeReport(r, true, data_.texts, ReportFormats::english()).size(),
                      kMaxDescription);
            EXPECT_EQ(decode(encode(r)), r);
        }
        return c;
    }

    bool fullStationList() const { return data_.stations.size() > 1000; }

    std::optional<std::filesystem::path> shared_;
    WeatherData data_;
};

TEST_F(BulletinFixtures, RelayedRomanianBulletinsDecode) {
    const auto dir = *shared_ / "fixtures" / "synop" / "synop2bufr";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << dir << " absent";
    Counts total;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        std::smatch m;
        if (!std::regex_search(name, m, std::regex("_C_EDZW_(\\d{4})(\\d{2})(\\d{2})"))) {
            continue;
        }
        const std::string body = zeb::test::readFile(entry.path());
        // The relayed file starts at the heading; the broadcast adds the frame.
        const TimeKey now = timeKey({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), 23, 0, 0});
        Counts c = run("ZCZC 001\n" + body + "\nNNNN\n", now);
        for (char ch : body) c.present += ch == '=' ? 1 : 0;
        std::cout << name << ": " << c << "\n";
        total.present += c.present;
        total.accepted += c.accepted;
        total.refused += c.refused;
        total.unknownStation += c.unknownStation;
    }
    std::cout << "synop2bufr total: " << total << "\n";
    if (fullStationList()) {
        EXPECT_GE(total.accepted * 10, total.present * 8);
    }
}

TEST_F(BulletinFixtures, EveryKindOfLineEndGivesTheSameRecordsAndText) {
    const auto file = *shared_ / "fixtures" / "synop" / "synop2bufr" /
                      "A_SMRO01YRBK211200_C_EDZW_20220321120500_12524785.txt";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " absent";
    std::string body;
    for (char c : zeb::test::readFile(file))
        if (c != '\r') body += c;
    const std::string text = "ZCZC 001\n" + body + "\nNNNN\n";
    std::optional<std::string> firstRecords, firstText;
    for (const std::string lineEnd : {"\r\r\n", "\r\n", "\n", "\r"}) {
        SCOPED_TRACE(::testing::PrintToString(lineEnd));
        std::string sent;
        for (char c : text) sent += c == '\n' ? lineEnd : std::string(1, c);
        RecordingOutput output;
        VectorStore store;
        TextScanner scanner(data_, output, &store);
        scanner.setClock([] { return timeKey({2022, 3, 21, 23, 0, 0}); });
        TextModel model{std::filesystem::path()};
        for (char c : sent) {
            model.text(std::string_view(&c, 1));
            scanner.character(static_cast<std::uint8_t>(c));
        }
        std::string records;
        for (const SynopRecord& r : store.records) {
            const auto bytes = encode(r);
            records.append(bytes.begin(), bytes.end());
        }
        EXPECT_GE(store.records.size(), 20u);
        if (!firstRecords) firstRecords = records, firstText = model.contents();
        EXPECT_EQ(records, *firstRecords);
        EXPECT_EQ(model.contents(), *firstText);
    }
}

TEST_F(BulletinFixtures, RadioCopiesWithGarblesDecodeWithoutHarm) {
    const auto file = *shared_ / "fixtures" / "synop" / "fldigi" / "synop_tool_test_inputs.txt";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " absent";
    const std::string all = zeb::test::readFile(file);
    // Blocks of the file, each a separate capture; those without a frame or
    // heading get a neutral one, as a broadcast would have sent, and a
    // section line when they have none.
    const std::regex header("### [^\n]*expected_msgs=(\\d+)\n");
    Counts total;
    int raw = 0, headed = 0;
    auto it = std::sregex_iterator(all.begin(), all.end(), header);
    for (; it != std::sregex_iterator(); ++it) {
        const auto start = it->position() + it->length();
        auto next = std::next(it);
        const auto end = next == std::sregex_iterator()
                             ? all.size()
                             : static_cast<std::size_t>(next->position());
        const std::string block = all.substr(start, end - start);
        std::string text = block, framed = block;
        if (block.find("ZCZC") == std::string::npos) {
            std::string head = "ZCZC 001\n";
            if (!std::regex_search(block, std::regex("(^|\n)[A-Z]{4}\\d{2} [A-Z]{4}")))
                head += "SMDL01 EDZW 010000\n";
            framed = head + block + "\nNNNN\n";
            if (block.find("AAXX") == std::string::npos && block.find("BBXX") == std::string::npos)
                head += "AAXX 01001\n";
            text = head + block + "\nNNNN\n";
        }
        const TimeKey now = timeKey({2026, 12, 31, 23, 0, 0});
        const Counts c = run(text, now);
        // As heard by a listener who tuned in late (the block alone), and
        // with the heading the broadcast would have sent before it.
        raw += run(block, now).accepted;
        headed += run(framed, now).accepted;
        total.present += std::stoi((*it)[1]);
        total.accepted += c.accepted;
        total.refused += c.refused;
        total.unknownStation += c.unknownStation;
        total.unknownHeading += c.unknownHeading;
        total.badShip += c.badShip;
    }
    std::cout << "fldigi radio copies: " << total << "; without a heading " << raw << " accepted, "
              << headed << " with one\n";
    EXPECT_GE(raw, headed);
    // Everything at once, as one long reception with garbles between.
    (void)run(all, timeKey({2026, 12, 31, 23, 0, 0}));
}

// Every real message as the filter designs decode it, with up to three
// characters lost: the identity is read from its header line, and it is
// saved once with a last line naming the subject and the characters lost.
// With its header garbled it is still saved, without identity.
TEST_F(BulletinFixtures, NavtexMessagesFrameWithIdentityAndLostCount) {
    const auto dir = *shared_ / "fixtures" / "navtex";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << dir << " absent";
    const char* const counts[] = {"no characters lost", "1 character lost", "2 characters lost",
                                  "3 characters lost"};
    std::map<char, std::string_view> subjects;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string id = entry.path().filename().string();
        if (id.rfind("test_msg_", 0) == 0) id.erase(0, 9);
        SCOPED_TRACE(id);
        const std::string text = zeb::test::readFile(entry.path());
        const int lost = files++ % 4;
        StringTextSink display;
        RecordingOutput output;
        MessageFramer framer(output);
        ASSERT_TRUE(transmitSitor(display, framer, text, lost));
        ASSERT_TRUE(framer.lastMessage() && framer.lastMessage()->id);
        const auto& m = *framer.lastMessage();
        EXPECT_EQ(m.id->text(), id);
        EXPECT_EQ(m.lost, lost);
        EXPECT_EQ(output.count("save:info"), 1);
        subjects[m.id->subject] = subjectName(m.id->subject);
        EXPECT_NE(output.texts.find("NAVTEX " + id + " " + std::string(subjectName(id[1])) + ": " +
                                    counts[lost] + "\n"),
                  std::string::npos)
            << output.texts;

        std::string garbled = text;
        garbled[6] = '?';  // "ZCZC E?05"
        MessageFramer second(output);
        ASSERT_TRUE(transmitSitor(display, second, garbled));
        EXPECT_FALSE(second.lastMessage()->id);
        EXPECT_EQ(output.count("save:info"), 2);
    }
    std::cout << "navtex: " << files << " messages, " << subjects.size() << " subjects\n";
    // Real traffic uses allocated subjects only, each with a name of its own.
    std::set<std::string_view> names;
    for (const auto& [subject, name] : subjects) {
        EXPECT_NE(name, subjectName('M')) << subject;
        EXPECT_TRUE(names.insert(name).second) << subject;
    }
}

}  // namespace
}  // namespace zeb::weather
