#include "audioio/WaveFormat.h"

namespace zeb::audio {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return get16(b, at) | (static_cast<std::uint32_t>(get16(b, at + 2)) << 16);
}

}  // namespace

WaveFormat WaveFormat::pcm(std::uint32_t samplesPerSec, std::uint16_t channels,
                           std::uint16_t bitsPerSample) {
    WaveFormat f;
    f.formatTag = kTagPcm;
    f.channels = channels;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = bitsPerSample;
    f.blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * samplesPerSec;
    return f;
}

std::vector<std::uint8_t> WaveFormat::serialize() const {
    std::vector<std::uint8_t> out;
    out.reserve(18 + extra.size());
    put16(out, formatTag);
    put16(out, channels);
    put32(out, samplesPerSec);
    put32(out, avgBytesPerSec);
    put16(out, blockAlign);
    put16(out, bitsPerSample);
    put16(out, static_cast<std::uint32_t>(extra.size()));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

std::optional<WaveFormat> WaveFormat::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 18) return std::nullopt;
    WaveFormat f;
    f.formatTag = get16(bytes, 0);
    f.channels = get16(bytes, 2);
    f.samplesPerSec = get32(bytes, 4);
    f.avgBytesPerSec = get32(bytes, 8);
    f.blockAlign = get16(bytes, 12);
    f.bitsPerSample = get16(bytes, 14);
    const std::size_t extraSize = get16(bytes, 16);
    if (bytes.size() < 18 + extraSize) return std::nullopt;
    f.extra.assign(bytes.begin() + 18, bytes.begin() + 18 + static_cast<std::ptrdiff_t>(extraSize));
    return f;
}

}  // namespace zeb::audio
