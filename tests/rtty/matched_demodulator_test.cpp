// The matched design end to end on generated signals: tones found, polarity
// found, drift followed, SITOR-B copies combined, noise kept quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "rtty/RttyDecoder.h"
#include "rtty/ToneFinder.h"
#include "support/Blocks.h"
#include "support/RttyGenerator.h"

namespace zeb::rtty {
namespace {

const std::string kText = "GALE WARNING 0600 UTC WIND NORTH 8 TO 9 SEA ROUGH VIS GOOD";

RttyParams params(RttyMode mode, int baud, int shift) {
    RttyParams p;
    p.mode = static_cast<int>(mode);
    p.baud = baud;
    p.shift = shift;
    p.center = 1275;
    return p;
}

struct Decoded {
    std::string text;
    Polarity polarity = Polarity::Auto;
    double snrDb = 0.0;
    double errorShare = 0.0;
};

Decoded decode(const std::vector<float>& audio, const RttyParams& p) {
    StringTextSink display;
    RttyDecoder decoder({&display, nullptr});
    decoder.configure(p);
    test::forEachBlock<kBlockLength>(audio, [&](auto block) { decoder.processBlock(block); });
    std::string text = display.collected();
    std::replace(text.begin(), text.end(), '\r', '\n');
    return {text, decoder.polarityInUse(), decoder.snrDb(), decoder.errorShare()};
}

std::vector<float> baudot(const std::string& text, test::FskSignal s) {
    return test::fskAudio(test::ita2Frames(test::ita2Codes(text), 1.5, 0.0, 20.0), s);
}

std::vector<float> sitor(const std::vector<int>& slots, test::FskSignal s) {
    s.baud = 100.0;
    return test::fskAudio(test::sitorElements(slots, 14.0), s);
}

struct ToneCase {
    double lowerHz;
    int shift;
    double baud;
};

class Finder : public ::testing::TestWithParam<ToneCase> {};

TEST_P(Finder, FindsThePairOfTheGivenShift) {
    const ToneCase c = GetParam();
    test::FskSignal s;
    s.baud = c.baud;
    s.markHz = c.lowerHz;
    s.spaceHz = c.lowerHz + c.shift;
    s.ebN0Db = 12.0;
    ToneFinder finder(c.shift);
    test::forEachBlock<kBlockLength>(baudot(kText + kText, s), [&](auto b) {
        if (finder.seconds() < 4.0) finder.feed(b);
    });
    const auto pair = finder.best();
    ASSERT_TRUE(pair.has_value());
    EXPECT_NEAR(pair->lowerHz, c.lowerHz, 4.0);
    EXPECT_NEAR(pair->upperHz, c.lowerHz + c.shift, 4.0);
}

INSTANTIATE_TEST_SUITE_P(Tones, Finder,
                         ::testing::Values(ToneCase{1275.0, 450, 50.0},
                                           ToneCase{1915.0, 170, 45.45},
                                           ToneCase{2125.0, 170, 45.45}, ToneCase{612.0, 850, 75.0},
                                           ToneCase{1760.0, 440, 50.0}));

TEST(Finder, NoPairInNoise) {
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    std::vector<float> audio(4 * kSampleRate);
    for (float& x : audio) x = noise(rng);
    ToneFinder finder(170);
    test::forEachBlock<kBlockLength>(audio, [&](auto b) { finder.feed(b); });
    EXPECT_FALSE(finder.best().has_value());
}

struct ImpairedCase {
    const char* name;
    RttyMode mode;
    bool inverted;    // the upper tone is mark
    double offsetHz;  // the signal's tones off the configured ones
    double driftHzPerMinute;
    double baudError;  // relative
};

std::ostream& operator<<(std::ostream& os, const ImpairedCase& c) { return os << c.name; }

class Impaired : public ::testing::TestWithParam<ImpairedCase> {};

// A clean-ish signal (14 dB) with the impairment decodes exactly, and the
// polarity found is the one sent.
TEST_P(Impaired, DecodesWithoutHelp) {
    const ImpairedCase c = GetParam();
    const bool sitorMode = c.mode == RttyMode::SitorB;
    RttyParams p = sitorMode ? params(c.mode, 100, 170) : params(c.mode, 50, 450);
    test::FskSignal s;
    s.baud = p.baud * (1.0 + c.baudError);
    const double mark = 1275.0 + c.offsetHz;
    const double space = mark + p.shift;
    s.markHz = c.inverted ? space : mark;
    s.spaceHz = c.inverted ? mark : space;
    s.ebN0Db = 14.0;
    s.driftHzPerSecond = c.driftHzPerMinute / 60.0;
    std::string text;
    // Long enough for drift to matter: about 4 minutes at 50 Bd.
    const int repeats = c.driftHzPerMinute != 0.0 ? 25 : 3;
    for (int i = 0; i < repeats; ++i) text += kText + "\n";
    const auto audio =
        sitorMode ? sitor(test::fecSlots(test::ccir476Words(text), 16, false), s) : baudot(text, s);
    const Decoded d = decode(audio, p);
    EXPECT_EQ(d.text, text);
    EXPECT_EQ(d.polarity, c.inverted ? Polarity::Inverted : Polarity::Normal);
    EXPECT_LT(d.errorShare, 0.01);  // the steady tone after an emission may cost one
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Signals, Impaired,
    ::testing::Values(
        ImpairedCase{"BaudotInverted", RttyMode::Baudot, true, 0.0, 0.0, 0.0},
        ImpairedCase{"BaudotPlus20Hz", RttyMode::Baudot, false, 20.0, 0.0, 0.0},
        ImpairedCase{"BaudotMinus20HzInverted", RttyMode::Baudot, true, -20.0, 0.0, 0.0},
        ImpairedCase{"BaudotDrift10HzPerMinute", RttyMode::Baudot, false, 0.0, 10.0, 0.0},
        ImpairedCase{"BaudotRatePlus1Percent", RttyMode::Baudot, false, 0.0, 0.0, 0.01},
        ImpairedCase{"BaudotRateMinus1Percent", RttyMode::Baudot, false, 0.0, 0.0, -0.01},
        ImpairedCase{"SyncBaudotRateMinus1Percent", RttyMode::SyncBaudot, false, 0.0, 0.0, -0.01},
        ImpairedCase{"SitorInverted", RttyMode::SitorB, true, 0.0, 0.0, 0.0},
        ImpairedCase{"SitorMinus15HzRatePlus1Percent", RttyMode::SitorB, false, -15.0, 0.0, 0.01}),
    [](const auto& tpi) { return std::string(tpi.param.name); });
// clang-format on

// With frequency control on, a signal far off the set tones or drifting
// across them is followed by every design: after the first line, the text
// comes out whole and the offset shown is the signal's.
struct FollowCase {
    const char* name;
    DemodVariant variant;
    RttyMode mode;
    double offsetHz;  // at the start
    double driftHzPerMinute;
};

std::ostream& operator<<(std::ostream& os, const FollowCase& c) { return os << c.name; }

class FrequencyControl : public ::testing::TestWithParam<FollowCase> {};

TEST_P(FrequencyControl, FollowsTheSignal) {
    const FollowCase c = GetParam();
    const bool sitorMode = c.mode == RttyMode::SitorB;
    RttyParams p = sitorMode ? params(c.mode, 100, 170) : params(c.mode, 50, 450);
    p.variant = c.variant;
    p.afc = true;
    test::FskSignal s;
    s.baud = p.baud;
    s.markHz = 1275.0 + c.offsetHz;
    s.spaceHz = s.markHz + p.shift;
    s.ebN0Db = 16.0;
    s.driftHzPerSecond = c.driftHzPerMinute / 60.0;
    std::string text;
    for (int i = 0; i < 12; ++i) text += kText + "\n";
    const auto audio =
        sitorMode ? sitor(test::fecSlots(test::ccir476Words(text), 16, false), s) : baudot(text, s);
    const double seconds = static_cast<double>(audio.size()) / kSampleRate;

    StringTextSink display;
    RttyDecoder decoder({&display, nullptr});
    decoder.configure(p);
    test::forEachBlock<kBlockLength>(audio, [&](auto block) { decoder.processBlock(block); });
    std::string got = display.collected();
    std::replace(got.begin(), got.end(), '\r', '\n');
    const std::string tail = text.substr(2 * (kText.size() + 1));
    EXPECT_NE(got.find(tail), std::string::npos) << got;
    const double endOffset = c.offsetHz + s.driftHzPerSecond * seconds;
    // SITOR-B's tones, a shift of 1.7 keying rates apart and sent 4:3, pull
    // each other's spectral peaks: its offset reads up to some 8 Hz low.
    EXPECT_NEAR(decoder.toneOffsetHz(), endOffset, sitorMode ? 10.0 : 4.0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Signals, FrequencyControl,
    ::testing::Values(
        FollowCase{"MatchedPlus80Hz", DemodVariant::Matched, RttyMode::Baudot, 80.0, 0.0},
        FollowCase{"MatchedMinus150Hz", DemodVariant::Matched, RttyMode::Baudot, -150.0, 0.0},
        FollowCase{"MatchedDrift30HzPerMinute", DemodVariant::Matched, RttyMode::Baudot, 0.0, 30.0},
        FollowCase{"MatchedSitorMinus90Hz", DemodVariant::Matched, RttyMode::SitorB, -90.0, 0.0},
        FollowCase{"MainFiltersPlus80Hz", DemodVariant::Main, RttyMode::Baudot, 80.0, 0.0},
        FollowCase{"RttyFiltersDrift30HzPerMinute", DemodVariant::Rtty, RttyMode::Baudot, 0.0, 30.0}),
    [](const auto& tpi) { return std::string(tpi.param.name); });
// clang-format on

// Every repetition of one character and every first transmission of the
// next arrives with one bit flipped: neither copy alone is valid, each
// character still comes out from the two copies together.
TEST(SitorCombining, CharactersWithOneCopyDamagedAreRecovered) {
    const std::string text = kText + "\n" + kText;
    const auto words = test::ccir476Words(text);
    auto slots = test::fecSlots(words, 16, false);
    // fecSlots puts word i in slot 32 + 2i (DX) and 32 + 2(i + 2) + 1 (RX).
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::size_t slot = i % 2 == 0 ? 32 + 2 * (i + 2) + 1 : 32 + 2 * i;
        slots[slot] ^= 1 << (i % 7);
    }
    test::FskSignal s;
    s.spaceHz = s.markHz + 170.0;
    s.ebN0Db = 20.0;
    const Decoded d = decode(sitor(slots, s), params(RttyMode::SitorB, 100, 170));
    EXPECT_EQ(d.text, text);
    EXPECT_LT(d.errorShare, 0.01);  // the steady tone after an emission may cost one
}

// The same bit damaged in both copies of one character: no word fits it
// clearly, so it is not guessed but reported lost to the message framer.
TEST(SitorCombining, CharacterDamagedInBothCopiesIsReportedLost) {
    struct Counter : teleprinter::CharacterSink {
        void character(std::uint8_t) override {}
        void characterLost() override { at.push_back(display->collected().size()); }
        std::vector<std::size_t> at;  // characters shown before each loss
        StringTextSink* display = nullptr;
    } counter;
    const std::string text = kText;
    const auto words = test::ccir476Words(text);
    auto slots = test::fecSlots(words, 16, false);
    const std::size_t damaged = 6;  // the "W" of "WARNING", after LTRS
    slots[32 + 2 * damaged] ^= 0x08;
    slots[32 + 2 * (damaged + 2) + 1] ^= 0x08;
    test::FskSignal s;
    s.spaceHz = s.markHz + 170.0;
    s.ebN0Db = 20.0;
    StringTextSink display;
    counter.display = &display;
    RttyDecoder decoder({&display, &counter});
    decoder.configure(params(RttyMode::SitorB, 100, 170));
    test::forEachBlock<kBlockLength>(sitor(slots, s), [&](auto b) { decoder.processBlock(b); });
    // (The steady tone after the emission may count as a loss outside it.)
    ASSERT_FALSE(counter.at.empty());
    EXPECT_EQ(counter.at.front(), 5u);
    EXPECT_EQ(display.collected(), "GALE ARNING 0600 UTC WIND NORTH 8 TO 9 SEA ROUGH VIS GOOD");
    const double perCharacter = 1.0 / static_cast<double>(words.size());
    EXPECT_GE(decoder.errorShare(), perCharacter * 0.9);
    EXPECT_LE(decoder.errorShare(), static_cast<double>(counter.at.size()) * perCharacter * 1.1);
}

// Band noise alone prints nothing with the squelch at its default, and the
// signal-to-noise estimate reads it as noise; a signal at 12 dB reads near 12.
TEST(Squelch, NoiseIsQuietAndSignalIsMeasured) {
    for (RttyMode mode : {RttyMode::Baudot, RttyMode::SitorB}) {
        std::mt19937 rng(9);
        std::normal_distribution<float> noise(0.0f, 2000.0f);
        std::vector<float> audio(60 * kSampleRate);
        for (float& x : audio) x = noise(rng);
        const RttyParams p =
            mode == RttyMode::SitorB ? params(mode, 100, 170) : params(mode, 50, 450);
        const Decoded quiet = decode(audio, p);
        EXPECT_EQ(quiet.text, "") << static_cast<int>(mode);
        EXPECT_LT(quiet.snrDb, 5.0);
    }
    test::FskSignal s;
    s.ebN0Db = 12.0;
    std::string text;
    for (int i = 0; i < 5; ++i) text += kText + "\n";
    EXPECT_NEAR(decode(baudot(text, s), params(RttyMode::Baudot, 50, 450)).snrDb, 12.0, 2.0);
}

}  // namespace
}  // namespace zeb::rtty
