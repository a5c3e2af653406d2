#include "weather/ObservationExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/Codepage.h"
#include "common/Format.h"
#include "weather/ReportDescription.h"

namespace zeb::weather {
namespace {

using namespace presence;

// ---- values of the record's coded fields ------------------------------------

// One-byte fields hold 0xFF for a missing value.
int byteValue(std::uint8_t b) { return b == 0xFF ? -1 : b; }
// A code figure kept as its character ('0'..'9'; '/' or 0 when missing).
int figure(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }
bool within(int value, int low, int high) { return value >= low && value <= high; }

std::string integer(long value) { return std::to_string(value); }

std::string fixed(double value, int decimals) { return formatFixed(value, decimals); }

// Degrees to four decimals (about 10 m), without trailing zeros: 50.05, 8.6.
std::string degrees(double value) {
    std::string text = fixed(value, 4);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text == "-0" ? "0" : text;
}

// Tenths of a degree Celsius; three digits and a sign are all a report holds.
std::string tenthsCelsius(int tenths) {
    return within(tenths, -999, 999) ? fixed(tenths / 10.0, 1) : std::string();
}

// Pressure in tenths of a hectopascal with the thousands omitted (0123 is
// 1012.3 hPa), as the description reads it.
std::string pressure(int tenths) {
    if (!within(tenths, 0, 9999)) return {};
    const double hpa = tenths / 10.0;
    return fixed(hpa < 200.0 ? hpa + 1000.0 : hpa, 1);
}

// Geopotential height of a standard surface from hhh, the gpm without their
// thousands: the thousands follow from the level (at 1000 hPa 500 and more
// stand for heights below sea level).
std::string geopotentialHeight(int level, int hhh) {
    if (!within(hhh, 0, 999)) return {};
    switch (level) {
        case 1000: return integer(hhh >= 500 ? 500 - hhh : hhh);
        case 850: return integer(1000 + hhh);
        case 700: return integer(hhh >= 500 ? 2000 + hhh : 3000 + hhh);
        case 500: return integer(5000 + hhh);
        default: return {};
    }
}

// Horizontal visibility VV in metres; open classes ("less than 100 m",
// "more than 70 km") give their limit, the code column keeps the class.
std::optional<int> visibilityMetres(int vv) {
    static constexpr int kCoarse[] = {0, 50, 200, 500, 1000, 2000, 4000, 10000, 20000, 50000};
    if (within(vv, 0, 50)) return vv * 100;
    if (within(vv, 56, 80)) return (vv - 50) * 1000;
    if (within(vv, 81, 89)) return std::min(vv - 74, 14) * 5000;
    if (within(vv, 90, 99)) return kCoarse[vv - 90];
    return std::nullopt;
}

// A height class as lower and upper limit in metres (upper absent for the
// open top class).
struct HeightRange {
    int low = 0;
    std::optional<int> high;
};

// Height of the lowest cloud base, h.
std::optional<HeightRange> cloudBaseClass(int h) {
    static constexpr int kLimits[] = {0, 50, 100, 200, 300, 600, 1000, 1500, 2000, 2500};
    if (!within(h, 0, 9)) return std::nullopt;
    if (h == 9) return HeightRange{kLimits[9], std::nullopt};
    return HeightRange{kLimits[h], kLimits[h + 1]};
}

// Height of a cloud layer, hshs: 30 m steps to 1500 m, 300 m steps to 9000 m,
// 1500 m steps to 21000 m, then the classes of h.
std::optional<HeightRange> layerHeight(int hs) {
    if (hs == 0) return HeightRange{0, 30};
    if (within(hs, 1, 50)) return HeightRange{hs * 30, hs * 30};
    if (within(hs, 56, 80)) return HeightRange{(hs - 50) * 300, (hs - 50) * 300};
    if (within(hs, 81, 88)) return HeightRange{10500 + (hs - 81) * 1500, 10500 + (hs - 81) * 1500};
    if (hs == 89) return HeightRange{21000, std::nullopt};
    if (within(hs, 90, 99)) return cloudBaseClass(hs - 90);
    return std::nullopt;
}

// Cloud amount in oktas; 9 (sky obscured) and '/' have none.
std::string oktas(int amount) { return within(amount, 0, 8) ? integer(amount) : std::string(); }

constexpr std::array<const char*, 10> kGenus = {"Ci", "Cc", "Cs", "Ac", "As",
                                                "Ns", "Sc", "St", "Cu", "Cb"};

std::string flag(bool value) { return value ? "true" : "false"; }

// ---- the columns --------------------------------------------------------------

struct Source {
    const SynopRecord& r;
    const std::string& country;
    bool has(std::uint32_t bits) const { return (r.presence & bits) != 0; }
};

using Getter = std::string (*)(const Source&);

struct Column {
    ExportColumn column;
    bool observed;  // a value of the observation (none in a NIL report)
    Getter get;
};
constexpr bool kIdentity = false;  // who, where, when, which bulletin
constexpr bool kObserved = true;

constexpr ColumnKind T = ColumnKind::Text;
constexpr ColumnKind N = ColumnKind::Number;
constexpr ColumnKind F = ColumnKind::Flag;

bool isShip(const SynopRecord& r) { return (r.kind & kKindShip) != 0; }

std::string stationId(const SynopRecord& r) {
    if (isShip(r) && (r.presence & kCallSign)) return cp1252ToUtf8(r.station.name);
    if (isShip(r)) {
        const int area = byteValue(r.a1bw);
        if (!within(area, 0, 99) || !within(r.buoyNumber, 0, 999)) return {};
        return formatPrintf("%02d%03d", {area, static_cast<int>(r.buoyNumber)});
    }
    if (!within(r.station.number, 0, 99999)) return integer(r.station.number);
    return formatPrintf("%05d", {static_cast<int>(r.station.number)});
}

std::string indicator(const std::array<char, 4>& cccc) {
    for (char c : cccc)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
    return std::string(cccc.data(), cccc.size());
}

// The wind speed in m/s: iw says whether ff is in m/s or knots.
std::string windSpeed(const SynopRecord& r) {
    const int ff = byteValue(r.windSpeed);
    if (ff < 0) return {};
    if (r.iw == 0 || r.iw == 1) return fixed(ff, 1);
    if (r.iw == 3 || r.iw == 4) return fixed(ff * 0.514444, 1);
    return {};
}

// The three-hour change: the characteristic a tells its sign (0..3 higher,
// 4 the same, 5..8 lower than three hours before).
std::string pressureChange(const SynopRecord& r) {
    const int a = byteValue(r.a);
    if (!within(a, 0, 8) || !within(r.tendency, 0, 999)) return {};
    return fixed((a >= 5 ? -r.tendency : r.tendency) / 10.0, 1);
}

// RRR: millimetres to 988, 989 for 989 mm or more, 990 a trace, 991..999
// tenths of a millimetre. iR 3 says the group is left out because nothing fell.
std::string precipitation(const SynopRecord& r) {
    if (r.presence & kPrecipitation) {
        const int rrr = r.precipitation;
        if (within(rrr, 0, 989)) return fixed(rrr, 1);
        if (rrr == 990) return fixed(0, 1);
        if (within(rrr, 991, 999)) return fixed((rrr - 990) / 10.0, 1);
        return {};
    }
    return r.iR == 3 ? fixed(0, 1) : std::string();
}

std::string precipitationPeriod(const SynopRecord& r) {
    static constexpr int kHours[] = {0, 6, 12, 18, 24, 1, 2, 3, 9, 15};
    const int tr = byteValue(r.tR);
    if (!(r.presence & kPrecipitation) || !within(tr, 1, 9)) return {};
    return integer(kHours[tr]);
}

// The lowest cloud base: the key holds 'H' and the figure h of group
// iRixhVV, or two digits that the description reads as a layer height hshs.
std::string cloudBase(const SynopRecord& r, bool high) {
    std::optional<HeightRange> range;
    if (r.cloudKey[0] == 'H')
        range = cloudBaseClass(figure(r.cloudKey[1]));
    else if (figure(r.cloudKey[0]) >= 0 && figure(r.cloudKey[1]) >= 0)
        range = layerHeight(figure(r.cloudKey[0]) * 10 + figure(r.cloudKey[1]));
    if (!range) return {};
    if (!high) return integer(range->low);
    return range->high ? integer(*range->high) : std::string();
}

// The cloud layers of section 3 are stored by genus.
template <std::size_t Genus>
std::string layerOktas(const Source& s) {
    if (!s.has(kCloudLayers) || s.r.layerAmount[Genus] == 0) return {};
    return oktas(byteValue(s.r.layerAmount[Genus]));
}
template <std::size_t Genus>
std::string layerBase(const Source& s) {
    if (!s.has(kCloudLayers) || s.r.layerAmount[Genus] == 0) return {};
    const auto range = layerHeight(byteValue(s.r.layerHeight[Genus]));
    return range ? integer(range->low) : std::string();
}

// A wave or swell height in half metres.
std::string halfMetres(int value) {
    return within(value, 0, 99) ? fixed(value * 0.5, 1) : std::string();
}
std::string seconds(int value) { return within(value, 0, 99) ? integer(value) : std::string(); }
std::string tensOfDegrees(int value) {
    return within(value, 1, 36) ? integer(value * 10) : std::string();
}
std::string codeFigure(int value, int high = 9) {
    return within(value, 0, high) ? integer(value) : std::string();
}

const Column kColumns[] = {
    {{"time", T}, kIdentity, [](const Source& s) { return isoTime(fromStored32(s.r.reportTime)); }},
    {{"bulletin_time", T},
     kIdentity,
     [](const Source& s) { return isoTime(fromStored32(s.r.bulletinTime)); }},
    {{"type", T},
     kIdentity,
     [](const Source& s) -> std::string {
         if (isShip(s.r)) return s.has(kCallSign) ? "ship" : "buoy";
         return (s.r.kind & kKindLand) ? "land" : "";
     }},
    {{"station", T}, kIdentity, [](const Source& s) { return stationId(s.r); }},
    {{"name", T}, kIdentity, [](const Source& s) { return cp1252ToUtf8(s.r.station.name); }},
    {{"country", T}, kIdentity, [](const Source& s) { return s.country; }},
    {{"icao", T}, kIdentity, [](const Source& s) { return indicator(s.r.station.indicator); }},
    {{"latitude", N},
     kIdentity,
     [](const Source& s) {
         const auto p = reportPosition(s.r);
         return p ? degrees(p->latitude) : std::string();
     }},
    {{"longitude", N},
     kIdentity,
     [](const Source& s) {
         const auto p = reportPosition(s.r);
         return p ? degrees(p->longitude) : std::string();
     }},
    {{"elevation_m", N},
     kIdentity,
     [](const Source& s) { return isShip(s.r) ? std::string() : integer(s.r.station.elevation); }},
    {{"nil", F}, kIdentity, [](const Source& s) { return flag(s.has(kNil)); }},
    {{"automatic_station", F},
     kObserved,
     [](const Source& s) {
         const int ix = byteValue(s.r.ix);
         return within(ix, 1, 7) ? flag(ix >= 4) : std::string();
     }},
    {{"bulletin_serial", N},
     kIdentity,
     [](const Source& s) { return s.r.serial >= 0 ? integer(s.r.serial) : std::string(); }},
    {{"bulletin_centre", T},
     kIdentity,
     [](const Source& s) { return indicator(s.r.centre.indicator); }},
    {{"bulletin_centre_name", T},
     kIdentity,
     [](const Source& s) { return cp1252ToUtf8(s.r.centre.name); }},
    {{"bulletin_type", T},
     kIdentity,
     [](const Source& s) { return cp1252ToUtf8(s.r.headingTypeText); }},
    {{"bulletin_area", T},
     kIdentity,
     [](const Source& s) { return cp1252ToUtf8(s.r.headingAreaText); }},
    {{"bulletin_number", N},
     kIdentity,
     [](const Source& s) { return codeFigure(byteValue(s.r.headingNumber), 99); }},
    {{"bulletin_correction", T},
     kIdentity,
     [](const Source& s) { return cp1252ToUtf8(s.r.bbbText); }},

    {{"station_pressure_hpa", N},
     kObserved,
     [](const Source& s) {
         return s.has(kStationPressure) ? pressure(s.r.stationPressure) : std::string();
     }},
    {{"sea_level_pressure_hpa", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSeaLevelPressure) ? pressure(s.r.seaLevelPressure) : std::string();
     }},
    {{"standard_level_hpa", N},
     kObserved,
     [](const Source& s) {
         const bool known = s.has(kGeopotential) &&
                            !geopotentialHeight(s.r.standardSurface, s.r.geopotential).empty();
         return known ? integer(s.r.standardSurface) : std::string();
     }},
    {{"geopotential_height_m", N},
     kObserved,
     [](const Source& s) {
         return s.has(kGeopotential) ? geopotentialHeight(s.r.standardSurface, s.r.geopotential)
                                     : std::string();
     }},
    {{"pressure_change_3h_hpa", N},
     kObserved,
     [](const Source& s) { return s.has(kTendency) ? pressureChange(s.r) : std::string(); }},
    {{"pressure_tendency_code", N},
     kObserved,
     [](const Source& s) {
         return s.has(kTendency) ? codeFigure(byteValue(s.r.a), 8) : std::string();
     }},

