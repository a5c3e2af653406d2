// The observations one map shows: the records of SYNOP/STATION.DAT with one
// observation time, each placed on the globe (land stations by their WMO
// index through the station table, ships and buoys by the position they
// reported) and reduced to what a station plot draws. GUI-free.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/TimeKey.h"
#include "weather/ObservationExport.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::zebsynv {

// The present-weather symbol of a plot, from the code ww.
enum class WeatherGlyph { None, Drizzle, Rain, Snow, Fog, Showers, Thunderstorm };
WeatherGlyph weatherGlyph(int ww);

// One report as the map draws it; a value the report lacks is nullopt.
struct StationPlot {
    weather::SynopRecordBytes bytes{};
    std::string id;    // "10637", a ship's call sign, a buoy's number
    std::string name;  // UTF-8; the id when there is none
    std::optional<weather::GeoPosition> position;
    std::optional<double> temperature;  // °C
    std::optional<double> pressure;     // hPa at sea level
    std::optional<int> windDirection;   // degrees the wind comes from
    std::optional<double> windKnots;    // 0: calm
    std::optional<int> weatherCode;     // ww
    std::optional<int> cloudOktas;      // 0..8, 9 sky obscured
};

// The place of a report: a land station from the station table (else the
// position its record carries, when it carries one), a ship or buoy from its
// reported position. nullopt: it cannot be placed.
std::optional<weather::GeoPosition> placeReport(const weather::SynopRecord& record,
                                                const weather::WeatherData* data);

StationPlot makePlot(const weather::SynopRecordBytes& bytes, const weather::WeatherData* data);

// One observation time of the station file and its number of reports.
struct BatchEntry {
    TimeKey key = 0;
    std::size_t records = 0;
    bool operator==(const BatchEntry&) const = default;
};

// The observation times of the station file, newest first.
std::vector<BatchEntry> listBatches(const std::filesystem::path& workDir);

struct Batch {
    TimeKey key = 0;
    std::vector<StationPlot> placed;
    std::vector<StationPlot> notPlaced;
    // Why the station file could not be read wholly (a partial record at its
    // end, a read error); empty when it could.
    std::string problem;
};

// The reports of observation time `key`.
Batch loadBatch(const std::filesystem::path& workDir, TimeKey key,
                const weather::WeatherData* data);

// "2024-03-01 12:00 UTC".
std::string batchTime(TimeKey key);

}  // namespace zeb::zebsynv
