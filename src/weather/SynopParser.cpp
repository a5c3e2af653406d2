// The SYNOP report parser: one handler per state (the group it expects),
// and one reader per group kind that puts the group's values into the record.
#include "weather/SynopParser.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zeb::weather {
namespace {

using namespace presence;

constexpr TimeKey kDay = 86400;

// A decoded value in a one-byte field: -1 (missing) is stored as 0xFF.
std::uint8_t byte(int value) { return static_cast<std::uint8_t>(value < 0 ? 0xFF : value & 0xFF); }
std::int16_t word(int value) { return static_cast<std::int16_t>(value); }

bool isLineEnd(std::uint8_t ch) { return ch == '\r' || ch == '\n'; }

// The sign digit of a temperature group: odd digits are negative (1 in
// section 1 and 3; 1, 3, 5, 7 for the sea temperature's measuring methods).
int signedValue(char sign, int value) { return (sign == '1') ? -value : value; }

// A garbled group can still fit its pattern: a value no weather station can
// measure is dropped from the report (its presence bit cleared) instead of
// being described and stored. Temperatures in tenths of a degree, pressures
// in tenths of a hectopascal with the thousands left out.
void dropImplausible(SynopRecord& r) {
    const auto keepIf = [&](std::uint32_t bit, bool plausible) {
        if ((r.presence & bit) && !plausible) r.presence &= ~bit;
    };
    const auto temperature = [](int tenths) { return tenths >= -900 && tenths <= 600; };
    // 850 to 1089.9 hPa: "8500" … "9999" and "0000" … "0899".
    const auto pressure = [](int tenths) {
        return tenths >= 8500 || (tenths >= 0 && tenths < 900);
    };
    keepIf(kAirTemperature, temperature(r.airTemperature));
    keepIf(kDewPoint, temperature(r.dewPoint) &&
                          (!(r.presence & kAirTemperature) || r.dewPoint <= r.airTemperature));
    keepIf(kHumidity, r.humidity >= 0 && r.humidity <= 100);
    keepIf(kMaxTemperature, temperature(r.maxTemperature));
    keepIf(kMinTemperature, temperature(r.minTemperature));
    keepIf(kSeaTemperature, r.seaTemperature >= -50 && r.seaTemperature <= 400);
    keepIf(kStationPressure, r.stationPressure >= 0 && r.stationPressure <= 9999);
    keepIf(kSeaLevelPressure, pressure(r.seaLevelPressure));
}

void applyBulletin(SynopRecord& r, const BulletinContext& b) {
    r.serial = b.serial;
    r.bulletinTime = b.bulletinTime;
    r.t1 = b.t1;
    r.headingNumber = b.headingNumber;
    r.flags = b.flags;
    r.centre = b.centre;
    r.headingTypeText = b.headingTypeText;
    r.headingAreaText = b.headingAreaText;
    r.bbbText = b.bbbText;
}

// The readers of the groups: each puts the values of one kind of group
// into the record and sets their presence bit when they were given.
using GroupReader = void (*)(SynopRecord&, const GroupWindow&);

// 1snTTT
void readAirTemperature(SynopRecord& r, const GroupWindow& w) {
    const int ttt = w.number(3, 5);
    if (ttt < 0) return;
    r.airTemperature = word(signedValue(w.figure(2), ttt));
    r.presence |= kAirTemperature;
}

// 2snTdTdTd, or 29UUU (relative humidity)
bool isDewPointSign(char sign) { return sign == '0' || sign == '1' || sign == '9' || sign == '/'; }
void readDewPoint(SynopRecord& r, const GroupWindow& w) {
    const char sign = w.figure(2);
    const int value = w.number(3, 5);
    if (value >= 0 && sign == '9') {
        r.humidity = word(value);
        r.presence |= kHumidity;
    } else if (value >= 0) {
        r.dewPoint = word(signedValue(sign, value));
        r.presence |= kDewPoint;
    }
}

// 3P0P0P0P0
void readStationPressure(SynopRecord& r, const GroupWindow& w) {
    const int p0 = w.number(2, 5);
    if (p0 < 0) return;
    r.stationPressure = word(p0);
    r.presence |= kStationPressure;
}

// 4PPPP, or 4a3hhh (the height of a standard surface: 1000, 500, 700, 850 hPa)
void readSeaLevelPressure(SynopRecord& r, const GroupWindow& w) {
    const char level = w.figure(2);
    const int hhh = w.number(3, 5);
    const int pppp = w.number(2, 5);
    if (level == '1' || level == '5' || level == '7' || level == '8') {
        if (hhh < 0) return;
        r.standardSurface = level == '1' ? 1000 : level == '5' ? 500 : level == '7' ? 700 : 850;
        r.geopotential = word(hhh);
        r.presence |= kGeopotential;
    } else if (pppp >= 0) {
        r.seaLevelPressure = word(pppp);
        r.presence |= kSeaLevelPressure;
    }
}

// 5appp
void readTendency(SynopRecord& r, const GroupWindow& w) {
    const int a = w.number(2, 2);
    const int ppp = w.number(3, 5);
    r.a = byte(a);
    r.tendency = word(ppp);
    if (a >= 0 && ppp >= 0) r.presence |= kTendency;
}

// 6RRRtR, in section 1 or 3
void readPrecipitation(SynopRecord& r, const GroupWindow& w) {
    const int rrr = w.number(2, 4);
    const int tr = w.number(5, 5);
    r.precipitation = word(rrr);
    r.tR = byte(tr);
    if (rrr >= 0 && tr >= 0) r.presence |= kPrecipitation;
}

// 7wwW1W2 ("7ww//": present weather only)
void readPresentWeather(SynopRecord& r, const GroupWindow& w) {
    const int ww = w.number(2, 3);
    r.ww = byte(ww);
    if (ww >= 0) r.presence |= w.matches("?7++//") ? kWeatherOnly : kWeather;
}

// 8NhCLCMCH
void readClouds(SynopRecord& r, const GroupWindow& w) {
    r.nh = w.figure(2);
    r.cl = w.figure(3);
    r.cm = w.figure(4);
    r.ch = w.figure(5);
    r.presence |= kClouds;
}

// 9xx//: two figures in place of the cloud base (h) of group iRixhVV
void readCloudKey(SynopRecord& r, const GroupWindow& w) { r.cloudKey = {w.figure(2), w.figure(3)}; }

// Section 1, by the group's first digit.
constexpr std::array<GroupReader, 10> kSectionOne = {
    nullptr,      readAirTemperature, readDewPoint,       readStationPressure, readSeaLevelPressure,
    readTendency, readPrecipitation,  readPresentWeather, readClouds,          readCloudKey};

// 0snTwTwTw (sea temperature; 09UUU relative humidity)
void readSeaTemperature(SynopRecord& r, const GroupWindow& w) {
    const char sign = w.figure(2);
    const int value = w.number(3, 5);
    if (value < 0) return;
    if (sign == '9') {
        r.humidity = word(value);
        r.presence |= kHumidity;
        return;
    }
    const bool negative = sign == '1' || sign == '3' || sign == '5' || sign == '7';
    r.seaTemperature = word(negative ? -value : value);
    r.presence |= kSeaTemperature;
}

// 1PwaPwaHwaHwa (height in half metres, stored in tenths)
void readWaves(SynopRecord& r, const GroupWindow& w) {
    const int a = w.number(2, 3);
    const int b = w.number(4, 5);
    r.wavePeriod = byte(a);
    r.waveHeight = word(b < 0 ? -1 : b * 5);
    if (a > 0 || b > 0) r.presence |= kWaves;
}

// Groups of two two-digit values (periods and heights, directions).
template <std::uint8_t SynopRecord::*First, std::uint8_t SynopRecord::*Second, std::uint32_t Bit>
void readPair(SynopRecord& r, const GroupWindow& w) {
    const int a = w.number(2, 3);
    const int b = w.number(4, 5);
    r.*First = byte(a);
    r.*Second = byte(b);
    if (a > 0 || b > 0) r.presence |= Bit;
}

// 6IsEsEsRs
void readIce(SynopRecord& r, const GroupWindow& w) {
    const int is = w.number(2, 2);
    const int es = w.number(3, 4);
    const int rs = w.number(5, 5);
    r.is = byte(is);
    r.esEs = byte(es);
    r.rs = byte(rs);
    if (is > 0 || es > 0 || rs > 0) r.presence |= kIce;
}

// 70HwaHwaHwa: the wave height in tenths of a metre
void readWaveHeightTenths(SynopRecord& r, const GroupWindow& w) {
    if (!w.matches("?70+++") || w.number(3, 5) <= 0) return;
    r.waveHeight = word(w.number(3, 5));
    r.presence |= kWaves;
}

// Section 2, by the group's first digit.
constexpr std::array<GroupReader, 8> kSectionTwo = {
    readSeaTemperature,
    readWaves,
    readPair<&SynopRecord::windWavePeriod, &SynopRecord::windWaveHeight, kWindWaves>,
    readPair<&SynopRecord::swellDirection1, &SynopRecord::swellDirection2, kSwellDirections>,
    readPair<&SynopRecord::swellPeriod1, &SynopRecord::swellHeight1, kFirstSwell>,
    readPair<&SynopRecord::swellPeriod2, &SynopRecord::swellHeight2, kSecondSwell>,
    readIce,
    readWaveHeightTenths};

// 1snTxTxTx and 2snTnTnTn ("19…" and "29…" are no temperatures)
template <std::int16_t SynopRecord::*Field, std::uint32_t Bit>
void readExtreme(SynopRecord& r, const GroupWindow& w) {
    const char sign = w.figure(2);
    const int value = w.number(3, 5);
    if (sign == '9' || value < 0) return;
    r.*Field = word(signedValue(sign, value));
    r.presence |= Bit;
}

// 3EsnTgTg: the state of the ground and the ground minimum temperature,
// each of them possibly missing ("3E///", "3/snTgTg").
void readGround(SynopRecord& r, const GroupWindow& w) {
    const char sign = w.figure(3);
    const int e = w.number(2, 2);
    const int tg = w.number(4, 5);
    if (sign == '9') return;
    r.e = byte(e);
    r.tgTg = tg < 0 ? kMissingGroundTemperature : static_cast<std::int8_t>(signedValue(sign, tg));
    if (e >= 0 || tg >= 0) r.presence |= kGround;
}

// 4E'sss: the state of the ground with snow and the snow depth
void readSnow(SynopRecord& r, const GroupWindow& w) {
    const int e = w.number(2, 2);
    const int sss = w.number(3, 5);
    r.ePrime = byte(e);
    r.snowDepth = word(sss);
    if (e >= 0 || sss >= 0) r.presence |= kSnow;
}

// Section 3 by the group's first digit; groups 0, 5, 7 and 9 are passed
// over, and 8NsChshs (cloud layers) repeats: see cloudLayer.
constexpr std::array<GroupReader, 10> kSectionThree = {
    nullptr,
    readExtreme<&SynopRecord::maxTemperature, kMaxTemperature>,
    readExtreme<&SynopRecord::minTemperature, kMinTemperature>,
    readGround,
    readSnow,
    nullptr,
    readPrecipitation,
    nullptr,
    nullptr,
    nullptr};

// 8NsChshs: one cloud layer, stored by its genus. False when the genus is
// missing ("8N/hh"): the layer has no place.
bool readCloudLayer(SynopRecord& r, const GroupWindow& w) {
    const int genus = w.number(3, 3);
    if (genus < 0 || genus > 9) return false;
    r.layerAmount[genus] = byte(w.number(2, 2));
    r.layerHeight[genus] = byte(w.number(4, 5));
    r.presence |= kCloudLayers;
    return true;
}

// A ship's call sign: the group's characters, letters and digits with at
// least one letter; empty when unreadable ("///" or a garbled group).
std::string callSign(const GroupWindow& w) {
    std::string call;
    for (int i = GroupWindow::kSize - std::min(w.count(), 6); i < GroupWindow::kSize; ++i)
        if (w.at(i) != 0) call.push_back(static_cast<char>(w.at(i)));
    const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    const auto alpha = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const bool readable = std::all_of(call.begin(), call.end(), alnum) &&
                          std::any_of(call.begin(), call.end(), alpha);
    return readable ? call : std::string();
}

}  // namespace

