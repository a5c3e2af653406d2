#include "weather/WeatherData.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/FindFile.h"
#include "common/LittleEndian.h"

namespace zeb::weather {

void TextTable::parse(std::string_view contents) {
    entries_.clear();
    std::size_t pos = 0;
    while (pos < contents.size()) {
        const std::size_t lf = contents.find('\n', pos);
        if (lf == std::string_view::npos) break;  // a last line without a line feed is not read
        std::string_view line = contents.substr(pos, lf - pos);
        pos = lf + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.size() < keyLength_ + 1) continue;  // key and separator at least
        std::string_view text = line.substr(keyLength_ + 1);
        if (text.size() > kMaxEntryText) text = text.substr(0, kMaxEntryText);
        entries_.push_back({std::string(line.substr(0, keyLength_)), std::string(text)});
    }
}

std::string TextTable::lookup(std::string_view key) const {
    if (key.size() != keyLength_) return {};
    for (const Entry& e : entries_)
        if (e.key == key) return e.text;
    return {};
}

std::string TextTable::lookupNumber(long number) const {
    const std::string digits = std::to_string(number);
    if (digits.size() < keyLength_) return {};
    return lookup(std::string_view(digits).substr(0, keyLength_));
}

namespace {

const std::uint8_t* bytesAt(std::string_view b, std::size_t at) {
    return reinterpret_cast<const std::uint8_t*>(b.data() + at);
}
std::int16_t int16At(std::string_view b, std::size_t at) {
    return static_cast<std::int16_t>(le::get16(bytesAt(b, at)));
}
std::int32_t int32At(std::string_view b, std::size_t at) {
    return static_cast<std::int32_t>(le::get32(bytesAt(b, at)));
}

}  // namespace

Result<void> StationTable::parse(std::string_view bytes) {
    entries_.clear();
    skipped_ = 0;
    std::size_t pos = 0;
    while (pos + kStationEntryHeader <= bytes.size()) {
        const std::size_t nameLength = static_cast<std::uint8_t>(bytes[pos + 18]);
        if (pos + kStationEntryHeader + nameLength > bytes.size()) {
            ++skipped_;  // a truncated last entry
            break;
        }
        if (nameLength <= kMaxStationName) {
            StationEntry e;
            e.number = int32At(bytes, pos);
            e.region = int16At(bytes, pos + 4);
            e.reserved = int16At(bytes, pos + 6);
            e.elevation = int16At(bytes, pos + 8);
            e.latitude = int16At(bytes, pos + 10);
            e.longitude = int16At(bytes, pos + 12);
            std::memcpy(e.indicator.data(), bytes.data() + pos + 14, 4);
            e.name = std::string(bytes.substr(pos + kStationEntryHeader, nameLength));
            entries_.push_back(std::move(e));
        } else {
            ++skipped_;  // would not fit the record's 70-byte entry areas
        }
        pos += kStationEntryHeader + nameLength;
    }
    if (pos < bytes.size() && pos + kStationEntryHeader > bytes.size()) ++skipped_;
    if (entries_.empty()) return Error{EINVAL, "The station list holds no valid station entry."};
    return success();
}

std::optional<StationEntry> StationTable::find(std::int32_t number) const {
    for (const StationEntry& e : entries_)
        if (e.number == number) return e;
    return std::nullopt;
}

std::optional<StationEntry> StationTable::findByIndicator(std::string_view cccc) const {
    if (cccc.size() != 4) return std::nullopt;
    for (const StationEntry& e : entries_)
        if (std::memcmp(e.indicator.data(), cccc.data(), 4) == 0) return e;
    return std::nullopt;
}

namespace {

Result<std::string> readDataFile(const std::filesystem::path& dir, std::string_view name) {
    const std::filesystem::path path = findFileNoCase(dir, name);
    auto contents = readWholeFile(path);
    if (!contents) {
        return Error{contents.error().code, "The weather data file " + path.string() +
                                                " cannot be read: " + contents.error().message};
    }
    return std::move(contents).value();
}

}  // namespace

Result<WeatherData> loadWeatherData(const std::filesystem::path& dataDir) {
    WeatherData data;
    auto stations = readDataFile(dataDir, kStationTableFile);
    if (!stations) return stations.error();
    if (auto parsed = data.stations.parse(*stations); !parsed) {
        return Error{parsed.error().code, findFileNoCase(dataDir, kStationTableFile).string() +
                                              ": " + parsed.error().message};
    }
    struct TextFile {
        const char* name;
        TextTable* table;
    };
    for (const TextFile& f :
         {TextFile{kTypeTableFile, &data.types}, TextFile{kAreaTableFile, &data.areas},
          TextFile{kReportTextFile, &data.texts}}) {
        auto contents = readDataFile(dataDir, f.name);
        if (!contents) return contents.error();
        f.table->parse(*contents);
    }
    return data;
}

}  // namespace zeb::weather
