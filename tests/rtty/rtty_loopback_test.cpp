// End to end: generated FSK audio through the whole decoder, compared with
// the text that was sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "dsp/Monitor.h"
#include "rtty/RttyDecoder.h"
#include "support/Blocks.h"
#include "support/RttyGenerator.h"

namespace zeb::rtty {
namespace {

using test::FskSignal;

// Decodes audio with the given parameters; returns what the display received
// with its CR line ends as '\n'.
std::string decode(const std::vector<float>& audio, RttyParams params,
                   DemodVariant variant = DemodVariant::Main) {
    StringTextSink display;
    RttyDecoder decoder({&display, nullptr}, variant);
    params.variant = variant;
    decoder.configure(params);
    test::forEachBlock<kBlockLength>(audio, [&](auto block) { decoder.processBlock(block); });
    std::string text = display.collected();
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

const std::string kMessage = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 -?:(),./=+";

struct LoopbackCase {
    const char* name;
    RttyMode mode;
    double sentBaud;
    int baud;
    int shift;
    double stopSent;
    float stopConfigured;
    double offsetHz;
    DemodVariant variant;
    double asyncIdleBits = 0.75;  // mark between asynchronous characters
};

std::ostream& operator<<(std::ostream& os, const LoopbackCase& c) { return os << c.name; }

class RttyLoopback : public ::testing::TestWithParam<LoopbackCase> {};

TEST_P(RttyLoopback, DecodesCleanSignalWithoutError) {
    const LoopbackCase& c = GetParam();
    RttyParams params;
    params.mode = static_cast<int>(c.mode);
    params.baud = c.baud;
    params.shift = c.shift;
    params.center = 1275;
    params.stop = c.stopConfigured;

    FskSignal signal;
    signal.baud = c.sentBaud;
    signal.markHz = 1275.0 + c.offsetHz;  // "Normal": the lower tone is mark
    signal.spaceHz = 1275.0 + c.shift + c.offsetHz;
    signal.ebN0Db = 30.0;
    signal.seed = 7;

    std::vector<test::FskElement> elements;
    std::string expected = kMessage;
    if (c.mode == RttyMode::SitorB) {
        const auto words = test::ccir476Words(kMessage);
        elements = test::sitorElements(test::fecSlots(words, 20, false), 14.0);
    } else {
        const auto codes = test::ita2Codes(kMessage);
        // Asynchronous: idle mark of varying length between characters;
        // synchronous: back to back after a short lead-in.
        const double idle = c.mode == RttyMode::Baudot ? c.asyncIdleBits : 0.0;
        elements = test::ita2Frames(codes, c.stopSent, idle, 10.0);
    }
    const std::string got = decode(test::fskAudio(elements, signal), params, c.variant);
    if (c.mode == RttyMode::SitorB) {
        // Before the phasing signals lock the slicer, a slot cut across the
        // tone onset can form a valid word; at most one such character may
        // precede the message.
        ASSERT_GE(got.size(), expected.size());
        EXPECT_LE(got.size(), expected.size() + 1) << got;
        EXPECT_EQ(got.substr(got.size() - expected.size()), expected);
    } else {
        EXPECT_EQ(got, expected);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Modes, RttyLoopback,
    ::testing::Values(
        LoopbackCase{"Async50Bd450HzPlus10", RttyMode::Baudot, 50, 50, 450, 1.5, 1.5f, 10, DemodVariant::Main},
        LoopbackCase{"Async50Bd450HzStop1Minus10", RttyMode::Baudot, 50, 50, 450, 1.0, 1.5f, -10, DemodVariant::Main},
        LoopbackCase{"Async75Bd850HzStop2", RttyMode::Baudot, 75, 75, 850, 2.0, 1.5f, 10, DemodVariant::Main},
        LoopbackCase{"Async75Bd850HzMinus10", RttyMode::Baudot, 75, 75, 850, 1.5, 1.0f, -10, DemodVariant::Main},
        LoopbackCase{"Async45Bd170Hz", RttyMode::Baudot, 45.45, 45, 170, 1.5, 1.5f, 10, DemodVariant::Main},
        LoopbackCase{"Async45_45BdStop1ReadAt45", RttyMode::Baudot, 45.45, 45, 170, 1.0, 1.5f, 0, DemodVariant::Main, 0.0},
        LoopbackCase{"Async45Bd170HzMinus10", RttyMode::Baudot, 45.45, 45, 170, 1.0, 1.5f, -10, DemodVariant::Main},
        LoopbackCase{"Sync50Bd450Hz", RttyMode::SyncBaudot, 50, 50, 450, 1.5, 1.5f, 10, DemodVariant::Main},
        LoopbackCase{"Sync50Bd450HzMinus10", RttyMode::SyncBaudot, 50, 50, 450, 1.5, 1.5f, -10, DemodVariant::Main},
        LoopbackCase{"Sync75Bd850HzStop1", RttyMode::SyncBaudot, 75, 75, 850, 1.0, 1.0f, 10, DemodVariant::Main},
        LoopbackCase{"Sitor100Bd170HzPlus10", RttyMode::SitorB, 100, 100, 170, 0, 1.5f, 10, DemodVariant::Main},
        LoopbackCase{"Sitor100Bd170HzMinus10", RttyMode::SitorB, 100, 100, 170, 0, 1.5f, -10, DemodVariant::Main},
        LoopbackCase{"RttyVariantAsync50Bd450Hz", RttyMode::Baudot, 50, 50, 450, 1.5, 1.5f, 10, DemodVariant::Rtty},
        LoopbackCase{"RttyVariantSitor100Bd170Hz", RttyMode::SitorB, 100, 100, 170, 0, 1.5f, -10, DemodVariant::Rtty},
        LoopbackCase{"MatchedAsync50Bd450HzPlus10", RttyMode::Baudot, 50, 50, 450, 1.5, 1.5f, 10, DemodVariant::Matched},
        LoopbackCase{"MatchedAsync75Bd850HzStop2", RttyMode::Baudot, 75, 75, 850, 2.0, 1.5f, 10, DemodVariant::Matched},
        LoopbackCase{"MatchedAsync45Bd170HzStop1", RttyMode::Baudot, 45.45, 45, 170, 1.0, 1.5f, -10, DemodVariant::Matched},
        LoopbackCase{"MatchedSync50Bd450Hz", RttyMode::SyncBaudot, 50, 50, 450, 1.5, 1.5f, 10, DemodVariant::Matched},
        LoopbackCase{"MatchedSitor100Bd170HzMinus10", RttyMode::SitorB, 100, 100, 170, 0, 1.5f, -10, DemodVariant::Matched}),
    [](const auto& tpi) { return std::string(tpi.param.name); });
// clang-format on

// Levenshtein distance over the expected length.
double charErrorRate(const std::string& expected, const std::string& got) {
    std::vector<std::size_t> prev(got.size() + 1), cur(got.size() + 1);
    for (std::size_t j = 0; j <= got.size(); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= expected.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= got.size(); ++j) {
            const std::size_t subst = prev[j - 1] + (expected[i - 1] == got[j - 1] ? 0 : 1);
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, subst});
        }
        std::swap(prev, cur);
    }
    return static_cast<double>(prev[got.size()]) / static_cast<double>(expected.size());
}

struct NoiseCase {
    const char* name;
    RttyMode mode;
    int baud;
    int shift;
    double ebN0Db;
    double minCer;
    double maxCer;
    DemodVariant variant = DemodVariant::Main;
};

std::ostream& operator<<(std::ostream& os, const NoiseCase& c) { return os << c.name; }

class RttyUnderNoise : public ::testing::TestWithParam<NoiseCase> {};

// Character error rate at a given Eb/N0, over three noise seeds, within the
// window measured for this decoder (scripts/rtty-accuracy gives the curve).
TEST_P(RttyUnderNoise, ErrorRateWithinWindow) {
    const NoiseCase& c = GetParam();
    RttyParams params;
    params.mode = static_cast<int>(c.mode);
    params.baud = c.baud;
    params.shift = c.shift;
    std::string text;
    for (int i = 0; i < 4; ++i) text += kMessage + " ";
    double total = 0.0;
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        FskSignal signal;
        signal.baud = c.baud;
        signal.markHz = 1275.0;
        signal.spaceHz = 1275.0 + c.shift;
        signal.amplitude = 2000.0;
        signal.ebN0Db = c.ebN0Db;
        signal.seed = seed;
        const auto elements =
            c.mode == RttyMode::SitorB
                ? test::sitorElements(test::fecSlots(test::ccir476Words(text), 20, false), 14.0)
                : test::ita2Frames(test::ita2Codes(text), 1.5, 0.0, 10.0);
        total += charErrorRate(text, decode(test::fskAudio(elements, signal), params, c.variant));
    }
    // The lower edge catches a generator whose noise went missing.
    EXPECT_GE(total / 3.0, c.minCer);
    EXPECT_LE(total / 3.0, c.maxCer);
}

