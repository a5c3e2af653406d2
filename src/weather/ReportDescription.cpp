#include "weather/ReportDescription.h"

#include <cstdio>
#include <cstdlib>

#include "common/Codepage.h"
#include "common/Format.h"
#include "common/TimeKey.h"

namespace zeb::weather {

ReportFormats ReportFormats::english() {
    ReportFormats f;
    f.nilFrom = "No observation (NIL) from";
    f.nilEnd = "The station sent no data for this hour.";
    f.bulletin = "Bulletin %d of %02d.%02d.%d, %02d:%02d UTC";
    f.from = "from";
    f.area = "Observations %s %s";
    f.landArea = "over";
    f.standardSurface = " %d hPa surface at %d gpm";
    f.temperature =
        " %.1f \xB0"
        "C";
    f.humidity = " %d %%";
    f.wind = " %.1f m/s (%.1f kn) from %d\xB0";
    f.noHeading = "Bulletin heading not received";
    return f;
}

ReportFormats ReportFormats::fromTable(const StringTable& table, int first) {
    ReportFormats f = english();
    std::string* fields[] = {&f.nilFrom,  &f.nilEnd,          &f.bulletin,    &f.from,     &f.area,
                             &f.landArea, &f.standardSurface, &f.temperature, &f.humidity, &f.wind};
    for (int i = 0; i < 10; ++i) {
        const std::string text = table.text(first + i);
        if (!text.empty()) *fields[i] = utf8ToCp1252(text);
    }
    return f;
}

namespace {

// Collects whole lines up to the description's limit.
class Lines {
public:
    void add(std::string line) {
        line.push_back('\n');
        if (out_.size() + line.size() <= kMaxDescription) out_ += line;
    }
    void empty() { add({}); }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Texts looked up by keys built from received values. A negative value has
// no text; a key is the first four characters of the formatted value, so an
// out-of-range value ("KUR200") finds nothing instead of overrunning.
class Texts {
public:
    explicit Texts(const TextTable& table) : table_(table) {}

    std::string operator()(const char* key) const { return table_.lookup(key); }

