#include "ui/StringsFile.h"

#include <cstdint>

namespace zeb::ui {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at text[pos], or 0 when the bytes there
// are not one (stray continuation byte, overlong form, surrogate, > U+10FFFF,
// or a sequence cut off by the end of the text).
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t b0 = byte(pos);
    if (b0 < 0x80) return 1;
    std::size_t len = 0;
    std::uint32_t cp = 0;
    std::uint32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1Fu;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0Fu;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + len > text.size()) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const std::uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool isBlank(std::string_view line) {
    for (char c : line) {
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

}  // namespace

std::string sanitizeUtf8(std::string_view text, bool* changed) {
    std::string out;
    out.reserve(text.size());
    bool replaced = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = utf8SequenceLength(text, pos);
        if (len == 0) {
            out += kReplacement;
            replaced = true;
            ++pos;
        } else {
            out.append(text.substr(pos, len));
            pos += len;
        }
    }
    if (changed) *changed = replaced;
    return out;
}

std::string truncateUtf8(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    std::size_t pos = 0;
    while (pos < text.size() && chars < maxChars) {
        const std::size_t len = utf8SequenceLength(text, pos);
        pos += len == 0 ? 1 : len;
        ++chars;
    }
    return std::string(text.substr(0, pos));
}

std::string describe(const StringsIssue& issue) {
    if (issue.line <= 0) return issue.message;
    return "line " + std::to_string(issue.line) + ": " + issue.message;
}

ParsedStrings parseStrings(std::string_view content) {
    ParsedStrings result;
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);

    int lineNo = 0;
    while (!content.empty()) {
        ++lineNo;
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (isBlank(line) || line.front() == '#') continue;

        const auto issue = [&](std::string message) {
            result.issues.push_back({lineNo, std::move(message)});
        };

        const std::size_t tab = line.find('\t');
        const std::string_view number = line.substr(0, tab);
        if (tab == std::string_view::npos || number.empty() ||
            number.find_first_not_of("0123456789") != std::string_view::npos) {
            issue("not \"<number><TAB><text>\"");
            continue;
        }
        long id = 0;
        for (char c : number) {
            id = id * 10 + (c - '0');
            if (id > kMaxStringId) break;
        }
        if (id > kMaxStringId) {
            issue("string number " + std::string(number) + " is over " +
                  std::to_string(kMaxStringId));
            continue;
        }

        bool notUtf8 = false;
        const std::string raw = sanitizeUtf8(line.substr(tab + 1), &notUtf8);
        if (notUtf8) issue("string " + std::to_string(id) + " is not valid UTF-8");

        std::string text;
        text.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\') {
                text += raw[i];
                continue;
            }
            if (i + 1 == raw.size()) {
                issue("string " + std::to_string(id) + " ends in a lone backslash");
                text += '\\';
                continue;
            }
            const char next = raw[++i];
            switch (next) {
                case 'n': text += '\n'; break;
                case 't': text += '\t'; break;
                case '\\': text += '\\'; break;
                default:
                    issue("string " + std::to_string(id) + " has the unknown escape \\" +
                          std::string(1, next));
                    text += '\\';
                    text += next;
            }
        }

        const int key = static_cast<int>(id);
        if (result.texts.contains(key)) {
            issue("duplicate string number " + std::to_string(key));
            continue;
        }
        result.texts.emplace(key, std::move(text));
    }
    return result;
}

}  // namespace zeb::ui
