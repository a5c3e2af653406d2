#include "common/IniDocument.h"

#include "common/Text.h"

namespace zeb {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool hasLineBreak(std::string_view s) {
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos ||
           s.find('\0') != std::string_view::npos;
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines_.push_back(classify(std::string(text.substr(pos)), ""));
            break;
        }
        std::size_t bodyEnd = nl;
        if (bodyEnd > pos && text[bodyEnd - 1] == '\r') --bodyEnd;
        lines_.push_back(classify(std::string(text.substr(pos, bodyEnd - pos)),
                                  std::string(text.substr(bodyEnd, nl + 1 - bodyEnd))));
        pos = nl + 1;
    }
}

IniDocument::Line IniDocument::classify(std::string body, std::string end) {
    Line line{std::move(body), std::move(end), Kind::Other, {}};
    const std::string_view t = trimBlanks(line.body);
    if (t.empty() || t.front() == ';') return line;
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = std::string(trimBlanks(t.substr(1, close - 1)));
        }
        return line;
    }
    const auto eq = t.find('=');
    if (eq != std::string_view::npos) {
        const std::string_view name = trimBlanks(t.substr(0, eq));
        if (!name.empty()) {
            line.kind = Kind::Key;
            line.name = std::string(name);
        }
    }
    return line;
}

bool IniDocument::findSection(std::string_view section, std::size_t& header,
                              std::size_t& last) const {
    const std::string_view wanted = trimBlanks(section);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Section || !equalsNoCase(lines_[i].name, wanted)) continue;
        header = i;
        last = i + 1;
        while (last < lines_.size() && lines_[last].kind != Kind::Section) ++last;
        return true;
    }
    return false;
}

std::optional<std::size_t> IniDocument::findKey(std::string_view section,
                                                std::string_view key) const {
    std::size_t header = 0, last = 0;
    if (!findSection(section, header, last)) return std::nullopt;
    const std::string_view wanted = trimBlanks(key);
    for (std::size_t i = header + 1; i < last; ++i)
        if (lines_[i].kind == Kind::Key && equalsNoCase(lines_[i].name, wanted)) return i;
    return std::nullopt;
}

std::optional<std::string> IniDocument::get(std::string_view section, std::string_view key) const {
    const auto index = findKey(section, key);
    if (!index) return std::nullopt;
    const std::string& body = lines_[*index].body;
    std::string_view value = trimBlanks(std::string_view(body).substr(body.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string IniDocument::newLineEnd() const {
    // New lines follow the file's own convention; a new file gets CR LF, the
    // line end of the Windows-era files these settings are shared with.
    for (const Line& line : lines_)
        if (!line.end.empty()) return line.end;
    return "\r\n";
}

Result<void> IniDocument::set(std::string_view section, std::string_view key,
                              std::string_view value) {
    const std::string_view s = trimBlanks(section);
    const std::string_view k = trimBlanks(key);
    if (s.empty() || hasLineBreak(s) || s.find(']') != std::string_view::npos)
        return Error{EINVAL, "invalid settings section name \"" + std::string(section) + "\""};
    if (k.empty() || hasLineBreak(k) || k.find('=') != std::string_view::npos || k.front() == ';' ||
        k.front() == '[')
        return Error{EINVAL, "invalid settings key name \"" + std::string(key) + "\""};
    if (hasLineBreak(value))
        return Error{EINVAL,
                     "settings value for \"" + std::string(key) + "\" contains a line break"};

    std::string body = std::string(k) + "=" + std::string(value);
    if (const auto index = findKey(s, k)) {
        lines_[*index].body = std::move(body);
        return success();
    }
    const std::string eol = newLineEnd();
    std::size_t header = 0, last = 0;
    if (findSection(s, header, last)) {
        // After the section's last non-blank line, so blank separator lines
        // stay between this section and the next.
        std::size_t at = last;
        while (at > header + 1 && trimBlanks(lines_[at - 1].body).empty()) --at;
        if (lines_[at - 1].end.empty()) lines_[at - 1].end = eol;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                      classify(std::move(body), eol));
        return success();
    }
    if (!lines_.empty()) {
        if (lines_.back().end.empty()) lines_.back().end = eol;
        if (!trimBlanks(lines_.back().body).empty()) lines_.push_back(classify("", eol));
    }
    lines_.push_back(classify("[" + std::string(s) + "]", eol));
    lines_.push_back(classify(std::move(body), eol));
    return success();
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) {
    const auto index = findKey(section, key);
    if (!index) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
    return true;
}

bool IniDocument::removeSection(std::string_view section) {
    std::size_t header = 0, last = 0;
    if (!findSection(section, header, last)) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(last));
    return true;
}

std::vector<std::string> IniDocument::keys(std::string_view section) const {
    std::vector<std::string> out;
    std::size_t header = 0, last = 0;
    if (!findSection(section, header, last)) return out;
    for (std::size_t i = header + 1; i < last; ++i) {
        if (lines_[i].kind != Kind::Key) continue;
        bool seen = false;
        for (const std::string& k : out) seen = seen || equalsNoCase(k, lines_[i].name);
        if (!seen) out.push_back(lines_[i].name);
    }
    return out;
}

std::vector<std::string> IniDocument::sections() const {
    std::vector<std::string> out;
    for (const Line& line : lines_)
        if (line.kind == Kind::Section) out.push_back(line.name);
    return out;
}

std::string IniDocument::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.body;
        out += line.end;
    }
    return out;
}

}  // namespace zeb
