// NAVTEX messages handled as a receiver handles them: identities read from
// header lines, station and subject selection, and repeats of real messages
// across restarts of the program (a new framer on the same folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bulletin_fixture.h"
#include "support/TestEnv.h"
#include "weather/MessageFramer.h"
#include "weather/NavtexMessage.h"
#include "weather/Rtf.h"
#include "weather/TextModel.h"

namespace zeb::weather {
namespace {

using namespace test;
using Outcome = MessageFramer::Outcome;

TEST(NavtexHeader, IdentityOnlyFromAWellFormedHeaderLine) {
    const struct {
        const char* line;
        const char* id;  // nullptr: no identity
    } cases[] = {
        {"ZCZC EA05", "EA05"},   {"ZCZC  OL66  ", "OL66"}, {"ZCZCKB00", "KB00"},
        {"ZCZC EA05 X", "EA05"}, {"ZCZC EA5", nullptr},    {"ZCZC E A05", nullptr},
        {"ZCZC EAP5", nullptr},  {"ZCZC EA05X", nullptr},  {"ZCZC 1A05", nullptr},
        {"ZCZC ea05", nullptr},  {"ZCZE EA05", nullptr},   {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto id = parseNavtexHeader(c.line);
        EXPECT_EQ(id ? id->text() : "none", c.id ? c.id : "none") << c.line;
    }
}

class NavtexReception : public ::testing::Test {
protected:
    void SetUp() override {
        const auto shared = zeb::test::sharedData();
        if (!shared || !std::filesystem::exists(*shared / "fixtures" / "navtex"))
            GTEST_SKIP() << "NAVTEX messages absent";
        fixtures_ = *shared / "fixtures" / "navtex";
    }

    // One reception by a program started afresh on the same working folder.
    MessageFramer::Message receive(const std::string& file, int lost, TimeKey at,
                                   const NavtexSelection& selection = {}) {
        TextModel model(synop_);
        model.setClock([at] { return at; });
        MessageFramer framer(model, synop_);
        framer.setClock([at] { return at; });
        framer.setSelection(selection);
        EXPECT_TRUE(transmitSitor(model, framer, zeb::test::readFile(fixtures_ / file), lost));
        text_ = model.contents();
        return framer.lastMessage().value_or(MessageFramer::Message{});
    }

    std::vector<std::string> infoTexts() const {
        std::vector<std::string> texts;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(synop_, ec)) {
            if (e.path().filename().string().rfind("INFO_", 0) != 0) continue;
            auto doc = readRtf(zeb::test::readFile(e.path()));
            texts.push_back(doc.ok() ? doc->plainText() : "unreadable");
        }
        return texts;
    }

    zeb::test::TempDir dir_;
    std::filesystem::path synop_ = dir_.path() / "SYNOP";
    std::filesystem::path fixtures_;
    std::string text_;
};

TEST_F(NavtexReception, RepeatsAreSavedOnlyWhenNewOrBetter) {
    using enum MessageFramer::Outcome;
    struct Copy {
        int lost;
        int hours;  // after the first reception
        MessageFramer::Outcome outcome;
    };
    const struct {
        const char* file;
        std::vector<Copy> copies;
        std::size_t files;
        const char* lastLine;  // of each file on disk in the end
    } cases[] = {
        // Received well: its repeats are not saved.
        {"test_msg_OL66",
         {{0, 0, Saved}, {0, 4, Repeated}, {3, 71, Repeated}},
         1,
         "NAVTEX OL66 further navigational warnings: no characters lost"},
        // Each copy with fewer characters lost takes the place of the last.
        {"test_msg_OL66",
         {{40, 0, Saved},
          {30, 4, Replaced},
          {35, 8, Repeated},
          {2, 12, Replaced},
          {0, 16, Repeated}},
         1,
         "NAVTEX OL66 further navigational warnings: 2 characters lost, fewer than the 30 of the "
         "copy saved before"},
        // 72 hours later a message is new again; serial number 00 always is.
        {"test_msg_NA22",
         {{0, 0, Saved}, {0, 72, Saved}},
         2,
         "NAVTEX NA22 navigational warnings: no characters lost"},
        {"2022/01/26/PD00",
         {{0, 0, Saved}, {0, 1, Saved}},
         2,
         "NAVTEX PD00 search and rescue and piracy information: no characters lost"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(synop_);
        for (const Copy& copy : c.copies) {
            SCOPED_TRACE(c.file + (" after " + std::to_string(copy.hours) + " h"));
            const auto m = receive(c.file, copy.lost, sampleNow() + copy.hours * 3600);
            EXPECT_EQ(static_cast<int>(m.outcome), static_cast<int>(copy.outcome));
            const bool noted = text_.find(" repeated, not saved again\n") != std::string::npos;
            EXPECT_EQ(noted, copy.outcome == Repeated);
        }
        const auto texts = infoTexts();
        ASSERT_EQ(texts.size(), c.files) << c.file;
        for (const std::string& t : texts)
            EXPECT_EQ(t.substr(t.rfind('\n', t.size() - 2) + 1), c.lastLine + std::string("\n"));
    }
}

// An output that saves later, as a program's window does on its own thread.
class LateOutput : public TextSink, public BulletinOutput {
public:
    void text(std::string_view) override {}
    void appendText(std::string_view) override {}
    void markStart(Collected) override {}
    void saveCollected(Collected, bool) override { names.emplace_back(); }
    void saveCollectedAs(std::string_view name, bool) override { names.emplace_back(name); }
    void playWarningTone() override {}
    std::vector<std::string> names;
};

TEST_F(NavtexReception, TwoProgramsInTheSameMinuteNameTheirMessagesApart) {
    LateOutput first, second;
    MessageFramer a(first, synop_), b(second, synop_);
    for (MessageFramer* framer : {&a, &b}) framer->setClock([] { return sampleNow(); });
    const std::string message = zeb::test::readFile(fixtures_ / "test_msg_OL66");
    ASSERT_TRUE(transmitSitor(first, a, message));
    ASSERT_TRUE(transmitSitor(second, b, message));
    ASSERT_EQ(first.names.size(), 1u);
    ASSERT_EQ(second.names.size(), 1u);
    EXPECT_FALSE(first.names[0].empty());
    EXPECT_FALSE(second.names[0].empty());
    EXPECT_NE(first.names[0], second.names[0]);
}

TEST_F(NavtexReception, OnlySelectedStationsAndSubjectsAreSaved) {
    const NavtexSelection selection{*LetterSet::parse("S"), *LetterSet::parse("EF")};
    std::set<std::string> saved;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fixtures_)) {
        if (!e.is_regular_file()) continue;
        const auto m =
            receive(e.path().lexically_relative(fixtures_).string(), 0, sampleNow(), selection);
        if (m.outcome == Outcome::Saved) saved.insert(m.id->text());
    }
    EXPECT_EQ(saved, (std::set<std::string>{"SA23", "SB25", "SE16"}));
    EXPECT_EQ(infoTexts().size(), saved.size());
}

TEST_F(NavtexReception, DamagedRecordLinesAreKeptAndReadableOnesHonoured) {
    const std::string damaged = "OL66 yesterday 0\nGARBLE\n";
    std::filesystem::create_directories(synop_);
    zeb::test::writeFile(synop_ / kNavtexFileName,
                         damaged + "NA22 " + std::to_string(sampleNow() - 3600) + " 0\n");
    EXPECT_EQ(receive("test_msg_NA22", 0, sampleNow()).outcome, Outcome::Repeated);
    EXPECT_EQ(receive("test_msg_OL66", 0, sampleNow()).outcome, Outcome::Saved);
    const std::string record = zeb::test::readFile(synop_ / kNavtexFileName);
    EXPECT_EQ(record.rfind(damaged, 0), 0u) << record;
    const NavtexLog log(synop_ / kNavtexFileName);
    ASSERT_EQ(log.entries().size(), 2u);
    EXPECT_EQ(log.entries()[1].id.text(), "OL66");
    EXPECT_TRUE(std::filesystem::exists(synop_ / log.entries()[1].file));
}

}  // namespace
}  // namespace zeb::weather
