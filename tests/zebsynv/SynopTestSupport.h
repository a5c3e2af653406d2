// Station files for the observation map's tests, written with the weather
// library's own writer as the decoders write them: a land report of 10637
// Frankfurt/Main, a ship's report west of Ireland, and a land station the
// station table does not know.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/ReceivedFile.h"
#include "common/TimeKey.h"
#include "support/TestEnv.h"
#include "weather/StationFile.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::zebsynv::test {

using zeb::test::TempDir;
namespace presence = weather::presence;

inline std::filesystem::path stationFile(const std::filesystem::path& workDir) {
    return workDir / std::filesystem::path(kSynopDir) / weather::kStationFileName;
}

// Copies the staged reference data into `dir`; false when it is not staged.
inline bool copySuiteData(const std::filesystem::path& dir) {
    const std::filesystem::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
    if (suite.empty() || !std::filesystem::exists(suite / "DATA" / "WMOSTAT.DAT")) return false;
    std::filesystem::copy(suite / "DATA", dir / "DATA", std::filesystem::copy_options::recursive);
    return true;
}

// A land report as the decoders write it: the station's table entry in the
// record when `data` knows it.
inline weather::SynopRecord landReport(TimeKey key, int number,
                                       const weather::WeatherData* data = nullptr) {
    weather::SynopRecord r;
    r.kind = weather::kKindLand;
    r.presence = presence::kStation | presence::kAirTemperature | presence::kSeaLevelPressure |
                 presence::kWindDirection | presence::kWindSpeed | presence::kWeather;
    r.bulletinTime = r.reportTime = static_cast<std::uint32_t>(key);
    r.station.number = number;
    if (data != nullptr)
        if (const auto entry = data->findStation(number)) r.station = *entry;
    r.airTemperature = 123;    // 12.3 °C
    r.seaLevelPressure = 132;  // 1013.2 hPa
    r.windDirection = 270;
    r.windSpeed = 25;
    r.iw = 4;  // knots, measured
    r.ww = 61;
    r.n = '6';
    return r;
}

// A ship at `latitude` north, `longitude` west (minutes of arc; the record
// keeps north and west negative).
inline weather::SynopRecord shipReport(TimeKey key, int latitude, int longitude) {
    weather::SynopRecord r;
    r.kind = weather::kKindShip;
    r.presence = presence::kCallSign | presence::kAirTemperature | presence::kWindDirection |
                 presence::kWindSpeed;
    r.bulletinTime = r.reportTime = static_cast<std::uint32_t>(key);
    r.station.name = "DBBH";
    r.station.latitude = static_cast<std::int16_t>(-latitude);
    r.station.longitude = static_cast<std::int16_t>(-longitude);
    r.airTemperature = 95;
    r.windDirection = 200;
    r.windSpeed = 55;
    r.iw = 4;
    return r;
}

inline void append(const std::filesystem::path& workDir, const weather::SynopRecord& record) {
    std::filesystem::create_directories(stationFile(workDir).parent_path());
    const auto done = weather::appendStationRecord(stationFile(workDir), record);
    ASSERT_TRUE(done.ok()) << (done ? "" : done.error().message);
}

// 2024-03-01 12:00 and 18:00 UTC.
inline const TimeKey kNoon = timeKey({2024, 3, 1, 12, 0});
inline const TimeKey kEvening = timeKey({2024, 3, 1, 18, 0});

}  // namespace zeb::zebsynv::test
