#include "common/TimeKey.h"

#include <ctime>

namespace zeb {

std::int64_t daysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil: years start on 1 March so that the
    // leap day is the last day of the year; eras are 400-year cycles.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;  // March = 0
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TimeKey timeKey(const NameTime& t) {
    return ((daysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

NameTime breakDown(TimeKey key) {
    std::int64_t days = key / 86400;
    std::int64_t rest = key % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // civil_from_days, the inverse of daysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    NameTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::optional<TimeKey> localTimeKey(const NameTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;  // let the zone rules decide
    const std::time_t key = std::mktime(&tm);
    if (key == static_cast<std::time_t>(-1) && !(t.year == 1969 || t.year == 1970))
        return std::nullopt;
    // mktime normalises a time inside a spring-forward gap; such a name was
    // never written by a clock, but it still gets the nearest key.
    return static_cast<TimeKey>(key);
}

NameTime breakDownLocal(TimeKey key) {
    const std::time_t tt = static_cast<std::time_t>(key);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return NameTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TimeKey now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<TimeKey>(ts.tv_sec);
}

bool isValid(const NameTime& t) {
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1970 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > kDays[t.month - 1]) return false;
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    if (t.month == 2 && t.day == 29 && !leap) return false;
    return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59;
}

std::optional<std::uint32_t> toStored32(TimeKey key) {
    if (key < 0 || key > static_cast<TimeKey>(UINT32_MAX)) return std::nullopt;
    return static_cast<std::uint32_t>(key);
}

}  // namespace zeb