    {{"air_temperature_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kAirTemperature) ? tenthsCelsius(s.r.airTemperature) : std::string();
     }},
    {{"dew_point_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kDewPoint) ? tenthsCelsius(s.r.dewPoint) : std::string();
     }},
    {{"relative_humidity_pct", N},
     kObserved,
     [](const Source& s) {
         return s.has(kHumidity) && within(s.r.humidity, 0, 100) ? integer(s.r.humidity)
                                                                 : std::string();
     }},
    {{"max_temperature_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kMaxTemperature) ? tenthsCelsius(s.r.maxTemperature) : std::string();
     }},
    {{"min_temperature_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kMinTemperature) ? tenthsCelsius(s.r.minTemperature) : std::string();
     }},
    {{"ground_min_temperature_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kGround) && within(s.r.tgTg, -99, 99) ? integer(s.r.tgTg) : std::string();
     }},
    {{"sea_temperature_c", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSeaTemperature) ? tenthsCelsius(s.r.seaTemperature) : std::string();
     }},

    {{"wind_direction_deg", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWindDirection) && within(s.r.windDirection, 0, 360)
                    ? integer(s.r.windDirection)
                    : std::string();
     }},
    {{"wind_speed_ms", N},
     kObserved,
     [](const Source& s) { return s.has(kWindSpeed) ? windSpeed(s.r) : std::string(); }},
    {{"wind_measured", F},
     kObserved,
     [](const Source& s) {
         const bool known = s.has(kWindSpeed) && (s.r.iw <= 1 || s.r.iw == 3 || s.r.iw == 4);
         return known ? flag(s.r.iw == 1 || s.r.iw == 4) : std::string();
     }},
    {{"visibility_m", N},
     kObserved,
     [](const Source& s) {
         const auto m = visibilityMetres(byteValue(s.r.vv));
         return s.has(kVisibility) && m ? integer(*m) : std::string();
     }},
    {{"visibility_code", N},
     kObserved,
     [](const Source& s) {
         const bool known = s.has(kVisibility) && visibilityMetres(byteValue(s.r.vv));
         return known ? integer(s.r.vv) : std::string();
     }},
    {{"present_weather_code", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWeather | kWeatherOnly) ? codeFigure(byteValue(s.r.ww), 99) : std::string();
     }},

    {{"cloud_cover_oktas", N}, kObserved, [](const Source& s) { return oktas(figure(s.r.n)); }},
    {{"sky_obscured", F},
     kObserved,
     [](const Source& s) { return figure(s.r.n) >= 0 ? flag(figure(s.r.n) == 9) : std::string(); }},
    {{"cloud_base_min_m", N}, kObserved, [](const Source& s) { return cloudBase(s.r, false); }},
    {{"cloud_base_max_m", N}, kObserved, [](const Source& s) { return cloudBase(s.r, true); }},
    {{"low_cloud_oktas", N},
     kObserved,
     [](const Source& s) { return s.has(kClouds) ? oktas(figure(s.r.nh)) : std::string(); }},
    {{"low_cloud_code", N},
     kObserved,
     [](const Source& s) { return s.has(kClouds) ? codeFigure(figure(s.r.cl)) : std::string(); }},
    {{"middle_cloud_code", N},
     kObserved,
     [](const Source& s) { return s.has(kClouds) ? codeFigure(figure(s.r.cm)) : std::string(); }},
    {{"high_cloud_code", N},
     kObserved,
     [](const Source& s) { return s.has(kClouds) ? codeFigure(figure(s.r.ch)) : std::string(); }},
    {{"cloud_ci_oktas", N}, kObserved, layerOktas<0>},
    {{"cloud_ci_base_m", N}, kObserved, layerBase<0>},
    {{"cloud_cc_oktas", N}, kObserved, layerOktas<1>},
    {{"cloud_cc_base_m", N}, kObserved, layerBase<1>},
    {{"cloud_cs_oktas", N}, kObserved, layerOktas<2>},
    {{"cloud_cs_base_m", N}, kObserved, layerBase<2>},
    {{"cloud_ac_oktas", N}, kObserved, layerOktas<3>},
    {{"cloud_ac_base_m", N}, kObserved, layerBase<3>},
    {{"cloud_as_oktas", N}, kObserved, layerOktas<4>},
    {{"cloud_as_base_m", N}, kObserved, layerBase<4>},
    {{"cloud_ns_oktas", N}, kObserved, layerOktas<5>},
    {{"cloud_ns_base_m", N}, kObserved, layerBase<5>},
    {{"cloud_sc_oktas", N}, kObserved, layerOktas<6>},
    {{"cloud_sc_base_m", N}, kObserved, layerBase<6>},
    {{"cloud_st_oktas", N}, kObserved, layerOktas<7>},
    {{"cloud_st_base_m", N}, kObserved, layerBase<7>},
    {{"cloud_cu_oktas", N}, kObserved, layerOktas<8>},
    {{"cloud_cu_base_m", N}, kObserved, layerBase<8>},
    {{"cloud_cb_oktas", N}, kObserved, layerOktas<9>},
    {{"cloud_cb_base_m", N}, kObserved, layerBase<9>},
    // Section 4: cloud below a mountain station, its top in hundreds of metres.
    {{"cloud_below_oktas", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSection4) ? oktas(byteValue(s.r.nPrime)) : std::string();
     }},
    {{"cloud_below_genus", T},
     kObserved,
     [](const Source& s) {
         const int c = byteValue(s.r.cPrime);
         return s.has(kSection4) && within(c, 0, 9) ? std::string(kGenus[c]) : std::string();
     }},
    {{"cloud_below_top_m", N},
     kObserved,
     [](const Source& s) {
         const int h = byteValue(s.r.hPrime);
         return s.has(kSection4) && within(h, 0, 99) ? integer(h * 100) : std::string();
     }},
    {{"cloud_below_top_code", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSection4) ? codeFigure(byteValue(s.r.ct)) : std::string();
     }},

    {{"precipitation_mm", N}, kObserved, [](const Source& s) { return precipitation(s.r); }},
    {{"precipitation_trace", F},
     kObserved,
     [](const Source& s) {
         return s.has(kPrecipitation) && within(s.r.precipitation, 0, 999)
                    ? flag(s.r.precipitation == 990)
                    : std::string();
     }},
    {{"precipitation_period_h", N},
     kObserved,
     [](const Source& s) { return precipitationPeriod(s.r); }},
    {{"ground_state_code", N},
     kObserved,
     [](const Source& s) { return s.has(kGround) ? codeFigure(byteValue(s.r.e)) : std::string(); }},
    {{"snow_ground_state_code", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSnow) ? codeFigure(byteValue(s.r.ePrime)) : std::string();
     }},
    // sss: centimetres to 996, 997 less than half a centimetre, 998 and 999
    // patchy or not measurable.
    {{"snow_depth_cm", N},
     kObserved,
     [](const Source& s) {
         if (!s.has(kSnow)) return std::string();
         if (s.r.snowDepth == 997) return integer(0);
         return within(s.r.snowDepth, 0, 996) ? integer(s.r.snowDepth) : std::string();
     }},

    // Ship's course Ds in eight points (0 stationary, 9 unknown), speed class vs.
    {{"ship_course_deg", N},
     kObserved,
     [](const Source& s) {
         const int ds = byteValue(s.r.ds);
         return s.has(kCourse) && within(ds, 1, 8) ? integer(ds * 45) : std::string();
     }},
    {{"ship_speed_code", N},
     kObserved,
     [](const Source& s) {
         return s.has(kCourse) ? codeFigure(byteValue(s.r.vs)) : std::string();
     }},
    {{"wave_period_s", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWaves) ? seconds(byteValue(s.r.wavePeriod)) : std::string();
     }},
    {{"wave_height_m", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWaves) && within(s.r.waveHeight, 0, 999) ? fixed(s.r.waveHeight / 10.0, 1)
                                                                : std::string();
     }},
    {{"wind_wave_period_s", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWindWaves) ? seconds(byteValue(s.r.windWavePeriod)) : std::string();
     }},
    {{"wind_wave_height_m", N},
     kObserved,
     [](const Source& s) {
         return s.has(kWindWaves) ? halfMetres(byteValue(s.r.windWaveHeight)) : std::string();
     }},
    {{"swell1_direction_deg", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSwellDirections) ? tensOfDegrees(byteValue(s.r.swellDirection1))
                                        : std::string();
     }},
    {{"swell1_period_s", N},
     kObserved,
     [](const Source& s) {
         return s.has(kFirstSwell) ? seconds(byteValue(s.r.swellPeriod1)) : std::string();
     }},
    {{"swell1_height_m", N},
     kObserved,
     [](const Source& s) {
         return s.has(kFirstSwell) ? halfMetres(byteValue(s.r.swellHeight1)) : std::string();
     }},
    {{"swell2_direction_deg", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSwellDirections) ? tensOfDegrees(byteValue(s.r.swellDirection2))
                                        : std::string();
     }},
    {{"swell2_period_s", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSecondSwell) ? seconds(byteValue(s.r.swellPeriod2)) : std::string();
     }},
    {{"swell2_height_m", N},
     kObserved,
     [](const Source& s) {
         return s.has(kSecondSwell) ? halfMetres(byteValue(s.r.swellHeight2)) : std::string();
     }},
    // Ice on the ship: its cause Is, thickness EsEs (cm) and rate Rs.
    {{"ice_accretion_code", N},
     kObserved,
     [](const Source& s) { return s.has(kIce) ? codeFigure(byteValue(s.r.is)) : std::string(); }},
    {{"ice_thickness_cm", N},
     kObserved,
     [](const Source& s) {
         return s.has(kIce) ? codeFigure(byteValue(s.r.esEs), 99) : std::string();
     }},
    {{"ice_accretion_rate_code", N},
     kObserved,
     [](const Source& s) { return s.has(kIce) ? codeFigure(byteValue(s.r.rs)) : std::string(); }},
};

