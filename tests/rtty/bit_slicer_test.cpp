// The three bit slicers on demodulated signals built sample by sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "rtty/BitSlicer.h"

namespace zeb::rtty {
namespace {

// Records every word, the lockCount at the call, and answers with `verdict`.
class Recorder : public WordHandler {
public:
    explicit Recorder(const BitSlicer& slicer, int verdict = 1)
        : slicer_(slicer), verdict_(verdict) {}
    int baudot(int frame) override { return record(frame); }
    int sitor(int word) override { return record(word); }
    std::vector<int> words;
    std::vector<int> locks;
    std::vector<int> corrections;  // of the character before this call

private:
    int record(int w) {
        words.push_back(w);
        locks.push_back(slicer_.lockCount());
        corrections.push_back(slicer_.lastCorrection());
        return verdict_;
    }
    const BitSlicer& slicer_;
    int verdict_;
};

// Demodulator output for bits as the slicer sees it with "Invers" (no sign
// change): mark positive.
class Signal {
public:
    void bits(int value, int count, int samplesEach) {
        samples_.insert(samples_.end(), static_cast<std::size_t>(count * samplesEach),
                        value != 0 ? 1000.0f : -1000.0f);
    }
    void frame(int code, int spb, int stopSamples) {
        bits(0, 1, spb);
        for (int b = 4; b >= 0; --b) bits((code >> b) & 1, 1, spb);
        samples_.insert(samples_.end(), static_cast<std::size_t>(stopSamples), 1000.0f);
    }
    void silence(int n) { samples_.insert(samples_.end(), static_cast<std::size_t>(n), 0.0f); }
    std::vector<float>& samples() { return samples_; }

