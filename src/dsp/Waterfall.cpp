#include "dsp/Waterfall.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <numeric>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"

namespace zeb::dsp {

namespace {

// Powers beyond these (and NaN from a broken block) are held at the limits,
// so that the floor and the intensities stay finite whatever comes in.
constexpr float kMinPower = 1e-20f;  // kSilenceDb
constexpr float kMaxPower = 1e20f;
// The floor is this fraction of the way up the columns sorted by level.
constexpr double kFloorPercentile = 0.2;
// Per row, the floor moves this part of the way to the row's percentile:
// slowly up, so that a burst of static hardly lifts it, faster down.
constexpr float kFloorRise = 0.1f;
constexpr float kFloorFall = 0.3f;

float decibels(float power) {
    if (!(power > kMinPower)) power = kMinPower;  // also NaN
    if (power > kMaxPower) power = kMaxPower;
    return 10.0f * std::log10(power);
}

}  // namespace

Waterfall::Waterfall() = default;

bool Waterfall::attach(int width, float lowHz, float highHz, float sampleRate, int blockLength) {
    detach();
    if (width < 1 || width > kMaxWidth || !std::isfinite(sampleRate) || !(sampleRate > 0.0f) ||
        blockLength < 2 || blockLength > kMaxBlockLength ||
        !std::has_single_bit(static_cast<unsigned>(blockLength))) {
        return false;
    }
    if (!std::isfinite(lowHz) || !std::isfinite(highHz) || lowHz < 0.0f || !(highHz > lowHz) ||
        highHz > sampleRate / 2.0f) {
        return false;
    }
    sampleRate_ = sampleRate;
    blockLength_ = blockLength;
    order_ = std::countr_zero(static_cast<unsigned>(blockLength)) + 1;
    axis_ = {lowHz, highHz, width};  // mapColumns() needs it; reset on failure
    if (!allocate(width)) {
        detach();
        return false;
    }
    // The transform's tables are built now, not on the first block.
    nspcrDft(re_.data(), im_.data(), order_, kDftForward | kDftPrepare);
    if (!detail::dftTablesKept(order_)) {
        detach();
        return false;
    }
    return true;
}

bool Waterfall::allocate(int width) {
    const auto points = static_cast<std::size_t>(2 * blockLength_);
    const auto columns = static_cast<std::size_t>(width);
    try {
        window_.assign(points, 1.0f);
        previous_.assign(points / 2, 0.0f);
        re_.assign(points, 0.0f);
        im_.assign(points, 0.0f);
        columnFirst_.assign(columns, 0);
        columnLast_.assign(columns, 0);
        columnDb_.assign(columns, kSilenceDb);
        sorted_.assign(columns, kSilenceDb);
        row_.assign(columns, 0);
        mapColumns();
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Hann, scaled so that a sine of amplitude A has the power A² in its bin.
    nspsWinHann(window_.data(), static_cast<int>(points));
    const float sum = std::accumulate(window_.begin(), window_.end(), 0.0f);
    nspsbMpy1(2.0f / sum, window_.data(), static_cast<int>(points));
    return true;
}

// Column x covers the bins whose own band (centre ± half a bin) overlaps the
// column's band; a column narrower than a bin still covers at least one.
void Waterfall::mapColumns() {
    const int points = 2 * blockLength_;
    const double binHz = static_cast<double>(sampleRate_) / points;
    const double hzPerColumn = axis_.hzPerColumn();
    for (int x = 0; x < axis_.width; ++x) {
        const double fromHz = axis_.lowHz + x * hzPerColumn;
        const double toHz = fromHz + hzPerColumn;
        const int first = static_cast<int>(std::floor(fromHz / binHz - 0.5)) + 1;
        const int last = static_cast<int>(std::ceil(toHz / binHz + 0.5)) - 1;
        columnFirst_[x] = std::clamp(first, 0, points / 2);
        columnLast_[x] = std::clamp(last, columnFirst_[x], points / 2);
    }
    firstBin_ = columnFirst_.front();
    power_.assign(static_cast<std::size_t>(columnLast_.back() - firstBin_ + 1), 0.0f);
}

void Waterfall::detach() {
    axis_ = {};
    window_ = {};
    previous_ = {};
    re_ = {};
    im_ = {};
    power_ = {};
    columnFirst_ = {};
    columnLast_ = {};
    columnDb_ = {};
    sorted_ = {};
    row_ = {};
    firstBin_ = 0;
    blocksInRow_ = 0;
    floorKnown_ = false;
    floorDb_ = kSilenceDb;
    rowFloorDb_ = kSilenceDb;
    peakAboveDb_ = 0.0f;
}

bool Waterfall::setBlocksPerRow(int blocks) {
    if (blocks != 1 && blocks != 2 && blocks != 4) return false;
    blocksPerRow_.store(blocks);
    return true;
}

void Waterfall::setRangeDb(float db) {
    if (std::isfinite(db)) rangeDb_.store(std::max(db, 1.0f));
}

bool Waterfall::analyse(std::span<const float> block) {
    if (!attached() || block.size() < static_cast<std::size_t>(blockLength_)) return false;
    accumulate(block.first(static_cast<std::size_t>(blockLength_)));
    if (++blocksInRow_ < blocksPerRow_.load()) return false;
    finishRow();
    return true;
}

// Transforms the previous block and this one under the window and adds the
// powers of the bins the columns cover.
void Waterfall::accumulate(std::span<const float> block) {
    const int n = blockLength_;
    nspsbCopy(previous_.data(), re_.data(), n);
    // A sample that is not a number (a broken driver, an overflow upstream)
    // would spoil the whole transform, twice: it counts as 0.
    for (int i = 0; i < n; ++i) previous_[i] = std::isfinite(block[i]) ? block[i] : 0.0f;
    nspsbCopy(previous_.data(), re_.data() + n, n);
    nspsbMpy2(window_.data(), re_.data(), 2 * n);
    nspsbZero(im_.data(), 2 * n);
    nspcrDft(re_.data(), im_.data(), order_, kDftForward);
    const int bins = static_cast<int>(power_.size());
    // The powers overwrite the real parts they are computed from.
    float* re = re_.data() + firstBin_;
    nspsbrPowerSpectr(re, im_.data() + firstBin_, re, bins);
    nspsbAdd2(re, power_.data(), bins);
}

void Waterfall::finishRow() {
    const float perBlock = 1.0f / static_cast<float>(blocksInRow_);
    for (int x = 0; x < axis_.width; ++x) {
        const auto from = power_.begin() + (columnFirst_[x] - firstBin_);
        const auto to = power_.begin() + (columnLast_[x] - firstBin_) + 1;
        // NaN powers compare false and are passed over, unless all are NaN.
        float strongest = *from;
        for (auto p = from + 1; p != to; ++p)
            if (*p > strongest || std::isnan(strongest)) strongest = *p;
        columnDb_[x] = decibels(strongest * perBlock);
    }
    trackFloor();
    // The strongest signal of the last seconds sets the top when it stands
    // further above the noise than the range: a clean, strong signal keeps
    // its shape instead of a saturated band as wide as its window leakage.
    // It is measured against the row's own noise, so that a click, which
    // lifts every column, does not darken the rows after it.
    float rowPeak = kSilenceDb;
    for (float db : columnDb_) rowPeak = std::max(rowPeak, db);
    const float excess = rowFloorDb_ > kSilenceDb ? rowPeak - rowFloorDb_ : 0.0f;
    peakAboveDb_ = std::max(excess, peakAboveDb_ - kPeakFallDbPerRow);
    const float perDb = 255.0f / std::max(rangeDb_.load(), peakAboveDb_);
    for (int x = 0; x < axis_.width; ++x) {
        const float level = std::clamp((columnDb_[x] - floorDb_) * perDb, 0.0f, 255.0f);
        row_[x] = static_cast<std::uint8_t>(std::lround(level));
    }
    std::fill(power_.begin(), power_.end(), 0.0f);
    blocksInRow_ = 0;
}

void Waterfall::trackFloor() {
    std::copy(columnDb_.begin(), columnDb_.end(), sorted_.begin());
    const auto last = static_cast<double>(sorted_.size() - 1);
    const auto nth = sorted_.begin() + static_cast<std::ptrdiff_t>(kFloorPercentile * last);
    std::nth_element(sorted_.begin(), nth, sorted_.end());
    const float percentile = *nth;
    rowFloorDb_ = percentile;
    // Digital silence shows as 0 whatever the floor: the floor stays, so that
    // the noise after a pause or at the start is not shown at full intensity
    // while the floor climbs back.
    if (percentile <= kSilenceDb) return;
    if (!floorKnown_) {
        floorDb_ = percentile;
        floorKnown_ = true;
    } else {
        floorDb_ += (percentile > floorDb_ ? kFloorRise : kFloorFall) * (percentile - floorDb_);
    }
}

}  // namespace zeb::dsp
