#include "common/Codepage.h"

#include <array>
#include <cstdint>

namespace zeb {
namespace {

// Code points of the bytes 0x80..0x9F; the rest map to themselves.
constexpr std::array<std::uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at `i`: its length, or 0 when it is malformed
// (bad lead or continuation byte, cut short, overlong, surrogate, too large).
std::size_t decodeOne(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t extra;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        cp = b & 0x1F;
        extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
        cp = b & 0x0F;
        extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
        cp = b & 0x07;
        extra = 3;
    } else {
        return 0;
    }
    if (i + extra >= s.size()) return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

}  // namespace

int cp1252Byte(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp) return static_cast<int>(0x80 + i);
    return -1;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        appendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
    }
    return out;
}

std::string utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t n = decodeOne(utf8, i, cp);
        if (n == 0) {
            out.push_back('?');
            ++i;
            // Skip the continuation bytes of the broken sequence.
            while (i < utf8.size() && (static_cast<std::uint8_t>(utf8[i]) & 0xC0) == 0x80) ++i;
            continue;
        }
        const int b = cp1252Byte(cp);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
        i += n;
    }
    return out;
}

std::optional<std::string> utf8ToCp1252Exact(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = decodeOne(utf8, i, cp);
        if (n == 0) return std::nullopt;
        const int b = cp1252Byte(cp);
        if (b < 0) return std::nullopt;
        out.push_back(static_cast<char>(b));
        i += n;
    }
    return out;
}

bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = decodeOne(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace zeb
