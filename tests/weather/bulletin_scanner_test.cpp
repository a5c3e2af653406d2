// Bulletin framing: headings, warnings collected into files, SITOR-B
// messages, the teleprinter-aware group window and the dating of groups.
#include <gtest/gtest.h>

#include "bulletin_fixture.h"
#include "support/TestEnv.h"
#include "weather/GroupWindow.h"
#include "weather/MessageFramer.h"
#include "weather/Rtf.h"
#include "weather/TextModel.h"

namespace zeb::weather {
namespace {

using namespace test;

GroupWindow windowOf(std::string_view group) {
    GroupWindow w;
    for (char c : group) w.push(static_cast<std::uint8_t>(c), c != ' ');
    return w;
}

TEST(GroupWindow, ReadsGroupsThroughTheTeleprinterCode) {
    // QWERT received in letters shift is 12345 in figures.
    const GroupWindow qwert = windowOf(" QWERT");
    EXPECT_TRUE(qwert.matches("?+++++"));
    EXPECT_EQ(qwert.number(1, 5), 12345);
    // "/" matches a digit position but makes the number missing.
    const GroupWindow slash = windowOf(" 1/234");
    EXPECT_TRUE(slash.matches("?+++++"));
    EXPECT_EQ(slash.number(1, 5), -1);
    EXPECT_EQ(slash.number(3, 5), 234);
    // Digits received in figures read as the letters of their codes.
    EXPECT_TRUE(windowOf("SMDL01").matches("####+-"));
    EXPECT_TRUE(windowOf("SMDL1 ").matches("####+-"));
    EXPECT_EQ(windowOf("  ZCZC").letters(2, 5), "ZCZC");
    EXPECT_TRUE(windowOf("  ZCZC").matches("??ZCZC"));
    EXPECT_TRUE(windowOf("  zczc").matches("??ZCZC"));
    // A cleared window matches nothing but wildcards.
    GroupWindow cleared = windowOf("NNNN12");
    cleared.reset();
    EXPECT_FALSE(cleared.matches("??????") == false);
    EXPECT_FALSE(cleared.matches("?+++++"));
    EXPECT_EQ(cleared.count(), 0);
}

TEST(GroupTime, CalendarArithmeticAcrossMonthsYearsAndDelays) {
    const auto at = [](int y, int mo, int d, int h, int mi) {
        return timeKey({y, mo, d, h, mi, 0});
    };
    // Today when the hour has come, yesterday otherwise.
    EXPECT_EQ(groupTime(6, 12, 0, at(2026, 12, 6, 13, 30)), at(2026, 12, 6, 12, 0));
    EXPECT_EQ(groupTime(6, 18, 0, at(2026, 12, 6, 13, 30)), at(2026, 12, 5, 18, 0));
    // Yesterday across the end of February, in a leap year and not.
    EXPECT_EQ(groupTime(29, 18, 0, at(2004, 3, 1, 0, 30)), at(2004, 2, 29, 18, 0));
    EXPECT_EQ(groupTime(28, 18, 0, at(2005, 3, 1, 0, 30)), at(2005, 2, 28, 18, 0));
    EXPECT_EQ(groupTime(31, 23, 0, at(2027, 1, 1, 0, 30)), at(2026, 12, 31, 23, 0));
    // A delayed bulletin keeps its own day.
    EXPECT_EQ(groupTime(26, 6, 0, at(2026, 12, 7, 10, 0)), at(2026, 11, 26, 6, 0));
    // Impossible fields.
    EXPECT_FALSE(groupTime(0, 12, 0, at(2026, 12, 6, 13, 30)));
    EXPECT_FALSE(groupTime(6, 24, 0, at(2026, 12, 6, 13, 30)));
    EXPECT_FALSE(groupTime(-1, 12, 0, at(2026, 12, 6, 13, 30)));
}

class BulletinScannerTest : public ::testing::Test {
protected:
    BulletinScannerTest() : data(sampleData()), scanner(data, output, &store) {
        scanner.setClock([] { return sampleNow(); });
    }
    WeatherData data;
    RecordingOutput output;
    VectorStore store;
    TextScanner scanner;
};

TEST_F(BulletinScannerTest, WarningHeadingCollectsTheBulletin) {
    feed(scanner, "ZCZC 123\r\r\nFQXX01 EDZW 061200\r\r\n");
    // An unknown area designator is error 1.
    EXPECT_EQ(scanner.errors(1), 1);
    EXPECT_EQ(scanner.state(), 200);
    feed(scanner, "NNNN\r\r\nZCZC 124\r\r\nFQDL01 EDZW 061200\r\r\n");
    EXPECT_TRUE(scanner.collectingWarning());
    EXPECT_EQ(output.events.back(), "tone");
    // Reports inside a warning are not parsed; NNNN saves the warning.
    feed(scanner, "GALE WARNING GERMAN BIGHT 8=\r\r\nNNNN\r\r\n");
    EXPECT_FALSE(scanner.collectingWarning());
    EXPECT_EQ(output.count("mark:warning"), 1);
    EXPECT_EQ(output.count("save:warning"), 1);
    EXPECT_EQ(output.count("tone"), 1);
    EXPECT_EQ(scanner.state(), 1);
}

TEST_F(BulletinScannerTest, LostEndSavesTheWarningAtTheNextBulletin) {
    feed(scanner, "ZCZC 124\r\r\nWWDL01 EDZW 061200\r\r\nSTORM\r\r\n");
    feed(scanner, "ZCZC 125\r\r\nSMDL01 EDZW 061200\r\r\n");
    // Still collecting: the flag stays until an NNNN or a ZCZC in state 1.
    EXPECT_TRUE(scanner.collectingWarning());
    feed(scanner, "NNNN\r\r\n");
    EXPECT_EQ(output.count("save:warning"), 1);
    EXPECT_FALSE(scanner.collectingWarning());
}

TEST_F(BulletinScannerTest, TheEndOfReceptionSavesWhatWasBeingCollected) {
    // A warning and a NAVTEX message whose ends never came: the recording
    // ended, or the user stopped the decoder.
    feed(scanner, "ZCZC 124\r\nWWDL01 EDZW 061200\r\nSTORM FORCE 10\r\n");
    scanner.endOfReception();
    EXPECT_EQ(output.count("save:warning"), 1);
    EXPECT_FALSE(scanner.collectingWarning());
    scanner.endOfReception();
    EXPECT_EQ(output.count("save:warning"), 1);

    MessageFramer framer(output);
    for (char c : std::string("ZCZC OA12\r\nGALE WARNING\r\n"))
        framer.character(static_cast<std::uint8_t>(c));
    framer.endOfReception();
    EXPECT_EQ(output.count("save:info"), 1);
    EXPECT_FALSE(framer.inMessage());
}

TEST_F(BulletinScannerTest, SynopticHeadingHandsGroupsToTheParser) {
    feed(scanner, "ZCZC 125\r\r\nSMDL01 EDZW 061200 RRA\r\r\nAAXX 06121\r\r\n");
    EXPECT_EQ(scanner.state(), 11);
    EXPECT_EQ(scanner.record().bbbText, "Delayed");
    EXPECT_EQ(scanner.record().headingNumber, 1);
    EXPECT_EQ(scanner.record().t1, 'S');
    feed(scanner, "10637 32966 82005=\r\r\nNNNN\r\r\n");
    EXPECT_EQ(scanner.state(), 1);
    EXPECT_EQ(store.records.size(), 1u);
    EXPECT_EQ(output.count("save:warning"), 0);
    EXPECT_EQ(output.count("mark:warning"), 0);
    // Selecting a mode again starts from scratch.
    feed(scanner, "ZCZC 126\r\r\nSMDL01 EDZW 061200\r\r\nAAXX 06121\r\r\n");
    scanner.reset();
    EXPECT_EQ(scanner.state(), 1);
    EXPECT_EQ(scanner.returnState(), 1);
}

TEST_F(BulletinScannerTest, ASectionHeardWithoutItsHeadingIsStoredOnce) {
    // Tuned in after the heading: the end of one report, then a section.
    feed(scanner, "1 82005=\r\nAAXX 06121\r\n10637 32966 82005 10102=\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    const SynopRecord first = store.records[0];
    EXPECT_EQ(first.flags, kFlagNoHeading);
    EXPECT_EQ(first.bulletinTime, first.reportTime);
    EXPECT_EQ(breakDown(first.reportTime).hour, 12);
    EXPECT_TRUE(first.centre.name.empty());
    EXPECT_NE(output.texts.find("Bulletin heading not received\n"), std::string::npos);
    // The framed copy of the same bulletin that follows is not stored again,
    // nor is the section heard once more without heading.
    feed(scanner,
         "NNNN\r\nZCZC 125\r\nSMDL01 EDZW 061200\r\nAAXX 06121\r\n10637 32966 82005 10102=\r\n"
         "NNNN\r\nAAXX 06121\r\n10637 32966 82005 10102=\r\n");
    EXPECT_EQ(store.records.size(), 1u);
    EXPECT_EQ(scanner.duplicates(), 2);
    EXPECT_EQ(scanner.accepted(), 3);

    // Switched off, a section without heading is passed over.
    VectorStore none;
    TextScanner off(data, output, &none);
    off.setClock([] { return sampleNow(); });
    off.setMidBulletin(false);
    feed(off, "AAXX 06121\r\n10637 32966 82005 10102=\r\n");
    EXPECT_TRUE(none.records.empty());
}

TEST_F(BulletinScannerTest, GarbledValuesNoStationMeasuresAreNotStored) {
    using namespace presence;
    // +70.2 and +80.1 °C and 1079.9 hPa fit their groups' patterns; the
    // temperatures are garbles, the pressure is rare but real.
    feed(scanner,
         "ZCZC 125\r\nSMDL01 EDZW 061200\r\nAAXX 06121\r\n"
         "10637 32966 82005 10702 20801 40799=\r\n"
         "10637 32966 82005 10102 20153 49999=\r\nNNNN\r\n");
    ASSERT_EQ(store.records.size(), 2u);
    const SynopRecord& garbled = store.records[0];
    EXPECT_EQ(garbled.presence & (kAirTemperature | kDewPoint), 0u);
    EXPECT_NE(garbled.presence & kSeaLevelPressure, 0u);
    // A dew point above the air temperature cannot be.
    const SynopRecord& second = store.records[1];
    EXPECT_NE(second.presence & kAirTemperature, 0u);
    EXPECT_EQ(second.presence & kDewPoint, 0u);
    EXPECT_NE(second.presence & kSeaLevelPressure, 0u);
    EXPECT_EQ(output.texts.find("70.2"), std::string::npos);
}

TEST_F(BulletinScannerTest, RandomNoiseNeverDisturbsTheScanner) {
    std::uint32_t seed = 12345;
    std::string noise;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const char alphabet[] = "ZCNAXB0123456789/ =\r\nIL";
        noise.push_back(alphabet[(seed >> 24) % (sizeof alphabet - 1)]);
    }
    feed(scanner, noise);
    feed(scanner,
         "\r\nNNNN\r\nZCZC 127\r\nSMDL01 EDZW 061200\r\nAAXX 06121\r\n10637 32966 82005=\r\n");
    EXPECT_EQ(store.records.back().station.number, 10637);
    EXPECT_EQ(store.records.back().windDirection, 200);
}

// Warnings and messages as files: the text from the heading (or ZCZC) line
// to NNNN, in the window's own form.
class CollectedFilesTest : public ::testing::Test {
protected:
    CollectedFilesTest() : model(dir.path() / "SYNOP") {
        model.setClock([] { return sampleNow(); });
    }

