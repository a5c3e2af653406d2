#include "dsp/AudioFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace zeb::dsp {
namespace {

constexpr float kFs = 11025.0f;

std::vector<float> tone(double hz, double amplitude, int n, int start = 0) {
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i)
        v[i] =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * (start + i) / kFs));
    return v;
}

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

// ---- spectrum analysis ----

class Spectrum : public ::testing::Test {
protected:
    void attach(int areaWidth, int areaHeight = 100) {
        ASSERT_TRUE(an_.init(kFs, 1024, 2));
        ASSERT_TRUE(an_.attachDisplay(areaWidth + 2, areaHeight + 2));
    }
    // A tone in the middle of bin `bin`.
    void analyseBin(int bin, double amplitude = 10000.0) {
        an_.analyse(tone(static_cast<double>(bin) * kFs / 1024.0, amplitude, 1024).data());
    }
    int peakColumn() const {  // 1-based column with the highest curve
        const auto c = an_.curve();
        return static_cast<int>(std::min_element(c.begin(), c.end()) - c.begin()) + 1;
    }
    AudioFilter an_;
};

TEST_F(Spectrum, SilenceDrawsAFlatCurveAtTheBottom) {
    attach(300);
    const std::vector<float> zeros(1024, 0.0f);
    an_.analyse(zeros.data());
    EXPECT_EQ(an_.usedFullScale(), 1.0f);
    for (int y : an_.curve()) EXPECT_EQ(y, 99);
}

TEST_F(Spectrum, ToneLandsInTheColumnOfItsFrequency) {
    attach(300);
    const double delta = 2756.0 / 301;  // Hz per column
    for (double hz : {300.0, 1275.0, 2125.0, 2700.0}) {
        an_.analyse(tone(hz, 5000.0, 1024).data());
        const int x = peakColumn();
        EXPECT_EQ(an_.curve()[x - 1], 0) << hz;  // full scale follows the peak
        EXPECT_NEAR(x * delta, hz, 11025.0 / 1024 + delta) << hz;
    }
}

TEST_F(Spectrum, NarrowDisplayShowsEveryBinAsTheMaximumOfItsColumn) {
    attach(100);  // 100 columns for 256 bins
    for (int bin = 2; bin < 250; bin += 3) {
        analyseBin(bin);
        const int x = peakColumn();
        EXPECT_EQ(an_.curve()[x - 1], 0) << bin;
        const auto edges = an_.columnToBin();
        EXPECT_LE(edges[x - 1], bin);
        EXPECT_GT(edges[x], bin);
    }
}

TEST_F(Spectrum, WideDisplayRepeatsBins) {
    attach(600);
    analyseBin(100);
    int atTop = 0;
    for (int y : an_.curve()) atTop += y == 0;
    EXPECT_GE(atTop, 2);
}

TEST_F(Spectrum, PeakHoldFallsTwoPixelsPerBlock) {
    attach(300);
    an_.setPeakHold(true);
    analyseBin(100);
    const int x = peakColumn();
    ASSERT_EQ(an_.curve()[x - 1], 0);
    const std::vector<float> zeros(1024, 0.0f);
    for (int block = 1; block <= 60; ++block) {
        an_.analyse(zeros.data());
        ASSERT_EQ(an_.curve()[x - 1], std::min(2 * block, 99)) << block;
    }
    analyseBin(100);  // a new peak is shown at once
    EXPECT_EQ(an_.curve()[x - 1], 0);
    an_.setPeakHold(false);
    an_.analyse(zeros.data());
    EXPECT_EQ(an_.curve()[x - 1], 99);
}

TEST_F(Spectrum, FixedFullScaleClipsLevelsToTheArea) {
    attach(300);
    an_.setFullScale(1000.0f);
    analyseBin(100, 20000.0);
    EXPECT_EQ(an_.usedFullScale(), 1000.0f);
    for (int y : an_.curve()) {
        EXPECT_GE(y, 0);
        EXPECT_LE(y, 99);
    }
    EXPECT_EQ(an_.curve()[peakColumn() - 1], 0);
}

TEST_F(Spectrum, MarkerColumns) {
    attach(300);
    EXPECT_FALSE(an_.passBandColumns());
    EXPECT_FALSE(an_.toneColumns());
    an_.setPassBand(1175, 1375);
    EXPECT_EQ(an_.passBandColumns(), std::make_pair(128, 150));
    an_.setTones(2125, 0);  // both needed
    EXPECT_FALSE(an_.toneColumns());
    an_.setTones(-50, 2950);  // outside the range: kept at the edges
    EXPECT_EQ(an_.toneColumns(), std::make_pair(0, 299));
    an_.setPassBand(0, 5000);
    EXPECT_EQ(an_.passBandColumns(), std::make_pair(1, 299));
}

TEST(SpectrumAttach, EmptyAreaStaysDetached) {
    AudioFilter an;
    ASSERT_TRUE(an.init(kFs, 1024, 2));
    EXPECT_FALSE(an.attachDisplay(2, 100));
    EXPECT_FALSE(an.attachDisplay(100, 1));
    EXPECT_FALSE(an.displayAttached());
    const std::vector<float> block(1024, 1.0f);
    an.analyse(block.data());  // nothing to do, nothing touched
    EXPECT_TRUE(an.curve().empty());
    EXPECT_TRUE(an.attachDisplay(3, 3));
    EXPECT_EQ(an.displayWidth(), 1);
    an.analyse(block.data());
    EXPECT_EQ(an.curve().size(), 1u);
}

}  // namespace
}  // namespace zeb::dsp
