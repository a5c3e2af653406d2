#include "rtty/ToneCorrelator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zeb::rtty {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

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
    history_.clear();
    lowerLevel_.clear();
    upperLevel_.clear();
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
    // while it is the weaker one: with a signal the weaker is noise alone;
    // on noise alone both ratios are 3 (the larger and smaller of two equal
    // noise energies), whatever the colour of the noise. Only windows that
    // hold one whole bit are taken: one across a transition would count
    // signal as noise.
    constexpr double kAlpha = 1.0 / 16.0;  // about sixteen bits
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
        lower_.off = upper_.off = std::max(ew, 1e-12);
    }
    strong.on += (es - strong.on) * kAlpha;
    weak.off += (ew - weak.off) * kAlpha;
    auto ratio = [](const Tone& t) { return (t.on - t.off) / std::max(t.off, 1e-12); };
    const double snr = std::max(0.5 * (ratio(lower_) + ratio(upper_)), 1e-3);
    snrDb_ = 10.0 * std::log10(snr);
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
        lower_.phasor *= lower_.step;
        upper_.phasor *= upper_.step;
        if (++ringPos_ == window_) ringPos_ = 0;
        const double al = std::abs(lower_.sum) * scale;
        const double au = std::abs(upper_.sum) * scale;
        history_.push(static_cast<float>(al - au));
        lowerLevel_.push(static_cast<float>(al));
        upperLevel_.push(static_cast<float>(au));
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