    std::string number(const char* format, int value) const {
        if (value < 0) return {};
        char key[24];
        std::snprintf(key, sizeof key, format, value);
        return first4(key);
    }
    std::string chars(const char* format, char a, char b = 0) const {
        if (!printable(a) || (b != 0 && !printable(b))) return {};
        char key[24];
        std::snprintf(key, sizeof key, format, a, b);
        return first4(key);
    }
    std::string region(int value) const { return table_.lookupNumber(value); }

private:
    static bool printable(char c) { return c > ' ' && static_cast<unsigned char>(c) < 0x7F; }
    std::string first4(const char* key) const {
        const std::string_view k(key);
        if (k.size() < 4) return {};
        return table_.lookup(k.substr(0, 4));
    }
    const TextTable& table_;
};

std::string fmt(std::string_view format, std::initializer_list<FormatArg> args) {
    return formatPrintf(format, args);
}

// Byte fields hold -1 (0xFF) when the value was missing.
int byteValue(std::uint8_t b) { return b == 0xFF ? -1 : b; }

std::string positionLine(const StationEntry& s, std::uint32_t reportTime) {
    const int lat = std::abs(static_cast<int>(s.latitude));
    const int lon = std::abs(static_cast<int>(s.longitude));
    const NameTime t = breakDown(static_cast<TimeKey>(reportTime));
    return fmt("%02d.%02d %c  %02d.%02d %c", {lat / 60, lat % 60, s.latitude < 0 ? "N" : "S",
                                              lon / 60, lon % 60, s.longitude < 0 ? "W" : "E"}) +
           fmt("  %02d.%02d.%d  %02d:%02d", {t.day, t.month, t.year, t.hour, t.minute});
}

double pressureHpa(int tenths) {
    const double hpa = tenths / 10.0;
    return hpa < 200.0 ? hpa + 1000.0 : hpa;
}

// What each part of the description reads.
struct Report {
    const SynopRecord& r;
    const Texts& text;
    const ReportFormats& f;
    std::uint32_t p;  // presence bits
    bool ship;
};

void nilLines(Lines& out, const Report& d) {
    if (!d.r.headingAreaText.empty())
        out.add(d.f.nilFrom + " " + d.r.station.name + ", " + d.text.region(d.r.station.region));
    out.add(d.f.nilEnd);
}

// The bulletin: serial, time and centre, the data type and the area.
void bulletinLines(Lines& out, const Report& d) {
    const SynopRecord& r = d.r;
    if (r.flags & kFlagNoHeading) {
        out.add(d.f.noHeading);
        return;
    }
    const NameTime t = breakDown(static_cast<TimeKey>(r.bulletinTime));
    std::string line =
        fmt(d.f.bulletin, {static_cast<int>(r.serial), t.day, t.month, t.year, t.hour, t.minute});
    if (!r.centre.name.empty()) line += " " + d.f.from + " " + r.centre.name;
    out.add(line);
    if (!r.headingTypeText.empty()) out.add(r.headingTypeText);
    if (!r.headingAreaText.empty())
        out.add(fmt(d.f.area, {d.ship ? d.f.from : d.f.landArea, r.headingAreaText}));
}

// The station, ship or buoy, its position and the report's time.
void stationLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    if (d.ship && (d.p & kCallSign)) {
        out.add(d.text("SRUF") + " " + r.station.name);
    } else if (d.ship) {
        out.add(d.text("SREG") + fmt("%d ", {static_cast<int>(r.buoyNumber)}) +
                d.text.number("SR%02d", byteValue(r.a1bw)));
    } else {
        out.add(r.station.name + ", " + d.text.region(r.station.region));
    }
    out.add(positionLine(r.station, r.reportTime));
    if (d.p & kCourse)
        out.add(d.text("KURX") + " " + d.text.number("KUR%d", byteValue(r.ds)) + ", " +
                d.text.number("SPE%d", byteValue(r.vs)));
    out.empty();
}

void pressureLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    const std::uint32_t p = d.p;
    if (!(p & (kStationPressure | kSeaLevelPressure | kGeopotential | kTendency))) return;
    if (p & kStationPressure) {
        std::string line = d.text("PSTA");
        if (r.station.elevation != 0 && !d.ship)
            line += fmt(" (%d m)", {static_cast<int>(r.station.elevation)});
        out.add(line + fmt(" %.1f hPa", {pressureHpa(r.stationPressure)}));
    }
    if (p & kSeaLevelPressure)
        out.add(d.text("PSEA") + fmt(" %.1f hPa", {pressureHpa(r.seaLevelPressure)}));
    if (p & kGeopotential)
        out.add(d.text("PDF0") + fmt(d.f.standardSurface,
                                     {static_cast<int>(r.standardSurface), r.geopotential + 1000}));
    if (p & kTendency) {
        out.add(d.text("LDAA") + fmt(" %.1f hPa", {r.tendency / 10.0}));
        out.add(d.text.number("LDA%d", byteValue(r.a)));
    }
    out.empty();
}

void temperatureLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    const std::uint32_t p = d.p;
    if (!(p & (kAirTemperature | kDewPoint | kHumidity | kSeaTemperature | kMaxTemperature |
               kMinTemperature | kGround)))
        return;
    const auto temperature = [&](const char* key, double celsius) {
        out.add(d.text(key) + fmt(d.f.temperature, {celsius}));
    };
    if (p & kAirTemperature) temperature("LTMP", r.airTemperature / 10.0);
    if (p & kSeaTemperature) temperature("MTMP", r.seaTemperature / 10.0);
    if (p & kDewPoint) temperature("TTMP", r.dewPoint / 10.0);
    if (p & kHumidity) out.add(d.text("RELF") + fmt(d.f.humidity, {static_cast<int>(r.humidity)}));
    if (p & kMinTemperature) temperature("TMIN", r.minTemperature / 10.0);
    if (p & kMaxTemperature) temperature("TMAX", r.maxTemperature / 10.0);
    if ((p & kGround) && r.tgTg != kMissingGroundTemperature)
        temperature("TMIB", static_cast<double>(r.tgTg));
    out.empty();
}