std::optional<TimeKey> groupTime(int yy, int gg, int minutes, TimeKey now) {
    if (yy < 1 || yy > 31 || gg < 0 || gg > 23 || minutes < 0 || minutes > 59) return std::nullopt;
    const TimeKey hour = now - ((now % 3600) + 3600) % 3600;
    const TimeKey today = hour - ((hour % kDay) + kDay) % kDay;
    const NameTime t = breakDown(hour);
    const TimeKey at = static_cast<TimeKey>(gg) * 3600 + static_cast<TimeKey>(minutes) * 60;
    if (yy == t.day && gg <= t.hour) return today + at;
    if (yy != t.day && yy != breakDown(today - kDay).day) {
        // A delayed bulletin: the most recent earlier day with that number.
        for (int back = 2; back <= 31; ++back)
            if (breakDown(today - back * kDay).day == yy) return today - back * kDay + at;
    }
    return today - kDay + at;
}

SynopParser::SynopParser(const WeatherData& data)
    : data_(data), clock_([] { return zeb::now(); }) {}

void SynopParser::beginBulletin(const BulletinContext& bulletin) {
    bulletin_ = bulletin;
    clean_ = SynopRecord{};
    applyBulletin(clean_, bulletin_);
    cleanTimeValid_ = false;
    record_ = clean_;
    timeValid_ = false;
}

