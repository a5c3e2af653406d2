// Cutting generated audio into the fixed-length blocks the decoders take.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace zeb::test {

// Calls `f` with every block of `audio` in order; the last block is padded
// with silence, as a sound card or the file backend delivers it.
template <std::size_t N, class F>
void forEachBlock(const std::vector<float>& audio, F&& f) {
    std::vector<float> block(N, 0.0f);
    for (std::size_t at = 0; at < audio.size(); at += N) {
        const std::size_t n = std::min(N, audio.size() - at);
        std::copy_n(audio.begin() + static_cast<std::ptrdiff_t>(at), n, block.begin());
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(n), block.end(), 0.0f);
        f(std::span<const float, N>(block.data(), N));
    }
}

}  // namespace zeb::test
