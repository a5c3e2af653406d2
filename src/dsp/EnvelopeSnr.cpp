#include "dsp/EnvelopeSnr.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace zeb::dsp {

EnvelopeSnr::EnvelopeSnr(float sampleRate, float halfWidthHz) : sampleRate_(sampleRate) {
    // A Hamming-windowed sinc low-pass: some 50 dB down at twice the centre,
    // where the mixed signal's mirror image lies.
    constexpr int kMiddle = kTaps / 2;
    const double fc = halfWidthHz / sampleRate;
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        const int n = k - kMiddle;
        const double sinc =
            n == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * n) / (std::numbers::pi * n);
        const double window = 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * k / (kTaps - 1));
        taps_[static_cast<std::size_t>(k)] = static_cast<float>(sinc * window);
        sum += sinc * window;
    }
    double energy = 0.0;
    for (float& t : taps_) {
        t = static_cast<float>(t / sum);
        energy += static_cast<double>(t) * t;
    }
    // The noise bandwidth of the complex low-pass, both sides of zero.
    noiseBandwidthHz_ = energy * sampleRate;
    alpha_ = 1.0 / (0.25 * sampleRate);  // half a second of every second output
    setCentre(1900.0f);
}

void EnvelopeSnr::setCentre(float centreHz) {
    step_ = std::polar(1.0, -2.0 * std::numbers::pi * centreHz / sampleRate_);
}

void EnvelopeSnr::reset() {
    line_.fill({});
    linePos_ = 0;
    m2_ = m4_ = 0.0;
    taken_ = 0;
}

void EnvelopeSnr::process(std::span<const float> block) {
    for (float x : block) {
        const std::complex<float> z(static_cast<float>(x * phasor_.real()),
                                    static_cast<float>(x * phasor_.imag()));
        line_[static_cast<std::size_t>(linePos_)] = z;
        line_[static_cast<std::size_t>(linePos_ + kTaps)] = z;
        phasor_ *= step_;
        if (++renormalise_ == 1024) {
            renormalise_ = 0;
            phasor_ /= std::abs(phasor_);
        }
        linePos_ = (linePos_ + 1) % kTaps;
        // Every second output is enough for moments: the band kept is well
        // below half the rate.
        if (++taken_ % 2 != 0) continue;
        // line_[linePos_ … linePos_ + kTaps − 1]: the last kTaps samples, oldest first.
        const std::complex<float>* last = line_.data() + linePos_;
        std::complex<float> y{};
        for (int k = 0; k < kTaps; ++k) y += taps_[static_cast<std::size_t>(k)] * last[k];
        const double p = std::norm(std::complex<double>(y));
        m2_ += alpha_ * (p - m2_);
        m4_ += alpha_ * (p * p - m4_);
    }
}

double EnvelopeSnr::snrDb() const {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (taken_ < static_cast<long long>(0.5 * sampleRate_) || m2_ <= 0.0) return kNaN;
    const double d = 2.0 * m2_ * m2_ - m4_;
    if (d <= 0.0) return kNaN;
    const double s = std::sqrt(d);
    const double n = m2_ - s;
    if (n <= 0.0) return 60.0;  // nothing measurable besides the signal
    return 10.0 * std::log10(s / (n * 3000.0 / noiseBandwidthHz_));
}

}  // namespace zeb::dsp