INSTANTIATE_TEST_SUITE_P(
    Impairments, RttyUnderNoise,
    ::testing::Values(NoiseCase{"Async50Bd450Hz14dB", RttyMode::Baudot, 50, 450, 14.0, 0.0, 0.02},
                      NoiseCase{"Async50Bd450Hz10dB", RttyMode::Baudot, 50, 450, 10.0, 0.1, 0.5},
                      NoiseCase{"Sync50Bd450Hz14dB", RttyMode::SyncBaudot, 50, 450, 14.0, 0.0,
                                0.02},
                      NoiseCase{"Sitor100Bd170Hz14dB", RttyMode::SitorB, 100, 170, 14.0, 0.0, 0.02},
                      NoiseCase{"Sitor100Bd170Hz10dB", RttyMode::SitorB, 100, 170, 10.0, 0.05, 0.4},
                      // The matched design where the filter designs lose a tenth or more.
                      NoiseCase{"MatchedAsync50Bd450Hz11dB", RttyMode::Baudot, 50, 450, 11.0, 0.0,
                                0.05, DemodVariant::Matched},
                      NoiseCase{"MatchedAsync50Bd450Hz8dB", RttyMode::Baudot, 50, 450, 8.0, 0.05,
                                0.45, DemodVariant::Matched},
                      NoiseCase{"MatchedSitor100Bd170Hz10dB", RttyMode::SitorB, 100, 170, 10.0, 0.0,
                                0.02, DemodVariant::Matched}),
    [](const auto& tpi) { return std::string(tpi.param.name); });

}  // namespace
}  // namespace zeb::rtty

