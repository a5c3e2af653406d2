// The letter search on noiseless evidence: letters, prosigns and word spaces
// as the sender spaced them, whatever spacing the search was started with.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cw/LetterSearch.h"
#include "support/MorseGenerator.h"

namespace zeb::cw {
namespace {

constexpr double kUnit = 50.0;  // baseband samples

// A tone of unit amplitude where the key is down: a mark scores what it
// covers of them twice, less its length.
class KeyedEvidence : public MarkEvidence {
public:
    std::vector<std::pair<long long, long long>> down;
    double markEvidence(long long from, long long to) const override {
        long long covered = 0;
        for (const auto& [a, b] : down)
            covered += std::max(0LL, std::min(b, to) - std::max(a, from));
        return 0.2 * static_cast<double>(2 * covered - (to - from));
    }
};

struct Spacing {
    const char* name;
    double letterGap, wordGap;  // of the sender, in units
};

std::ostream& operator<<(std::ostream& os, const Spacing& s) { return os << s.name; }

class LetterSearchSpacing : public ::testing::TestWithParam<Spacing> {};

TEST_P(LetterSearchSpacing, WritesTheSendersWords) {
    const std::string text = "CQ DE DL1ABC = PSE QSL? 73 ES GB";
    KeyedEvidence evidence;
    long long t = 100;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') continue;
        if (i > 0) {
            t += static_cast<long long>(
                (text[i - 1] == ' ' ? GetParam().wordGap : GetParam().letterGap - 1.0) * kUnit);
        }
        for (const char e : test::morsePattern(text[i])) {
            const auto length = static_cast<long long>((e == '-' ? 3.0 : 1.0) * kUnit);
            evidence.down.emplace_back(t, t + length);
            t += length + static_cast<long long>(kUnit);
        }
    }
    StringTextSink sink;
    LetterSearch search(sink, evidence);
    // Started with textbook spacing, as before the sender's is known.
    search.start(0, 0, {kUnit, kUnit, 3.0 * kUnit, kUnit, 3.0, 7.0});
    for (long long now = 0; now <= t + 100; now += 64) search.advance(now);
    search.stop();
    EXPECT_EQ(sink.collected(), text);
}

INSTANTIATE_TEST_SUITE_P(Senders, LetterSearchSpacing,
                         ::testing::Values(Spacing{"Textbook", 3.0, 7.0},
                                           Spacing{"LongLetterGaps", 4.5, 9.0},
                                           Spacing{"Farnsworth", 10.0, 24.0}),
                         [](const ::testing::TestParamInfo<Spacing>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace zeb::cw