    // As the teleprinter decoder delivers: the window shows CR for LF.
    void receive(teleprinter::CharacterSink& sink, std::string_view text) {
        for (char c : text) {
            if (c == '\n')
                model.text("\r");
            else if (c != '\r')
                model.text(std::string_view(&c, 1));
            sink.character(static_cast<std::uint8_t>(c));
        }
    }

    std::string savedText(std::size_t index) {
        auto doc = readRtf(zeb::test::readFile(model.saved().at(index)));
        EXPECT_TRUE(doc.ok());
        return doc.ok() ? doc->plainText() : std::string();
    }

    zeb::test::TempDir dir;
    TextModel model;
};

TEST_F(CollectedFilesTest, WarningFileHoldsTheBulletinFromItsHeading) {
    const WeatherData data = sampleData();
    TextScanner scanner(data, model, nullptr);
    scanner.setClock([] { return sampleNow(); });
    receive(scanner, "RYRYRY\r\nZCZC 123\r\nFQDL01 EDZW 061200\r\nGALE WARNING 8\r\nNNNN\r\n");
    ASSERT_EQ(model.saved().size(), 1u);
    EXPECT_EQ(model.saved()[0].filename(), "WARN_2026-12-06_13-30.RTF");
    EXPECT_EQ(savedText(0), "FQDL01 EDZW 061200\nGALE WARNING 8\nNNNN");
    EXPECT_EQ(model.tonesRequested(), 1);
}

TEST_F(CollectedFilesTest, TwoSitorMessagesWithoutEndGiveTwoFiles) {
    MessageFramer framer(model);
    receive(framer, "ZCZC FA01\r\nFIRST MESSAGE\r\nZCZC FA02\r\nSECOND\r\n");
    ASSERT_EQ(model.saved().size(), 1u);
    EXPECT_EQ(savedText(0), "ZCZC FA01\nFIRST MESSAGE\n");
    receive(framer, "NNNN\r\n");
    ASSERT_EQ(model.saved().size(), 2u);
    // The same minute: the second file takes the next free name.
    EXPECT_EQ(model.saved()[0].filename(), "INFO_2026-12-06_13-30.RTF");
    EXPECT_EQ(model.saved()[1].filename(), "INFO_2026-12-06_13-31.RTF");
    // A message ended by NNNN closes with its identity and lost characters.
    EXPECT_EQ(savedText(1),
              "ZCZC FA02\nSECOND\nNNNN\nNAVTEX FA02 navigational warnings: no characters lost\n");
    EXPECT_EQ(model.tonesRequested(), 2);
    // Noise between messages is not collected.
    receive(framer, "NNNN ZCZ\r\n");
    EXPECT_EQ(model.saved().size(), 2u);
}

TEST_F(CollectedFilesTest, FillLimitTrimsTenLinesAndKeepsTheCollection) {
    const std::string line(99, 'X');
    model.markStart(Collected::Warning);
    // Fill to just below the threshold, then one more line passes it.
    while (model.contents().size() + 100 <= kTrimThreshold) model.appendText(line + "\n");
    EXPECT_TRUE(model.saved().empty());
    const std::size_t before = model.contents().size();
    model.appendText(line + "\n");
    EXPECT_EQ(model.contents().size(), before + 100 - 10 * 100);
    ASSERT_EQ(model.saved().size(), 1u);  // what was collected so far
    EXPECT_TRUE(model.collecting());
    EXPECT_EQ(model.startMark(), model.contents().size());

    TextModel rtty(dir.path() / "R", TextModel::TrimPolicy::MoveMark);
    while (rtty.contents().size() < 5000) rtty.appendText(line + "\n");
    rtty.markStart(Collected::Warning);
    const std::size_t mark = rtty.startMark();
    while (rtty.contents().size() + 100 <= kTrimThreshold) rtty.appendText(line + "\n");
    rtty.appendText(line + "\n");
    EXPECT_TRUE(rtty.saved().empty());
    EXPECT_EQ(rtty.startMark(), mark - 1000);
}

TEST_F(CollectedFilesTest, LoadingALargeFileKeepsTheWindowWithinItsLimit) {
    std::string big;
    for (int i = 0; i < 8000; ++i) big += std::string(99, static_cast<char>('A' + i % 26)) + "\r\n";
    zeb::test::writeFile(dir / "big.txt", big);
    ASSERT_TRUE(model.load(dir / "big.txt").ok());
    EXPECT_LE(model.contents().size(), kTrimThreshold);
    EXPECT_GT(model.contents().size(), kTrimThreshold - 1000);
    // The newest lines stay.
    EXPECT_EQ(model.contents().substr(model.contents().size() - 100),
              std::string(99, static_cast<char>('A' + 7999 % 26)) + "\n");
}

TEST_F(CollectedFilesTest, UnwritableDirectoryKeepsTheText) {
    zeb::test::writeFile(dir.path() / "FILE", "x");
    TextModel blocked(dir.path() / "FILE" / "SYNOP");
    blocked.text("ZCZC\r");
    blocked.markStart(Collected::Information);
    blocked.saveCollected(Collected::Information);
    EXPECT_TRUE(blocked.saved().empty());
    EXPECT_FALSE(blocked.lastError().empty());
    EXPECT_EQ(blocked.contents(), "ZCZC\n");
}

TEST(TextTable, EntriesKeysAndLastLine) {
    TextTable types(2);
    types.parse("; designators\r\nSM Surface observations\r\nX\r\nSMx second\r\nFQ no line feed");
    EXPECT_EQ(types.size(), 2u);
    EXPECT_EQ(types.lookup("SM"), "Surface observations");
    EXPECT_EQ(types.lookup("sm"), "");
    EXPECT_EQ(types.lookup("FQ"), "");

    TextTable texts(4);
    texts.parse("123 short\n1234 Region\n1234 second\n" + std::string("LONG ") +
                std::string(400, 'y') + "\n");
    EXPECT_EQ(texts.lookupNumber(123), "");
    EXPECT_EQ(texts.lookupNumber(1234), "Region");
    EXPECT_EQ(texts.lookupNumber(12345), "Region");
    EXPECT_EQ(texts.lookup("LONG").size(), kMaxEntryText);
}

std::string entryBytes(std::int32_t number, std::string_view cccc, std::string_view name,
                       std::size_t declaredLength) {
    std::string b;
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    b += std::string("\xE8\x03\0\0\x6F\0\xBF\xF4\x09\x02", 10);  // 1000, 0, 111, -2881, 521
    b += cccc;
    b.push_back(static_cast<char>(declaredLength));
    b += name;
    return b;
}

TEST(StationTable, WalksEntriesAndRefusesWhatWouldOverrun) {
    StationTable t;
    const std::string good = entryBytes(10637, "EDDF", "Frankfurt", 9);
    const std::string tooLong = entryBytes(1, "XXXX", std::string(60, 'n'), 60);
    const std::string truncated = entryBytes(2, "YYYY", "abc", 40);
    ASSERT_TRUE(
        t.parse(good + tooLong + good.substr(0, 4) + "\x01" + good.substr(5) + truncated).ok());
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(t.skipped(), 2u);
    const auto f = t.find(10637);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->region, 1000);
    EXPECT_EQ(f->elevation, 111);
    EXPECT_EQ(f->latitude, -2881);
    EXPECT_EQ(f->longitude, 521);
    EXPECT_EQ(f->name, "Frankfurt");
    EXPECT_TRUE(t.findByIndicator("EDDF"));
    EXPECT_FALSE(t.findByIndicator("EDD"));
    EXPECT_FALSE(t.parse(tooLong).ok());
    EXPECT_FALSE(t.parse("").ok());
}

TEST(WeatherDataFiles, LoadNeedsAllFourAndAcceptsAnyCase) {
    zeb::test::TempDir dir;
    zeb::test::writeFile(dir / "wmostat.dat", entryBytes(10637, "EDDF", "Frankfurt", 9));
    zeb::test::writeFile(dir / "DESCTT.DAT", "SM Surface\n");
    zeb::test::writeFile(dir / "DESCAA.DAT", "DL Germany\n");
    auto missing = loadWeatherData(dir.path());
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("SYNTXT.DAT"), std::string::npos);
    zeb::test::writeFile(dir / "SYNTXT.DAT", "1000 Germany\n");
    auto loaded = loadWeatherData(dir.path());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(loaded->findStation(10637)->name, "Frankfurt");
    EXPECT_EQ(loaded->lookupAa("DL"), "Germany");
    EXPECT_EQ(loaded->texts.lookupNumber(1000), "Germany");
}

}  // namespace
}  // namespace zeb::weather
