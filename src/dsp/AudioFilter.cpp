#include "dsp/AudioFilter.h"

#include <bit>
#include <cmath>
#include <new>
#include <numbers>

#include "dsp/Primitives.h"

namespace zeb::dsp {

AudioFilter::AudioFilter() = default;

bool AudioFilter::init(float sampleRate, int blockLength, int order) {
    if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate) || blockLength < 2 ||
        blockLength > kMaxBlockLength || !std::has_single_bit(static_cast<unsigned>(blockLength)) ||
        order < 0 || order > kMaxOrder) {
        return false;
    }
    try {
        std::vector<float> taps(static_cast<std::size_t>(order) + 1, 0.0f);
        taps_ = std::move(taps);
    } catch (const std::bad_alloc&) {
        return false;
    }
    fir_.reset();
    sampleRate_ = sampleRate;
    blockLength_ = blockLength;
    order_ = order;
    gainSum_ = 0.0f;
    return true;
}

void AudioFilter::addLowPassKernel(std::vector<double>& taps, double cutoffHz, double sign) const {
    const int c = order_ / 2;
    const double twoFc = 2.0 * cutoffHz;
    taps[c] += sign * twoFc;
    // sin(ω)/ω tends to 1 as ω → 0; a cut-off of 0 Hz adds nothing.
    if (cutoffHz == 0.0) return;
    for (int k = 1; k <= c; ++k) {
        const double w = 2.0 * std::numbers::pi * cutoffHz * k / sampleRate_;
        const double v = sign * twoFc * std::sin(w) / w;
        taps[c - k] += v;
        taps[c + k] += v;
    }
}

bool AudioFilter::design(float lowHz, float highHz, bool bandPass, int windowFlags) {
    if (order_ < 2 || taps_.size() != static_cast<std::size_t>(order_) + 1) return false;
    std::vector<double> kernel(taps_.size(), 0.0);
    if (bandPass) addLowPassKernel(kernel, lowHz, -1.0);
    addLowPassKernel(kernel, highHz, +1.0);

    fir_.reset();
    double sum = 0.0;
    for (std::size_t i = 0; i < kernel.size(); ++i) {
        taps_[i] = static_cast<float>(kernel[i]);
        sum += std::fabs(taps_[i]);
    }
    gainSum_ = static_cast<float>(sum);
    const int n = static_cast<int>(taps_.size());
    if (windowFlags & kWindowHamming) nspsWinHamming(taps_.data(), n);
    if (windowFlags & kWindowBartlett) nspsWinBartlett(taps_.data(), n);
    if (windowFlags & kWindowHann) nspsWinHann(taps_.data(), n);
    nspsFirInit(taps_.data(), n, nullptr, &fir_);
    return fir_.initialized();
}

bool AudioFilter::designLowPass(float cutoffHz, int windowFlags) {
    return design(0.0f, cutoffHz, false, windowFlags);
}

bool AudioFilter::designBandPass(float lowHz, float highHz, int windowFlags) {
    return design(lowHz, highHz, true, windowFlags);
}

void AudioFilter::filter(const float* src, float* dst, int n) { nspsbFir(&fir_, src, dst, n); }

}  // namespace zeb::dsp
