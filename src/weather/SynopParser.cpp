// The SYNOP report states of the bulletin scanner (10..20 land reports and
// the sections of every report, 30..33 ship identification and position) and
// the end of a report: validation, description and storage.
#include <algorithm>
#include <cctype>

#include "weather/TextScanner.h"

namespace zeb::weather {
namespace {

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
    using namespace presence;
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

}  // namespace

bool TextScanner::accept(int index) {
    if (groupOrder_ > index) return false;
    groupOrder_ = index + 1;
    return true;
}

void TextScanner::setReportTime(int yy, int gg) {
    const auto t = groupTime(yy, gg, 0, clock_());
    const auto stored = t ? toStored32(*t) : std::nullopt;
    reportTimeValid_ = stored.has_value();
    record_.reportTime = stored.value_or(0);
    // Without a heading the report's own time dates its bulletin.
    if (withoutHeading_) record_.bulletinTime = record_.reportTime;
}

TextScanner::Outcome TextScanner::reportState(std::uint8_t ch) {
    using namespace presence;
    GroupWindow& w = window_;
    const int count = w.count();
    SynopRecord& r = record_;

    // The section markers "333" and "444": a group of three or four
    // characters. Section 3 may only be followed by section 4.
    const auto sectionMarker = [&](bool fromSectionThree) -> Outcome {
        if (!fromSectionThree && w.matches("???333")) {
            groupOrder_ = 0;
            state_ = 19;
            return Outcome::Matched;
        }
        if (w.matches("???444")) {
            groupOrder_ = 0;
            state_ = 20;
            return Outcome::Matched;
        }
        return Outcome::Unmatched;
    };
    // Group 6RRRtR, in section 1 or 3.
    const auto precipitation = [&] {
        const int rrr = w.number(2, 4);
        const int tr = w.number(5, 5);
        r.precipitation = word(rrr);
        r.tR = byte(tr);
        if (rrr >= 0 && tr >= 0) r.presence |= kPrecipitation;
    };

    // Section 1 groups (1snTTT … 9GGgg, 222, 333, 444), accepted from state
    // `from` on: a report that lacks group 1 or 2 still gives the rest.
    const auto sectionOne = [&](int from) -> Outcome {
        if (count >= 3 && count <= 4) return sectionMarker(false);
        if (w.matches("?222++")) {
            r.ds = byte(w.number(4, 4));
            r.vs = byte(w.number(5, 5));
            if (w.number(4, 4) > 0) r.presence |= kCourse;
            groupOrder_ = 0;
            state_ = 18;
            return Outcome::Matched;
        }
        if (!w.matches("?+++++")) return Outcome::Unmatched;
        const int index = w.figure(1) - '0';
        if (index < from || index > 9) return Outcome::Unmatched;
        if (index >= 3 && count < 5) return Outcome::Unmatched;
        switch (index) {
            case 1: {
                if (!accept(1)) return Outcome::Unmatched;
                const int ttt = w.number(3, 5);
                if (ttt >= 0) {
                    r.airTemperature = word(signedValue(w.figure(2), ttt));
                    r.presence |= kAirTemperature;
                }
                state_ = 16;
                return Outcome::Matched;
            }
            case 2: {
                const char sign = w.figure(2);
                if (sign != '0' && sign != '1' && sign != '9' && sign != '/')
                    return Outcome::Matched;  // not a dew point: ignored
                if (!accept(2)) return Outcome::Unmatched;
                const int value = w.number(3, 5);
                if (value >= 0 && sign == '9') {
                    r.humidity = word(value);
                    r.presence |= kHumidity;
                } else if (value >= 0) {
                    r.dewPoint = word(signedValue(sign, value));
                    r.presence |= kDewPoint;
                }
                state_ = 17;
                return Outcome::Matched;
            }
            case 3: {
                if (!accept(3)) return Outcome::Unmatched;
                const int p0 = w.number(2, 5);
                if (p0 >= 0) {
                    r.stationPressure = word(p0);
                    r.presence |= kStationPressure;
                }
                break;
            }
            case 4: {
                if (!accept(4)) return Outcome::Unmatched;
                const char level = w.figure(2);
                const int hhh = w.number(3, 5);
                const int pppp = w.number(2, 5);
                if (level == '1' || level == '5' || level == '7' || level == '8') {
                    if (hhh >= 0) {
                        r.standardSurface = level == '1'   ? 1000
                                            : level == '5' ? 500
                                            : level == '7' ? 700
                                                           : 850;
                        r.geopotential = word(hhh);
                        r.presence |= kGeopotential;
                    }
                } else if (pppp >= 0) {
                    r.seaLevelPressure = word(pppp);
                    r.presence |= kSeaLevelPressure;
                }
                break;
            }
            case 5: {
                if (!accept(5)) return Outcome::Unmatched;
                const int a = w.number(2, 2);
                const int ppp = w.number(3, 5);
                r.a = byte(a);
                r.tendency = word(ppp);
                if (a >= 0 && ppp >= 0) r.presence |= kTendency;
                break;
            }
            case 6:
                if (!accept(6)) return Outcome::Unmatched;
                precipitation();
                break;
            case 7: {
                if (!accept(7)) return Outcome::Unmatched;
                const int ww = w.number(2, 3);
                r.ww = byte(ww);
                if (ww >= 0) r.presence |= w.matches("?7++//") ? kWeatherOnly : kWeather;
                break;
            }
            case 8:
                if (!accept(8)) return Outcome::Unmatched;
                r.nh = w.figure(2);
                r.cl = w.figure(3);
                r.cm = w.figure(4);
                r.ch = w.figure(5);
                r.presence |= kClouds;
                break;
            case 9:
                if (!w.matches("?9++//") || !accept(9)) return Outcome::Unmatched;
                r.cloudKey = {w.figure(2), w.figure(3)};
                break;
            default: return Outcome::Unmatched;
        }
        state_ = 17;
        return Outcome::Matched;
    };

    switch (state_) {
        case 10:
            if (w.matches("?+++++")) {
                r.kind = kKindLand;
                returnState_ = 11;
                setReportTime(w.number(1, 2), w.number(3, 4));
                r.iw = byte(w.number(5, 5));
                groupOrder_ = 0;
                state_ = 11;
                return Outcome::Matched;
            }
            if (isLineEnd(ch)) state_ = 11;
            return Outcome::Unmatched;
        case 11: {
            if (!w.matches("?+++++")) return Outcome::Unmatched;
            const auto station = data_.findStation(w.number(1, 5));
            if (!station) {
                errorReport(2, ch);
                return Outcome::Consumed;
            }
            r.station = *station;
            r.presence |= kStation;
            state_ = 12;
            return Outcome::Matched;
        }
        case 12:
            if (w.matches("???NIL")) {
                r.presence |= kNil;
                reportEnd();
                return Outcome::Consumed;
            }
            if (!w.matches("?+++++")) return Outcome::Unmatched;
            r.iR = byte(w.number(1, 1));
            r.ix = byte(w.number(2, 2));
            r.cloudKey = {'H', w.figure(3)};
            r.vv = byte(w.number(4, 5));
            if (w.number(4, 5) >= 0) r.presence |= kVisibility;
            state_ = 13;
            return Outcome::Matched;
        case 13: {
            if (!w.matches("??++++")) return Outcome::Unmatched;
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
            state_ = ff == 99 ? 14 : 15;
            return Outcome::Matched;
        }
        case 14: {
            if (!w.matches("?+++++")) return Outcome::Unmatched;
            // The speed field is one byte: a speed it cannot hold is missing.
            const int fff = w.number(3, 5);
            if (fff >= 0 && fff <= 254) {
                r.windSpeed = byte(fff);
            } else {
                r.windSpeed = 0xFF;
                r.presence &= ~kWindSpeed;
            }
            state_ = 15;
            return Outcome::Matched;
        }
        case 15: return sectionOne(1);
        case 16: return sectionOne(2);
        case 17: return sectionOne(3);
        case 18: {
            if (count >= 3 && count <= 4) return sectionMarker(false);
            if (count < 5 || !w.matches("?+++++")) return Outcome::Unmatched;
            const int a = w.number(2, 3);
            const int b = w.number(4, 5);
            switch (w.figure(1)) {
                case '0': {
                    const char sign = w.figure(2);
                    const int value = w.number(3, 5);
                    if (value < 0) break;
                    if (sign == '9') {
                        r.humidity = word(value);
                        r.presence |= kHumidity;
                    } else {
                        const bool negative =
                            sign == '1' || sign == '3' || sign == '5' || sign == '7';
                        r.seaTemperature = word(negative ? -value : value);
                        r.presence |= kSeaTemperature;
                    }
                    break;
                }
                case '1':
                    r.wavePeriod = byte(a);
                    r.waveHeight = word(b < 0 ? -1 : b * 5);
                    if (a > 0 || b > 0) r.presence |= kWaves;
                    break;
                case '2':
                    r.windWavePeriod = byte(a);
                    r.windWaveHeight = byte(b);
                    if (a > 0 || b > 0) r.presence |= kWindWaves;
                    break;
                case '3':
                    r.swellDirection1 = byte(a);
                    r.swellDirection2 = byte(b);
                    if (a > 0 || b > 0) r.presence |= kSwellDirections;
                    break;
                case '4':
                    r.swellPeriod1 = byte(a);
                    r.swellHeight1 = byte(b);
                    if (a > 0 || b > 0) r.presence |= kFirstSwell;
                    break;
                case '5':
                    r.swellPeriod2 = byte(a);
                    r.swellHeight2 = byte(b);
                    if (a > 0 || b > 0) r.presence |= kSecondSwell;
                    break;
                case '6': {
                    const int is = w.number(2, 2);
                    const int es = w.number(3, 4);
                    const int rs = w.number(5, 5);
                    r.is = byte(is);
                    r.esEs = byte(es);
                    r.rs = byte(rs);
                    if (is > 0 || es > 0 || rs > 0) r.presence |= kIce;
                    break;
                }
                case '7':
                    if (w.matches("?70+++") && w.number(3, 5) > 0) {
                        r.waveHeight = word(w.number(3, 5));
                        r.presence |= kWaves;
                    }
                    break;
                default: return Outcome::Unmatched;
            }
            return Outcome::Matched;
        }
        case 19: {
            if (count >= 3 && count <= 4) return sectionMarker(true);
            if (count < 5 || !w.matches("?+++++")) return Outcome::Unmatched;
            const int index = w.figure(1) - '0';
            if (index < 0 || index > 9) return Outcome::Unmatched;
            // Cloud layer groups repeat, one per layer.
            if (index == 8 ? groupOrder_ > 8 : !accept(index)) return Outcome::Unmatched;
            switch (index) {
                case 1:
                case 2: {
                    const char sign = w.figure(2);
                    const int value = w.number(3, 5);
                    if (sign == '9' || value < 0) break;
                    if (index == 1) {
                        r.maxTemperature = word(signedValue(sign, value));
                        r.presence |= kMaxTemperature;
                    } else {
                        r.minTemperature = word(signedValue(sign, value));
                        r.presence |= kMinTemperature;
                    }
                    break;
                }
                case 3: {
                    const char sign = w.figure(3);
                    const int tg = w.number(4, 5);
                    if (sign == '9') break;
                    r.e = byte(w.number(2, 2));
                    r.tgTg = static_cast<std::int8_t>(tg < 0 ? -1 : (sign == '1' ? -tg : tg));
                    r.presence |= kGround;
                    break;
                }
                case 4: {
                    const int e = w.number(2, 2);
                    const int sss = w.number(3, 5);
                    r.ePrime = byte(e);
                    r.snowDepth = word(sss);
                    if (e >= 0 || sss >= 0) r.presence |= kSnow;
                    break;
                }
                case 6: precipitation(); break;
                case 8: {
                    // A layer whose genus is missing ("8N/hh") has no place.
                    const int genus = w.number(3, 3);
                    if (genus < 0 || genus > 9) break;
                    groupOrder_ = 8;
                    r.layerAmount[genus] = byte(w.number(2, 2));
                    r.layerHeight[genus] = byte(w.number(4, 5));
                    r.presence |= kCloudLayers;
                    break;
                }
                default: break;  // groups 0, 5, 7, 9: skipped
            }
            return Outcome::Matched;
        }
        case 20:
            if (count >= 5 && w.matches("?+++++")) {
                r.nPrime = byte(w.number(1, 1));
                r.cPrime = byte(w.number(2, 2));
                r.hPrime = byte(w.number(3, 4));
                r.ct = byte(w.number(5, 5));
                r.presence |= kSection4;
                return Outcome::Matched;
            }
            state_ = 200;
            return Outcome::Unmatched;
        case 30: {
            if (w.matches("??NNNN")) {
                returnState_ = 1;
                reportEnd();
                return Outcome::Consumed;
            }
            if (count < 3) return Outcome::Unmatched;
            // Five digits are a buoy number; anything else of at least three
            // letters or digits is a call sign.
            bool digits = count == 5;
            for (int i = 1; i <= 5 && digits; ++i) digits = w.at(i) >= '0' && w.at(i) <= '9';
            if (digits) {
                r.kind = kKindShip;
                returnState_ = 30;
                r.a1bw = byte(w.number(1, 2));
                r.buoyNumber = word(w.number(3, 5));
                r.presence |= kStation;
                state_ = 31;
                return Outcome::Matched;
            }
            // A call sign: the group's characters, letters and digits with at
            // least one letter ("///" or a garbled group is unreadable).
            std::string call;
            for (int i = GroupWindow::kSize - std::min(count, 6); i < GroupWindow::kSize; ++i)
                if (w.at(i) != 0) call.push_back(static_cast<char>(w.at(i)));
            const bool readable =
                std::all_of(call.begin(), call.end(),
                            [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }) &&
                std::any_of(call.begin(), call.end(),
                            [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
            if (w.matches("???###") && readable) {
                r.kind = kKindShip;
                returnState_ = 30;
                r.station = StationEntry{};
                r.station.name = call;
                r.presence |= kCallSign | kStation;
                state_ = 31;
                return Outcome::Matched;
            }
            errorReport(0, ch);
            return Outcome::Consumed;
        }
        case 31:
            if (!w.matches("?+++++")) return Outcome::Unmatched;
            setReportTime(w.number(1, 2), w.number(3, 4));
            r.iw = byte(w.number(5, 5));
            state_ = 32;
            return Outcome::Matched;
        case 32: {
            if (!w.matches("?99+++")) return Outcome::Unmatched;
            const int la = w.number(3, 5);
            if (la > 0 && la <= 900) r.station.latitude = word(la * 6);
            state_ = 33;
            return Outcome::Matched;
        }
        case 33: {
            if (!w.matches("?+++++")) return Outcome::Unmatched;
            const int qc = w.number(1, 1);
            const int lo = w.number(2, 5);
            if (lo > 0 && lo <= 1800) r.station.longitude = word(lo * 6);
            if (qc == 1 || qc == 7) r.station.latitude = word(-r.station.latitude);
            if (qc == 5 || qc == 7) r.station.longitude = word(-r.station.longitude);
            groupOrder_ = 0;
            state_ = 12;
            return Outcome::Matched;
        }
        default: return Outcome::Unmatched;
    }
}

void TextScanner::reportEnd() {
    using namespace presence;
    state_ = returnState_;
    window_.reset();
    const TimeKey now = clock_();
    SynopRecord& r = record_;
    const bool identified = (r.presence & kStation) != 0;
    const bool kindSet = (r.kind & (kKindLand | kKindShip)) != 0;
    const bool inPast = reportTimeValid_ && static_cast<TimeKey>(r.bulletinTime) < now &&
                        static_cast<TimeKey>(r.reportTime) < now;
    if (identified && kindSet && inPast) {
        dropImplausible(r);
        output_.appendText(
            describeReport(r, firstOfBulletin_ && !(r.presence & kNil), data_.texts, formats_));
        if (!(r.presence & kNil)) firstOfBulletin_ = false;
        if (storedBefore(r))
            ++duplicates_;
        else if (store_ != nullptr)
            store_->store(r);
        ++accepted_;
    } else if (identified) {
        ++refused_;
    }
    r.presence = 0;
    r.station = StationEntry{};
    r.cloudKey = {};
    r.n = 0;
    r.layerAmount.fill(0);
    groupOrder_ = 0;
}

}  // namespace zeb::weather
