// IniDocument: the text of a settings file with the lookup and edit rules of
// Windows private-profile files, which the suite's INI files follow:
// - section and key names are compared without regard to ASCII case;
// - the first section of a name and the first key of a name in it count;
// - blanks around names and values are ignored, and a value enclosed in a
//   matching pair of quotes ('…' or "…") is read without them;
// - lines whose first non-blank character is ';' are comments;
// - LF and CR LF line ends are both read.
// An edit changes only the line(s) it must; every other byte of the file
// (comments, blank lines, unknown sections, line ends) stays as it was. Bytes
// are kept as they are (the files are Windows-1252 text).
#pragma once

#include "common/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeb {

class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text);

    // The value of section/key, or nullopt when either is absent.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;

    // Sets a key's value: replaces the key's line in place, or adds the key at
    // the end of its section, or adds the section at the end of the file.
    // Refuses names and values that would change the structure of the file
    // (line ends in any of them, '=' or a leading ';' or '[' in a key, ']' in a
    // section name, empty names).
    Result<void> set(std::string_view section, std::string_view key, std::string_view value);

    // Removes a key's line; true when it existed.
    bool removeKey(std::string_view section, std::string_view key);
    // Removes a section's header and all its lines; true when it existed.
    bool removeSection(std::string_view section);

    // All key names of a section, in file order (first spelling of each).
    std::vector<std::string> keys(std::string_view section) const;
    // All section names, in file order.
    std::vector<std::string> sections() const;

    std::string text() const;

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string body;  // without its line end
        std::string end;   // "\r\n", "\n" or "" (last line without one)
        Kind kind = Kind::Other;
        std::string name;  // section or key name, trimmed
    };
    static Line classify(std::string body, std::string end);
    // Index range [first, last) of a section's lines after its header; npos when absent.
    bool findSection(std::string_view section, std::size_t& header, std::size_t& last) const;
    std::optional<std::size_t> findKey(std::string_view section, std::string_view key) const;
    std::string newLineEnd() const;

    std::vector<Line> lines_;
};

}  // namespace zeb