const std::vector<ExportColumn>& columnList() {
    static const std::vector<ExportColumn> list = [] {
        std::vector<ExportColumn> out;
        for (const Column& c : kColumns) out.push_back(c.column);
        return out;
    }();
    return list;
}

// ---- escaping ----------------------------------------------------------------

// Control characters other than tab and the line ends have no place in CSV
// readers' or XML's text (XML 1.0 cannot hold them at all): they become
// U+FFFD. The texts are UTF-8, so every byte below 0x20 is such a character.
std::string withoutControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += "\xEF\xBF\xBD";
        else
            out.push_back(c);
    }
    return out;
}

std::string csvField(std::string_view value) {
    std::string text = withoutControls(value);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    return out + "\"";
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F)
                    out += formatPrintf("\\u%04x", {static_cast<int>(b)});
                else
                    out.push_back(c);
        }
    }
    return out + "\"";
}

std::string xmlText(std::string_view value) {
    std::string out;
    for (char c : withoutControls(value)) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\r': out += "&#13;"; break;  // a parser would turn a raw CR into LF
            default: out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::span<const ExportColumn> exportColumns() { return columnList(); }

std::optional<std::size_t> exportColumn(std::string_view name) {
    const auto& list = columnList();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) return i;
    return std::nullopt;
}

