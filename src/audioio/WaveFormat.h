// Wave format record (18 bytes plus codec bytes) and the format tags we know.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zeb::audio {

inline constexpr std::uint16_t kTagPcm = 1;
inline constexpr std::uint16_t kTagALaw = 6;
inline constexpr std::uint16_t kTagMuLaw = 7;
inline constexpr std::uint16_t kTagGsm610 = 49;

struct WaveFormat {
    std::uint16_t formatTag = kTagPcm;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 11025;
    std::uint32_t avgBytesPerSec = 22050;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;
    std::vector<std::uint8_t> extra;  // codec data; its length is the extra-size field

    bool operator==(const WaveFormat&) const = default;

    // PCM record: block align = bits / 8 × channels, average bytes = align × rate.
    static WaveFormat pcm(std::uint32_t samplesPerSec, std::uint16_t channels,
                          std::uint16_t bitsPerSample);

    // 18 + extra bytes, little-endian, the extra-size field included.
    std::vector<std::uint8_t> serialize() const;
    // Reads a record; nullopt when the bytes are fewer than 18 + extra size.
    static std::optional<WaveFormat> parse(std::span<const std::uint8_t> bytes);
};

}  // namespace zeb::audio
