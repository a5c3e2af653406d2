#include "StationList.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <ostream>
#include <set>
#include <unordered_map>

#include "common/Codepage.h"

namespace zeb::data {

namespace {

// A station-list field: UTF-8 when it decodes as such, otherwise taken as
// Windows-1252 bytes already (older copies of station lists are Latin-1).
std::string fieldToWindows1252(std::string_view field) {
    if (auto converted = utf8ToCp1252Exact(field)) return *converted;
    return std::string(field);
}

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto end = line.find(';', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digitsValue(std::string_view s) {
    int value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return value;
}

bool isIndicatorChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool isSmallWord(std::string_view word) {
    static constexpr std::array<std::string_view, 12> kWords = {
        "in", "of", "and", "the", "at", "on", "for", "de", "la", "du", "del", "to"};
    if (word.size() > 3) return false;
    std::string lower;
    for (char c : word) lower.push_back(asciiLower(c));
    return std::find(kWords.begin(), kWords.end(), lower) != kWords.end();
}

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::optional<int> parseCoordinate(std::string_view text, char positive, char negative,
                                   int maxDegrees) {
    text = trim(text);
    if (text.size() < 4) return std::nullopt;
    const char hemisphere = text.back();
    if (hemisphere != positive && hemisphere != negative) return std::nullopt;
    text.remove_suffix(1);

    std::array<int, 3> parts{};
    std::size_t count = 0;
    while (!text.empty()) {
        if (count == parts.size()) return std::nullopt;
        const auto dash = text.find('-');
        const auto part = text.substr(0, dash);
        // Degrees take one to three digits; minutes and seconds exactly two.
        const bool sizeOk = count == 0 ? (part.size() >= 1 && part.size() <= 3) : part.size() == 2;
        if (!sizeOk || !allDigits(part)) return std::nullopt;
        parts[count++] = digitsValue(part);
        if (dash == std::string_view::npos) break;
        text.remove_prefix(dash + 1);
        if (text.empty()) return std::nullopt;  // a trailing dash
    }
    if (count < 2 || parts[1] >= 60 || parts[2] >= 60) return std::nullopt;
    const int minutes = parts[0] * 60 + parts[1] + (parts[2] >= 30 ? 1 : 0);
    if (minutes > maxDegrees * 60) return std::nullopt;
    return hemisphere == negative ? -minutes : minutes;
}

std::string shortenName(std::string_view name, std::size_t limit) {
    if (name.size() <= limit) return std::string(name);
    std::string_view cut = name.substr(0, limit);
    if (name[limit] != ' ') {
        // The cut falls inside a word: end before that word.
        const auto blank = cut.find_last_of(' ');
        if (blank != std::string_view::npos && blank > 0) cut = cut.substr(0, blank);
    }
    const auto stripTail = [](std::string_view s) {
        while (!s.empty() && std::string_view(" ,;:/-(&").find(s.back()) != std::string_view::npos)
            s.remove_suffix(1);
        return s;
    };
    std::string_view result = stripTail(cut);
    while (true) {
        const auto blank = result.find_last_of(' ');
        if (blank == std::string_view::npos || !isSmallWord(result.substr(blank + 1))) break;
        result = stripTail(result.substr(0, blank));
    }
    if (result.empty()) result = trim(name.substr(0, limit));  // nothing word-like: hard cut
    return std::string(result);
}

ParsedLine parseStationLine(std::string_view line) {
    ParsedLine parsed;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (trim(line).empty() || line.front() == '#') return parsed;

    const auto fields = splitFields(line);
    if (fields.size() < 12) {
        parsed.error =
            "expected at least 12 fields separated by ';', found " + std::to_string(fields.size());
        return parsed;
    }
    const auto block = trim(fields[0]);
    const auto index = trim(fields[1]);
    if (block.size() != 2 || index.size() != 3 || !allDigits(block) || !allDigits(index)) {
        parsed.error = "no WMO station number (block '" + std::string(block) + "', station '" +
                       std::string(index) + "')";
        return parsed;
    }
    Station station;
    station.number = digitsValue(block) * 1000 + digitsValue(index);

    const auto latitude = parseCoordinate(fields[7], 'S', 'N', 90);
    if (!latitude) {
        parsed.error = "latitude '" + std::string(trim(fields[7])) +
                       "' is not degrees-minutes[-seconds] followed by N or S";
        return parsed;
    }
    const auto longitude = parseCoordinate(fields[8], 'E', 'W', 180);
    if (!longitude) {
        parsed.error = "longitude '" + std::string(trim(fields[8])) +
                       "' is not degrees-minutes[-seconds] followed by E or W";
        return parsed;
    }
    station.latitude = static_cast<std::int16_t>(*latitude);
    station.longitude = static_cast<std::int16_t>(*longitude);

    const std::string name = fieldToWindows1252(trim(fields[3]));
    if (name.empty()) {
        parsed.error = "station has no name";
        return parsed;
    }
    station.name = shortenName(name);
    parsed.shortened = station.name.size() != name.size();

    station.country = fieldToWindows1252(trim(fields[5]));
    if (station.country.empty()) {
        parsed.error = "station has no country";
        return parsed;
    }

    const auto indicator = trim(fields[2]);
    if (indicator.size() == 4 && std::all_of(indicator.begin(), indicator.end(), isIndicatorChar)) {
        station.indicator = std::string(indicator);
    } else if (!indicator.empty() && indicator != "----") {
        parsed.warning = "location indicator '" + std::string(indicator) + "' ignored";
    }

    const auto elevation = trim(fields[11]);
    if (elevation.empty()) {
        parsed.elevationMissing = true;
    } else {
        int value = 0;
        const auto* end = elevation.data() + elevation.size();
        const auto [ptr, ec] = std::from_chars(elevation.data(), end, value);
        if (ec != std::errc() || ptr != end || value < -1000 || value > 9000) {
            parsed.warning = "elevation '" + std::string(elevation) + "' unreadable, written as 0";
            parsed.elevationMissing = true;
        } else {
            station.elevation = static_cast<std::int16_t>(value);
        }
    }
    parsed.station = std::move(station);
    return parsed;
}

void StationList::addSource(std::istream& in, std::string_view sourceName,
                            std::ostream& diagnostics, bool supplement) {
    std::unordered_map<std::int32_t, int> lineOfNumber;
    std::set<std::string> indicators;
    for (const auto& s : stations_) {
        lineOfNumber.emplace(s.number, 0);
        if (s.indicator != "    ") indicators.insert(s.indicator);
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        ParsedLine parsed = parseStationLine(line);
        const auto where = std::string(sourceName) + ":" + std::to_string(lineNumber) + ": ";
        if (!parsed.station && parsed.error.empty()) continue;  // blank or comment
        ++counts_.lines;
        if (!parsed.station) {
            ++counts_.skipped;
            diagnostics << where << "skipped: " << parsed.error << "\n";
            continue;
        }
        Station& station = *parsed.station;
        if (supplement) {
            if (station.indicator == "    ") {
                ++counts_.skipped;
                diagnostics << where
                            << "skipped: a supplementary entry needs a location indicator\n";
                continue;
            }
            if (indicators.count(station.indicator)) {
                ++counts_.present;
                continue;
            }
        } else if (const auto it = lineOfNumber.find(station.number); it != lineOfNumber.end()) {
            ++counts_.skipped;
            diagnostics << where << "skipped: station number " << station.number
                        << " already listed (line " << it->second << ")\n";
            continue;
        }
        if (!parsed.warning.empty()) diagnostics << where << parsed.warning << "\n";
        if (parsed.shortened) ++counts_.shortened;
        if (parsed.elevationMissing) ++counts_.noElevation;
        lineOfNumber.emplace(station.number, lineNumber);
        if (station.indicator != "    ") indicators.insert(station.indicator);
        stations_.push_back(std::move(station));
        ++counts_.kept;
    }
}

std::map<std::string, int> StationList::regions() const {
    std::map<std::string, int> regions;
    for (const auto& s : stations_) regions.emplace(s.country, 0);
    int next = kFirstRegion;
    for (auto& [country, number] : regions) number = next++;
    return regions;
}

std::string StationList::encode() const {
    const auto regionOf = regions();
    std::string out;
    out.reserve(stations_.size() * 40);
    for (const auto& s : stations_) {
        putLe(out, static_cast<std::uint32_t>(s.number), 4);
        putLe(out, static_cast<std::uint32_t>(regionOf.at(s.country)), 2);
        putLe(out, 0, 2);
        putLe(out, static_cast<std::uint16_t>(s.elevation), 2);
        putLe(out, static_cast<std::uint16_t>(s.latitude), 2);
        putLe(out, static_cast<std::uint16_t>(s.longitude), 2);
        out.append(s.indicator, 0, 4);
        out.push_back(static_cast<char>(s.name.size()));
        out.append(s.name);
    }
    return out;
}

std::string StationList::regionLines() const {
    std::string out;
    for (const auto& [country, number] : regions())
        out += std::to_string(number) + " " + country + "\n";
    return out;
}

}  // namespace zeb::data
