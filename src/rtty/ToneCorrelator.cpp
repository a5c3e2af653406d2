#include "rtty/ToneCorrelator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zeb::rtty {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Eb/N0 (as a ratio γ) from the mean energy of the stronger of the two sums
// over the mean energy of the weaker. Each sum holds complex Gaussian noise
// of mean energy N, the keyed one a tone of energy γ·N besides. Deciding by
// the larger energy, the noise sum wins now and then (with probability
// e^(−γ/2)/2), so the stronger is a little more than signal and noise and
// the weaker a little less than noise: E[max] = N·(1 + γ + e^(−γ/2)/2) and
// E[min] = N·(1 − e^(−γ/2)/2). Their ratio grows with γ from 3 at γ = 0 and
// is inverted here by bisection; at 3 or less the answer is 0.
double ebN0FromRatio(double ratio) {
    auto expected = [](double g) {
        const double e = 0.5 * std::exp(-0.5 * g);
        return (1.0 + g + e) / (1.0 - e);
    };
    if (!(ratio > 3.0)) return 0.0;
    double lo = 0.0;
    double hi = ratio;  // expected(g) > 1 + g
    for (int k = 0; k < 48; ++k) {
        const double mid = 0.5 * (lo + hi);
        (expected(mid) < ratio ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

float SoftHistory::near(double position) const {
    auto i = static_cast<std::int64_t>(std::llround(position));
    i = std::clamp(i, oldest(), std::max<std::int64_t>(written_ - 1, 0));
    return at(i);
}

void ToneCorrelator::configure(double lowerHz, double upperHz, double rate) {
    lowerHz_ = lowerHz;
    upperHz_ = upperHz;
    bitLength_ = kSampleRate / rate;
    window_ = std::clamp(static_cast<int>(std::lround(bitLength_)), 1, kMaxWindow);
    // The correction may move the tones by up to about the keying rate (what
    // a bit window still hears) and the shift by a tenth.
    maxOffsetHz_ = std::max(20.0, rate);
    maxSpreadHz_ = 0.1 * (upperHz - lowerHz);
    offsetHz_ = 0.0;
    spreadHz_ = 0.0;
    for (Tone* t : {&lower_, &upper_}) *t = Tone{};
    ringPos_ = 0;
    levelCountdown_ = 0;
    amplitude_ = 0.0;
    snrDb_ = 0.0;
    levelDb_ = 0.0;
    for (SoftHistory* h : {&history_, &lowerLevel_, &upperLevel_, &crossRe_, &crossIm_}) h->clear();
    retune();
}

void ToneCorrelator::moveTones(double lowerHz, double upperHz) {
    lowerHz_ = lowerHz;
    upperHz_ = upperHz;
    offsetHz_ = 0.0;
    spreadHz_ = 0.0;
    for (Tone* t : {&lower_, &upper_}) t->drift = {};
    retune();
}

void ToneCorrelator::retune() {
    lower_.step = std::polar(1.0, -kTwoPi * lowerHz() / kSampleRate);
    upper_.step = std::polar(1.0, -kTwoPi * upperHz() / kSampleRate);
}

void ToneCorrelator::observe(double position) {
    const auto i = static_cast<std::int64_t>(std::llround(position));
    if (i < history_.oldest() || i >= history_.written()) return;
    // Each tone's energy is averaged separately while it is the stronger and
    // while it is the weaker one: with a signal the weaker is noise alone
    // but for what the keyed tone leaks into it; on noise alone both ratios
    // are 3 (the larger and smaller of two equal noise energies), whatever
    // the colour of the noise. Only windows that hold one whole bit are
    // taken: one across a transition would count signal as noise.
    constexpr double kAlpha = 1.0 / 16.0;  // about sixteen bits
    // The readout and the leak (which changes only with the tones) take
    // longer means: the readout holds still, and the noise in the ratios
    // does not pass for leak.
    constexpr double kReadoutAlpha = 1.0 / 64.0;
    const double lower = lowerLevel_.at(i);
    const double upper = upperLevel_.at(i);
    const double el = lower * lower;
    const double eu = upper * upper;
    Tone& strong = el > eu ? lower_ : upper_;
    Tone& weak = el > eu ? upper_ : lower_;
    const double es = std::max(el, eu);
    const double ew = std::min(el, eu);
    if (strong.on == 0.0 && weak.off == 0.0) {
        lower_.on = upper_.on = es;
        lower_.signal = upper_.signal = es;
        lower_.off = upper_.off = lower_.noise = upper_.noise = std::max(ew, 1e-12);
    }
    strong.on += (es - strong.on) * kAlpha;
    strong.signal += (es - strong.signal) * kReadoutAlpha;
    weak.off += (ew - weak.off) * kAlpha;
    // The weaker sum times the conjugate of the stronger one: lower ·
    // conj(upper) as kept, or its conjugate. The weaker sum less the leak
    // times the stronger has the energy ew − 2·Re(conj(leak)·product) +
    // |leak|²·es.
    const std::complex<double> cross(crossRe_.at(i), crossIm_.at(i));
    const std::complex<double> product = el > eu ? std::conj(cross) : cross;
    const double rest =
        ew - 2.0 * std::real(std::conj(weak.leak) * product) + std::norm(weak.leak) * es;
    weak.noise += (std::max(rest, 0.0) - weak.noise) * kReadoutAlpha;
    weak.leak += (product / std::max(es, 1e-24) - weak.leak) * kReadoutAlpha;
    estimate();
}

void ToneCorrelator::estimate() {
    auto ratio = [](const Tone& t) { return (t.on - t.off) / std::max(t.off, 1e-12); };
    levelDb_ = 10.0 * std::log10(std::max(0.5 * (ratio(lower_) + ratio(upper_)), 1e-3));
    // The windows of the two tones overlap in frequency: the keyed tone
    // leaks into the other sum, and white noise in the two sums is partly
    // the same. Taking the leak times the stronger sum from the weaker one
    // removes both; 1 − |leak|² of the weaker sum's noise is left.
    auto noise = [](const Tone& t) {
        return std::max(t.noise / std::max(1.0 - std::norm(t.leak), 0.5), 1e-12);
    };
    const double onOverNoise =
        0.5 * (lower_.signal / noise(lower_) + upper_.signal / noise(upper_));
    snrDb_ = 10.0 * std::log10(std::max(ebN0FromRatio(onOverNoise), 1e-3));
}

void ToneCorrelator::process(std::span<const float> in, std::span<float> lowerOut,
                             std::span<float> upperOut) {
    const std::size_t n = std::min({in.size(), lowerOut.size(), upperOut.size()});
    const double scale = 1.0 / window_;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = in[i];
        for (Tone* t : {&lower_, &upper_}) {
            const std::complex<float> z(static_cast<float>(x * t->phasor.real()),
                                        static_cast<float>(x * t->phasor.imag()));
            auto& slot = t->ring[static_cast<std::size_t>(ringPos_)];
            t->sum += std::complex<double>(z) - std::complex<double>(slot);
            slot = z;
            t->drift += t->sum * std::conj(t->previous);
            t->previous = t->sum;
        }
        // The sums back at audio frequency: each tone through its matched filter.
        lowerOut[i] =
            static_cast<float>(2.0 * scale * (lower_.sum * std::conj(lower_.phasor)).real());
        upperOut[i] =
            static_cast<float>(2.0 * scale * (upper_.sum * std::conj(upper_.phasor)).real());
        if (++ringPos_ == window_) ringPos_ = 0;
        const double al = std::abs(lower_.sum) * scale;
        const double au = std::abs(upper_.sum) * scale;
        history_.push(static_cast<float>(al - au));
        lowerLevel_.push(static_cast<float>(al));
        upperLevel_.push(static_cast<float>(au));
        const std::complex<double> cross = lower_.sum * std::conj(upper_.sum) *
                                           std::conj(lower_.phasor) * upper_.phasor *
                                           (scale * scale);
        crossRe_.push(static_cast<float>(cross.real()));
        crossIm_.push(static_cast<float>(cross.imag()));
        lower_.phasor *= lower_.step;
        upper_.phasor *= upper_.step;
        if (--levelCountdown_ <= 0) {
            levelCountdown_ = std::max(window_ / 4, 1);
            constexpr double kAlpha = 1.0 / 64.0;
            const double a = std::fabs(al - au);
            amplitude_ = amplitude_ == 0.0 ? a : amplitude_ + (a - amplitude_) * kAlpha;
        }
    }
    for (Tone* t : {&lower_, &upper_}) t->phasor /= std::abs(t->phasor);

    // Frequency correction once a block: the phase advance of each sum per
    // sample is the tone's remaining offset (dominated by the times the tone
    // is on). Both tones move together; their distance follows more slowly.
    const double dl = std::arg(lower_.drift) * kSampleRate / kTwoPi;
    const double du = std::arg(upper_.drift) * kSampleRate / kTwoPi;
    const double wl = std::abs(lower_.drift);
    const double wu = std::abs(upper_.drift);
    lower_.drift = upper_.drift = {};
    if (!tracking_ || wl + wu <= 0.0) return;
    // The phase advance is measured against the tones as they are now, which
    // the mixers already moved by the correction.
    const double common = (dl * wl + du * wu) / (wl + wu);
    constexpr double kGain = 0.25;
    offsetHz_ = std::clamp(offsetHz_ + kGain * common, -maxOffsetHz_, maxOffsetHz_);
    if (wl > 0.0 && wu > 0.0) {
        const double apart = (du - dl) / 2.0;  // positive: the tones lie further apart
        spreadHz_ = std::clamp(spreadHz_ + 0.1 * apart, -maxSpreadHz_, maxSpreadHz_);
    }
    retune();
}

}  // namespace zeb::rtty
