// Observations of the station file as table rows and as CSV, GeoJSON and KML
// documents: GUI-free, for zebobs and for the programs' windows alike. Every
// value is converted to SI-style units (°C, hPa, m/s, m, mm, oktas) from the
// record's coded form; a value the report did not give, or one outside the
// range its code allows (a damaged record), is left empty. Texts are UTF-8.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/TimeKey.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

enum class ColumnKind {
    Text,    // written as a JSON string
    Number,  // "C" notation: "-3.5", "1013.2", "10"
    Flag,    // "true" or "false"
};

struct ExportColumn {
    std::string_view name;  // CSV header and GeoJSON property name
    ColumnKind kind;
};

// The columns of an export in their order (the first is the observation time).
std::span<const ExportColumn> exportColumns();
// Index of a column by name, or nullopt.
std::optional<std::size_t> exportColumn(std::string_view name);

// A position in decimal degrees, north and east positive.
struct GeoPosition {
    double latitude = 0;
    double longitude = 0;
};

// The position of a station entry (minutes of arc, north and west negative),
// or nullopt when it is outside the globe.
std::optional<GeoPosition> entryPosition(const StationEntry& entry);
// The position of a report: the station's for a land report, the reported one
// for a ship or buoy (whose record holds 0 for a position it lacks).
std::optional<GeoPosition> reportPosition(const SynopRecord& record);

// One report ready for listing and export.
struct Observation {
    TimeKey time = 0;          // of the observation
    TimeKey bulletinTime = 0;  // of the bulletin that carried it
    bool nil = false;
    std::string id;       // station number "10637", call sign, or buoy number
    std::string name;     // station name, else the id
    std::string country;  // land stations, when the report texts are given
    std::optional<GeoPosition> position;
    std::vector<std::string> values;  // one per exportColumns() entry, "" when absent
    std::string description;          // plain-language report, when the texts are given

    const std::string& value(std::string_view column) const;
};

// Converts a record. `texts` (the report texts of the reference data) gives
// the country name and the description; null leaves both empty.
Observation makeObservation(const SynopRecord& record, const TextTable* texts);

// The first time of "YYYY-MM-DD[THH:MM[:SS]][Z|±HH:MM]" (a space may stand
// for the T; no zone is UTC), or a time key as decimal seconds since 1970.
std::optional<TimeKey> parseTime(std::string_view text);
// "2024-05-06T12:00:00Z".
std::string isoTime(TimeKey key);

// An area between two latitudes, running east from `west` to `east`; a box
// whose western edge lies east of its eastern edge crosses 180°.
struct AreaBox {
    double south = 0, west = 0, north = 0, east = 0;
    bool contains(const GeoPosition& p) const;
};
// "LAT1,LON1,LAT2,LON2" (decimal degrees): the latitudes in either order, the
// longitudes west edge first. nullopt for anything else.
std::optional<AreaBox> parseAreaBox(std::string_view text);

// CSV as RFC 4180 describes it: a header row of the column names, one row per
// observation, CR LF line ends, fields quoted when they hold a comma, a quote
// or a line end.
std::string exportCsv(std::span<const Observation> observations);
// A GeoJSON FeatureCollection: one Point feature (longitude, latitude) per
// observation with the values as properties; a report without a position has
// a null geometry.
std::string exportGeoJson(std::span<const Observation> observations);
// A KML document: one Placemark per observation with its name, time,
// description, values and Point.
std::string exportKml(std::span<const Observation> observations);

}  // namespace zeb::weather
