// A sine tone at the suite's 11025 Hz rate, for the filter and analyser tests.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

namespace zeb::dsp {

inline constexpr float kFs = 11025.0f;

// `n` samples of a tone of `hz` and `amplitude`, starting at sample `start`.
inline std::vector<float> tone(double hz, double amplitude, int n, int start = 0) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * (start + i) / kFs));
    return v;
}

}  // namespace zeb::dsp
