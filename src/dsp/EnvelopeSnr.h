// Signal-to-noise ratio of a signal of constant envelope (FM, FSK, a steady
// tone) from its own samples: the band around `centreHz` is mixed to zero
// frequency and low-pass filtered, and the second and fourth moments of its
// magnitude give signal and noise apart (for a constant envelope plus
// Gaussian noise, M2 = S + N and M4 = S² + 4SN + 2N²). The result is given
// as the ratio of the signal's power to the noise power in 3 kHz, the way
// receivers and the accuracy scripts state it.
#pragma once

#include <array>
#include <complex>
#include <span>

namespace zeb::dsp {

class EnvelopeSnr {
public:
    static constexpr int kTaps = 63;

    // `halfWidthHz`: the band kept either side of the centre; the default
    // holds weather fax (±400 Hz and the sidebands of sharp picture edges).
    explicit EnvelopeSnr(float sampleRate = 11025.0f, float halfWidthHz = 1100.0f);

    void setCentre(float centreHz);
    void reset();
    // Takes one block (any length); moments are averaged over about half a
    // second.
    void process(std::span<const float> block);
    // Signal power over the noise power in 3 kHz, dB; NaN until half a
    // second was taken, or when no signal stands out of the noise.
    double snrDb() const;

private:
    float sampleRate_;
    std::array<float, kTaps> taps_{};
    // The delay line written twice over, so that the last kTaps samples
    // always lie in one stretch.
    std::array<std::complex<float>, 2 * kTaps> line_{};
    int linePos_ = 0;
    std::complex<double> phasor_{1.0, 0.0};
    std::complex<double> step_{1.0, 0.0};
    double noiseBandwidthHz_ = 0.0;
    double alpha_ = 0.0;
    double m2_ = 0.0, m4_ = 0.0;
    long long taken_ = 0;
    int renormalise_ = 0;
};

}  // namespace zeb::dsp
