// Generated Morse through the whole decoder: machine-sent text at several
// speeds, a hand-sent fist, noise, fading and a mistuned tone. Each case
// allows a window of character error rates; the rate found is recorded in the
// test report.
#include "cw/CwDecoder.h"
#include "support/Blocks.h"
#include "support/MorseGenerator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zeb::cw {
namespace {

constexpr const char* kWarmUp = "VVV VVV ";
constexpr const char* kText =
    "CQ CQ DE DL1ABC DL1ABC PSE K = UR RST 599 599 NAME HANS QTH BERLIN "
    "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 ?/.,";

std::string decode(const std::vector<float>& audio, ToneBand band) {
    StringTextSink sink;
    CwDecoder d(sink);
    d.setVariant(CwVariant::Filter, false);
    EXPECT_TRUE(d.start(band));
    test::forEachBlock<kBlockLength>(audio, [&](auto block) { d.processBlock(block); });
    std::vector<float> block(kBlockLength, 0.0f);
    // Silence after the text, longer than the word timeout at 12 WPM, so the
    // last character is posted.
    std::fill(block.begin(), block.end(), 0.0f);
    for (int i = 0; i < 40; ++i) {
        d.processBlock(std::span<const float, kBlockLength>(block.data(), kBlockLength));
    }
    return sink.collected();
}

std::string withoutSpaces(std::string text) {
    std::erase(text, ' ');
    return text;
}

// The decoded text after the warm-up, for comparison with kText. Letters only
// when the spacing is not the standard one: Farnsworth gaps between letters
// last longer than the decoder's word timeout of 8 dot lengths.
double textErrorRate(const std::string& decoded, bool lettersOnly) {
    std::string got = test::normaliseSpaces(decoded);
    if (lettersOnly) got = withoutSpaces(got);
    const auto start = got.find("CQ");
    if (start != std::string::npos) got = got.substr(start);
    if (lettersOnly) return test::characterErrorRate(withoutSpaces(kText), withoutSpaces(got));
    return test::characterErrorRate(kText, got);
}

struct EndToEndCase {
    const char* name;
    test::MorseSignal signal;
    double maxCer;
};
class CwEndToEndTest : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(CwEndToEndTest, DecodesWithinTheErrorWindow) {
    const auto& c = GetParam();
    const auto audio = test::generateMorse(std::string(kWarmUp) + kText, c.signal);
    const std::string decoded = decode(audio, {1275, 100});
    const double cer = textErrorRate(decoded, c.signal.farnsworthWpm > 0.0);
    RecordProperty("cer", std::to_string(cer));
    std::printf("[ cer      ] %s: %.4f\n", c.name, cer);
    EXPECT_LE(cer, c.maxCer) << decoded;
}

test::MorseSignal machine(double wpm, double snrDb, std::uint32_t seed = 1) {
    test::MorseSignal s;
    s.wpm = wpm;
    s.snrDb = snrDb;
    s.seed = seed;
    return s;
}

test::MorseSignal fist(double wpm, double snrDb) {
    test::MorseSignal s = machine(wpm, snrDb, 7);
    s.jitter = 0.12;
    s.dashRatio = 3.3;
    return s;
}

test::MorseSignal with(test::MorseSignal s, auto edit) {
    edit(s);
    return s;
}

// Windows: machine-sent text at 20 dB is exact from 12 to 30 WPM; at −6 dB
// most of it is lost. Deep slow fading loses elements in the fades because
// the threshold falls by only 0.5 % per block (it halves in about 13 s).
INSTANTIATE_TEST_SUITE_P(
    cwSignals, CwEndToEndTest,
    ::testing::Values(
        EndToEndCase{"machine12", machine(12, 20), 0.0},
        EndToEndCase{"machine20", machine(20, 20), 0.0},
        EndToEndCase{"machine20clean", machine(20, 200), 0.0},
        EndToEndCase{"machine30", machine(30, 20), 0.0},
        EndToEndCase{"machine20snr0", machine(20, 0, 3), 0.10},
        EndToEndCase{"fist18", fist(18, 20), 0.05},
        EndToEndCase{"farnsworth20at12",
                     with(machine(20, 20), [](auto& s) { s.farnsworthWpm = 12; }), 0.02},
        EndToEndCase{"offset60Hz", with(machine(20, 20), [](auto& s) { s.offsetHz = 60; }), 0.02},
        EndToEndCase{"machine20snrm6", machine(20, -6, 5), 0.85},
        EndToEndCase{"qsb30", with(machine(20, 20), [](auto& s) { s.qsbDepth = 0.3; }), 0.02},
        EndToEndCase{"qsb60", with(machine(20, 20), [](auto& s) { s.qsbDepth = 0.6; }), 0.35}),
    [](const ::testing::TestParamInfo<EndToEndCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zeb::cw