void SynopParser::setBulletin(const BulletinContext& bulletin) {
    bulletin_ = bulletin;
    applyBulletin(clean_, bulletin_);
    applyBulletin(record_, bulletin_);
}

void SynopParser::beginSection(Section section) {
    section_ = section;
    state_ = section == Section::Ship ? State::ShipIdentification : State::LandSection;
    groupOrder_ = 0;
    beginBulletin(bulletin_);
}

void SynopParser::leaveSection() {
    section_ = Section::None;
    groupOrder_ = 0;
}

std::optional<SynopParser::State> SynopParser::reportStart() const {
    switch (section_) {
        case Section::Land: return State::LandStation;
        case Section::Ship: return State::ShipIdentification;
        case Section::None: break;
    }
    return std::nullopt;
}

SynopParser::GroupResult SynopParser::group(const GroupWindow& w, std::uint8_t separator) {
    switch (state_) {
        case State::LandSection: return landSection(w, separator);
        case State::LandStation: return landStation(w);
        case State::Indicators: return indicators(w);
        case State::CoverAndWind: return coverAndWind(w);
        case State::WindOver99: return windOver99(w);
        case State::SectionOne: return sectionOne(w, 1);
        case State::SectionOneFromTwo: return sectionOne(w, 2);
        case State::SectionOneFromThree: return sectionOne(w, 3);
        case State::SectionTwo: return sectionTwo(w);
        case State::SectionThree: return sectionThree(w);
        case State::SectionFour: return sectionFour(w);
        case State::ShipIdentification: return shipIdentification(w);
        case State::ShipTime: return shipTime(w);
        case State::ShipLatitude: return shipLatitude(w);
        case State::ShipLongitude: return shipLongitude(w);
    }
    return GroupResult::Unmatched;
}

