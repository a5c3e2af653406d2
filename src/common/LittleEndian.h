// Little-endian fields of the suite's binary files and records (station and
// schedule records, the SYNOP record, fax settings, BMP headers). Every field
// is read and written byte by byte at its offset, whatever the host, so the
// offsets in a codec are the file layout.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

namespace zeb::le {

inline void put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v & 0xFF);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::uint8_t* at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t get16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
inline std::uint32_t get32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}
inline std::uint64_t get64(const std::uint8_t* at) {
    return static_cast<std::uint64_t>(get32(at)) |
           (static_cast<std::uint64_t>(get32(at + 4)) << 32);
}

// Writes fields into a fixed record buffer at their offsets.
class Writer {
public:
    explicit Writer(std::span<std::uint8_t> out) : out_(out) {}

    void u8(std::size_t at, std::uint8_t v) { out_[at] = v; }
    void ch(std::size_t at, char v) { out_[at] = static_cast<std::uint8_t>(v); }
    void u16(std::size_t at, std::uint16_t v) { put16(&out_[at], v); }
    void i16(std::size_t at, std::int16_t v) { u16(at, static_cast<std::uint16_t>(v)); }
    void u32(std::size_t at, std::uint32_t v) { put32(&out_[at], v); }
    void i32(std::size_t at, std::int32_t v) { u32(at, static_cast<std::uint32_t>(v)); }
    void u64(std::size_t at, std::uint64_t v) { put64(&out_[at], v); }
    void f32(std::size_t at, float v) { u32(at, std::bit_cast<std::uint32_t>(v)); }
    void f64(std::size_t at, double v) { u64(at, std::bit_cast<std::uint64_t>(v)); }
    void bytes(std::size_t at, const void* data, std::size_t size) {
        if (size > 0) std::memcpy(out_.data() + at, data, size);
    }

private:
    std::span<std::uint8_t> out_;
};

// Reads fields of a fixed record buffer at their offsets.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}

    std::uint8_t u8(std::size_t at) const { return in_[at]; }
    char ch(std::size_t at) const { return static_cast<char>(in_[at]); }
    std::uint16_t u16(std::size_t at) const { return get16(&in_[at]); }
    std::int16_t i16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
    std::uint32_t u32(std::size_t at) const { return get32(&in_[at]); }
    std::int32_t i32(std::size_t at) const { return static_cast<std::int32_t>(u32(at)); }
    std::uint64_t u64(std::size_t at) const { return get64(&in_[at]); }
    float f32(std::size_t at) const { return std::bit_cast<float>(u32(at)); }
    double f64(std::size_t at) const { return std::bit_cast<double>(u64(at)); }

private:
    std::span<const std::uint8_t> in_;
};

}  // namespace zeb::le