    void feed(BitSlicer& slicer, const RttyParams& p, WordHandler& h) {
        std::vector<float> block(kBlockLength);
        for (std::size_t i = 0; i + kBlockLength <= samples_.size(); i += kBlockLength) {
            std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(i), kBlockLength,
                        block.begin());
            slicer.slice(block, p, h);
        }
    }

private:
    std::vector<float> samples_;
};

RttyParams params(RttyMode mode, int baud, float stop = 1.5f) {
    RttyParams p;
    p.mode = static_cast<int>(mode);
    p.baud = baud;
    p.stop = stop;
    p.invert = 1;
    return p;
}

class SilenceCarriesNothing : public ::testing::TestWithParam<RttyMode> {};

TEST_P(SilenceCarriesNothing, HuntingSlicerConsumesTheBlock) {
    BitSlicer slicer;
    Recorder rec(slicer);
    Signal s;
    s.silence(kBlockLength * 3);
    s.feed(slicer, params(GetParam(), 50), rec);
    EXPECT_EQ(slicer.carried(), 0);
    EXPECT_TRUE(rec.words.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, SilenceCarriesNothing,
                         ::testing::Values(RttyMode::Baudot, RttyMode::SyncBaudot));

// Parameters that bypass validation (baud 10: a character of 7717 samples)
// must not overrun the carry buffer in any mode: such blocks are dropped.
class CarryOverflow : public ::testing::TestWithParam<RttyMode> {};

TEST_P(CarryOverflow, BlockThatWouldOverflowIsDropped) {
    BitSlicer slicer;
    Recorder rec(slicer, 0);
    Signal s;
    s.bits(0, 1, 6 * kBlockLength);
    RttyParams p = params(GetParam(), 30);
    p.baud = 10;
    s.feed(slicer, p, rec);
    EXPECT_EQ(slicer.carried(), kCarryCapacity);
    EXPECT_TRUE(rec.words.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, CarryOverflow,
                         ::testing::Values(RttyMode::Baudot, RttyMode::SyncBaudot,
                                           RttyMode::SitorB));

TEST(AsyncSlicer, ReadsFramesAndIgnoresConfiguredStopLength) {
    for (float stop : {1.0f, 1.5f, 2.0f}) {
        BitSlicer slicer;
        Recorder rec(slicer);
        Signal s;
        s.bits(1, 10, 220);
        for (int code : {31, 16, 1, 24}) s.frame(code, 220, 330);
        s.bits(1, 20, 220);
        s.feed(slicer, params(RttyMode::Baudot, 50, stop), rec);
        EXPECT_EQ(rec.words, (std::vector<int>{0x3F, 0x21, 0x03, 0x31})) << stop;
        EXPECT_TRUE(slicer.synchronised());
    }
}

TEST(AsyncSlicer, MissingStopBitLosesSynchronisation) {
    BitSlicer slicer;
    Recorder rec(slicer);
    Signal s;
    s.bits(1, 10, 220);
    s.bits(0, 12, 220);  // a long space: no stop bit where one belongs
    s.silence(3 * kBlockLength);
    s.feed(slicer, params(RttyMode::Baudot, 50), rec);
    EXPECT_FALSE(slicer.synchronised());
}

TEST(SyncSlicer, CharacterLengthIncludesTheStopLength) {
    EXPECT_EQ(BitSlicer::syncCharLength(params(RttyMode::SyncBaudot, 50, 1.5f)), 1653);
    EXPECT_EQ(BitSlicer::syncCharLength(params(RttyMode::SyncBaudot, 50, 1.0f)), 1543);
    EXPECT_EQ(BitSlicer::syncCharLength(params(RttyMode::SyncBaudot, 50, 2.0f)), 1764);
    EXPECT_EQ(BitSlicer::asyncCharLength(params(RttyMode::Baudot, 30)), 2572);
    EXPECT_EQ(BitSlicer::sitorCharLength(params(RttyMode::SitorB, 100)), 771);
}

// Back-to-back characters of 1653 samples; then one character whose edges lie
// `offset` samples off the slicer's raster. The correction follows the edges,
// at most half a bit (110 samples) per edge on average.
struct TimingCase {
    int offset;
    int expected;
};

class SyncTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(SyncTiming, CorrectionFollowsEdgesWithinHalfABit) {
    BitSlicer slicer;
    Recorder rec(slicer);
    Signal s;
    s.bits(1, 10, 220);
    const int stop = 1653 - 6 * 220;
    for (int i = 0; i < 11; ++i) s.frame(i % 2 == 0 ? 21 : 10, 220, stop);
    s.frame(10, 220, stop + GetParam().offset);
    for (int i = 0; i < 6; ++i) s.frame(10, 220, stop);
    s.bits(1, 30, 220);
    s.feed(slicer, params(RttyMode::SyncBaudot, 50, 1.5f), rec);
    ASSERT_GE(rec.words.size(), 18u);
    for (std::size_t i = 0; i < 18; ++i)
        EXPECT_EQ(rec.words[i], i % 2 == 0 && i < 11 ? 0x2B : 0x15) << i;
    EXPECT_EQ(rec.locks[11], kSyncLockMax);
    EXPECT_EQ(rec.corrections[13], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Offsets, SyncTiming,
                         ::testing::Values(TimingCase{0, 0}, TimingCase{20, 20}, TimingCase{90, 90},
                                           TimingCase{-40, -40}, TimingCase{-100, -100}));

// Whatever the signal, no correction exceeds half a bit.
TEST(SyncSlicer, CorrectionBoundedOnRandomSignals) {
    std::mt19937 rng(11);
    BitSlicer slicer;
    Recorder rec(slicer);
    Signal s;
    for (int i = 0; i < 3000; ++i) {
        s.bits(static_cast<int>(rng() % 2u), 1, 30 + static_cast<int>(rng() % 300u));
    }
    s.feed(slicer, params(RttyMode::SyncBaudot, 50, 1.5f), rec);
    ASSERT_GT(rec.words.size(), 50u);
    for (int c : rec.corrections) EXPECT_LE(std::abs(c), 220 / 2);
}

TEST(SyncSlicer, FlywheelCarriesThroughFramingErrors) {
    BitSlicer slicer;
    Recorder rec(slicer);
    Signal s;
    s.bits(1, 10, 220);
    for (int i = 0; i < 8; ++i) s.frame(16, 220, 1653 - 6 * 220);
    // Two characters lost in a burst of space.
    s.bits(0, 2 * 1653, 1);
    for (int i = 0; i < 4; ++i) s.frame(16, 220, 1653 - 6 * 220);
    s.bits(1, 30, 220);
    s.feed(slicer, params(RttyMode::SyncBaudot, 50, 1.5f), rec);
    // 8 good, 2 handed on by the flywheel, then the clock is still in step.
    ASSERT_GE(rec.words.size(), 14u);
    EXPECT_EQ(rec.words[8], 0x00);
    EXPECT_EQ(rec.words[9], 0x00);
    for (std::size_t i = 10; i < 14; ++i) EXPECT_EQ(rec.words[i], 0x21) << i;
}

TEST(SitorSlicer, FlywheelRunsFifteenInvalidWordsThenSlides) {
    BitSlicer slicer;
    slicer.setLockCount(kSitorLockMax);
    Recorder rec(slicer, 0);
    Signal s;
    s.bits(1, 14 * kBlockLength, 1);
    s.feed(slicer, params(RttyMode::SitorB, 100), rec);
    ASSERT_GE(rec.locks.size(), 17u);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(rec.locks[k], kSitorLockMax - k) << k;
    EXPECT_EQ(rec.locks[16], 0);
    // Sixteen whole characters of 771 samples, then steps of 110 / 8 = 13.
    const int total = 14 * kBlockLength;
    int calls = 16;
    for (int p = 15 * 771 + 13; p + 771 < total; p += 13) ++calls;
    EXPECT_EQ(static_cast<int>(rec.words.size()), calls);
    EXPECT_EQ(slicer.lockCount(), 0);
}

TEST(SitorSlicer, LockRisesToSixteenOnValidWords) {
    BitSlicer slicer;
    Recorder rec(slicer, 1);
    Signal s;
    std::mt19937 rng(3);
    for (int i = 0; i < 40; ++i) {
        const int w = static_cast<int>(rng() % 128u);
        for (int b = 6; b >= 0; --b) s.bits((w >> b) & 1, 1, 110);
    }
    s.feed(slicer, params(RttyMode::SitorB, 100), rec);
    EXPECT_EQ(slicer.lockCount(), kSitorLockMax);
}

}  // namespace
}  // namespace zeb::rtty
