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

// Received text ends its lines with CR LF, CR CR LF (the teleprinter's own),
// LF alone or CR alone. LineEnds turns them into line ends, character by
// character: a run of CRs ended by LF is one line end, a run of CRs followed
// by anything else is one line end per CR (text files with CR alone), and LF
// alone is one. The first line end comes with the first CR or LF; the blank
// lines of a CR run come when it is clear that no LF follows.
class LineEnds {
public:
    // Before `c` the text gets `lineEnds` line ends, then `c` when `text`.
    struct Step {
        int lineEnds = 0;
        bool text = false;
    };
    Step next(char c) {
        if (c == '\r') {
            const bool first = crs_ == 0;
            if (crs_ < kMaxBlankLines) ++crs_;
            return {first ? 1 : 0, false};
        }
        const int blank = crs_ > 1 ? crs_ - 1 : 0;
        const bool afterCr = crs_ > 0;
        crs_ = 0;
        if (c == '\n') return {afterCr ? 0 : 1, false};
        return {blank, true};
    }

private:
    static constexpr int kMaxBlankLines = 100;
    int crs_ = 0;  // CRs of the line end being received
};

// Matches a file name against a pattern of '?' (exactly one character) and
// '*' (any run), ignoring ASCII case: "NIMBA??.DLL", "FAX_*.BMP".
bool matchesPatternNoCase(std::string_view pattern, std::string_view name);

}  // namespace zeb
