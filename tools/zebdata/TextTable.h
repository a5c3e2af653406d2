// Builds the text tables of the data directory (DESCTT.DAT, DESCAA.DAT,
// SYNTXT.DAT) from our UTF-8 sources. Each entry line is a key of fixed
// length, one blank and the text; lines starting with ';' are comments.
// The output is Windows-1252 with CR LF line ends, so the last line always
// ends with a line feed (the reader ignores a last line without one).
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::data {

inline constexpr std::size_t kMaxLineLength = 254;  // the reader's line limit

class TextTableBuilder {
public:
    explicit TextTableBuilder(std::size_t keyLength) : keyLength_(keyLength) {}

    // Adds the lines of one source. Blank lines are dropped, comments kept.
    // Faults (malformed line, overlong line, duplicate key, character outside
    // Windows-1252) are collected as "source:line: ..." in errors(); the
    // faulty line is left out.
    void addSource(std::istream& in, std::string_view sourceName);

    const std::vector<std::string>& errors() const { return errors_; }
    std::size_t entryCount() const { return firstSeen_.size(); }
    const std::string& output() const { return output_; }

private:
    std::size_t keyLength_;
    std::string output_;
    std::map<std::string, std::string> firstSeen_;  // key → where it was defined
    std::vector<std::string> errors_;
};

}  // namespace zeb::data
