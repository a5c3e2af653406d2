#include "dsp/AudioFilter.h"

#include <gtest/gtest.h>

#include "test_tone.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace zeb::dsp {
namespace {

struct DesignCase {
    const char* name;
    float low, high;  // low 0: low-pass
    float centreTap, gainSum;
};

class CwDesigns : public ::testing::TestWithParam<DesignCase> {};

TEST_P(CwDesigns, HaveTheirCentreTapAndGainSum) {
    const auto& c = GetParam();
    AudioFilter f;
    ASSERT_TRUE(f.init(kFs, 1024, 128));
    ASSERT_TRUE(c.low == 0 ? f.designLowPass(c.high, 0) : f.designBandPass(c.low, c.high, 0));
    ASSERT_EQ(f.taps().size(), 129u);
    EXPECT_FLOAT_EQ(f.taps()[64], c.centreTap);
    EXPECT_NEAR(f.gainSum(), c.gainSum, 1.0);
    for (int k = 1; k <= 64; ++k) EXPECT_EQ(f.taps()[64 - k], f.taps()[64 + k]);
}

INSTANTIATE_TEST_SUITE_P(Cw, CwDesigns,
                         ::testing::Values(DesignCase{"Envelope", 0, 20, 40, 5007.56f},
                                           DesignCase{"Tone", 1175, 1375, 400, 16927.72f}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AudioFilterDesign, FailedDesignKeepsTheOldTaps) {
    AudioFilter f;
    ASSERT_TRUE(f.init(kFs, 1024, 128));
    ASSERT_TRUE(f.designBandPass(1175, 1375, 0));
    const std::vector<float> before(f.taps().begin(), f.taps().end());
    const float gain = f.gainSum();
    // Too low an order for a design: the filter goes on working unchanged.
    AudioFilter small;
    ASSERT_TRUE(small.init(kFs, 1024, 1));
    EXPECT_FALSE(small.designBandPass(1000, 2000, 0));
    EXPECT_FALSE(small.designLowPass(1000, 0));

    EXPECT_FALSE(f.init(0.0f, 1024, 1));   // rejected: nothing changes
    EXPECT_FALSE(f.init(kFs, 1000, 128));  // not a power of two
    EXPECT_FALSE(f.init(kFs, 1024, -1));
    EXPECT_EQ(std::vector<float>(f.taps().begin(), f.taps().end()), before);
    EXPECT_EQ(f.gainSum(), gain);
    ASSERT_TRUE(f.init(kFs, 1024, 1));
    EXPECT_FALSE(f.designBandPass(1000, 2000, 0));
    EXPECT_EQ(f.taps().size(), 2u);
}

TEST(AudioFilterDesign, WindowsApplyAfterTheGainSum) {
    AudioFilter plain, windowed;
    ASSERT_TRUE(plain.init(kFs, 1024, 32));
    ASSERT_TRUE(windowed.init(kFs, 1024, 32));
    ASSERT_TRUE(plain.designBandPass(1500, 2300, 0));
    ASSERT_TRUE(windowed.designBandPass(1500, 2300, kWindowHamming | kWindowHann));
    EXPECT_EQ(windowed.gainSum(), plain.gainSum());
    EXPECT_FLOAT_EQ(windowed.taps()[16], plain.taps()[16]);  // both windows are 1 at the centre
    EXPECT_EQ(windowed.taps()[0], 0.0f);                     // Hann ends at 0
    EXPECT_NEAR(windowed.taps()[8], plain.taps()[8] * 0.54 * 0.5, 1e-3);
}

TEST(AudioFilterDesign, ZeroCutOffAddsNothingInsteadOfNaN) {
    AudioFilter f;
    ASSERT_TRUE(f.init(kFs, 1024, 16));
    ASSERT_TRUE(f.designBandPass(0, 0, 0));
    for (float t : f.taps()) EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(f.gainSum(), 0.0f);
}

struct ResponseCase {
    double hz;
    double minGain, maxGain;  // relative to the sample rate
};

class CwToneFilterResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(CwToneFilterResponse, PassesTheBandAndStopsTheRest) {
    const auto& c = GetParam();
    AudioFilter f;
    ASSERT_TRUE(f.init(kFs, 1024, 128));
    ASSERT_TRUE(f.designBandPass(1175, 1375, 0));
    std::vector<float> out(1024);
    for (int block = 0; block < 3; ++block) {
        const auto in = tone(c.hz, 1.0, 1024, block * 1024);
        f.filter(in.data(), out.data(), 1024);
    }
    const float peak = *std::max_element(out.begin() + 200, out.end());
    EXPECT_GE(peak / kFs, c.minGain);
    EXPECT_LE(peak / kFs, c.maxGain);
}

INSTANTIATE_TEST_SUITE_P(Mask, CwToneFilterResponse,
                         ::testing::Values(ResponseCase{1275, 0.85, 1.25},
                                           ResponseCase{500, 0, 0.05},
                                           ResponseCase{2500, 0, 0.05}));

}  // namespace
}  // namespace zeb::dsp
