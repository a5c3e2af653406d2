// A DWD-style weather broadcast as the receiver hears it — 50 Bd ITA2 with
// 450 Hz shift, noise and a tuning error — through zebdecode into the files
// the main program writes: the station file of accepted reports and the
// warning as an RTF file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TimeKey.h"
#include "support/Broadcasts.h"
#include "support/ChildProcess.h"
#include "support/RttyGenerator.h"
#include "support/TestEnv.h"
#include "support/WavFile.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

namespace zeb::weather {
namespace {

TEST(BulletinRecording, DwdBroadcastGivesStationRecordsAndWarningFile) {
    const std::filesystem::path suite = test::testSetting("ZEB_TEST_SUITE_DIR");
    const std::filesystem::path program = suite / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    if (!std::filesystem::exists(suite / "DATA" / "WMOSTAT.DAT"))
        GTEST_SKIP() << "reference data not staged";

    const std::string text = test::dwdBroadcastText();

    test::FskSignal signal;
    signal.baud = 50;
    signal.markHz = 1275 + 12;  // a receiver tuned 12 Hz off
    signal.spaceHz = 1725 + 12;
    signal.ebN0Db = 18;
    const auto audio = test::fskAudio(test::ita2Frames(test::ita2Codes(text), 1.5, 0, 100), signal);
    test::TempDir dir;
    test::writeFile(dir / "dwd.wav", test::wavBytes(audio));

    test::ChildProcess child({program.string(), "rtty", "--baud", "50", "--shift", "450",
                              "--center", "1275", "--dir", dir.path().string(),
                              (dir / "dwd.wav").string()});
    const std::string out = child.readOutput(std::chrono::seconds(60));
    ASSERT_EQ(child.waitExit(), 0);

    auto records = readStationRecords(dir / "SYNOP" / "STATION.DAT");
    ASSERT_TRUE(records.ok());
    std::vector<SynopRecord> decoded;
    for (const auto& bytes : *records) decoded.push_back(decode(bytes));
    ASSERT_EQ(decoded.size(), 4u) << out;
    EXPECT_EQ(decoded[0].station.number, 10637);
    EXPECT_EQ(decoded[0].airTemperature, 102);
    EXPECT_EQ(decoded[1].station.number, 10384);
    EXPECT_EQ(decoded[1].dewPoint, -3);
    EXPECT_EQ(decoded[2].station.number, 10147);
    EXPECT_TRUE(decoded[2].presence & presence::kNil);
    EXPECT_EQ(decoded[3].kind, kKindShip);
    EXPECT_EQ(decoded[3].station.name, "DBBH");
    EXPECT_EQ(decoded[3].seaTemperature, 123);

    std::vector<std::filesystem::path> warnings;
    for (const auto& e : std::filesystem::directory_iterator(dir / "SYNOP"))
        if (e.path().filename().string().rfind("WARN_", 0) == 0) warnings.push_back(e.path());
    ASSERT_EQ(warnings.size(), 1u);
    auto doc = readRtf(test::readFile(warnings[0]));
    ASSERT_TRUE(doc.ok());
    EXPECT_EQ(doc->plainText().rfind("FQDL01 EDZW", 0), 0u) << doc->plainText();
    EXPECT_NE(doc->plainText().find("GALE WARNING GERMAN BIGHT WEST 8 BEAUFORT"),
              std::string::npos);

    // The descriptions follow the bulletin text on stdout, set off from it.
    EXPECT_NE(out.find("=\n\n> Bulletin 1 of"), std::string::npos) << out;
    EXPECT_NE(out.find("\n> Frankfurt"), std::string::npos) << out;
    EXPECT_NE(out.find("DBBH"), std::string::npos);
}

TEST(BulletinRecording, WhatCannotBeSavedIsSaidAndGivesExitStatusThree) {
    const std::filesystem::path suite = test::testSetting("ZEB_TEST_SUITE_DIR");
    const std::filesystem::path program = suite / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    if (!std::filesystem::exists(suite / "DATA" / "WMOSTAT.DAT"))
        GTEST_SKIP() << "reference data not staged";
    // A file or folder in the way stands for a full disk or a read-only
    // folder (which the tests' user may be allowed to write anyway).
    const struct {
        const char* obstacle;  // created as a directory; "" none
        const char* blocker;   // created as a file; "" none
        int status;
    } cases[] = {
        {"", "", 0},
        {"SYNOP/STATION.DAT", "", 3},  // the reports are lost, the warning is saved
        {"", "SYNOP", 3},              // nothing can be saved
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.obstacle) + c.blocker);
        test::TempDir dir;
        std::string text;
        for (char ch : test::dwdBroadcastText()) text += ch == '\n' ? "\r\n" : std::string(1, ch);
        test::writeFile(dir / "dwd.txt", text);
        if (*c.obstacle) std::filesystem::create_directories(dir / c.obstacle);
        if (*c.blocker) test::writeFile(dir / c.blocker, "");
        test::ChildProcess child(
            {program.string(), "text", "--dir", dir.path().string(), (dir / "dwd.txt").string()});
        (void)child.readOutput(std::chrono::seconds(30));
        EXPECT_EQ(child.waitExit(), c.status);
    }
}

}  // namespace
}  // namespace zeb::weather
