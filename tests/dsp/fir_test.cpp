#include "dsp/Fir.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "report_capture.h"

namespace zeb::dsp {
namespace {

using test::ReportCapture;

std::vector<float> randomVector(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
    std::vector<float> v(n);
    for (auto& x : v) x = u(rng);
    return v;
}

// y[i] = Σ taps[k] x[i − k] with x = history followed by the input, in double.
std::vector<double> directFir(const std::vector<float>& taps, const std::vector<float>& history,
                              const std::vector<float>& x) {
    std::vector<float> all = history;
    all.insert(all.end(), x.begin(), x.end());
    const std::size_t h = history.size();
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double acc = 0.0;
        for (std::size_t k = 0; k < taps.size(); ++k) acc += double(taps[k]) * all[h + i - k];
        y[i] = acc;
    }
    return y;
}

struct SplitCase {
    int taps;
    std::vector<int> blocks;
};

class FirBlocks : public ::testing::TestWithParam<SplitCase> {};

TEST_P(FirBlocks, ConsecutiveBlocksEqualOneContinuousSignal) {
    const auto& c = GetParam();
    const auto taps = randomVector(c.taps, 1);
    int total = 0;
    for (int b : c.blocks) total += b;
    const auto x = randomVector(total, 2);

    FirState whole, pieces;
    nspsFirInit(taps.data(), c.taps, nullptr, &whole);
    nspsFirInit(taps.data(), c.taps, nullptr, &pieces);
    std::vector<float> y1(total), y2(total);
    nspsbFir(&whole, x.data(), y1.data(), total);
    int at = 0;
    for (int b : c.blocks) {
        nspsbFir(&pieces, x.data() + at, y2.data() + at, b);
        at += b;
    }
    const auto want = directFir(taps, std::vector<float>(c.taps - 1, 0.0f), x);
    for (int i = 0; i < total; ++i) {
        ASSERT_NEAR(y2[i], y1[i], 1e-6 * std::abs(want[i]) + 1e-3) << i;
        ASSERT_NEAR(y1[i], want[i], 1e-5 * 1000 * 1000 * c.taps) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Splits, FirBlocks,
                         ::testing::Values(SplitCase{129, {1024, 1024}},
                                           SplitCase{129, {5, 100, 1, 1500, 442}},
                                           SplitCase{1, {3, 7}}, SplitCase{2, {1, 1, 1, 9}},
                                           SplitCase{33, {2500, 31, 32, 33}},
                                           SplitCase{300, {100, 100, 700}}));

TEST(Fir, StartsFromAGivenDelayLineAndFiltersInPlace) {
    const std::vector<float> taps = {0.5f, -1.0f, 2.0f};
    const std::vector<float> history = {10.0f, 20.0f};  // oldest first
    std::vector<float> x = {1, 2, 3, 4};
    const auto want = directFir(taps, history, x);
    FirState s;
    nspsFirInit(taps.data(), 3, history.data(), &s);
    nspsbFir(&s, x.data(), x.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(x[i], static_cast<float>(want[i])) << i;
}

struct FirCheck {
    const char* function;
    const char* message;
    void (*call)();
};

class FirChecks : public ::testing::TestWithParam<FirCheck> {};

TEST_P(FirChecks, ReportTheirMessage) {
    ReportCapture capture;
    GetParam().call();
    ASSERT_EQ(ReportCapture::reports().size(), 1u);
    EXPECT_EQ(ReportCapture::reports()[0].function, GetParam().function);
    EXPECT_EQ(ReportCapture::reports()[0].message, GetParam().message);
}

const float kTaps[3] = {1, 2, 3};
float gBuf[4];

INSTANTIATE_TEST_SUITE_P(Table, FirChecks,
                         ::testing::Values(FirCheck{"nspsFirInit", "Null state pointer",
                                                    [] {
                                                        nspsFirInit(kTaps, 3, nullptr, nullptr);
                                                    }},
                                           FirCheck{"nspsFirInit", "Invalid value",
                                                    [] {
                                                        FirState s;
                                                        nspsFirInit(kTaps, 0, nullptr, &s);
                                                    }},
                                           FirCheck{"nspsFirInit", "Null buffer pointer",
                                                    [] {
                                                        FirState s;
                                                        nspsFirInit(nullptr, 3, nullptr, &s);
                                                    }},
                                           FirCheck{"nspsbFir", "Null state pointer",
                                                    [] { nspsbFir(nullptr, gBuf, gBuf, 4); }},
                                           FirCheck{"nspsbFir", "Must have been initialized",
                                                    [] {
                                                        FirState s;
                                                        nspsbFir(&s, gBuf, gBuf, 4);
                                                    }},
                                           FirCheck{"nspsbFir", "Null buffer pointer",
                                                    [] {
                                                        FirState s;
                                                        nspsFirInit(kTaps, 3, nullptr, &s);
                                                        nspsbFir(&s, nullptr, gBuf, 4);
                                                    }},
                                           FirCheck{"nspsbFir", "Invalid value", [] {
                                                        FirState s;
                                                        nspsFirInit(kTaps, 3, nullptr, &s);
                                                        nspsbFir(&s, gBuf, gBuf, 0);
                                                    }}));

}  // namespace
}  // namespace zeb::dsp
