// Small text helpers. Case rules are ASCII only: names in settings files and
// file names of the suite are ASCII, while other bytes (Windows-1252 text)
// must pass through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace zeb {

inline char toUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char toLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline std::string toUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = toUpperAscii(c);
    return out;
}

inline std::string toLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = toLowerAscii(c);
    return out;
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toUpperAscii(a[i]) != toUpperAscii(b[i])) return false;
    return true;
}

inline std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The value of a hexadecimal digit (either case), or -1.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Matches a file name against a pattern of '?' (exactly one character) and
// '*' (any run), ignoring ASCII case: "NIMBA??.DLL", "FAX_*.BMP".
bool matchesPatternNoCase(std::string_view pattern, std::string_view name);

}  // namespace zeb
