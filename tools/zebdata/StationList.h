// Converts a station list in NOAA's "nsd_bbsss" layout into the binary
// station table DATA/WMOSTAT.DAT, and numbers the countries of its stations
// as regions whose names go into the report text table.
//
// Source line (fields separated by ';'):
//   block;station;ICAO;name;state;country;WMO region;latitude;longitude;
//   upper-air latitude;upper-air longitude;elevation;upper-air elevation;RBSN
// e.g. "10;637;EDDF;Frankfurt / M-Flughafen;;Germany;6;50-03N;008-36E;...;111;113;P".
// Positions are degrees-minutes[-seconds] with a hemisphere letter.
//
// Table entry (little-endian, 19 + n bytes):
//   int32 station number, int16 region, int16 reserved (0), int16 elevation (m),
//   int16 latitude and int16 longitude in minutes of arc (north and west
//   negative), four-character location indicator, length byte n, name (n <= 51).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::data {

inline constexpr std::size_t kMaxNameLength = 51;  // keeps an entry within 70 bytes
inline constexpr int kFirstRegion = 1000;          // four digits: a valid text key

struct Station {
    std::int32_t number = 0;
    std::string indicator = "    ";  // exactly four characters, blanks when none
    std::string name;                // Windows-1252, at most kMaxNameLength bytes
    std::string country;             // Windows-1252
    std::int16_t elevation = 0;      // metres; 0 when the source has none
    std::int16_t latitude = 0;       // minutes of arc, north negative
    std::int16_t longitude = 0;      // minutes of arc, west negative
};

// "50-03N", "40-46-25N", "008-36E" → signed minutes, seconds rounded to the
// nearest minute. The hemisphere `negative` gives a negative value. Empty when
// the text is not of that form or lies beyond maxDegrees.
std::optional<int> parseCoordinate(std::string_view text, char positive, char negative,
                                   int maxDegrees);

// Shortens a name to at most `limit` bytes at a word boundary, dropping
// trailing blanks, punctuation and dangling small words ("of", "in", ...).
std::string shortenName(std::string_view name, std::size_t limit = kMaxNameLength);

// Result of reading one source line: a station, or an error text, or neither
// (a blank or '#' comment line).
struct ParsedLine {
    std::optional<Station> station;
    std::string error;
    std::string warning;  // the station is kept, but something was replaced
    bool shortened = false;
    bool elevationMissing = false;
};

ParsedLine parseStationLine(std::string_view line);

struct StationCounts {
    int lines = 0;        // station lines read (blank and comment lines not counted)
    int kept = 0;         // entries written
    int skipped = 0;      // malformed lines and duplicate numbers
    int present = 0;      // supplementary entries whose indicator was already listed
    int shortened = 0;    // names cut to kMaxNameLength
    int noElevation = 0;  // written with elevation 0
};

class StationList {
public:
    // Reads a station list. With `supplement` set, only entries whose location
    // indicator is not listed yet are added, and their numbers may repeat a
    // listed station (lookups by number then find the listed station first).
    // Every skipped line is reported on `diagnostics` as "source:line: ...".
    void addSource(std::istream& in, std::string_view sourceName, std::ostream& diagnostics,
                   bool supplement = false);

    const std::vector<Station>& stations() const { return stations_; }
    const StationCounts& counts() const { return counts_; }

    // Countries in byte order, numbered from kFirstRegion.
    std::map<std::string, int> regions() const;
    // The binary table.
    std::string encode() const;
    // Text-table lines "1000 Afghanistan" (LF ends), one per region.
    std::string regionLines() const;

private:
    std::vector<Station> stations_;
    StationCounts counts_;
};

}  // namespace zeb::data
