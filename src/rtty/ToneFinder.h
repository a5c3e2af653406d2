// Finds the two tones of an FSK signal of known shift in the first seconds
// of a recording or of live audio: an averaged power spectrum, then the pair
// of peaks one shift apart that stands out most above the noise. With a
// memory set, older spectra fade out, so that the finder follows a signal
// that moves (the decoder's frequency control).
#pragma once

#include <array>
#include <optional>
#include <span>

#include "rtty/RttyParams.h"

namespace zeb::rtty {

struct TonePair {
    double lowerHz = 0.0;
    double upperHz = 0.0;
    double strengthDb = 0.0;  // the pair's power above the median noise of the band
};

class ToneFinder {
public:
    static constexpr int kOrder = 12;  // 4096-point transforms, 2.7 Hz bins
    static constexpr int kSize = 1 << kOrder;

    // `shift` in Hz, the distance the tones must have (within a few percent).
    explicit ToneFinder(int shift);

    // Blocks of kBlockLength samples at kSampleRate.
    void feed(std::span<const float> block);
    // Seconds of audio taken so far.
    double seconds() const;
    // Spectra older than about `seconds` fade out; 0 (the default) averages
    // everything taken since the start or the last clear().
    void setMemory(double seconds);
    void clear();
    // The best pair with both tones in [kMinCenter, kMaxToneHz] and the lower
    // tone within [lowestHz, highestHz] when given, or nullopt while no pair
    // stands at least `minStrengthDb` above the noise.
    std::optional<TonePair> best(double minStrengthDb = 10.0, double lowestHz = 0.0,
                                 double highestHz = kMaxToneHz) const;

private:
    void transform();

    int shift_;
    std::array<float, kSize> window_{};
    std::array<float, kSize> input_{};
    std::array<float, kSize> re_{};
    std::array<float, kSize> im_{};
    std::array<double, kSize / 2> power_{};
    mutable std::array<double, kSize / 2> band_{};  // best()'s scratch for the median
    double decay_ = 1.0;                            // weight of the spectra so far at each new one
    int filled_ = 0;
    int frames_ = 0;
    long long samples_ = 0;
};

}  // namespace zeb::rtty
