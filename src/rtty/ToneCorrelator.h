// The front end of the matched RTTY design: each tone is mixed to zero
// frequency and summed over one bit period (integrate and dump, the matched
// filter of a keyed tone), so that at every sample the magnitudes of the two
// sums are the tone energies of the bit window ending there. Their difference
// is the soft bit value. Frequency correction follows drift of both tones,
// and the tone levels give a running signal-to-noise estimate.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <span>

#include "rtty/RttyParams.h"

namespace zeb::rtty {

// Soft values by absolute sample index, the last kCapacity of them.
class SoftHistory {
public:
    static constexpr int kCapacity = 1 << 13;

    void clear() { written_ = 0; }
    void push(float v) { values_[static_cast<std::size_t>(written_++ & (kCapacity - 1))] = v; }
    // Samples pushed so far; index i is valid for written() − kCapacity ≤ i < written().
    std::int64_t written() const { return written_; }
    std::int64_t oldest() const { return written_ > kCapacity ? written_ - kCapacity : 0; }
    float at(std::int64_t i) const {
        return values_[static_cast<std::size_t>(i & (kCapacity - 1))];
    }
    // The value nearest to a fractional position, clamped to what is kept.
    float near(double position) const;

private:
    std::array<float, kCapacity> values_{};
    std::int64_t written_ = 0;
};

class ToneCorrelator {
public:
    // Longest bit period: 30 Bd at 11025 Hz.
    static constexpr int kMaxWindow = 384;

    // Tones in Hz and the keying rate in Bd; the history restarts.
    void configure(double lowerHz, double upperHz, double rate);

    // Correlates one block. Appends one soft value per sample to history():
    // |lower| − |upper| of the bit windows, positive when the lower tone is
    // stronger. `lowerOut`/`upperOut` get each tone at the output of its
    // matched filter, at audio frequency, for the cross scope and monitor.
    void process(std::span<const float> in, std::span<float> lowerOut, std::span<float> upperOut);

    const SoftHistory& history() const { return history_; }
    // Samples per bit period (fractional) and the correlation window (whole).
    double bitLength() const { return bitLength_; }
    int window() const { return window_; }
    // Typical |soft value| at the centre of a bit: the signal's amplitude.
    double amplitude() const { return amplitude_; }
    // Estimated Eb/N0 in dB, measured at the bit decisions, which the
    // framing reports with observe(). The weaker tone's energy less what the
    // stronger tone leaks into it is the noise, and the bias of deciding by
    // the larger energy (noise wins some bits) is taken out; noise alone
    // reads well below 0 dB.
    double snrDb() const { return snrDb_; }
    // The plain ratio of the same energies, without those corrections: about
    // 3 dB on noise alone, high near it and low where the tones leak into
    // each other. The squelch compares this one.
    double levelDb() const { return levelDb_; }
    // The window ending at `position` holds one whole bit.
    void observe(double position);
    double lowerHz() const { return lowerHz_ + offsetHz_ - spreadHz_; }
    double upperHz() const { return upperHz_ + offsetHz_ + spreadHz_; }
    // Moves both tones to new frequencies without restarting: the history,
    // the levels and the bit windows carry on (the window being summed
    // straddles the move for one bit). The fine correction starts afresh
    // around the new tones.
    void moveTones(double lowerHz, double upperHz);
    // Frequency correction follows the signal while this is on (the caller
    // switches it off while the squelch is closed, so noise cannot drag it).
    void setTracking(bool on) { tracking_ = on; }

private:
    struct Tone {
        std::complex<double> phasor{1.0, 0.0};
        std::complex<double> step{1.0, 0.0};
        std::complex<double> sum{};
        std::complex<double> previous{};
        std::complex<double> drift{};  // Σ sum·conj(previous sum): phase advance per sample
        std::array<std::complex<float>, kMaxWindow> ring{};
        double on = 0.0;   // mean energy while this tone is the stronger
        double off = 0.0;  // mean energy while it is the weaker
        // Mean of this sum over the other's while this one is the weaker
        // (the mixers' phases taken out): what the keyed tone leaks into
        // this sum, as a share of its own.
        std::complex<double> leak{};
        // For the readout, over more bits: the mean energy while this tone
        // is the stronger, and while it is the weaker less that leak.
        double signal = 0.0;
        double noise = 0.0;
    };

    void retune();
    void estimate();

    double lowerHz_ = 1275.0, upperHz_ = 1445.0;
    double bitLength_ = 220.5;
    int window_ = 220;
    int ringPos_ = 0;
    Tone lower_, upper_;
    double offsetHz_ = 0.0;  // common correction of both tones
    double spreadHz_ = 0.0;  // each tone moved this much further from the other
    double maxOffsetHz_ = 50.0;
    double maxSpreadHz_ = 10.0;
    bool tracking_ = true;
    int levelCountdown_ = 0;
    double amplitude_ = 0.0;
    double snrDb_ = 0.0;
    double levelDb_ = 0.0;
    SoftHistory history_;
    SoftHistory lowerLevel_;  // |lower| and |upper| of the same windows
    SoftHistory upperLevel_;
    // lower · conj(upper) of the same windows with the mixers' phase
    // difference taken out: constant while one tone is keyed.
    SoftHistory crossRe_;
    SoftHistory crossIm_;
};

}  // namespace zeb::rtty
