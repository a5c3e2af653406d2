// CWPARAM settings and the warning file written when a scheduled reception
// ends with CW decoding on.
#include "common/ReceivedFile.h"
#include "cw/CwSettings.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace zeb::cw {
namespace {

struct IniCase {
    const char* content;
    ToneBand band;
};
class CwToneBandSettingTest : public ::testing::TestWithParam<IniCase> {};

TEST_P(CwToneBandSettingTest, ReadsWithinTheKnobRanges) {
    test::TempDir dir;
    test::writeFile(dir / "NIMBA.INI", GetParam().content);
    ProfileFile profile(dir / "NIMBA.INI");
    EXPECT_EQ(readToneBand(profile), GetParam().band);
}
INSTANTIATE_TEST_SUITE_P(
    cwIni, CwToneBandSettingTest,
    ::testing::Values(IniCase{"", {1275, 100}},
                      IniCase{"[CWPARAM]\r\nCENTER=800\r\nWIDTH=50\r\n", {800, 50}},
                      IniCase{"[cwparam]\ncenter=597\n", {597, 100}},
                      IniCase{"[CWPARAM]\nCENTER=0\nWIDTH=0\n", {500, 20}},
                      IniCase{"[CWPARAM]\nCENTER=99999\nWIDTH=-5\n", {2000, 20}},
                      IniCase{"[CWPARAM]\nCENTER=abc\nWIDTH=9000\n", {500, 500}}));

struct OptionsCase {
    const char* content;
    CwOptions options;
};
class CwOptionsSettingTest : public ::testing::TestWithParam<OptionsCase> {};

// The matched design with the tone search unless the file says otherwise;
// numbers other than 0 and 1 count as absent.
TEST_P(CwOptionsSettingTest, ReadsTheDesignAndTheToneSearch) {
    test::TempDir dir;
    test::writeFile(dir / "NIMBA.INI", GetParam().content);
    ProfileFile profile(dir / "NIMBA.INI");
    EXPECT_EQ(readCwOptions(profile), GetParam().options);
    ASSERT_TRUE(writeCwOptions(profile, {CwVariant::Filter, false}));
    EXPECT_EQ(readCwOptions(profile), (CwOptions{CwVariant::Filter, false}));
}
INSTANTIATE_TEST_SUITE_P(cwIni, CwOptionsSettingTest,
                         ::testing::Values(OptionsCase{"", {CwVariant::Matched, true}},
                                           OptionsCase{"[CWPARAM]\nDEMOD=0\n",
                                                       {CwVariant::Filter, true}},
                                           OptionsCase{"[CWPARAM]\nDEMOD=7\nAUTOCENTER=0\n",
                                                       {CwVariant::Matched, false}},
                                           OptionsCase{"[CWPARAM]\nDEMOD=-1\nAUTOCENTER=2\n",
                                                       {CwVariant::Matched, true}}));

TEST(CwSettingsTest, ToneBandAndFontRoundTrip) {
    test::TempDir dir;
    ProfileFile profile(dir / "NIMBA.INI");
    ASSERT_TRUE(writeToneBand(profile, {1500, 250}));
    EXPECT_EQ(readToneBand(profile), (ToneBand{1500, 250}));
    EXPECT_EQ(readFontRecord(profile), defaultFontRecord());
    FontRecord font = defaultFontRecord();
    font[12] = 0xF0;  // 240 twips
    font[26] = 'X';
    ASSERT_TRUE(writeFontRecord(profile, font));
    EXPECT_EQ(readFontRecord(profile), font);
    EXPECT_EQ(fontHeightTwips(font), 240);
}

TEST(CwSettingsTest, DefaultFontRecordLayout) {
    const FontRecord r = defaultFontRecord();
    EXPECT_EQ(r[0], 60);
    EXPECT_EQ(r[7], 0xE0);  // mask: size, colour, face
    EXPECT_EQ(r[12] | (r[13] << 8), 150);
    EXPECT_EQ(r[20] | r[21] | r[22] | r[23], 0);
    EXPECT_EQ(r[25], 0x21);
    EXPECT_EQ(r[26], 0);  // empty face name
}

TEST(CwSettingsTest, DamagedFontRecordFallsBackToTheDefault) {
    test::TempDir dir;
    test::writeFile(dir / "NIMBA.INI", "[CWPARAM]\nFONT=3C00ZZ\n");
    ProfileFile profile(dir / "NIMBA.INI");
    EXPECT_EQ(readFontRecord(profile), defaultFontRecord());
}

TEST(CwRtfTest, EscapesControlWordsAndHighBytes) {
    const std::string rtf = textToRtf("A{B}\\C\xE4\r\nD\nE", 150);
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtf.find("\\fs15 A\\{B\\}\\\\C\\'e4\\par\r\nD\\par\r\nE\\par"), std::string::npos);
    EXPECT_EQ(rtf.back(), '\n');
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}') {
            --depth;
            EXPECT_GE(depth, 0);
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(CwSaveTest, SecondSaveInTheSameMinuteTakesTheNextMinute) {
    test::TempDir dir;
    const NameTime t{2026, 12, 31, 23, 59};
    auto first = saveWarningText(dir.path(), "CQ CQ", t);
    auto second = saveWarningText(dir.path(), "DE DL1ABC", t);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->filename(), "WARN_2026-12-31_23-59.RTF");
    EXPECT_EQ(second->filename(), "WARN_2027-01-01_00-00.RTF");
    EXPECT_NE(test::readFile(*first).find("CQ CQ"), std::string::npos);
    EXPECT_NE(test::readFile(*second).find("DE DL1ABC"), std::string::npos);
}

struct StopCase {
    bool start;
    bool receptionActive;
    bool saved;
    const char* text = "TEXT";
};
class CwStopAndSaveTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(CwStopAndSaveTest, SavesOnlyWhenRunningUnderASchedule) {
    test::TempDir dir;
    StringTextSink sink;
    CwDecoder d(sink);
    if (GetParam().start) {
        ASSERT_TRUE(d.start({}));
    }
    auto r = stopAndSave(d, GetParam().receptionActive, dir.path(), GetParam().text,
                         NameTime{2026, 5, 1, 12, 0});
    ASSERT_TRUE(r);
    EXPECT_FALSE(d.running());
    EXPECT_EQ(!r->empty(), GetParam().saved);
    EXPECT_EQ(std::filesystem::exists(dir / "SYNOP/WARN_2026-05-01_12-00.RTF"), GetParam().saved);
}
INSTANTIATE_TEST_SUITE_P(cwStates, CwStopAndSaveTest,
                         ::testing::Values(StopCase{true, true, true}, StopCase{true, false, false},
                                           StopCase{false, true, false},
                                           StopCase{false, false, false},
                                           StopCase{true, true, false, " \r\n "}));

}  // namespace
}  // namespace zeb::cw