const std::string& Observation::value(std::string_view column) const {
    static const std::string none;
    const auto at = exportColumn(column);
    return at && *at < values.size() ? values[*at] : none;
}

std::optional<GeoPosition> entryPosition(const StationEntry& entry) {
    if (std::abs(entry.latitude) > 90 * 60 || std::abs(entry.longitude) > 180 * 60)
        return std::nullopt;
    return GeoPosition{-entry.latitude / 60.0, entry.longitude / 60.0};
}

std::optional<GeoPosition> reportPosition(const SynopRecord& record) {
    if (isShip(record) && (record.station.latitude == 0 || record.station.longitude == 0))
        return std::nullopt;
    return entryPosition(record.station);
}

Observation makeObservation(const SynopRecord& record, const TextTable* texts) {
    Observation o;
    o.time = fromStored32(record.reportTime);
    o.bulletinTime = fromStored32(record.bulletinTime);
    o.nil = (record.presence & kNil) != 0;
    o.id = stationId(record);
    o.name = cp1252ToUtf8(record.station.name);
    if (o.name.empty()) o.name = o.id;
    if (texts != nullptr && !isShip(record))
        o.country = cp1252ToUtf8(texts->lookupNumber(record.station.region));
    o.position = reportPosition(record);
    const Source source{record, o.country};
    for (const Column& c : kColumns)
        o.values.push_back(o.nil && c.observed ? std::string() : c.get(source));
    if (texts != nullptr) {
        std::string text =
            cp1252ToUtf8(describeReport(record, false, *texts, ReportFormats::english()));
        const auto first = text.find_first_not_of('\n');
        const auto last = text.find_last_not_of('\n');
        o.description = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    }
    return o;
}

