// The numbered strings of a language bundle ("strings.txt" inside it).
//
// Format: UTF-8 text, one string per line: "<number><TAB><text>". The text may
// hold the escapes \n (line break), \t (tab) and \\ (backslash). Blank lines and
// lines starting with '#' are ignored; a line may end in CR LF.
//
// Parsing never fails: problems (a line that is not "<number><TAB>...", a number
// out of range, a duplicate number, an unknown escape, bytes that are not UTF-8)
// are listed as issues and the rest of the file is still read. A program loading
// its bundle tolerates them (for a duplicate the first line wins); the bundle
// validation reports them.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::ui {

inline constexpr int kMaxStringId = 65535;           // string numbers are 16-bit
inline constexpr std::size_t kMaxStringChars = 255;  // what a program reads of one string

struct StringsIssue {
    int line = 0;  // 1-based line number in the file; 0 when not tied to a line
    std::string message;
};

struct ParsedStrings {
    std::map<int, std::string> texts;  // id -> UTF-8 text, escapes decoded, untruncated
    std::vector<StringsIssue> issues;
};

ParsedStrings parseStrings(std::string_view content);

// "line 12: duplicate string number 7" (without the line part for line 0)
std::string describe(const StringsIssue& issue);

// The first `maxChars` characters (code points) of a UTF-8 text.
std::string truncateUtf8(std::string_view text, std::size_t maxChars);

// Replaces every byte sequence that is not UTF-8 with U+FFFD; sets `changed`.
std::string sanitizeUtf8(std::string_view text, bool* changed = nullptr);

}  // namespace zeb::ui
