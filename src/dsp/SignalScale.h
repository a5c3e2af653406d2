// Scaling of the signal window: the 1024 values a decoder hands over per
// block become y offsets from the middle of the window. The scale follows the
// peak: it jumps up to a louder block at once and moves 10 % of the way down
// towards a quieter one.
#pragma once

#include <cstdint>
#include <span>

namespace zeb::dsp {

class SignalScale {
public:
    static constexpr int kMaxPoints = 1024;

    // Updates the scale from `values` and writes value × (clientHeight / scale)
    // as 16-bit integers (round to nearest, saturating) into `out`, one per
    // value up to the smaller size. While the scale is not positive (silence
    // so far) every point is 0: the caller draws the baseline.
    void apply(std::span<const float> values, int clientHeight, std::span<std::int16_t> out);

    float scale() const { return scale_; }
    void reset() { scale_ = 0.0f; }

private:
    float scale_ = 0.0f;
    float work_[kMaxPoints] = {};
};

}  // namespace zeb::dsp