// ---- times and areas ----------------------------------------------------------

namespace {

// Reads exactly `digits` digits at `pos`.
std::optional<int> number(std::string_view text, std::size_t& pos, std::size_t digits) {
    if (pos + digits > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    pos += digits;
    return value;
}

bool skip(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

std::optional<double> decimal(std::string_view text) {
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<TimeKey> parseTime(std::string_view text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos) {
        TimeKey key = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), key);
        if (r.ec != std::errc{} || r.ptr != text.data() + text.size()) return std::nullopt;
        return key;
    }
    NameTime t;
    std::size_t pos = 0;
    const auto year = number(text, pos, 4);
    if (!year || !skip(text, pos, '-')) return std::nullopt;
    const auto month = number(text, pos, 2);
    if (!month || !skip(text, pos, '-')) return std::nullopt;
    const auto day = number(text, pos, 2);
    if (!day) return std::nullopt;
    t.year = *year;
    t.month = *month;
    t.day = *day;
    if (skip(text, pos, 'T') || skip(text, pos, ' ')) {
        const auto hour = number(text, pos, 2);
        if (!hour || !skip(text, pos, ':')) return std::nullopt;
        const auto minute = number(text, pos, 2);
        if (!minute) return std::nullopt;
        t.hour = *hour;
        t.minute = *minute;
        if (skip(text, pos, ':')) {
            const auto second = number(text, pos, 2);
            if (!second) return std::nullopt;
            t.second = *second;
        }
    }
    if (!isValid(t)) return std::nullopt;
    TimeKey key = timeKey(t);
    if (skip(text, pos, 'Z')) {
        // UTC
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos++] == '+' ? 1 : -1;
        const auto hours = number(text, pos, 2);
        if (!hours || !skip(text, pos, ':')) return std::nullopt;
        const auto minutes = number(text, pos, 2);
        if (!minutes || *hours > 14 || *minutes > 59) return std::nullopt;
        key -= sign * (*hours * 3600 + *minutes * 60);
    }
    if (pos != text.size()) return std::nullopt;
    return key;
}

