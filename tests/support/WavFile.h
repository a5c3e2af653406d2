// A generated signal as the bytes of a WAV file: 16-bit PCM, mono, 11025
// samples per second unless told otherwise. Samples are integer-valued
// floats, rounded and clipped to 16 bits. Header-only, so that the demo
// recordings of zebdemo use it as well.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/LittleEndian.h"

namespace zeb::test {

inline std::string wavBytes(const std::vector<float>& samples, std::uint32_t rate = 11025) {
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    std::string bytes(44 + dataSize, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    std::copy_n("RIFF", 4, bytes.begin());
    le::put32(out + 4, 36 + dataSize);
    std::copy_n("WAVEfmt ", 8, bytes.begin() + 8);
    le::put32(out + 16, 16);
    le::put16(out + 20, 1);  // PCM
    le::put16(out + 22, 1);  // mono
    le::put32(out + 24, rate);
    le::put32(out + 28, rate * 2);
    le::put16(out + 32, 2);
    le::put16(out + 34, 16);
    std::copy_n("data", 4, bytes.begin() + 36);
    le::put32(out + 40, dataSize);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const long v = std::lround(std::clamp(samples[i], -32768.0f, 32767.0f));
        le::put16(out + 44 + 2 * i, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    return bytes;
}

}  // namespace zeb::test
