// Time keys and the names of received files.
//
// A received file carries the UTC (recordings: local) date and time of its
// reception in its name, "FAX_2004-06-03_14-05.BMP"; the time key is that
// moment as seconds since 1970-01-01 00:00 UTC. Keys are computed in 64 bits;
// files that store a key keep 4 bytes, read and written as unsigned 32-bit,
// which is bit-identical to the signed form before 2038 and lasts until 2106.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeb {

using TimeKey = std::int64_t;

// The five fields of a received file's name (seconds are always 0 there).
struct NameTime {
    int year = 1970;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;   // 0..59
    int second = 0;   // 0..59, not part of names

    bool operator==(const NameTime&) const = default;
};

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(int year, int month, int day);

// Seconds since 1970 of a UTC date and time. Fields are not range-checked;
// use isValid() on data from outside.
TimeKey timeKey(const NameTime& t);

// The UTC breakdown of a key (the inverse of timeKey for valid fields).
NameTime breakDown(TimeKey key);

// Key of a date and time read as local time (recording names), through the
// time zone rules of the system; nullopt when the local time does not exist.
std::optional<TimeKey> localTimeKey(const NameTime& t);

// Local breakdown of a key.
NameTime breakDownLocal(TimeKey key);

// The current time as a key.
TimeKey now();

// Field ranges of a name: year 1970..9999, month 1..12, day within the month,
// hour 0..23, minute 0..59, second 0..59.
bool isValid(const NameTime& t);

// The 4-byte form stored in files. Keys outside 0..2^32-1 do not fit: nullopt.
std::optional<std::uint32_t> toStored32(TimeKey key);
inline TimeKey fromStored32(std::uint32_t stored) { return static_cast<TimeKey>(stored); }

}  // namespace zeb
