#include "weather/NavtexMessage.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "common/AtomicFile.h"

namespace zeb::weather {
namespace {

bool isLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool recent(TimeKey time, TimeKey now) {
    // A time ahead of the clock (the clock was set back) counts as recent for
    // as long as one behind it would.
    return now - time < kNavtexMemorySeconds && time - now < kNavtexMemorySeconds;
}

template <class T>
bool parseNumber(std::string_view text, T& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ') ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ') ++at;
        if (at > start) out.push_back(line.substr(start, at - start));
    }
    return out;
}

}  // namespace

std::string NavtexId::text() const {
    return {station, subject, static_cast<char>('0' + serial / 10 % 10),
            static_cast<char>('0' + serial % 10)};
}

std::optional<NavtexId> parseNavtexId(std::string_view afterZczc) {
    std::size_t at = 0;
    while (at < afterZczc.size() && afterZczc[at] == ' ') ++at;
    const std::string_view id = afterZczc.substr(at, 4);
    if (id.size() < 4 || !isLetter(id[0]) || !isLetter(id[1]) || !isDigit(id[2]) || !isDigit(id[3]))
        return std::nullopt;
    if (at + 4 < afterZczc.size() && afterZczc[at + 4] != ' ') return std::nullopt;
    return NavtexId{id[0], id[1], (id[2] - '0') * 10 + (id[3] - '0')};
}

std::optional<NavtexId> parseNavtexHeader(std::string_view line) {
    if (line.substr(0, 4) != "ZCZC") return std::nullopt;
    return parseNavtexId(line.substr(4));
}

std::string_view subjectName(char subject) {
    switch (subject) {
        case 'A': return "navigational warnings";
        case 'B': return "weather warnings";
        case 'C': return "ice reports";
        case 'D': return "search and rescue and piracy information";
        case 'E': return "weather forecasts";
        case 'F': return "pilot and vessel traffic service messages";
        case 'G': return "AIS service messages";
        case 'H': return "LORAN messages";
        case 'J': return "satellite navigation messages";
        case 'K': return "messages on other radio navigation aids";
        case 'L': return "further navigational warnings";
        case 'V':
        case 'W':
        case 'X':
        case 'Y': return "special services";
        case 'Z': return "no messages on hand";
        default: break;
    }
    return isLetter(subject) ? "unallocated subject" : "";
}

bool isMandatorySubject(char subject) {
    return subject == 'A' || subject == 'B' || subject == 'D' || subject == 'L';
}

std::optional<LetterSet> LetterSet::parse(std::string_view letters) {
    LetterSet set;
    for (char c : letters) {
        if (!isLetter(c)) return std::nullopt;
        set.bits_ |= 1u << (c - 'A');
    }
    return set;
}

bool LetterSet::contains(char letter) const {
    if (!isLetter(letter)) return false;
    return all() || (bits_ & (1u << (letter - 'A'))) != 0;
}

bool receivedWell(int lost, int characters) {
    return lost <= 0 || static_cast<long long>(lost) * 100 <= 4LL * characters;
}

std::optional<NavtexEntry> parseNavtexEntry(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    const auto f = fields(line);
    if (f.size() < 3 || f.size() > 5 || f[0].size() != 4) return std::nullopt;
    const auto id = parseNavtexId(f[0]);
    if (!id) return std::nullopt;
    NavtexEntry e;
    e.id = *id;
    if (!parseNumber(f[1], e.time) || !parseNumber(f[2], e.lost)) return std::nullopt;
    if (f.size() >= 4 && !parseNumber(f[3], e.characters)) return std::nullopt;
    if (f.size() == 5) {
        // Only a plain file name of the SYNOP folder.
        if (f[4].find('/') != std::string_view::npos || f[4] == "." || f[4] == "..")
            return std::nullopt;
        e.file = std::string(f[4]);
    }
    return e;
}

std::string formatNavtexEntry(const NavtexEntry& entry) {
    std::string line = entry.id.text() + ' ' + std::to_string(entry.time) + ' ' +
                       std::to_string(entry.lost) + ' ' + std::to_string(entry.characters);
    if (!entry.file.empty()) line += ' ' + entry.file;
    return line;
}

NavtexLog::NavtexLog(std::filesystem::path file) : path_(std::move(file)) {
    auto contents = readWholeFile(path_);
    if (!contents) {
        if (contents.error().systemError() != ENOENT) loadError_ = contents.error().message;
        return;
    }
    std::string_view rest = *contents;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(' ') == std::string_view::npos) continue;
        auto entry = parseNavtexEntry(line);
        if (!entry) {
            unreadable_.emplace_back(line);
            continue;
        }
        // One entry per identity: the latest reception.
        auto same = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const NavtexEntry& e) { return e.id == entry->id; });
        if (same == entries_.end())
            entries_.push_back(std::move(*entry));
        else if (entry->time >= same->time)
            *same = std::move(*entry);
    }
}

std::optional<NavtexEntry> NavtexLog::find(const NavtexId& id, TimeKey now) const {
    for (const NavtexEntry& e : entries_)
        if (e.id == id && recent(e.time, now)) return e;
    return std::nullopt;
}

bool NavtexLog::names(std::string_view file) const {
    return !file.empty() && std::any_of(entries_.begin(), entries_.end(),
                                        [&](const NavtexEntry& e) { return e.file == file; });
}

Result<void> NavtexLog::record(const NavtexEntry& entry, TimeKey now) {
    std::erase_if(entries_,
                  [&](const NavtexEntry& e) { return e.id == entry.id || !recent(e.time, now); });
    entries_.push_back(entry);
    if (path_.empty()) return success();
    if (!loadError_.empty())
        return Error{EIO, loadError_ + " The NAVTEX record is not written over."};
    std::string text;
    for (const std::string& line : unreadable_) text += line + '\n';
    for (const NavtexEntry& e : entries_) text += formatNavtexEntry(e) + '\n';
    std::error_code ec;
    std::filesystem::create_directories(path_.parent_path(), ec);
    return writeFileAtomically(path_, text);
}

}  // namespace zeb::weather
