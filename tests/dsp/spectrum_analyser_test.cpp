#include "dsp/SpectrumAnalyser.h"
#include "support/AllocationCount.h"

#include <gtest/gtest.h>

#include "test_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <vector>

namespace zeb::dsp {
namespace {

class Spectrum : public ::testing::Test {
protected:
    void attach(int areaWidth, int areaHeight = 100) {
        ASSERT_TRUE(an_.init(kFs, 1024));
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
    SpectrumAnalyser an_;
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

TEST_F(Spectrum, MarkersSetThePassBandAndTheTonesAtOnce) {
    attach(300);
    an_.setMarkers({.passLowHz = 1175, .passHighHz = 1375, .toneAHz = -50, .toneBHz = 2950});
    EXPECT_EQ(an_.passBandColumns(), std::make_pair(128, 150));
    EXPECT_EQ(an_.toneColumns(), std::make_pair(0, 299));
    an_.setMarkers({});
    EXPECT_FALSE(an_.passBandColumns());
    EXPECT_FALSE(an_.toneColumns());
}

TEST_F(Spectrum, AnalysingABlockAllocatesNothing) {
    attach(300);
    an_.setPeakHold(true);
    const auto block = tone(1275.0, 8000.0, 1024);
    an_.analyse(block.data());  // the first block too, but to be sure
    const long before = test::allocationCount();
    for (int i = 0; i < 10; ++i) an_.analyse(block.data());
    (void)an_.passBandColumns();
    (void)an_.toneColumns();
    EXPECT_EQ(test::allocationCount(), before);
}

TEST(SpectrumInit, RejectsWhatItCannotAnalyseAndKeepsItsBlockLength) {
    SpectrumAnalyser an;
    EXPECT_EQ(an.blockLength(), 1024);  // usable without init
    EXPECT_EQ(an.transformOrder(), 10);
    EXPECT_FALSE(an.init(0.0f, 512));
    EXPECT_FALSE(an.init(kFs, 1000));  // not a power of two
    EXPECT_FALSE(an.init(kFs, 1 << 17));
    EXPECT_EQ(an.blockLength(), 1024);
    ASSERT_TRUE(an.attachDisplay(102, 102));
    ASSERT_TRUE(an.init(kFs, 512));  // a new block length detaches
    EXPECT_FALSE(an.displayAttached());
    EXPECT_EQ(an.transformOrder(), 9);
}

TEST(SpectrumAttach, EmptyAreaStaysDetached) {
    SpectrumAnalyser an;
    ASSERT_TRUE(an.init(kFs, 1024));
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
