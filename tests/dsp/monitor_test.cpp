#include "dsp/Monitor.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "dsp/SignalScale.h"

namespace zeb::dsp {
namespace {

class RecordingSink : public MonitorSink {
public:
    void queueBlock(std::span<const std::int16_t, kMonitorBlock> block) override {
        blocks.emplace_back(block.begin(), block.end());
    }
    void requestStart() override { startedAfter.push_back(static_cast<int>(blocks.size())); }
    std::vector<std::vector<std::int16_t>> blocks;
    std::vector<int> startedAfter;
};

std::array<float, kMonitorBlock> filled(float v) {
    std::array<float, kMonitorBlock> a;
    a.fill(v);
    return a;
}

TEST(MonitorFeed, PlaysOnlyWhenSwitchedOnAndStartsAfterFiveBlocks) {
    RecordingSink sink;
    MonitorFeed feed(sink);
    const auto block = filled(1.0f);
    feed.feed(block);
    EXPECT_TRUE(sink.blocks.empty());
    feed.switchOn();
    for (int i = 0; i < 12; ++i) feed.feed(block);
    EXPECT_EQ(sink.blocks.size(), 12u);
    EXPECT_EQ(sink.startedAfter, std::vector<int>{5});
    feed.switchOff();
    feed.feed(block);
    feed.switchOn();  // a new start after five more blocks
    for (int i = 0; i < 5; ++i) feed.feed(block);
    EXPECT_EQ(sink.startedAfter, (std::vector<int>{5, 17}));
}

TEST(MonitorFeed, BlockCounterWrapsAt128) {
    RecordingSink sink;
    MonitorFeed feed(sink);
    feed.switchOn();
    const auto block = filled(0.0f);
    for (int i = 0; i < 130; ++i) feed.feed(block);
    EXPECT_EQ(feed.blockCounter(), 2);
}

struct GainCase {
    float gainSum;
    float sample;
    std::int16_t expected;
};

class MonitorLevels : public ::testing::TestWithParam<GainCase> {};

TEST_P(MonitorLevels, ScaleRoundAndSaturate) {
    const auto& c = GetParam();
    RecordingSink sink;
    MonitorFeed feed(sink);
    feed.setGain(monitorGain(1.414f, c.gainSum));
    feed.switchOn();
    feed.feed(filled(c.sample));
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_EQ(sink.blocks[0][0], c.expected);
    EXPECT_EQ(sink.blocks[0][kMonitorBlock - 1], c.expected);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorLevels,
    ::testing::Values(GainCase{1.414f, 1000.4f, 1000}, GainCase{14.14f, -1000.0f, -100},
                      GainCase{1.414f, 1e6f, 32767}, GainCase{1.414f, -1e6f, -32768},
                      // a zero-width filter has no gain sum: silence, not infinity
                      GainCase{0.0f, 1000.0f, 0}, GainCase{kNaN, 1000.0f, 0},
                      GainCase{1.414f, kNaN, 0}));

TEST(SignalScale, JumpsUpAndDecaysTenPercentTowardsTheNewPeak) {
    SignalScale s;
    std::vector<float> v(1024, 0.0f);
    std::vector<std::int16_t> out(1024, 7);
    s.apply(v, 200, out);  // silence: baseline only, no division by zero
    EXPECT_EQ(s.scale(), 0.0f);
    EXPECT_EQ(out[0], 0);

    v[10] = 100.0f;
    v[20] = -50.0f;
    s.apply(v, 200, out);
    EXPECT_FLOAT_EQ(s.scale(), 205.0f);
    EXPECT_EQ(out[10], 98);  // 100 × 200 / 205
    EXPECT_EQ(out[20], -49);

    v[10] = 10.0f;
    v[20] = -20.0f;  // new peak 41: the scale moves 10 % of the way
    s.apply(v, 200, out);
    EXPECT_FLOAT_EQ(s.scale(), 205.0f - 0.1f * (205.0f - 41.0f));
}

}  // namespace
}  // namespace zeb::dsp