// The cloud base and cover, the cloud genera and the layers of section 3.
void cloudLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    const Texts& text = d.text;
    if (const std::string cloudBase = text.chars("TW%c%c", r.cloudKey[0], r.cloudKey[1]);
        !cloudBase.empty())
        out.add(text("TWHX") + " " + cloudBase);
    if (const std::string cover = text.chars("BED%c", r.n); !cover.empty())
        out.add(text("BEDX") + " " + cover);

    if (d.p & kClouds) {
        const auto given = [](char c) { return c != '0' && c != '/' && c != 0; };
        const std::string amount =
            (r.nh >= '1' && r.nh <= '9') ? std::string(1, r.nh) + "/8 " : std::string();
        if (given(r.cl)) out.add(amount + text.chars("WCL%c", r.cl));
        if (given(r.cm))
            out.add((given(r.cl) ? std::string() : amount) + text.chars("WCM%c", r.cm));
        if (given(r.ch)) out.add(text.chars("WCH%c", r.ch));
    }

    if (d.p & kCloudLayers) {
        for (int layer = 0; layer < 10; ++layer) {
            const int amount = byteValue(r.layerAmount[layer]);
            if (amount <= 0) continue;
            out.add(fmt("%d/8 ", {amount}) + text.number("WOT%d", layer) + " " +
                    text.number("TW%02d", byteValue(r.layerHeight[layer])));
        }
    }
}

void sectionFourLines(Lines& out, const Report& d) {
    if (!(d.p & presence::kSection4)) return;
    const SynopRecord& r = d.r;
    out.add(d.text("WOUS") + fmt(": %d/8 ", {byteValue(r.nPrime)}) +
            d.text.number("WOT%d", byteValue(r.cPrime)) + " " +
            d.text.number("TW%02d", byteValue(r.hPrime)));
    out.add(d.text.number("WBD%d", byteValue(r.ct)));
    out.empty();
}

// Waves and swell: one line of up to two parts each; a part whose value is
// missing is left out.
void waveLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    const std::uint32_t p = d.p;
    if (!(p & (kWaves | kWindWaves | kSwellDirections | kFirstSwell | kSecondSwell))) return;
    const auto pair = [&](const char* periodKey, int period, const char* heightKey, int height,
                          double unit) {
        std::string line;
        if (period >= 0) line = d.text(periodKey) + fmt(" %d sec", {period});
        if (height >= 0) {
            if (!line.empty()) line += ", ";
            line += d.text(heightKey) + fmt(" %.1f m", {height * unit});
        }
        if (!line.empty()) out.add(line);
    };
    if (p & kWaves) pair("PWEL", byteValue(r.wavePeriod), "HWEL", r.waveHeight, 0.1);
    if (p & kFirstSwell)
        pair("PWD1", byteValue(r.swellPeriod1), "HWD1", byteValue(r.swellHeight1), 0.5);
    if (p & kSecondSwell)
        pair("PWD2", byteValue(r.swellPeriod2), "HWD2", byteValue(r.swellHeight2), 0.5);
    if (p & kWindWaves)
        pair("PWSE", byteValue(r.windWavePeriod), "HWSE", byteValue(r.windWaveHeight), 0.5);
    if (p & kSwellDirections) {
        std::string line;
        const int d1 = byteValue(r.swellDirection1);
        const int d2 = byteValue(r.swellDirection2);
        if (d1 >= 0) line = d.text("DDI1") + fmt(" %d\xB0", {d1 * 10});
        if (d2 >= 0) {
            if (!line.empty()) line += ", ";
            line += d.text("DDI2") + fmt(" %d\xB0", {d2 * 10});
        }
        if (!line.empty()) out.add(line);
    }
    out.empty();
}

