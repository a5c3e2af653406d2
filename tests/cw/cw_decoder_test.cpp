// The CW decoder's block processing, filters and life cycle.
#include "cw/CwDecoder.h"
#include "support/Blocks.h"
#include "support/MorseGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zeb::cw {
namespace {

void feed(CwDecoder& d, const std::vector<float>& audio) {
    test::forEachBlock<kBlockLength>(audio, [&](auto block) { d.processBlock(block); });
}

TEST(CwKeyThresholdTest, RisesAtOnceAndDecaysSlowly) {
    KeyThreshold t;
    std::vector<float> block(kBlockLength, 100.0f);
    t.update(block);
    EXPECT_FLOAT_EQ(t.value(), 50.0f);
    std::fill(block.begin(), block.end(), 92.0f);  // 46 is above 50 × 0.909…: rises at once
    t.update(block);
    EXPECT_FLOAT_EQ(t.value(), 46.0f);
    std::fill(block.begin(), block.end(), 83.0f);  // 41.5 is not above 46 × 0.909…: decays
    t.update(block);
    EXPECT_FLOAT_EQ(t.value(), 46.0f * KeyThreshold::kDecay);
    std::fill(block.begin(), block.end(), 0.0f);
    for (int i = 0; i < 139; ++i) t.update(block);  // about 13 s: halved
    EXPECT_NEAR(t.value(), 23.0f, 0.5f);
}

struct BandCase {
    ToneBand band;
};
class CwToneBandTest : public ::testing::TestWithParam<BandCase> {};

TEST_P(CwToneBandTest, MonitorGainIsFiniteAndFollowsTheGainSum) {
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    ASSERT_TRUE(d.start(GetParam().band));
    ASSERT_NE(d.toneFilter(), nullptr);
    const float sum = d.toneFilter()->gainSum();
    ASSERT_GT(sum, 0.0f);
    EXPECT_FLOAT_EQ(d.monitorGain(), 1.414f / sum);
    EXPECT_EQ(d.tone(), GetParam().band);
    // The spectrum display marks the filter's pass band and no tones.
    const ToneBand b = GetParam().band;
    EXPECT_EQ(d.markers(), (dsp::Markers{.passLowHz = static_cast<float>(b.center - b.width),
                                         .passHighHz = static_cast<float>(b.center + b.width)}));
}
INSTANTIATE_TEST_SUITE_P(cwBands, CwToneBandTest,
                         ::testing::Values(BandCase{{1275, 100}}, BandCase{{500, 20}},
                                           BandCase{{2000, 500}}, BandCase{{597, 100}}));

TEST(CwDecoderTest, DigitalSilenceKeysNothing) {
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    ASSERT_TRUE(d.start({}));
    feed(d, std::vector<float>(kBlockLength * 200, 0.0f));
    EXPECT_EQ(sink.collected(), "");
    EXPECT_TRUE(d.tracker().inGap());
    EXPECT_EQ(d.tracker().dotLength(), KeyTracker::kInitialDotLength);
}

TEST(CwDecoderTest, DecodesOnlyWhileRunningAndWithTheSquelchOpen) {
    test::MorseSignal s;
    s.snrDb = 30.0;
    const auto audio = test::generateMorse("VVV PARIS PARIS", s);
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    feed(d, audio);  // never started
    EXPECT_EQ(sink.collected(), "");
    ASSERT_TRUE(d.start({}));
    d.setSquelchClosed(true);
    feed(d, audio);
    EXPECT_EQ(sink.collected(), "");
    EXPECT_EQ(d.threshold().value(), 0.0f);
    d.setSquelchClosed(false);
    feed(d, audio);
    const std::string got = test::normaliseSpaces(sink.collected());
    EXPECT_TRUE(got.ends_with("VV PARIS PARIS")) << got;
}

TEST(CwDecoderTest, StopAndStartKeepTheLearntSpeed) {
    test::MorseSignal s;
    s.wpm = 15.0;
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    ASSERT_TRUE(d.start({}));
    feed(d, test::generateMorse("VVV VVV VVV", s));
    const int dot = d.tracker().dotLength();
    EXPECT_LT(std::abs(dot - (1.2 / 15 * 11025 - 100)), 150);
    d.stop();
    EXPECT_FALSE(d.running());
    EXPECT_TRUE(d.envelope().empty());
    ASSERT_TRUE(d.start({}));
    EXPECT_TRUE(d.start({}));  // already running: nothing
    EXPECT_EQ(d.tracker().dotLength(), dot);
    EXPECT_EQ(d.envelope().size(), static_cast<std::size_t>(kBlockLength));
}

class CapturingMonitor : public dsp::MonitorSink {
public:
    void queueBlock(std::span<const std::int16_t, dsp::kMonitorBlock> block) override {
        peak = std::max(peak, static_cast<int>(*std::max_element(block.begin(), block.end())));
        ++blocks;
    }
    void requestStart() override {}
    int blocks = 0;
    int peak = 0;
};

// The monitor plays the filtered tone at 1.414 / gain sum: a strong tone in
// the pass band plays clearly without clipping, and nothing plays while the
// monitor is off.
TEST(CwDecoderTest, MonitorPlaysTheFilteredToneAtItsGain) {
    CapturingMonitor sink;
    dsp::MonitorFeed monitor(sink);
    StringTextSink text;
    CwDecoder d(text);
    d.setVariant(CwVariant::Filter, false);
    d.setMonitor(&monitor);
    ASSERT_TRUE(d.start({1275, 100}));
    EXPECT_FLOAT_EQ(monitor.gain(), d.monitorGain());
    test::MorseSignal s;
    s.amplitude = 10000.0;
    const auto audio = test::generateMorse("TTT", s);
    feed(d, audio);
    EXPECT_EQ(sink.blocks, 0);
    monitor.switchOn();
    feed(d, audio);
    EXPECT_GT(sink.blocks, 0);
    EXPECT_GT(sink.peak, 1000);
    EXPECT_LT(sink.peak, 32767);
}

// A tone outside the pass band never keys the decoder.
TEST(CwDecoderTest, IgnoresToneOutsideThePassBand) {
    test::MorseSignal s;
    s.toneHz = 1800.0;
    s.snrDb = 20.0;
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    ASSERT_TRUE(d.start({1275, 100}));
    feed(d, test::generateMorse("PARIS PARIS", s));
    EXPECT_EQ(test::normaliseSpaces(sink.collected()).find("PARIS"), std::string::npos);
    sink.clear();
    ASSERT_TRUE(d.setTone({1800, 100}));
    feed(d, test::generateMorse("PARIS PARIS", s));
    EXPECT_NE(test::normaliseSpaces(sink.collected()).find("PARIS"), std::string::npos);
}

}  // namespace
}  // namespace zeb::cw
