// RTTY parameters in settings files: defaults, round trip, hostile values.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>

#include "common/ProfileFile.h"
#include "rtty/RttySettings.h"
#include "support/TestEnv.h"

namespace zeb::rtty {
namespace {

TEST(RttySettings, MissingFileGivesDefaultsWithLowerToneAt1275) {
    test::TempDir dir;
    ProfileFile file(dir / "NIMBA.INI");
    const RttyParams p = loadRttyParams(file, kMainSection, SettingsOwner::Main);
    EXPECT_EQ(p.mode, 0);
    EXPECT_EQ(p.baud, 75);
    EXPECT_EQ(p.stop, 1.5f);
    EXPECT_EQ(p.shift, 425);
    EXPECT_EQ(p.center, 1275);
    EXPECT_EQ(p.speed, 1.0f);
}

class RoundTrip : public ::testing::TestWithParam<SettingsOwner> {};

TEST_P(RoundTrip, WrittenValuesReadBack) {
    test::TempDir dir;
    ProfileFile file(dir / "X.INI");
    RttyParams p;
    p.mode = 2;
    p.baud = 100;
    p.stop = 2.0f;
    p.invert = 1;
    p.shift = 170;
    p.center = 915;
    p.speed = 2.5f;
    p.squelch = 120.0f;
    const char* section = GetParam() == SettingsOwner::Main ? kMainSection : kRttySection;
    ASSERT_TRUE(saveRttyParams(file, section, GetParam(), p));
    const RttyParams back = loadRttyParams(file, section, GetParam());
    EXPECT_EQ(back.mode, 2);
    EXPECT_EQ(back.baud, 100);
    EXPECT_EQ(back.stop, 2.0f);
    EXPECT_EQ(back.invert, 1);
    EXPECT_EQ(back.shift, 170);
    EXPECT_EQ(back.center, 915);
    EXPECT_EQ(back.speed, 2.5f);
    EXPECT_EQ(back.squelch, GetParam() == SettingsOwner::Rtty ? 120.0f : 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Owners, RoundTrip,
                         ::testing::Values(SettingsOwner::Main, SettingsOwner::Rtty));

TEST(RttySettings, StopLengthWrittenWithOneDecimalByTheRttyProgram) {
    test::TempDir dir;
    ProfileFile file(dir / "ZEBRTTY.INI");
    RttyParams p;
    ASSERT_TRUE(saveRttyParams(file, kRttySection, SettingsOwner::Rtty, p));
    EXPECT_NE(test::readFile(dir / "ZEBRTTY.INI").find("BITS=1.5\r\n"), std::string::npos)
        << test::readFile(dir / "ZEBRTTY.INI");
}

TEST(RttySettings, HostileValuesFallBackToDefaults) {
    test::TempDir dir;
    test::writeFile(dir / "NIMBA.INI",
                    "[RTTYPARAM]\nMODE=7\nBAUD=0\nBITS=nonsense\nSHIFT=99999\nCENTER=-5\n");
    ProfileFile file(dir / "NIMBA.INI");
    const RttyParams p = loadRttyParams(file, kMainSection, SettingsOwner::Main);
    EXPECT_EQ(p.mode, 0);
    EXPECT_EQ(p.baud, 75);
    EXPECT_EQ(p.stop, 1.0f);  // a value that is no number reads as 0: the nearest length
    EXPECT_EQ(p.shift, 425);
    EXPECT_EQ(p.center, 1275);
}

// The keys of the demodulator design: what a stored section loads as (absent
// keys and values out of range give the defaults), written back unchanged.
struct DesignKeys {
    const char* stored;
    // variant, polarity, squelchDb, usos, center
    std::tuple<DemodVariant, Polarity, float, bool, int> loaded;
};

void PrintTo(const DesignKeys& row, std::ostream* os) {
    std::string text = *row.stored ? row.stored : "absent";
    std::replace(text.begin(), text.end(), '\n', ';');
    *os << text;
}

class DesignKeysLoad : public ::testing::TestWithParam<DesignKeys> {};

TEST_P(DesignKeysLoad, ReadAndWrittenBackByBothPrograms) {
    auto fields = [](const RttyParams& p) {
        return std::tuple(p.variant, p.polarity, p.squelchDb, p.usos, p.center);
    };
    for (const auto& [owner, section] : {std::pair{SettingsOwner::Main, kMainSection},
                                         std::pair{SettingsOwner::Rtty, kRttySection}}) {
        test::TempDir dir;
        test::writeFile(dir / "X.INI", std::string("[") + section + "]\n" + GetParam().stored);
        ProfileFile file(dir / "X.INI");
        const RttyParams p = loadRttyParams(file, section, owner);
        EXPECT_EQ(fields(p), GetParam().loaded);
        ProfileFile copy(dir / "COPY.INI");
        ASSERT_TRUE(saveRttyParams(copy, section, owner, p));
        EXPECT_EQ(fields(loadRttyParams(copy, section, owner)), fields(p));
    }
}

using DV = DemodVariant;
INSTANTIATE_TEST_SUITE_P(
    Rows, DesignKeysLoad,
    ::testing::Values(
        DesignKeys{"", {DV::Matched, Polarity::Auto, 6.0f, false, 1275}},
        DesignKeys{"DEMOD=0\nPOLARITY=2\nSQUELCHDB=12.5\nUSOS=1\nSHIFT=170\nCENTER=1915\n",
                   {DV::Main, Polarity::Inverted, 12.5f, true, 1915}},
        DesignKeys{"DEMOD=1\nPOLARITY=1\nSQUELCHDB=0\nUSOS=0\nSHIFT=850\nCENTER=300\n",
                   {DV::Rtty, Polarity::Normal, 0.0f, false, 300}},
        DesignKeys{"DEMOD=2\nSQUELCHDB=30\nSHIFT=170\nCENTER=3830\n",
                   {DV::Matched, Polarity::Auto, 30.0f, false, 3830}},
        // Out of range: each key falls back to its default.
        DesignKeys{"DEMOD=3\nPOLARITY=-1\nSQUELCHDB=30.5\nUSOS=2\nSHIFT=170\nCENTER=3831\n",
                   {DV::Matched, Polarity::Auto, 6.0f, false, 1275}},
        DesignKeys{"DEMOD=-1\nPOLARITY=3\nSQUELCHDB=-1\nUSOS=-1\nCENTER=299\n",
                   {DV::Matched, Polarity::Auto, 6.0f, false, 1275}}));

}  // namespace
}  // namespace zeb::rtty
