#include "dsp/Waterfall.h"

#include <gtest/gtest.h>

#include "dsp/Dft.h"
#include "test_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace zeb::dsp {
namespace {

using Tones = std::vector<std::pair<double, double>>;  // Hz, SNR in dB over the whole band

// Block `index` of tones over white noise of rms 1000, phase-continuous.
std::vector<float> block(int index, const Tones& tones = {}) {
    std::vector<float> v(1024);
    std::uint32_t seed = 2654435761u * static_cast<std::uint32_t>(index + 1);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(1732.0 * (2.0 * (seed >> 8) / (1 << 24) - 1.0));
    }
    for (const auto& [hz, snr] : tones) {
        const auto t =
            tone(hz, 1000.0 * std::sqrt(2.0 * std::pow(10.0, snr / 10.0)), 1024, 1024 * index);
        for (int i = 0; i < 1024; ++i) v[i] += t[i];
    }
    return v;
}

// Sums of the rows completed by blocks from … to − 1.
std::vector<int> rowSums(Waterfall& w, int from, int to, const Tones& tones = {}) {
    std::vector<int> sums(static_cast<std::size_t>(w.width()), 0);
    for (int b = from; b < to; ++b)
        if (w.analyse(block(b, tones)))
            for (int x = 0; x < w.width(); ++x) sums[x] += w.row()[x];
    return sums;
}

// The median of the columns more than 100 Hz away from every tone.
int noiseMedian(const Waterfall& w, const std::vector<int>& v, const Tones& tones) {
    std::vector<int> far;
    for (int x = 0; x < w.width(); ++x)
        if (std::all_of(tones.begin(), tones.end(), [&](const auto& t) {
                return std::fabs(w.frequencyOfColumn(x) - t.first) > 100.0;
            }))
            far.push_back(v[x]);
    std::nth_element(far.begin(), far.begin() + far.size() / 2, far.end());
    return far[far.size() / 2];
}