namespace zeb::rtty {
namespace {

// Counts what the decoder plays on the audio monitor.
class RecordingMonitor : public dsp::MonitorSink {
public:
    void queueBlock(std::span<const std::int16_t, dsp::kMonitorBlock> block) override {
        ++blocks;
        peak = 0;
        for (std::int16_t s : block) peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    void requestStart() override { startedAfter = blocks; }
    int blocks = 0;
    int peak = 0;
    int startedAfter = -1;
};

TEST(RttyMonitor, PlaysBothTonesAtTheFilterGainOnlyWhileSwitchedOn) {
    RttyParams params;
    params.baud = 50;
    params.shift = 450;
    params.center = 1275;
    test::FskSignal signal;  // 1275 / 1725 Hz, amplitude 8000
    const auto audio =
        test::fskAudio(test::ita2Frames(test::ita2Codes("RYRYRYRYRY"), 1.5, 0.0, 10.0), signal);

    StringTextSink display;
    RttyDecoder decoder({&display, nullptr});
    decoder.configure(params);
    RecordingMonitor sink;
    dsp::MonitorFeed feed(sink);
    decoder.setMonitor(&feed);

    std::vector<float> block(kBlockLength);
    auto play = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) {
            std::copy_n(audio.begin() + static_cast<std::ptrdiff_t>(b * kBlockLength), kBlockLength,
                        block.begin());
            decoder.processBlock(block);
        }
    };
    play(2);
    EXPECT_EQ(sink.blocks, 0);  // switched off: nothing is played

    feed.switchOn();
    play(6);
    EXPECT_EQ(sink.blocks, 6);
    EXPECT_EQ(sink.startedAfter, 5);  // playback starts with five blocks queued
    // The tone filters pass the signal at about the sample rate times its
    // amplitude; the gain 1.414 / gain sum brings that back to about 1.4 × 8000.
    EXPECT_GT(sink.peak, 6000);
    EXPECT_LT(sink.peak, 20000);
}

}  // namespace
}  // namespace zeb::rtty