SynopParser::Finished SynopParser::endReport() {
    Finished done;
    done.record = record_;
    const TimeKey now = clock_();
    const SynopRecord& r = record_;
    const bool identified = (r.presence & kStation) != 0;
    const bool kindSet = (r.kind & (kKindLand | kKindShip)) != 0;
    const bool inPast = timeValid_ && static_cast<TimeKey>(r.bulletinTime) < now &&
                        static_cast<TimeKey>(r.reportTime) < now;
    if (identified && kindSet && inPast) {
        done.verdict = Finished::Verdict::Accepted;
        dropImplausible(done.record);
    } else if (identified) {
        done.verdict = Finished::Verdict::Refused;
    }
    // The next report starts clean: only the bulletin's and the section's
    // fields stay.
    record_ = clean_;
    timeValid_ = cleanTimeValid_;
    groupOrder_ = 0;
    if (const auto start = reportStart()) state_ = *start;
    return done;
}

bool SynopParser::accept(int index) {
    if (groupOrder_ > index) return false;
    groupOrder_ = index + 1;
    return true;
}

void SynopParser::setReportTime(int yy, int gg) {
    const auto t = groupTime(yy, gg, 0, clock_());
    const auto stored = t ? toStored32(*t) : std::nullopt;
    timeValid_ = stored.has_value();
    record_.reportTime = stored.value_or(0);
    // Without a heading the report's own time dates its bulletin.
    if (record_.flags & kFlagNoHeading) record_.bulletinTime = record_.reportTime;
}

// YYGGiw: the day, hour and wind unit of every report of the land section.
SynopParser::GroupResult SynopParser::landSection(const GroupWindow& w, std::uint8_t separator) {
    if (!w.matches("?+++++")) {
        if (isLineEnd(separator)) state_ = State::LandStation;
        return GroupResult::Unmatched;
    }
    record_.kind = kKindLand;
    section_ = Section::Land;
    setReportTime(w.number(1, 2), w.number(3, 4));
    record_.iw = byte(w.number(5, 5));
    // Every report of the section starts with these.
    clean_.kind = record_.kind;
    clean_.reportTime = record_.reportTime;
    clean_.bulletinTime = record_.bulletinTime;
    clean_.iw = record_.iw;
    cleanTimeValid_ = timeValid_;
    groupOrder_ = 0;
    state_ = State::LandStation;
    return GroupResult::Matched;
}

