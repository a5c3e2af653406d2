#include "rtty/ToneFinder.h"

#include <algorithm>
#include <cmath>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"

namespace zeb::rtty {
namespace {

constexpr double kBinHz = static_cast<double>(kSampleRate) / ToneFinder::kSize;

}  // namespace

ToneFinder::ToneFinder(int shift) : shift_(shift) {
    window_.fill(1.0f);
    dsp::nspsWinHann(window_.data(), kSize);
    dsp::nspcrDft(re_.data(), im_.data(), kOrder, dsp::kDftForward | dsp::kDftPrepare);
}

double ToneFinder::seconds() const { return static_cast<double>(samples_) / kSampleRate; }

void ToneFinder::setMemory(double seconds) {
    // One transform every half transform length.
    const double hop = 0.5 * kSize / kSampleRate;
    decay_ = seconds > 0.0 ? std::exp(-hop / seconds) : 1.0;
}

void ToneFinder::clear() {
    power_.fill(0.0);
    filled_ = 0;
    frames_ = 0;
    samples_ = 0;
}

void ToneFinder::feed(std::span<const float> block) {
    samples_ += static_cast<long long>(block.size());
    for (float x : block) {
        input_[static_cast<std::size_t>(filled_++)] = x;
        if (filled_ == kSize) {
            transform();
            // Half-overlapping transforms.
            std::copy(input_.begin() + kSize / 2, input_.end(), input_.begin());
            filled_ = kSize / 2;
        }
    }
}

void ToneFinder::transform() {
    for (int i = 0; i < kSize; ++i) {
        re_[static_cast<std::size_t>(i)] =
            input_[static_cast<std::size_t>(i)] * window_[static_cast<std::size_t>(i)];
        im_[static_cast<std::size_t>(i)] = 0.0f;
    }
    dsp::nspcrDft(re_.data(), im_.data(), kOrder, dsp::kDftForward);
    for (int i = 0; i < kSize / 2; ++i) {
        const double r = re_[static_cast<std::size_t>(i)], m = im_[static_cast<std::size_t>(i)];
        auto& p = power_[static_cast<std::size_t>(i)];
        p = p * decay_ + r * r + m * m;
    }
    ++frames_;
}

std::optional<TonePair> ToneFinder::best(double minStrengthDb, double lowestHz,
                                         double highestHz) const {
    if (frames_ == 0) return std::nullopt;
    const int lo = static_cast<int>(std::ceil(kMinCenter / kBinHz));
    const int hi = static_cast<int>(kMaxToneHz / kBinHz);
    const double shiftBins = shift_ / kBinHz;
    // A transmitter's shift may be a few percent off the nominal one.
    const int tolerance = std::max(1, static_cast<int>(std::lround(0.04 * shiftBins)));
    const int span = static_cast<int>(std::lround(shiftBins));
    if (hi - lo <= span) return std::nullopt;

    // The noise floor: the median bin of the whole band.
    const auto bandEnd = std::copy(power_.begin() + lo, power_.begin() + hi + 1, band_.begin());
    const auto median = band_.begin() + (bandEnd - band_.begin()) / 2;
    std::nth_element(band_.begin(), median, bandEnd);
    const double floor = std::max(*median, 1e-30);
    const int first = std::max(lo + 1, static_cast<int>(std::floor(lowestHz / kBinHz)));
    const int last = static_cast<int>(std::ceil(highestHz / kBinHz));

    // Each tone as the power of its bin and its neighbours (the keying
    // spreads it over a few bins).
    auto tone = [&](int i) {
        return power_[static_cast<std::size_t>(i - 1)] + power_[static_cast<std::size_t>(i)] +
               power_[static_cast<std::size_t>(i + 1)];
    };
    double bestScore = 0.0;
    int bestLower = -1, bestUpper = -1;
    for (int i = first; i <= last && i + span - tolerance <= hi - 1; ++i) {
        const double a = tone(i);
        for (int j = i + span - tolerance; j <= std::min(i + span + tolerance, hi - 1); ++j) {
            // Both tones must be there: the weaker one counts.
            const double score = std::min(a, tone(j));
            if (score > bestScore) {
                bestScore = score;
                bestLower = i;
                bestUpper = j;
            }
        }
    }
    if (bestLower < 0) return std::nullopt;
    const double strength = 10.0 * std::log10(bestScore / (3.0 * floor));
    if (strength < minStrengthDb) return std::nullopt;
    // Each peak refined between bins on a parabola through its neighbours.
    auto refine = [&](int i) {
        int peak = i;
        for (int k = std::max(i - 1, 1); k <= std::min(i + 1, kSize / 2 - 2); ++k)
            if (power_[static_cast<std::size_t>(k)] > power_[static_cast<std::size_t>(peak)])
                peak = k;
        const double a = power_[static_cast<std::size_t>(peak - 1)];
        const double b = power_[static_cast<std::size_t>(peak)];
        const double c = power_[static_cast<std::size_t>(peak + 1)];
        const double den = a - 2.0 * b + c;
        const double offset = den < 0.0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
        return (peak + offset) * kBinHz;
    };
    // The keying spreads each tone over a lobe as wide as the keying rate,
    // which pulls a single peak a few hertz; the pair's middle is sharper.
    const double middle = 0.5 * (refine(bestLower) + refine(bestUpper));
    return TonePair{middle - 0.5 * shift_, middle + 0.5 * shift_, strength};
}

}  // namespace zeb::rtty
