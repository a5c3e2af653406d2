// Windowed-sinc FIR low-pass and band-pass filters designed from cut-off
// frequencies.
//
// The taps are not normalised: the pass-band gain of a design is about the
// sample rate. Users that need a level divide by gainSum().
//
// The spectrum analysis of the tuning display is dsp::SpectrumAnalyser.
#pragma once

#include <span>
#include <vector>

#include "dsp/Fir.h"

namespace zeb::dsp {

// Window flags of a design; several apply in this order.
inline constexpr int kWindowHamming = 1;
inline constexpr int kWindowBartlett = 2;
inline constexpr int kWindowHann = 4;

class AudioFilter {
public:
    static constexpr float kDefaultSampleRate = 11025.0f;
    static constexpr int kDefaultBlockLength = 1024;
    static constexpr int kMaxOrder = 65536;  // more taps than any filter of the suite needs
    static constexpr int kMaxBlockLength = 1 << 16;

    AudioFilter();

    // Discards the old taps and FIR state and allocates order + 1 zero taps.
    // Fails, changing nothing, when the sample rate is not positive, the block
    // length is not a power of two from 2 to kMaxBlockLength, the order lies
    // outside 0 … kMaxOrder, or memory runs out.
    bool init(float sampleRate, int blockLength, int order);

    // Designs fail (returning false, keeping the old taps and state) when the
    // order is below 2. Otherwise the taps become the kernel, the gain sum the
    // sum of their absolute values before windowing, the window flags apply
    // and a new FIR state starts with a zero delay line.
    bool designLowPass(float cutoffHz, int windowFlags);
    bool designBandPass(float lowHz, float highHz, int windowFlags);

    // nspsbFir with this filter's state.
    void filter(const float* src, float* dst, int n);

    float gainSum() const { return gainSum_; }
    std::span<const float> taps() const { return taps_; }
    int order() const { return order_; }
    float sampleRate() const { return sampleRate_; }
    int blockLength() const { return blockLength_; }

private:
    void addLowPassKernel(std::vector<double>& taps, double cutoffHz, double sign) const;
    bool design(float lowHz, float highHz, bool bandPass, int windowFlags);

    float sampleRate_ = kDefaultSampleRate;
    int blockLength_ = kDefaultBlockLength;
    int order_ = 0;
    std::vector<float> taps_;
    float gainSum_ = 0.0f;
    FirState fir_;
};

}  // namespace zeb::dsp