void windLine(Lines& out, const Report& d) {
    using namespace presence;
    if (!(d.p & kWindDirection) || !(d.p & kWindSpeed)) return;
    const SynopRecord& r = d.r;
    const int speed = byteValue(r.windSpeed);
    const int iw = r.iw;
    if (speed < 0 || iw == 2 || iw > 4) return;
    const bool knotsGiven = iw >= 3;
    const double ms = knotsGiven ? speed * 0.5144444 : speed;
    const double knots = knotsGiven ? speed : speed * 1.9438446603753485;
    const char* key = (iw == 0 || iw == 3) ? "WMA0" : "WMA1";
    out.add(d.text(key) + fmt(d.f.wind, {ms, knots, static_cast<int>(r.windDirection)}));
}

// Visibility, the state of the ground and the snow.
void groundLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    if (d.p & kVisibility) out.add(d.text("HSXX") + " " + d.text.number("HS%02d", byteValue(r.vv)));
    if (d.p & kGround) out.add(d.text.number("BZO%d", byteValue(r.e)));
    if (d.p & kSnow) {
        out.add(d.text.number("BZM%d", byteValue(r.ePrime)));
        if (r.snowDepth > 996)
            out.add(d.text.number("S%d", r.snowDepth));
        else if (r.snowDepth >= 0)
            out.add(d.text("STIE") + fmt(" %d cm", {static_cast<int>(r.snowDepth)}));
    }
}

void precipitationLine(Lines& out, const Report& d) {
    const SynopRecord& r = d.r;
    if (!(d.p & presence::kPrecipitation) || r.precipitation < 0 || r.precipitation > 999) return;
    const int rrr = r.precipitation;
    std::string amount;
    if (rrr == 990)
        amount = " < 0.1 mm";
    else if (rrr > 990)
        amount = fmt(" %.1f mm", {(rrr - 990) / 10.0});
    else
        amount = fmt(" %.1f mm", {static_cast<double>(rrr)});
    out.add(d.text("NDSX") + " " + d.text.number("NDS%d", byteValue(r.tR)) + amount);
}

// Ice accretion, then the present weather.
void iceAndWeatherLines(Lines& out, const Report& d) {
    using namespace presence;
    const SynopRecord& r = d.r;
    const Texts& text = d.text;
    if (d.p & kIce) {
        if (byteValue(r.is) >= 0) out.add(text.number("EAA%d", byteValue(r.is)));
        if (byteValue(r.esEs) >= 0) out.add(text("EADI") + fmt(" %d cm", {byteValue(r.esEs)}));
        if (byteValue(r.rs) >= 0) out.add(text.number("EAC%d", byteValue(r.rs)));
    }
    if (d.p & kWeatherOnly) out.add(text("GGWA") + ": " + text.number("GA%02d", byteValue(r.ww)));
    if (d.p & kWeather) {
        if (const std::string w = text.number("GW%02d", byteValue(r.ww)); !w.empty())
            out.add(text("GGWW") + ": " + w);
    }
}

}  // namespace

std::string describeReport(const SynopRecord& r, bool firstOfBulletin, const TextTable& table,
                           const ReportFormats& f) {
    const Texts text(table);
    const Report d{r, text, f, r.presence, (r.kind & kKindShip) != 0};
    Lines out;
    out.empty();
    if (d.p & presence::kNil) {
        nilLines(out, d);
        return out.take();
    }
    if (firstOfBulletin) bulletinLines(out, d);
    stationLines(out, d);
    pressureLines(out, d);
    temperatureLines(out, d);
    cloudLines(out, d);
    sectionFourLines(out, d);
    waveLines(out, d);
    windLine(out, d);
    groundLines(out, d);
    precipitationLine(out, d);
    iceAndWeatherLines(out, d);
    return out.take();
}

}  // namespace zeb::weather
