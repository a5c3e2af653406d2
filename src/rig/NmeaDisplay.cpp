#include "rig/NmeaDisplay.h"

#include "common/Format.h"

#include <cstdint>

namespace zeb::rig {
namespace {

constexpr std::int64_t kMaxLatitude = 9000000;    // 90°00.000' in thousandths
constexpr std::int64_t kMaxLongitude = 18000000;  // 180°00.000'
constexpr std::int64_t kMinCoordinate = 10;       // below 0.01 counts as no position
constexpr std::int64_t kMaxAltitude = 100000000;  // 100 km
constexpr std::int64_t kMaxSatellites = 99999;    // 99
constexpr std::int64_t kMaxSpeed = 99999999;      // 99999.999 knots
constexpr std::int64_t kMaxCourse = 360000;       // 360.000°

// The comma-separated fields of a sentence, the checksum and line end cut off.
class Fields {
public:
    explicit Fields(std::string_view sentence)
        : data_(sentence.substr(0, sentence.find_first_of("*\r\n"))) {}

    std::string_view operator[](int n) const {
        std::size_t start = 0;
        for (int i = 0; i < n; ++i) {
            const std::size_t comma = data_.find(',', start);
            if (comma == std::string_view::npos) return {};
            start = comma + 1;
        }
        return data_.substr(start, data_.find(',', start) - start);
    }

private:
    std::string_view data_;
};

// Reads digits with an optional decimal point ("4807.038", "22.4", ".5") as
// thousandths, dropping further decimals; nothing when the text is not such a
// number or exceeds `max` thousandths.
std::optional<std::int64_t> thousandths(std::string_view text, std::int64_t max) {
    std::int64_t value = 0;
    int decimals = -1;  // -1 before the point
    bool digits = false;
    for (char c : text) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        digits = true;
        if (decimals >= 3) continue;
        value = value * 10 + (c - '0');
        if (value > max) return std::nullopt;  // only grows from here
        if (decimals >= 0) ++decimals;
    }
    if (!digits) return std::nullopt;
    for (int d = decimals < 0 ? 0 : decimals; d < 3; ++d) value *= 10;
    if (value > max) return std::nullopt;
    return value;
}

// As thousandths(), with an optional leading minus sign.
std::optional<std::int64_t> signedThousandths(std::string_view text, std::int64_t max) {
    if (!text.starts_with('-')) return thousandths(text, max);
    const auto value = thousandths(text.substr(1), max);
    if (!value) return std::nullopt;
    return -*value;
}

// Two decimal digits at `pos`, or -1.
int twoDigits(std::string_view text, std::size_t pos) {
    if (pos + 2 > text.size()) return -1;
    const char a = text[pos];
    const char b = text[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

// "hhmmss" with optional decimals of the second.
void takeTime(std::optional<NmeaTime>& time, std::string_view text) {
    const int h = twoDigits(text, 0);
    const int m = twoDigits(text, 2);
    const int s = twoDigits(text, 4);
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 60) return;
    const std::string_view rest = text.substr(6);
    if (!rest.empty() && (rest[0] != '.' || !thousandths(rest, 999))) return;
    time = NmeaTime{h, m, s};
}

// "ddmmyy".
void takeDate(std::optional<NmeaDate>& date, std::string_view text) {
    const int d = twoDigits(text, 0);
    const int m = twoDigits(text, 2);
    const int y = twoDigits(text, 4);
    if (text.size() != 6 || d < 1 || d > 31 || m < 1 || m > 12 || y < 0) return;
    date = NmeaDate{d, m, y};
}

void takeCoordinate(std::optional<NmeaCoordinate>& coordinate, std::string_view value,
                    std::string_view hemisphere, std::int64_t max, const char* letters) {
    const auto v = thousandths(value, max);
    if (v && *v >= kMinCoordinate && *v % 100000 < 60000) {
        if (!coordinate) coordinate.emplace();
        coordinate->degrees = static_cast<int>(*v / 100000);
        coordinate->minutes = static_cast<int>(*v % 100000);
    }
    if (coordinate && hemisphere.size() == 1 &&
        (hemisphere[0] == letters[0] || hemisphere[0] == letters[1])) {
        coordinate->hemisphere = hemisphere[0];
    }
}

// The whole-number part of a signed decimal field within +-max thousandths.
void takeWhole(std::optional<int>& target, std::string_view text, std::int64_t max) {
    if (const auto v = signedThousandths(text, max)) target = static_cast<int>(*v / 1000);
}

void takeThousandths(std::optional<int>& target, std::string_view text, std::int64_t max) {
    if (const auto v = thousandths(text, max)) target = static_cast<int>(*v);
}

void takeGll(NmeaFix& fix, const Fields& f) {
    fix.valid = f[6] == "A";
    if (!*fix.valid) return;
    takeCoordinate(fix.latitude, f[1], f[2], kMaxLatitude, "NS");
    takeCoordinate(fix.longitude, f[3], f[4], kMaxLongitude, "EW");
    takeTime(fix.time, f[5]);
}

void takeGga(NmeaFix& fix, const Fields& f) {
    takeTime(fix.time, f[1]);
    takeCoordinate(fix.latitude, f[2], f[3], kMaxLatitude, "NS");
    takeCoordinate(fix.longitude, f[4], f[5], kMaxLongitude, "EW");
    if (const auto n = thousandths(f[7], kMaxSatellites)) fix.satellites = *n / 1000;
    takeWhole(fix.altitude, f[9], kMaxAltitude);
}

void takeRmc(NmeaFix& fix, const Fields& f) {
    takeThousandths(fix.speed, f[7], kMaxSpeed);
    takeThousandths(fix.course, f[8], kMaxCourse);
    takeDate(fix.date, f[9]);
}

}  // namespace

bool NmeaDisplay::update(std::string_view sentence) {
    const Fields fields(sentence);
    const std::string_view address = fields[0];
    if (address.size() != 6 || address[0] != '$') return false;
    const std::string_view type = address.substr(3);
    if (type == "GLL") {
        takeGll(fix_, fields);
    } else if (type == "GGA") {
        takeGga(fix_, fields);
    } else if (type == "RMC") {
        takeRmc(fix_, fields);
    } else {
        return false;
    }
    return true;
}

std::string formatTimeDate(const NmeaFix& fix) {
    if (!fix.time || !fix.date) return {};
    const NmeaTime& t = *fix.time;
    const NmeaDate& d = *fix.date;
    return formatPrintf("%02d:%02d:%02d, %02d.%02d.%d",
                        {t.hours, t.minutes, t.seconds, d.day, d.month, 2000 + d.year});
}

std::string formatAltitude(const NmeaFix& fix) {
    return fix.altitude ? std::to_string(*fix.altitude) : std::string();
}

std::string formatSatellites(const NmeaFix& fix) {
    return fix.satellites ? std::to_string(*fix.satellites) : std::string();
}

std::string formatPosition(std::string_view format, const NmeaFix& fix) {
    if (!fix.latitude || !fix.longitude) return {};
    const NmeaCoordinate& lat = *fix.latitude;
    const NmeaCoordinate& lon = *fix.longitude;
    return formatPrintf(format,
                        {lat.degrees, lat.minutes / 1000.0, std::string_view(&lat.hemisphere, 1),
                         lon.degrees, lon.minutes / 1000.0, std::string_view(&lon.hemisphere, 1)});
}

}  // namespace zeb::rig