// IIiii
SynopParser::GroupResult SynopParser::landStation(const GroupWindow& w) {
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    const auto station = data_.findStation(w.number(1, 5));
    if (!station) return GroupResult::UnknownStation;
    record_.station = *station;
    record_.presence |= kStation;
    state_ = State::Indicators;
    return GroupResult::Matched;
}

// iRixhVV, or "NIL": the station sent no observation.
SynopParser::GroupResult SynopParser::indicators(const GroupWindow& w) {
    SynopRecord& r = record_;
    if (w.matches("???NIL")) {
        r.presence |= kNil;
        return GroupResult::ReportEnd;
    }
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    r.iR = byte(w.number(1, 1));
    r.ix = byte(w.number(2, 2));
    r.cloudKey = {'H', w.figure(3)};
    r.vv = byte(w.number(4, 5));
    if (w.number(4, 5) >= 0) r.presence |= kVisibility;
    state_ = State::CoverAndWind;
    return GroupResult::Matched;
}

// Nddff
SynopParser::GroupResult SynopParser::coverAndWind(const GroupWindow& w) {
    SynopRecord& r = record_;
    if (!w.matches("??++++")) return GroupResult::Unmatched;
    r.n = w.figure(1);
    const int dd = w.number(2, 3);
    const int ff = w.number(4, 5);
    if (dd >= 0 && dd * 10 <= 360) {
        r.windDirection = word(dd * 10);
        r.presence |= kWindDirection;
    }
    if (ff >= 0) {
        r.windSpeed = byte(ff);
        r.presence |= kWindSpeed;
    }
    state_ = ff == 99 ? State::WindOver99 : State::SectionOne;
    return GroupResult::Matched;
}

// 00fff. The speed field is one byte: a speed it cannot hold is missing.
SynopParser::GroupResult SynopParser::windOver99(const GroupWindow& w) {
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    const int fff = w.number(3, 5);
    if (fff >= 0 && fff <= 254) {
        record_.windSpeed = byte(fff);
    } else {
        record_.windSpeed = 0xFF;
        record_.presence &= ~kWindSpeed;
    }
    state_ = State::SectionOne;
    return GroupResult::Matched;
}

// Section 1 groups (1snTTT … 9GGgg, 222, 333, 444), accepted from group
// `from` on: a report that lacks group 1 or 2 still gives the rest.
SynopParser::GroupResult SynopParser::sectionOne(const GroupWindow& w, int from) {
    const int count = w.count();
    if (count >= 3 && count <= 4) return sectionMarker(w, false);
    if (w.matches("?222++")) {  // 222DsVs: the ship's course and speed
        record_.ds = byte(w.number(4, 4));
        record_.vs = byte(w.number(5, 5));
        if (w.number(4, 4) > 0) record_.presence |= kCourse;
        groupOrder_ = 0;
        state_ = State::SectionTwo;
        return GroupResult::Matched;
    }
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    const int index = w.figure(1) - '0';
    if (index < from || index > 9 || (index >= 3 && count < 5)) return GroupResult::Unmatched;
    // A group 2 of another sign is no dew point: passed over.
    if (index == 2 && !isDewPointSign(w.figure(2))) return GroupResult::Matched;
    if (index == 9 && !w.matches("?9++//")) return GroupResult::Unmatched;
    if (!accept(index)) return GroupResult::Unmatched;
    kSectionOne[static_cast<std::size_t>(index)](record_, w);
    state_ = index == 1 ? State::SectionOneFromTwo : State::SectionOneFromThree;
    return GroupResult::Matched;
}

// The section markers "333" and "444": a group of three or four
// characters. Section 3 may only be followed by section 4.
SynopParser::GroupResult SynopParser::sectionMarker(const GroupWindow& w, bool fromSectionThree) {
    if (!fromSectionThree && w.matches("???333")) {
        groupOrder_ = 0;
        state_ = State::SectionThree;
        return GroupResult::Matched;
    }
    if (w.matches("???444")) {
        groupOrder_ = 0;
        state_ = State::SectionFour;
        return GroupResult::Matched;
    }
    return GroupResult::Unmatched;
}

