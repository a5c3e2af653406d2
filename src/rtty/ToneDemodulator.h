// First stage of the RTTY decoder: two tone band-pass filters, rectification
// and a low-passed difference. Mark (after the slicer's polarity) and space
// come out as opposite signs.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "dsp/AudioFilter.h"
#include "dsp/Fir.h"
#include "rtty/RttyParams.h"

namespace zeb::rtty {

inline constexpr int kFilterOrder = 128;
inline constexpr float kClip = 16000.0f;

// Tone filter bandwidth for a shift: 30, 50 or 80 Hz.
int toneBandwidth(int shift);

// The taps of the RTTY program's filters (129 each).
std::vector<float> normalisedBandPass(double toneHz, int bandwidth);
std::vector<float> normalisedLowPass(int lowerHz, int upperHz);

class ToneDemodulator {
public:
    explicit ToneDemodulator(DemodVariant variant = DemodVariant::Main);

    DemodVariant variant() const { return variant_; }
    // Main or Rtty; takes effect with the next configure().
    void setVariant(DemodVariant variant) { variant_ = variant; }

    // (Re)designs the three filters; delay lines restart. Parameters are used
    // as given: validate them first.
    void configure(const RttyParams& params);

    // Demodulates one block of kBlockLength samples into `out`. Returns false,
    // leaving `out` untouched, when the squelch (Rtty variant, squelch > 0)
    // finds both tones at or below the threshold.
    bool processBlock(std::span<const float> in, std::span<float> out);

    // Band-pass outputs of the last demodulated block (cross scope, monitor).
    std::span<const float> lowerTone() const { return lower_; }
    std::span<const float> upperTone() const { return upper_; }
    // Level of the monitor output: 1.414 / Σ|lower-tone taps| (Main variant).
    float monitorGain() const { return monitorGain_; }
    // Average magnitude around each tone in the last squelch check.
    float lowerLevel() const { return lowerLevel_; }
    float upperLevel() const { return upperLevel_; }

private:
    bool squelchOpen(std::span<const float> in);
    float toneLevel(int toneHz) const;

    DemodVariant variant_;
    RttyParams params_;
    std::array<dsp::AudioFilter, 3> audio_;  // Main: lower, upper, low-pass
    std::array<dsp::FirState, 3> fir_;       // Rtty: lower, upper, low-pass
    std::array<float, kBlockLength> lower_{};
    std::array<float, kBlockLength> upper_{};
    float monitorGain_ = 0.0f;

    static constexpr int kSpectrumOrder = 9;  // 512-point transform
    static constexpr int kSpectrumSize = 1 << kSpectrumOrder;
    std::array<float, kSpectrumSize> window_{};
    std::array<float, kSpectrumSize> re_{};
    std::array<float, kSpectrumSize> im_{};
    std::array<float, kSpectrumSize / 2> magnitude_{};
    float lowerLevel_ = 0.0f;
    float upperLevel_ = 0.0f;
};

}  // namespace zeb::rtty
