// Parameter validation: values from settings files, station records and the
// command line never reach the slicers out of range.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rtty/RttyDecoder.h"
#include "rtty/RttyParams.h"

namespace zeb::rtty {
namespace {

struct Bad {
    const char* name;
    RttyParams given;
    RttyParams expected;
};

RttyParams with(void (*change)(RttyParams&)) {
    RttyParams p;
    p.mode = 1;
    p.baud = 50;
    p.shift = 850;
    p.center = 1000;
    p.stop = 2.0f;
    change(p);
    return p;
}

class Validation : public ::testing::TestWithParam<Bad> {};

TEST_P(Validation, OutOfRangeFieldFallsBackToDefault) {
    const RttyParams got = validated(GetParam().given);
    const RttyParams& want = GetParam().expected;
    EXPECT_EQ(got.mode, want.mode);
    EXPECT_EQ(got.baud, want.baud);
    EXPECT_EQ(got.shift, want.shift);
    EXPECT_EQ(got.center, want.center);
    EXPECT_EQ(got.stop, want.stop);
    EXPECT_EQ(got.invert, want.invert);
    EXPECT_EQ(got.bitsPerChar, 7);
    EXPECT_TRUE(isValid(got));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fields, Validation, ::testing::Values(
    Bad{"Baud0", with([](RttyParams& p) { p.baud = 0; }), with([](RttyParams& p) { p.baud = 75; })},
    Bad{"Baud5000", with([](RttyParams& p) { p.baud = 5000; }), with([](RttyParams& p) { p.baud = 75; })},
    Bad{"Baud10", with([](RttyParams& p) { p.baud = 10; }), with([](RttyParams& p) { p.baud = 75; })},
    Bad{"BaudNegative", with([](RttyParams& p) { p.baud = -50; }), with([](RttyParams& p) { p.baud = 75; })},
    Bad{"Baud30Kept", with([](RttyParams& p) { p.baud = 30; }), with([](RttyParams& p) { p.baud = 30; })},
    Bad{"Baud300Kept", with([](RttyParams& p) { p.baud = 300; }), with([](RttyParams& p) { p.baud = 300; })},
    Bad{"Mode7", with([](RttyParams& p) { p.mode = 7; }), with([](RttyParams& p) { p.mode = 0; })},
    Bad{"ModeNegative", with([](RttyParams& p) { p.mode = -1; }), with([](RttyParams& p) { p.mode = 0; })},
    Bad{"Shift20", with([](RttyParams& p) { p.shift = 20; }), with([](RttyParams& p) { p.shift = 425; })},
    Bad{"Shift2000", with([](RttyParams& p) { p.shift = 2000; }), with([](RttyParams& p) { p.shift = 425; })},
    Bad{"Center10", with([](RttyParams& p) { p.center = 10; }), with([](RttyParams& p) { p.center = 1275; })},
    Bad{"UpperToneAbove4000Hz", with([](RttyParams& p) { p.center = 3600; }), with([](RttyParams& p) { p.center = 1275; })},
    Bad{"StopNaN", with([](RttyParams& p) { p.stop = NAN; }), with([](RttyParams& p) { p.stop = 1.5f; })},
    Bad{"StopZero", with([](RttyParams& p) { p.stop = 0.0f; }), with([](RttyParams& p) { p.stop = 1.0f; })},
    Bad{"Stop1_4", with([](RttyParams& p) { p.stop = 1.4f; }), with([](RttyParams& p) { p.stop = 1.5f; })},
    Bad{"Stop9", with([](RttyParams& p) { p.stop = 9.0f; }), with([](RttyParams& p) { p.stop = 2.0f; })},
    Bad{"Invert5", with([](RttyParams& p) { p.invert = 5; }), with([](RttyParams& p) { p.invert = 0; })}),
    [](const auto& tpi) { return std::string(tpi.param.name); });
// clang-format on

TEST(RttyParams, DefaultsDecodeOnTheDialFrequencyTones) {
    const RttyParams p;
    EXPECT_EQ(p.center, 1275);
    EXPECT_EQ(p.baud, 75);
    EXPECT_EQ(p.shift, 425);
    EXPECT_EQ(p.stop, 1.5f);
    EXPECT_TRUE(isValid(p));
}

// Values that used to stop the capture thread (division by zero, an endless
// hunt, a carry overrun, a table index out of range) give a running decoder.
TEST(RttyParams, DecoderRunsWithHostileSettings) {
    for (int mode : {0, 1, 2, 7}) {
        for (int baud : {0, 5000, 10, -3}) {
            StringTextSink display;
            RttyDecoder decoder({&display, nullptr});
            RttyParams p;
            p.mode = mode;
            p.baud = baud;
            const RttyParams& used = decoder.configure(p);
            EXPECT_EQ(used.baud, 75);
            std::vector<float> block(kBlockLength);
            for (int i = 0; i < 20; ++i) {
                for (int k = 0; k < kBlockLength; ++k) {
                    block[k] = (k / 37 + i) % 2 == 0 ? 3000.0f : -3000.0f;
                }
                decoder.processBlock(block);
            }
            EXPECT_LE(decoder.slicer().carried(), kCarryCapacity);
        }
    }
}

}  // namespace
}  // namespace zeb::rtty