SynopParser::GroupResult SynopParser::sectionTwo(const GroupWindow& w) {
    const int count = w.count();
    if (count >= 3 && count <= 4) return sectionMarker(w, false);
    if (count < 5 || !w.matches("?+++++")) return GroupResult::Unmatched;
    const int index = w.figure(1) - '0';
    if (index < 0 || index >= static_cast<int>(kSectionTwo.size())) return GroupResult::Unmatched;
    kSectionTwo[static_cast<std::size_t>(index)](record_, w);
    return GroupResult::Matched;
}

SynopParser::GroupResult SynopParser::sectionThree(const GroupWindow& w) {
    const int count = w.count();
    if (count >= 3 && count <= 4) return sectionMarker(w, true);
    if (count < 5 || !w.matches("?+++++")) return GroupResult::Unmatched;
    const int index = w.figure(1) - '0';
    if (index < 0 || index > 9) return GroupResult::Unmatched;
    // Cloud layer groups repeat, one per layer.
    if (index == 8 ? groupOrder_ > 8 : !accept(index)) return GroupResult::Unmatched;
    if (index == 8) {
        if (readCloudLayer(record_, w)) groupOrder_ = 8;
    } else if (const GroupReader read = kSectionThree[static_cast<std::size_t>(index)]) {
        read(record_, w);
    }
    return GroupResult::Matched;
}

// N'C'H'H'Ct; anything else ends what the parser reads of the report.
SynopParser::GroupResult SynopParser::sectionFour(const GroupWindow& w) {
    if (w.count() < 5 || !w.matches("?+++++")) return GroupResult::Skip;
    SynopRecord& r = record_;
    r.nPrime = byte(w.number(1, 1));
    r.cPrime = byte(w.number(2, 2));
    r.hPrime = byte(w.number(3, 4));
    r.ct = byte(w.number(5, 5));
    r.presence |= kSection4;
    return GroupResult::Matched;
}

// Five digits are a buoy number; anything else of at least three letters or
// digits is a call sign. "NNNN" ends the bulletin instead.
SynopParser::GroupResult SynopParser::shipIdentification(const GroupWindow& w) {
    SynopRecord& r = record_;
    if (w.matches("??NNNN")) {
        leaveSection();
        return GroupResult::ReportEnd;
    }
    if (w.count() < 3) return GroupResult::Unmatched;
    bool digits = w.count() == 5;
    for (int i = 1; i <= 5 && digits; ++i) digits = w.at(i) >= '0' && w.at(i) <= '9';
    if (digits) {
        r.a1bw = byte(w.number(1, 2));
        r.buoyNumber = word(w.number(3, 5));
    } else if (std::string call = callSign(w); w.matches("???###") && !call.empty()) {
        r.station = StationEntry{};
        r.station.name = std::move(call);
        r.presence |= kCallSign;
    } else {
        return GroupResult::UnreadableShip;
    }
    r.kind = kKindShip;
    r.presence |= kStation;
    section_ = Section::Ship;
    state_ = State::ShipTime;
    return GroupResult::Matched;
}

// YYGGiw
SynopParser::GroupResult SynopParser::shipTime(const GroupWindow& w) {
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    setReportTime(w.number(1, 2), w.number(3, 4));
    record_.iw = byte(w.number(5, 5));
    state_ = State::ShipLatitude;
    return GroupResult::Matched;
}

// 99LaLaLa, in tenths of a degree: kept in minutes of arc.
SynopParser::GroupResult SynopParser::shipLatitude(const GroupWindow& w) {
    if (!w.matches("?99+++")) return GroupResult::Unmatched;
    const int la = w.number(3, 5);
    if (la > 0 && la <= 900) record_.station.latitude = word(la * 6);
    state_ = State::ShipLongitude;
    return GroupResult::Matched;
}

// QcLoLoLoLo: the quadrant gives the signs (north and west negative).
SynopParser::GroupResult SynopParser::shipLongitude(const GroupWindow& w) {
    if (!w.matches("?+++++")) return GroupResult::Unmatched;
    StationEntry& s = record_.station;
    const int qc = w.number(1, 1);
    const int lo = w.number(2, 5);
    if (lo > 0 && lo <= 1800) s.longitude = word(lo * 6);
    if (qc == 1 || qc == 7) s.latitude = word(-s.latitude);
    if (qc == 5 || qc == 7) s.longitude = word(-s.longitude);
    groupOrder_ = 0;
    state_ = State::Indicators;
    return GroupResult::Matched;
}

}  // namespace zeb::weather
