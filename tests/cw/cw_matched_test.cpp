// The matched Morse design end to end: generated signals with noise, speed
// changes, Farnsworth spacing, a hand-sent fist, fading, a drifting tone, a
// keyed oscillator and a tone away from the given centre; pure noise; the spacing decisions of the
// timing on exact lengths; and the real recordings through zebdecode.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cw/CwDecoder.h"
#include "cw/MorseTiming.h"
#include "support/Blocks.h"
#include "support/ChildProcess.h"
#include "support/MorseGenerator.h"
#include "support/TestEnv.h"

namespace zeb::cw {
namespace {

constexpr const char* kText =
    "CQ CQ DE DL1ABC DL1ABC PSE K = UR RST 599 599 NAME HANS QTH BERLIN "
    "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 ?/. "
    "GALE WARNING AREA 14 WIND SW 8 TO 9 VEERING W = 73 SK";

struct Decoded {
    std::string text;
    double toneHz = 0.0;
};

Decoded decode(const std::vector<float>& audio, bool autoCenter = true) {
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Matched, autoCenter);
    EXPECT_TRUE(d.start({1275, 100}));
    Decoded out;
    test::forEachBlock<kBlockLength>(audio, [&](auto block) {
        d.processBlock(block);
        if (d.matched().locked()) out.toneHz = d.matched().toneHz();
    });
    d.finish();
    out.text = sink.collected();
    return out;
}

test::MorseSignal signal(double wpm, double snrDb, std::uint32_t seed, auto edit) {
    test::MorseSignal s;
    s.wpm = wpm;
    s.snrDb = snrDb;
    s.seed = seed;
    edit(s);
    return s;
}

struct Case {
    const char* name;
    std::vector<test::MorseSignal> parts;  // sent one after the other
    double maxCer;
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

class CwMatchedTest : public ::testing::TestWithParam<Case> {};

// The whole text from its first letter: nothing may be lost while the tone,
// the levels and the speed are found, and a speed change mid-text costs
// little. Spaces count; runs of them would not (but they must not occur).
TEST_P(CwMatchedTest, DecodesTheWholeText) {
    const Case& c = GetParam();
    const std::string text(kText);
    std::vector<float> audio;
    const std::size_t half = text.find(" THE QUICK");
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
        const std::string part = c.parts.size() == 1 ? text
                                 : i == 0            ? text.substr(0, half)
                                                     : text.substr(half);
        const auto a = test::generateMorse(part, c.parts[i]);
        audio.insert(audio.end(), a.begin(), a.end());
    }
    const Decoded d = decode(audio);
    const double cer = test::characterErrorRate(text, d.text);
    std::printf("[ cer      ] %s: %.4f\n", c.name, cer);
    EXPECT_LE(cer, c.maxCer) << d.text;
    EXPECT_EQ(d.text.find("  "), std::string::npos) << "double space in: " << d.text;
    EXPECT_NE(d.text.front(), ' ') << d.text;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CwMatchedTest,
    ::testing::Values(
        Case{"Weak12Wpm", {signal(12, -10, 3, [](auto&) {})}, 0.05},
        Case{"Weak20Wpm", {signal(20, -7, 4, [](auto&) {})}, 0.03},
        Case{"Fast40Wpm", {signal(40, 0, 5, [](auto&) {})}, 0.02},
        // Nearly twice as fast after a pause: the first word after it may go.
        Case{"SpeedChange", {signal(15, 0, 6, [](auto&) {}), signal(28, 0, 7, [](auto&) {})}, 0.05},
        Case{"Farnsworth18At8", {signal(18, 10, 8, [](auto& s) { s.farnsworthWpm = 8; })}, 0.03},
        Case{"HandSent",
             {signal(18, 5, 9,
                     [](auto& s) {
                         s.jitter = 0.12;
                         s.dashRatio = 3.4;
                     })},
             0.05},
        Case{"ToneOffCentre", {signal(20, 0, 10, [](auto& s) { s.offsetHz = 80; })}, 0.01},
        Case{"Fading",
             {signal(20, 5, 11,
                     [](auto& s) {
                         s.qsbDepth = 0.7;
                         s.qsbHz = 0.15;
                     })},
             0.05},
        // Read as letters, not cut from the key decisions: a few dB above
        // where single elements start to fail.
        Case{"Weak20WpmAtMinus10", {signal(20, -10, 12, [](auto&) {})}, 0.08},
        Case{"Weak30WpmAtMinus8", {signal(30, -8, 13, [](auto&) {})}, 0.05},
        // Scored as a coherent receiver would: on the envelope alone about
        // 12 % of the letters go here.
        Case{"Weak30WpmAtMinus10", {signal(30, -10, 17, [](auto&) {})}, 0.08},
        // A tone drifting by 0.5 Hz a second is followed, and the phase of
        // the marks still helps.
        Case{"DriftingTone", {signal(20, -9, 18, [](auto& s) { s.driftHzPerSecond = 0.5; })}, 0.03},
        // A keyed oscillator starts every mark with a phase of its own: the
        // marks around a mark say nothing about it, and must not mislead.
        Case{"KeyedOscillator", {signal(25, -4, 19, [](auto& s) { s.phasePerMark = true; })}, 0.03},
        // Long letter gaps at a slow speed must not take the level or the
        // speed with them, nor split the words.
        Case{"Farnsworth12At6Weak",
             {signal(12, -5, 14, [](auto& s) { s.farnsworthWpm = 6; })},
             0.03},
        Case{"Farnsworth40At20Weak",
             {signal(40, -5, 15, [](auto& s) { s.farnsworthWpm = 20; })},
             0.05},
        // A fade 12 dB deep every 7 s at a slow speed.
        Case{"DeepSlowFading",
             {signal(12, 0, 16,
                     [](auto& s) {
                         s.qsbDepth = 0.75;
                         s.qsbHz = 1.0 / 7.0;
                     })},
             0.03}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(CwMatched, FindsAToneAwayFromTheCentreOnlyWhenSearchingEverywhere) {
    test::MorseSignal s;
    s.wpm = 20;
    s.snrDb = 5;
    s.offsetHz = 400;  // 1675 Hz, outside 1275 ± 100
    const auto audio = test::generateMorse("CQ CQ DE DL1ABC K", s);
    const Decoded found = decode(audio, true);
    EXPECT_NEAR(found.toneHz, 1675.0, 2.0);
    EXPECT_EQ(test::normaliseSpaces(found.text), "CQ CQ DE DL1ABC K");
    EXPECT_EQ(decode(audio, false).text, "");
}

TEST(CwMatched, NoiseAndASteadyCarrierPrintNothing) {
    test::MorseSignal s;
    s.snrDb = 0;
    s.leadSeconds = 20.0;
    const auto noise = test::generateMorse("", s);
    EXPECT_EQ(decode(noise).text, "");
    // A carrier 10 dB above the noise in 3 kHz is not keyed: not Morse.
    auto carrier = noise;
    for (std::size_t i = 0; i < carrier.size(); ++i) {
        carrier[i] +=
            3000.0f *
            static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 11025.0));
    }
    EXPECT_EQ(decode(carrier).text, "");
}

// The spacing decisions on exact lengths (seconds; the sender's unit 0.06 s).
struct Spacing {
    const char* name;
    double letterGap, wordGap;  // of the sender, in units
    double probe;               // a last gap between "E" and "T", in units
    const char* expected;       // the end of the text
};

std::ostream& operator<<(std::ostream& os, const Spacing& s) { return os << s.name; }

class CwSpacingTest : public ::testing::TestWithParam<Spacing> {};

TEST_P(CwSpacingTest, FollowsTheSendersGaps) {
    const Spacing& p = GetParam();
    constexpr double u = 0.06;
    StringTextSink sink;
    MorseTiming timing(sink);
    timing.restart(u);
    const auto send = [&](const char* pattern, double gapAfter) {
        for (const char* e = pattern; *e; ++e) {
            const double length = (*e == '-' ? 3.0 : 1.0) * u;
            timing.mark(length);
            const double gap = e[1] ? u : gapAfter * u;
            for (double g = 0.01; g < gap; g += 0.01) timing.gap(g, false);
            timing.gap(gap, true);
        }
    };
    // "PARIS PARIS ..." at the sender's spacing teaches the gaps.
    const std::vector<const char*> paris{".--.", ".-", ".-.", "..", "..."};
    for (int word = 0; word < 6; ++word) {
        for (std::size_t i = 0; i < paris.size(); ++i)
            send(paris[i], i + 1 == paris.size() ? p.wordGap : p.letterGap);
    }
    send(".", p.probe);
    send("-", p.wordGap);
    timing.finish(false);
    const std::string& text = sink.collected();
    EXPECT_EQ(text.find("  "), std::string::npos) << text;
    EXPECT_TRUE(test::normaliseSpaces(text).ends_with(std::string("PARIS PARIS ") + p.expected))
        << text;
}

INSTANTIATE_TEST_SUITE_P(Gaps, CwSpacingTest,
                         ::testing::Values(
                             // A textbook sender: 5 units is past halfway from 3 to 7.
                             Spacing{"TextbookLetterGap", 3.0, 7.0, 4.0, "ET"},
                             Spacing{"TextbookWordGap", 3.0, 7.0, 6.0, "E T"},
                             // A sender with long letter gaps: 5.5 units is still inside a word.
                             Spacing{"LongLetterGaps", 4.5, 9.0, 5.5, "ET"},
                             Spacing{"LongLetterGapsWord", 4.5, 9.0, 8.0, "E T"},
                             // Farnsworth spacing: letters 9 units apart, words 21.
                             Spacing{"Farnsworth", 9.0, 21.0, 11.0, "ET"}),
                         [](const ::testing::TestParamInfo<Spacing>& p) {
                             return std::string(p.param.name);
                         });

struct Recording {
    const char* file;
    const char* text;  // expected exactly, or as words that must appear whole
    bool exact;
};

std::ostream& operator<<(std::ostream& os, const Recording& r) { return os << r.file; }

class CwRecordings : public ::testing::TestWithParam<Recording> {};

TEST_P(CwRecordings, ReadWithWholeWords) {
    const auto data = test::sharedData();
    if (!data) GTEST_SKIP() << "reference data absent";
    const std::filesystem::path file = *data / "recordings" / "cw" / GetParam().file;
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " absent";
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    test::ChildProcess child({program.string(), "cw", file.string()});
    const std::string out = child.readOutput(std::chrono::seconds(30));
    EXPECT_EQ(child.waitExit(), 0);
    EXPECT_EQ(out.find("  "), std::string::npos) << out;
    if (GetParam().exact) {
        EXPECT_EQ(test::normaliseSpaces(out), GetParam().text);
    } else {
        EXPECT_NE(out.find(GetParam().text), std::string::npos) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CwRecordings,
    ::testing::Values(Recording{"ag1le_test20db.wav",
                                "QUICK BROWN FOX JUMPED OVER THE LAZY FOX 0123456789 ?.", true},
                      Recording{"ag1le_test6db.wav",
                                "QUICK BROWN FOX JUMPED OVER THE LAZY FOX 0123456789 ?.", true},
                      Recording{"busysteve_50Mhz-cw.wav", "HI HI DE KD4YDD", false}));

}  // namespace
}  // namespace zeb::cw

namespace zeb::cw {
namespace {

// What the page shows of a held tone: the speed within 2 WPM and the
// signal-to-noise ratio in 3 kHz within 1 dB of what the signal was made with.
TEST(CwReadouts, SpeedAndSignalToNoiseAreThoseSent) {
    struct {
        double wpm, snrDb;
    } const cases[] = {{12, 0}, {20, -5}, {20, 10}, {30, 5}, {40, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wpm << " WPM " << c.snrDb << " dB");
        test::MorseSignal s;
        s.wpm = c.wpm;
        s.snrDb = c.snrDb;
        StringTextSink sink;
        CwDecoder d(sink);
        d.setVariant(CwVariant::Matched, true);
        ASSERT_TRUE(d.start({1275, 100}));
        double wpm = 0.0, snr = 0.0;
        test::forEachBlock<kBlockLength>(test::generateMorse(kText, s), [&](auto block) {
            d.processBlock(block);
            if (d.matched().locked()) wpm = d.matched().wpm(), snr = d.matched().snrDb();
        });
        EXPECT_NEAR(wpm, c.wpm, 2.0);
        EXPECT_NEAR(snr, c.snrDb, 1.0);
    }
}

}  // namespace
}  // namespace zeb::cw
