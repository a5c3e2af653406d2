#include "Stations.h"

#include <charconv>
#include <system_error>

#include "common/Codepage.h"
#include "common/Format.h"
#include "common/ReceivedFile.h"
#include "store/ReceivedStore.h"
#include "weather/StationFile.h"

namespace zeb::zebsynv {
namespace {

namespace fs = std::filesystem;
using weather::SynopRecord;

// A number of an observation's values ("C" notation whatever the locale).
std::optional<double> number(const weather::Observation& o, std::string_view column) {
    const std::string& text = o.value(column);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int> integer(const weather::Observation& o, std::string_view column) {
    const auto value = number(o, column);
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

constexpr double kMetresPerSecondPerKnot = 0.514444;

// Why the station file is not read wholly: a record cut off at its end.
std::string partialTail(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) return {};
    const auto rest = size % weather::kSynopRecordSize;
    if (rest == 0) return {};
    return "SYNOP/STATION.DAT ends in a partial record (" + std::to_string(rest) +
           " bytes): only its " + std::to_string(size / weather::kSynopRecordSize) +
           " whole records are shown";
}

}  // namespace

WeatherGlyph weatherGlyph(int ww) {
    struct Range {
        int from, to;
        WeatherGlyph glyph;
    };
    // The code's decades, with the fog and thunder codes of the lower ones.
    static constexpr Range kRanges[] = {
        {10, 12, WeatherGlyph::Fog},     {17, 17, WeatherGlyph::Thunderstorm},
        {40, 49, WeatherGlyph::Fog},     {50, 59, WeatherGlyph::Drizzle},
        {60, 69, WeatherGlyph::Rain},    {70, 79, WeatherGlyph::Snow},
        {80, 90, WeatherGlyph::Showers}, {91, 99, WeatherGlyph::Thunderstorm},
    };
    for (const Range& r : kRanges)
        if (ww >= r.from && ww <= r.to) return r.glyph;
    return WeatherGlyph::None;
}

std::optional<weather::GeoPosition> placeReport(const SynopRecord& record,
                                                const weather::WeatherData* data) {
    const bool ship = (record.kind & weather::kKindShip) != 0;
    if (!ship && data != nullptr)
        if (const auto entry = data->findStation(record.station.number))
            if (const auto position = weather::entryPosition(*entry)) return position;
    // A record holds 0 for a position it lacks: never a station at 0°, 0°.
    if (record.station.latitude == 0 && record.station.longitude == 0) return std::nullopt;
    return weather::reportPosition(record);
}

StationPlot makePlot(const weather::SynopRecordBytes& bytes, const weather::WeatherData* data) {
    const SynopRecord record = weather::decode(bytes);
    const weather::Observation o = weather::makeObservation(record, nullptr);
    StationPlot plot;
    plot.bytes = bytes;
    plot.id = o.id;
    plot.name = o.name;
    if ((record.kind & weather::kKindShip) == 0 && data != nullptr)
        if (const auto entry = data->findStation(record.station.number);
            entry && !entry->name.empty())
            plot.name = cp1252ToUtf8(entry->name);
    plot.position = placeReport(record, data);
    if (o.nil) return plot;
    plot.temperature = number(o, "air_temperature_c");
    plot.pressure = number(o, "sea_level_pressure_hpa");
    plot.windDirection = integer(o, "wind_direction_deg");
    if (const auto speed = number(o, "wind_speed_ms"))
        plot.windKnots = *speed / kMetresPerSecondPerKnot;
    plot.weatherCode = integer(o, "present_weather_code");
    plot.cloudOktas = integer(o, "cloud_cover_oktas");
    if (o.value("sky_obscured") == "true") plot.cloudOktas = 9;
    return plot;
}

std::vector<BatchEntry> listBatches(const fs::path& workDir) {
    std::vector<BatchEntry> batches;
    for (const store::Entry& entry : store::listReceived(workDir))
        if (entry.kind == store::EntryKind::Observations)
            batches.insert(batches.begin(), BatchEntry{entry.key, entry.records});
    return batches;
}

Batch loadBatch(const fs::path& workDir, TimeKey key, const weather::WeatherData* data) {
    Batch batch;
    batch.key = key;
    auto records = store::recordsAt(workDir, key);
    if (!records) {
        batch.problem = "SYNOP/STATION.DAT cannot be read: " + records.error().message;
        return batch;
    }
    batch.problem = partialTail(workDir / fs::path(kSynopDir) / weather::kStationFileName);
    for (const auto& bytes : *records) {
        StationPlot plot = makePlot(bytes, data);
        (plot.position ? batch.placed : batch.notPlaced).push_back(std::move(plot));
    }
    return batch;
}

std::string batchTime(TimeKey key) {
    const NameTime t = breakDown(key);
    return formatPrintf("%04d-%02d-%02d %02d:%02d UTC", {t.year, t.month, t.day, t.hour, t.minute});
}

}  // namespace zeb::zebsynv
