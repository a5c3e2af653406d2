#include "dsp/Dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "report_capture.h"

namespace zeb::dsp {
namespace {

using test::ReportCapture;

struct Signal {
    std::vector<float> re, im;
};

Signal randomSignal(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Signal s{std::vector<float>(n), std::vector<float>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        s.re[i] = u(rng);
        s.im[i] = u(rng);
    }
    return s;
}

// Direct O(N²) transform in double precision; sign −1 forward, +1 inverse.
std::vector<std::complex<double>> referenceDft(const Signal& s, int sign) {
    const std::size_t n = s.re.size();
    std::vector<std::complex<double>> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> acc;
        for (std::size_t t = 0; t < n; ++t) {
            const double a = sign * 2.0 * std::numbers::pi * static_cast<double>((t * k) % n) /
                             static_cast<double>(n);
            acc += std::complex<double>(s.re[t], s.im[t]) * std::polar(1.0, a);
        }
        out[k] = acc;
    }
    return out;
}

// Largest error relative to the largest reference value.
double relativeError(const Signal& got, const std::vector<std::complex<double>>& want) {
    double err = 0.0, scale = 0.0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        err = std::max(err, std::abs(std::complex<double>(got.re[k], got.im[k]) - want[k]));
        scale = std::max(scale, std::abs(want[k]));
    }
    return err / scale;
}

std::size_t bitReverse(std::size_t i, int order) {
    std::size_t r = 0;
    for (int b = 0; b < order; ++b) r |= ((i >> b) & 1u) << (order - 1 - b);
    return r;
}

Signal bitReversed(const Signal& s, int order) {
    Signal r = s;
    for (std::size_t i = 0; i < s.re.size(); ++i) {
        r.re[bitReverse(i, order)] = s.re[i];
        r.im[bitReverse(i, order)] = s.im[i];
    }
    return r;
}

class DftOrders : public ::testing::TestWithParam<int> {};

