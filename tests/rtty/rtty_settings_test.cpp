// RTTY parameters in settings files: defaults, round trip, hostile values.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zeb::rtty
