#include "TextTable.h"

#include <istream>

#include "common/Codepage.h"

namespace zeb::data {

void TextTableBuilder::addSource(std::istream& in, std::string_view sourceName) {
    std::string raw;
    int lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string where = std::string(sourceName) + ":" + std::to_string(lineNumber) + ": ";
        std::string_view view(raw);
        while (!view.empty() && (view.back() == '\r' || view.back() == ' ' || view.back() == '\t'))
            view.remove_suffix(1);
        if (view.empty()) continue;

        // Our own sources are UTF-8 and must convert cleanly; generated lines
        // (country names from a station list) may already be Windows-1252.
        std::string line;
        if (isUtf8(view)) {
            const auto converted = utf8ToCp1252Exact(view);
            if (!converted) {
                errors_.push_back(where + "character outside the Windows-1252 code page");
                continue;
            }
            line = *converted;
        } else {
            line = std::string(view);
        }
        if (line.size() > kMaxLineLength) {
            errors_.push_back(where + "line has " + std::to_string(line.size()) +
                              " characters, at most " + std::to_string(kMaxLineLength) +
                              " are read");
            continue;
        }
        if (line.front() != ';') {
            const std::string key = line.substr(0, keyLength_);
            const bool keyOk = line.size() > keyLength_ + 1 &&
                               key.find_first_of(" \t;") == std::string::npos &&
                               line[keyLength_] == ' ' && line[keyLength_ + 1] != ' ';
            if (!keyOk) {
                errors_.push_back(where + "expected a " + std::to_string(keyLength_) +
                                  "-character key, one blank and a text");
                continue;
            }
            const auto [it, inserted] = firstSeen_.emplace(key, where);
            if (!inserted) {
                errors_.push_back(where + "key '" + key + "' already defined at " +
                                  it->second.substr(0, it->second.size() - 2));
                continue;
            }
        }
        output_ += line;
        output_ += "\r\n";
    }
}

}  // namespace zeb::data
