// The spectrum analysis of the tuning display.
//
// It computes, per block, everything the display draws — the column heights of
// the curve, the pass-band and tone-marker columns — for a drawing area of a
// given size. It draws nothing itself, and it allocates only when a display is
// attached, never per block. attachDisplay() and detachDisplay() must not run
// while analyse() does (callers hold the capture stream's mutex); the marker,
// full-scale and peak-hold setters may be called from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "dsp/Markers.h"

namespace zeb::dsp {

struct Rgb {
    std::uint8_t r, g, b;
};
inline constexpr Rgb kSpectrumCurveColour{128, 255, 255};
inline constexpr Rgb kFaxToneMarkerColour{255, 128, 0};

class SpectrumAnalyser {
public:
    static constexpr float kDefaultSampleRate = 11025.0f;
    static constexpr int kDefaultBlockLength = 1024;
    static constexpr int kMaxBlockLength = 1 << 16;

    SpectrumAnalyser();

    // Sample rate and length of the blocks analysed (by default 11025 Hz and
    // 1024); detaches the display. Fails, changing nothing, when the sample
    // rate is not positive or the block length is not a power of two from 2
    // to kMaxBlockLength.
    bool init(float sampleRate, int blockLength);
    float sampleRate() const { return sampleRate_; }
    int blockLength() const { return blockLength_; }
    int transformOrder() const { return transformOrder_; }

    // Frequency range shown; takes effect at the next attachDisplay().
    void setFrequencyRange(float lowHz, float highHz);
    float lowHz() const { return lowHz_; }
    float highHz() const { return highHz_; }
    // Prepares the analysis for a control of the given client size; the
    // drawing area is the client area shrunk by one pixel on every side.
    // Fails and stays detached when that area is empty or memory runs out.
    bool attachDisplay(int clientWidth, int clientHeight);
    void detachDisplay();
    bool displayAttached() const { return width_ > 0; }
    int displayWidth() const { return width_; }
    int displayHeight() const { return height_; }

    // Analyses one block of blockLength() samples. Nothing when detached.
    void analyse(const float* block);

    void setFullScale(float value) { fullScale_.store(value); }  // 0 (or less): automatic
    void setPeakHold(bool on) { peakHold_.store(on); }
    void setPassBand(float lowHz, float highHz);  // both 0: none
    void setTones(float toneAHz, float toneBHz);  // both 0: none
    // The pass band and the tones of a decoder at once.
    void setMarkers(const Markers& markers);

    // Results of the last analyse(): y of the curve (0 = top) for columns
    // 1 … width, the 16-bit level of every bin, the column-to-bin map
    // (width + 3 entries) and the full scale used.
    std::span<const int> curve() const { return curve_; }
    std::span<const std::int16_t> levels() const { return levels_; }
    std::span<const int> columnToBin() const { return edges_; }
    float usedFullScale() const { return usedFullScale_; }

    // Display columns of the pass-band edges (within 1 … width − 1) and of the
    // tone markers (within 0 … width − 1); none when unset or detached.
    std::optional<std::pair<int, int>> passBandColumns() const;
    std::optional<std::pair<int, int>> toneColumns() const;

private:
    int columnOf(float frequencyHz) const;

    float sampleRate_ = kDefaultSampleRate;
    int blockLength_ = kDefaultBlockLength;
    int transformOrder_ = 10;

    float lowHz_ = 0.0f;
    float highHz_ = 2756.0f;
    int width_ = 0;
    int height_ = 0;
    std::vector<float> window_, re_, im_, mag_;
    std::vector<std::int16_t> levels_;
    std::vector<int> edges_;
    std::vector<int> curve_;
    float usedFullScale_ = 0.0f;
    std::atomic<float> fullScale_{0.0f};
    std::atomic<bool> peakHold_{false};
    std::atomic<float> passLowHz_{0.0f}, passHighHz_{0.0f};
    std::atomic<float> toneAHz_{0.0f}, toneBHz_{0.0f};
};

}  // namespace zeb::dsp
