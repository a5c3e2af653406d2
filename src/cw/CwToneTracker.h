// Finds the Morse tone in the audio: a running average of 4096-point power
// spectra (2.7 Hz bins, half-overlapping, about 0.8 s of memory) and, beside
// it, the average change of every bin from one spectrum to the next. A keyed
// tone comes and goes, a steady carrier does not: only peaks whose power
// changes by at least a fifth of its level count as Morse. The strongest such
// peak in the band searched, interpolated between bins, gives the tone to
// some tenths of a hertz at a good signal and follows a slow drift.
#pragma once

#include <array>
#include <optional>

namespace zeb::cw {

class CwToneTracker {
public:
    static constexpr int kOrder = 12;
    static constexpr int kSize = 1 << kOrder;
    static constexpr int kHop = kSize / 2;
    static constexpr double kSampleRate = 11025.0;
    static constexpr double kBinHz = kSampleRate / kSize;

    struct Peak {
        double hz = 0.0;
        double strengthDb = 0.0;  // above the median of the band searched
    };

    CwToneTracker();

    // The band searched, in Hz (at least a few bins wide).
    void setBand(double lowHz, double highHz);
    void reset();
    // The last kSize samples, oldest first, once every kHop samples.
    void analyse(const float* samples);
    int frames() const { return frames_; }

    // The strongest keyed peak in the band, or nothing.
    std::optional<Peak> strongest() const;
    // The strongest keyed peak within `radiusHz` of `hz` (inside the band).
    std::optional<Peak> near(double hz, double radiusHz) const;

private:
    std::optional<Peak> best(int lo, int hi) const;

    std::array<float, kSize> window_{};
    std::array<float, kSize> re_{};
    std::array<float, kSize> im_{};
    std::array<double, kSize / 2> average_{};
    std::array<double, kSize / 2> change_{};
    mutable std::array<double, kSize / 2> scratch_{};
    int lo_ = 0, hi_ = 0;
    int frames_ = 0;
    double floor_ = 0.0;
};

}  // namespace zeb::cw
