// The tone demodulator of both designs and the squelch of the normalised one.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/Status.h"
#include "rtty/RttyDecoder.h"
#include "rtty/ToneDemodulator.h"

namespace zeb::rtty {
namespace {

std::vector<float> tone(double hz, double amplitude, int blocks) {
    std::vector<float> out(static_cast<std::size_t>(blocks * kBlockLength));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz *
                                                         static_cast<double>(i) / kSampleRate));
    }
    return out;
}

// Mean of the last demodulated block of `audio`.
float settledMean(ToneDemodulator& demod, const std::vector<float>& audio) {
    std::vector<float> out(kBlockLength);
    for (std::size_t i = 0; i < audio.size(); i += kBlockLength) {
        demod.processBlock(std::span<const float>(audio.data() + i, kBlockLength), out);
    }
    double sum = 0.0;
    for (float v : out) sum += v;
    return static_cast<float>(sum / kBlockLength);
}

struct BandwidthCase {
    int shift;
    int bandwidth;
};

class Bandwidth : public ::testing::TestWithParam<BandwidthCase> {};

TEST_P(Bandwidth, ToneFiltersWidenWithShift) {
    EXPECT_EQ(toneBandwidth(GetParam().shift), GetParam().bandwidth);
}

INSTANTIATE_TEST_SUITE_P(Shifts, Bandwidth,
                         ::testing::Values(BandwidthCase{85, 30}, BandwidthCase{170, 30},
                                           BandwidthCase{199, 30}, BandwidthCase{200, 50},
                                           BandwidthCase{425, 50}, BandwidthCase{499, 50},
                                           BandwidthCase{500, 80}, BandwidthCase{850, 80}));

class Polarity : public ::testing::TestWithParam<DemodVariant> {};

// Center 1200, shift 425: the upper tone gives a positive output, the lower
// a negative one (the slicer's "Normal" then reads the lower tone as mark).
TEST_P(Polarity, UpperTonePositiveLowerNegativeSilenceZero) {
    RttyParams p;
    p.center = 1200;
    p.shift = 425;
    ToneDemodulator demod(GetParam());
    demod.configure(p);
    EXPECT_GT(settledMean(demod, tone(1625, 3000, 4)), 100.0f);
    demod.configure(p);
    EXPECT_LT(settledMean(demod, tone(1200, 3000, 4)), -100.0f);
    demod.configure(p);
    std::vector<float> out(kBlockLength, 1.0f);
    const std::vector<float> silence(kBlockLength, 0.0f);
    demod.processBlock(silence, out);
    for (float v : out) ASSERT_EQ(v, 0.0f);
}

TEST_P(Polarity, OutputClippedToSixteenThousand) {
    RttyParams p;
    ToneDemodulator demod(GetParam());
    demod.configure(p);
    const auto loud = tone(p.upperHz(), 32000, 3);
    std::vector<float> out(kBlockLength);
    for (std::size_t i = 0; i < loud.size(); i += kBlockLength) {
        demod.processBlock(std::span<const float>(loud.data() + i, kBlockLength), out);
        for (float v : out) ASSERT_LE(std::fabs(v), kClip);
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, Polarity,
                         ::testing::Values(DemodVariant::Main, DemodVariant::Rtty));

// The normalised low-pass sits at a third of the mid-frequency; an integer
// third would give zero taps and a silent decoder.
// The spectrum tables of the squelch are built when the demodulator is made;
// a rejected preparation would reach the program's error handler, which ends
// the program.
TEST(ToneDemodulator, construction_reports_no_signal_processing_error) {
    dsp::clearStatus();
    ToneDemodulator main(DemodVariant::Main);
    ToneDemodulator rtty(DemodVariant::Rtty);
    EXPECT_EQ(dsp::lastStatus(), dsp::kStatusOk);
}

TEST(NormalisedDesign, LowPassCutOffIsAThirdOfTheMidFrequency) {
    const auto taps = normalisedLowPass(1275, 1700);
    ASSERT_EQ(taps.size(), 129u);
    const double expected = 1487 / 3.0 * 2.0 / kSampleRate;
    EXPECT_NEAR(taps[64], expected, 1e-6);  // Hamming window is 1 at the centre
    double sum = 0.0;
    for (float t : taps) sum += t;
    EXPECT_NEAR(sum, 1.0, 0.02);  // unity gain at DC
}

TEST(NormalisedDesign, BandPassPassesItsToneAndStopsTheOther) {
    const auto taps = normalisedBandPass(1275, 50);
    auto gainAt = [&](double hz) {
        double re = 0.0, im = 0.0;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const double w = 2.0 * std::numbers::pi * hz * static_cast<double>(k) / kSampleRate;
            re += taps[k] * std::cos(w);
            im -= taps[k] * std::sin(w);
        }
        return std::hypot(re, im);
    };
    // 129 taps cannot make a 40 Hz pass band flat: about 0.45 at the tone.
    EXPECT_GT(gainAt(1275), 0.4);
    EXPECT_LT(gainAt(1700), gainAt(1275) / 10.0);
}

struct SquelchCase {
    float squelch;
    bool demodulates;
};

class Squelch : public ::testing::TestWithParam<SquelchCase> {};

// A 1000-amplitude tone reads about 1000 in the squelch spectrum.
TEST_P(Squelch, ThresholdAgainstToneLevel) {
    StringTextSink display;
    RttyDecoder decoder({&display, nullptr}, DemodVariant::Rtty);
    RttyParams p;
    p.variant = DemodVariant::Rtty;
    p.mode = static_cast<int>(RttyMode::SitorB);
    p.squelch = GetParam().squelch;
    decoder.configure(p);
    decoder.slicer().setLockCount(7);
    const auto audio = tone(p.upperHz(), 1000, 6);
    int demodulated = 0;
    for (std::size_t i = 0; i < audio.size(); i += kBlockLength) {
        if (decoder.processBlock(std::span<const float>(audio.data() + i, kBlockLength))) {
            ++demodulated;
        }
    }
    EXPECT_EQ(demodulated, GetParam().demodulates ? 6 : 0);
    if (!GetParam().demodulates) {
        EXPECT_EQ(decoder.slicer().lockCount(), 7);
        EXPECT_EQ(display.collected(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Squelch,
                         ::testing::Values(SquelchCase{0.0f, true}, SquelchCase{300.0f, true},
                                           SquelchCase{1500.0f, false},
                                           SquelchCase{50000.0f, false}));

// The main design has no squelch: the value is ignored there.
TEST(Squelch, MainDesignIgnoresIt) {
    StringTextSink display;
    RttyDecoder decoder({&display, nullptr}, DemodVariant::Main);
    RttyParams p;
    p.variant = DemodVariant::Main;
    p.squelch = 50000.0f;
    decoder.configure(p);
    const std::vector<float> silence(kBlockLength, 0.0f);
    EXPECT_TRUE(decoder.processBlock(silence));
}

}  // namespace
}  // namespace zeb::rtty