std::string isoTime(TimeKey key) {
    const NameTime t = breakDown(key);
    return formatPrintf("%04d-%02d-%02dT%02d:%02d:%02dZ",
                        {t.year, t.month, t.day, t.hour, t.minute, t.second});
}

bool AreaBox::contains(const GeoPosition& p) const {
    if (p.latitude < south || p.latitude > north) return false;
    if (west <= east) return p.longitude >= west && p.longitude <= east;
    return p.longitude >= west || p.longitude <= east;  // across 180°
}

std::optional<AreaBox> parseAreaBox(std::string_view text) {
    std::array<double, 4> v{};
    for (std::size_t i = 0; i < v.size(); ++i) {
        const auto comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == v.size() - 1)) return std::nullopt;
        const auto value = decimal(text.substr(0, comma));
        if (!value) return std::nullopt;
        v[i] = *value;
        if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
    }
    const double limits[] = {90, 180, 90, 180};
    for (std::size_t i = 0; i < v.size(); ++i)
        if (std::fabs(v[i]) > limits[i]) return std::nullopt;
    return AreaBox{std::min(v[0], v[2]), v[1], std::max(v[0], v[2]), v[3]};
}

// ---- documents -----------------------------------------------------------------

std::string exportCsv(std::span<const Observation> observations) {
    std::string out;
    const auto& columns = columnList();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out.push_back(',');
        out += columns[i].name;
    }
    out += "\r\n";
    for (const Observation& o : observations) {
        for (std::size_t i = 0; i < o.values.size(); ++i) {
            if (i > 0) out.push_back(',');
            out += csvField(o.values[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string exportGeoJson(std::span<const Observation> observations) {
    const auto& columns = columnList();
    std::string out = "{\"type\": \"FeatureCollection\", \"features\": [";
    bool firstFeature = true;
    for (const Observation& o : observations) {
        out += firstFeature ? "\n" : ",\n";
        firstFeature = false;
        out += "{\"type\": \"Feature\", \"geometry\": ";
        if (o.position)
            out += "{\"type\": \"Point\", \"coordinates\": [" + degrees(o.position->longitude) +
                   ", " + degrees(o.position->latitude) + "]}";
        else
            out += "null";
        out += ", \"properties\": {";
        bool firstValue = true;
        for (std::size_t i = 0; i < o.values.size() && i < columns.size(); ++i) {
            if (o.values[i].empty()) continue;
            if (!firstValue) out += ", ";
            firstValue = false;
            out += jsonString(columns[i].name) + ": ";
            out += columns[i].kind == ColumnKind::Text ? jsonString(o.values[i]) : o.values[i];
        }
        out += "}}";
    }
    return out + "\n]}\n";
}

std::string exportKml(std::span<const Observation> observations) {
    const auto& columns = columnList();
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
        "<Document>\n"
        "<name>SYNOP observations</name>\n";
    for (const Observation& o : observations) {
        out += "<Placemark>\n<name>" + xmlText(o.name) + "</name>\n";
        if (!o.description.empty())
            out += "<description>" + xmlText(o.description) + "</description>\n";
        out += "<TimeStamp><when>" + isoTime(o.time) + "</when></TimeStamp>\n";
        out += "<ExtendedData>\n";
        for (std::size_t i = 0; i < o.values.size() && i < columns.size(); ++i) {
            if (o.values[i].empty()) continue;
            out += "<Data name=\"" + xmlText(columns[i].name) + "\"><value>" +
                   xmlText(o.values[i]) + "</value></Data>\n";
        }
        out += "</ExtendedData>\n";
        if (o.position)
            out += "<Point><coordinates>" + degrees(o.position->longitude) + "," +
                   degrees(o.position->latitude) + "</coordinates></Point>\n";
        out += "</Placemark>\n";
    }
    return out + "</Document>\n</kml>\n";
}

}  // namespace zeb::weather
