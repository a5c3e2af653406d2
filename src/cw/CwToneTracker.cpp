#include "cw/CwToneTracker.h"

#include <algorithm>
#include <cmath>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"

namespace zeb::cw {

namespace {
constexpr double kWeight = 0.3;       // of the newest spectrum in the average
constexpr double kKeyedChange = 0.2;  // change / level of a keyed tone, at least
}  // namespace

CwToneTracker::CwToneTracker() {
    window_.fill(1.0f);
    dsp::nspsWinHann(window_.data(), kSize);
    dsp::nspcrDft(re_.data(), im_.data(), kOrder, dsp::kDftForward | dsp::kDftPrepare);
    setBand(300.0, 3000.0);
}

void CwToneTracker::setBand(double lowHz, double highHz) {
    lo_ = std::clamp(static_cast<int>(std::ceil(lowHz / kBinHz)), 2, kSize / 2 - 3);
    hi_ = std::clamp(static_cast<int>(highHz / kBinHz), lo_ + 4, kSize / 2 - 2);
}

void CwToneTracker::reset() {
    average_.fill(0.0);
    change_.fill(0.0);
    frames_ = 0;
    floor_ = 0.0;
}

void CwToneTracker::analyse(const float* samples) {
    for (int i = 0; i < kSize; ++i) {
        re_[static_cast<std::size_t>(i)] = samples[i] * window_[static_cast<std::size_t>(i)];
        im_[static_cast<std::size_t>(i)] = 0.0f;
    }
    dsp::nspcrDft(re_.data(), im_.data(), kOrder, dsp::kDftForward);
    const double weight = frames_ == 0 ? 1.0 : kWeight;
    for (int k = 0; k < kSize / 2; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const double p = double(re_[i]) * re_[i] + double(im_[i]) * im_[i];
        change_[i] += weight * (std::fabs(p - average_[i]) - change_[i]);
        average_[i] += weight * (p - average_[i]);
    }
    ++frames_;
    // The noise floor: the median bin of the band.
    const auto first = average_.begin() + lo_, last = average_.begin() + hi_ + 1;
    const auto n = last - first;
    std::copy(first, last, scratch_.begin());
    std::nth_element(scratch_.begin(), scratch_.begin() + n / 2, scratch_.begin() + n);
    floor_ = std::max(scratch_[static_cast<std::size_t>(n / 2)], 1e-30);
}

std::optional<CwToneTracker::Peak> CwToneTracker::strongest() const { return best(lo_, hi_); }

std::optional<CwToneTracker::Peak> CwToneTracker::near(double hz, double radiusHz) const {
    return best(static_cast<int>(std::floor((hz - radiusHz) / kBinHz)),
                static_cast<int>(std::ceil((hz + radiusHz) / kBinHz)));
}

std::optional<CwToneTracker::Peak> CwToneTracker::best(int lo, int hi) const {
    if (frames_ == 0) return std::nullopt;
    lo = std::max(lo, lo_);
    hi = std::min(hi, hi_);
    int at = -1;
    for (int k = lo; k <= hi; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const double p = average_[i];
        if (p < average_[i - 1] || p < average_[i + 1]) continue;
        if (change_[i] < kKeyedChange * p) continue;
        if (at < 0 || p > average_[static_cast<std::size_t>(at)]) at = k;
    }
    if (at < 0) return std::nullopt;
    const auto i = static_cast<std::size_t>(at);
    const double l = std::log(average_[i - 1] + 1e-30), c = std::log(average_[i] + 1e-30),
                 r = std::log(average_[i + 1] + 1e-30);
    const double curvature = l - 2.0 * c + r;
    const double delta = curvature < 0.0 ? std::clamp(0.5 * (l - r) / curvature, -0.5, 0.5) : 0.0;
    return Peak{(at + delta) * kBinHz, 10.0 * std::log10(average_[i] / floor_)};
}

}  // namespace zeb::cw