TEST_P(DftOrders, ForwardAndInverseMatchTheDirectTransform) {
    const int order = GetParam();
    const Signal input = randomSignal(std::size_t{1} << order, 1234u + order);
    Signal fwd = input;
    nspcrDft(fwd.re.data(), fwd.im.data(), order, kDftForward);
    EXPECT_LT(relativeError(fwd, referenceDft(input, -1)), 1e-4);
    Signal inv = input;
    nspcrDft(inv.re.data(), inv.im.data(), order, kDftInverse);
    EXPECT_LT(relativeError(inv, referenceDft(input, +1)), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Orders0To12, DftOrders, ::testing::Range(0, 13));

struct OrderingCase {
    const char* name;
    int flag;
    bool inputBitRev, outputBitRev;
};

class DftOrderings : public ::testing::TestWithParam<OrderingCase> {};

TEST_P(DftOrderings, PermuteTheirSide) {
    const auto& c = GetParam();
    constexpr int order = 6;
    const Signal input = randomSignal(64, 7);
    const auto want = referenceDft(input, -1);
    Signal s = c.inputBitRev ? bitReversed(input, order) : input;
    nspcrDft(s.re.data(), s.im.data(), order, kDftForward | c.flag);
    if (c.outputBitRev) s = bitReversed(s, order);  // the permutation is its own inverse
    EXPECT_LT(relativeError(s, want), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Flags, DftOrderings,
                         ::testing::Values(OrderingCase{"InBitRev", kDftInBitRev, true, false},
                                           OrderingCase{"OutBitRev", kDftOutBitRev, false, true},
                                           OrderingCase{"NoReorder", kDftNoReorder, true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

struct DftCheck {
    int order;
    bool nullRe, nullIm;
    int flags;
    const char* message;
};

class DftChecks : public ::testing::TestWithParam<DftCheck> {};

TEST_P(DftChecks, ReportAndLeaveTheDataUnchanged) {
    const auto& c = GetParam();
    ReportCapture capture;
    Signal s = randomSignal(16, 3);
    const Signal before = s;
    nspcrDft(c.nullRe ? nullptr : s.re.data(), c.nullIm ? nullptr : s.im.data(), c.order, c.flags);
    ASSERT_EQ(ReportCapture::reports().size(), 1u);
    EXPECT_EQ(ReportCapture::reports()[0].function, "nspcrDft");
    EXPECT_EQ(ReportCapture::reports()[0].message, c.message);
    EXPECT_EQ(ReportCapture::reports()[0].status, kStatusBadArgument);
    EXPECT_EQ(s.re, before.re);
    EXPECT_EQ(s.im, before.im);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DftChecks,
    ::testing::Values(DftCheck{-1, false, false, 1, "order<0"},
                      DftCheck{32, false, false, 1, "order>31"},
                      DftCheck{4, true, false, 1, "reSamps==0"},
                      DftCheck{4, false, true, 1, "imSamps==0"},
                      DftCheck{4, false, false, 3, "(flags & 1) && (flags & 2)"},
                      DftCheck{4, false, false, 0, "(flags & 1)==0 && (flags & 2)==0"},
                      DftCheck{4, false, false, 1 | 64 | 128, "(flags & 64) && (flags & 128)"},
                      DftCheck{4, false, false, 1 | 64 | 32, "(flags & 64) && (flags & 32)"},
                      DftCheck{4, false, false, 2 | 32 | 128, "(flags & 32) && (flags & 128)"}));

TEST(Dft, PrepareBuildsTablesAndLeavesDataAloneFreeDropsThem) {
    Signal s = randomSignal(8192, 5);
    const Signal before = s;
    nspcrDft(s.re.data(), s.im.data(), 13, kDftForward | kDftFreeTables);
    EXPECT_FALSE(detail::dftTablesKept(13));
    nspcrDft(s.re.data(), s.im.data(), 13, kDftForward | kDftPrepare);
    EXPECT_TRUE(detail::dftTablesKept(13));
    EXPECT_EQ(s.re, before.re);
    nspcrDft(s.re.data(), s.im.data(), 13, kDftForward | kDftFreeTables);
    EXPECT_FALSE(detail::dftTablesKept(13));
}

TEST(Dft, OneFailedTableBuildFreesTheCacheAndIsRetried) {
    ReportCapture capture;
    Signal keep = randomSignal(32, 1);
    nspcrDft(keep.re.data(), keep.im.data(), 5, kDftForward | kDftPrepare);
    ASSERT_TRUE(detail::dftTablesKept(5));
    nspcrDft(keep.re.data(), keep.im.data(), 14, kDftForward | kDftFreeTables);

    const Signal input = randomSignal(1u << 14, 2);
    Signal s = input;
    detail::failNextDftTableBuilds(1);
    nspcrDft(s.re.data(), s.im.data(), 14, kDftForward);
    EXPECT_TRUE(ReportCapture::reports().empty());
    EXPECT_FALSE(detail::dftTablesKept(5));  // freed by the failed attempt
    EXPECT_TRUE(detail::dftTablesKept(14));
    EXPECT_NE(s.re, input.re);
    nspcrDft(s.re.data(), s.im.data(), 14, kDftForward | kDftFreeTables);
}

TEST(Dft, TwoFailedTableBuildsReportNoMemoryAndLeaveTheData) {
    ReportCapture capture;
    Signal s = randomSignal(1u << 14, 3);
    const Signal before = s;
    nspcrDft(s.re.data(), s.im.data(), 14, kDftForward | kDftFreeTables);
    detail::failNextDftTableBuilds(2);
    nspcrDft(s.re.data(), s.im.data(), 14, kDftForward);
    detail::failNextDftTableBuilds(0);
    ASSERT_EQ(ReportCapture::reports().size(), 1u);
    EXPECT_EQ(ReportCapture::reports()[0].status, kStatusNoMemory);
    EXPECT_EQ(ReportCapture::reports()[0].message, "No working Twd memory");
    EXPECT_EQ(s.re, before.re);
}

TEST(Dft, ThreadsAskingForANewOrderAtOnceAllGetCorrectResults) {
    constexpr int order = 11;
    const Signal input = randomSignal(1u << order, 9);
    Signal want = input;
    nspcrDft(want.re.data(), want.im.data(), order, kDftForward);

    for (int round = 0; round < 20; ++round) {
        nspcrDft(want.re.data(), want.im.data(), order, kDftForward | kDftFreeTables);
        constexpr int kThreads = 4;
        std::vector<Signal> results(kThreads, input);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&results, t] {
                nspcrDft(results[t].re.data(), results[t].im.data(), order, kDftForward);
            });
        }
        for (auto& t : threads) t.join();
        for (const auto& r : results) {
            ASSERT_EQ(r.re, want.re);
            ASSERT_EQ(r.im, want.im);
        }
    }
}

}  // namespace
}  // namespace zeb::dsp