TEST(Waterfall, ToneIsTheBrightestColumnAndNoiseSitsLow) {
    struct {
        double hz, snrDb;
        int width;
        float lowHz, highHz;
    } const cases[] = {
        {300.0, -15.0, 400, 200, 2900}, {1000.0, 0.0, 400, 200, 2900},
        {1500.0, 10.0, 256, 0, 2756},   {2125.3, 20.0, 400, 200, 2900},
        {2870.0, 30.0, 400, 200, 2900}, {1234.5, 0.0, 1000, 200, 2900},
        {612.0, 40.0, 800, 300, 1100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz " << c.snrDb << " dB " << c.width);
        Waterfall w;
        ASSERT_TRUE(w.attach(c.width, c.lowHz, c.highHz));
        const Tones tones{{c.hz, c.snrDb}};
        const auto sums = rowSums(w, 2, 12, tones);
        // The middle of the columns at the maximum (a strong tone saturates several).
        const int top = *std::max_element(sums.begin(), sums.end());
        const auto first = std::find(sums.begin(), sums.end(), top) - sums.begin();
        const auto last = sums.rend() - std::find(sums.rbegin(), sums.rend(), top) - 1;
        // A column narrower than a bin shows the bin's level across the bin.
        const double binsPerColumn = (c.highHz - c.lowHz) / (c.width * 11025.0 / 2048);
        const double tolerance = std::max(1.0, 0.5 + 0.5 / binsPerColumn);
        EXPECT_NEAR(static_cast<double>(first + last) / 2.0, w.columnOf(c.hz), tolerance);
        EXPECT_LT(noiseMedian(w, sums, tones) / 10, 48);
    }
}

TEST(Waterfall, FloorPlusRangeIsFullIntensity) {
    const double onBin = 279 * 11025.0 / 2048;  // no loss between bins
    const std::pair<float, int> cases[] = {{40.0f, 1}, {80.0f, 4}, {120.0f, 2}};
    for (const auto& [range, blocksPerRow] : cases) {
        Waterfall w;
        ASSERT_TRUE(w.attach(500, 0.0f, 2756.0f));
        w.setRangeDb(range);
        ASSERT_TRUE(w.setBlocksPerRow(blocksPerRow));
        rowSums(w, 0, 16, {{onBin, 30.0}});
        const double toneDb = 20.0 * std::log10(1000.0 * std::sqrt(2.0) * std::pow(10.0, 1.5));
        const double expected = std::clamp((toneDb - w.floorDb()) / range * 255.0, 0.0, 255.0);
        const auto x = static_cast<int>(std::lround(w.columnOf(onBin)));
        EXPECT_NEAR(std::max({w.row()[x - 1], w.row()[x], w.row()[x + 1]}), expected, 4.0);
    }
}

// Strong carriers, pauses and broken samples leave the floor where the noise is.
TEST(Waterfall, FloorStaysWithTheNoise) {
    struct {
        Tones carriers;
        float value;  // of the last `samples` samples of each disturbed block
        int samples = 0;
    } const cases[] = {
        {{{1500.0, 60.0}}, 0.0f},
        {{{500.0, 60.0}, {1500.0, 60.0}, {2500.0, 60.0}}, 0.0f},
        {{}, 0.0f, 1024},  // a pause
        {{}, NAN, 1},
        {{}, -INFINITY, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.carriers.size() << " " << c.value);
        Waterfall w;
        ASSERT_TRUE(w.attach(500, 0.0f, 2756.0f));
        rowSums(w, 0, 30);
        const float quiet = w.floorDb();
        std::vector<int> sums(500, 0);
        for (int b = 30; b < 60; ++b) {
            auto disturbed = block(b, c.carriers);
            std::fill_n(disturbed.end() - c.samples, c.samples, c.value);
            ASSERT_TRUE(w.analyse(disturbed));
            for (int x = 0; x < 500; ++x) sums[x] += w.row()[x];
        }
        if (c.samples < 1024) {
            EXPECT_LT(noiseMedian(w, sums, c.carriers) / 30, 48);
        }
        // A carrier stronger than the range sets the top of the scale itself.
        for (const auto& carrier : c.carriers)
            EXPECT_GE(sums[std::lround(w.columnOf(carrier.first))], 30 * 250);
        EXPECT_NEAR(w.floorDb(), quiet, 3.0);
    }
}

TEST(Waterfall, RowsComeEveryBlocksPerRowBlocksAndSilenceIsZero) {
    for (const int per : {1, 2, 4}) {
        Waterfall w;
        ASSERT_TRUE(w.attach(200, 0.0f, 3000.0f));
        ASSERT_TRUE(w.setBlocksPerRow(per));
        for (int b = 1; b <= 16; ++b) {
            ASSERT_EQ(w.analyse(std::vector<float>(1024, 0.0f)), b % per == 0) << per << b;
            EXPECT_TRUE(std::all_of(w.row().begin(), w.row().end(), [](auto v) { return v == 0; }));
        }
        EXPECT_EQ(w.floorDb(), Waterfall::kSilenceDb);
        EXPECT_FALSE(w.setBlocksPerRow(3));
        EXPECT_EQ(w.blocksPerRow(), per);
    }
}

TEST(Waterfall, RefusesWhatItCannotAnalyse) {
    struct {
        int width;
        float lowHz, highHz, rate;
        int block;
    } const cases[] = {{0, 0, 3000, 11025, 1024},   {300, 3000, 3000, 11025, 1024},
                       {300, 0, 6000, 11025, 1024}, {300, 0, NAN, 11025, 1024},
                       {300, 0, 3000, 0, 1024},     {300, 0, 3000, 11025, 1000}};
    for (const auto& c : cases) {
        Waterfall w;
        EXPECT_FALSE(w.attach(c.width, c.lowHz, c.highHz, c.rate, c.block)) << c.width;
        EXPECT_FALSE(w.analyse(block(0)));
    }
    // No memory for the transform's tables: refused, and fine later.
    Waterfall w;
    std::vector<float> re(4096), im(4096);
    nspcrDft(re.data(), im.data(), 12, kDftForward | kDftFreeTables);
    detail::failNextDftTableBuilds(2);
    EXPECT_FALSE(w.attach(300, 0, 3000, 11025, 2048));
    ASSERT_TRUE(w.attach(300, 0, 3000, 11025, 2048));
    EXPECT_FALSE(w.analyse(block(0)));  // too short now
    EXPECT_TRUE(w.analyse(std::vector<float>(2048, 1.0f)));
}

}  // namespace
}  // namespace zeb::dsp
