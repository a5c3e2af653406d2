// The read-only reference data of the bulletin and report decoders, loaded
// from the "DATA" directory below the working directory:
//   "DATA/WMOSTAT.DAT"  stations (binary entries, see SynopRecord.h)
//   "DATA/DESCTT.DAT"   data-type designators T1T2 of the abbreviated heading
//   "DATA/DESCAA.DAT"   geographical designators A1A2
//   "DATA/SYNTXT.DAT"   the texts of the plain-language report descriptions
// The text files hold one entry per line: the key (two or four characters),
// one separator character, the text. Lines starting with ";" are comments, a
// line shorter than key plus separator is skipped and a last line without a
// line feed is not read. A lookup takes the first entry whose key matches
// exactly (case matters); a missing key gives an empty text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "weather/SynopRecord.h"

namespace zeb::weather {

// Longest text an entry keeps (a line of at most 254 characters less the key
// and the separator); longer lines are read whole and their text cut.
inline constexpr std::size_t kMaxEntryText = 251;

class TextTable {
public:
    explicit TextTable(std::size_t keyLength = 4) : keyLength_(keyLength) {}

    // Parses the file contents (Windows-1252 bytes, LF or CR LF line ends).
    void parse(std::string_view contents);
    std::string lookup(std::string_view key) const;
    // A key built from a number: the first four characters of its decimal
    // form, so numbers with fewer than four digits (and negative numbers with
    // fewer than three) have no text.
    std::string lookupNumber(long number) const;
    std::size_t size() const { return entries_.size(); }
    std::size_t keyLength() const { return keyLength_; }

private:
    struct Entry {
        std::string key;
        std::string text;
    };
    std::size_t keyLength_;
    std::vector<Entry> entries_;
};

class StationTable {
public:
    // Walks the entries of the binary file. An entry whose name would run
    // past the end stops the walk; an entry whose name is longer than the
    // record areas allow is skipped. Fails when no entry is valid.
    Result<void> parse(std::string_view bytes);
    std::optional<StationEntry> find(std::int32_t number) const;
    std::optional<StationEntry> findByIndicator(std::string_view cccc) const;
    std::size_t size() const { return entries_.size(); }
    std::size_t skipped() const { return skipped_; }
    void add(StationEntry entry) { entries_.push_back(std::move(entry)); }

private:
    std::vector<StationEntry> entries_;
    std::size_t skipped_ = 0;
};

struct WeatherData {
    StationTable stations;
    TextTable types{2};  // T1T2
    TextTable areas{2};  // A1A2
    TextTable texts{4};  // report texts

    std::optional<StationEntry> findStation(std::int32_t number) const {
        return stations.find(number);
    }
    std::optional<StationEntry> findStationByIndicator(std::string_view cccc) const {
        return stations.findByIndicator(cccc);
    }
    std::string lookupTt(std::string_view key) const { return types.lookup(key); }
    std::string lookupAa(std::string_view key) const { return areas.lookup(key); }
    std::string lookupText(std::string_view key) const { return texts.lookup(key); }
};

inline constexpr const char* kDataDir = "DATA";
inline constexpr const char* kStationTableFile = "WMOSTAT.DAT";
inline constexpr const char* kTypeTableFile = "DESCTT.DAT";
inline constexpr const char* kAreaTableFile = "DESCAA.DAT";
inline constexpr const char* kReportTextFile = "SYNTXT.DAT";

// Loads the four files from `dataDir` (normally "<working directory>/DATA").
// A file is looked up by its exact name first, then case-insensitively (an
// installation copied from Windows may have lower-case names). A missing or
// unreadable file, or a station file without one valid entry, fails.
Result<WeatherData> loadWeatherData(const std::filesystem::path& dataDir);

}  // namespace zeb::weather
