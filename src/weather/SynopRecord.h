// The record of one decoded SYNOP report, as it lies in the station file:
// 487 bytes, little-endian, no padding, 16-bit fields signed, missing values
// -1 (0xFF in one-byte fields; the ground temperature: see
// kMissingGroundTemperature). The world-map viewer and the received-file
// store read the same bytes, so the layout is fixed and written field by
// field (never by memcpy of the struct).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zeb::weather {

inline constexpr std::size_t kSynopRecordSize = 487;
inline constexpr std::size_t kStationEntrySize = 70;  // the record's entry areas
inline constexpr std::size_t kStationEntryHeader = 19;
inline constexpr std::size_t kMaxStationName = kStationEntrySize - kStationEntryHeader;  // 51
inline constexpr std::size_t kRecordTextSize = 80;  // heading type, area and BBB texts

// One entry of the station table (and the 70-byte entry areas of a record).
// Positions are in minutes of arc, north negative and west negative.
struct StationEntry {
    std::int32_t number = 0;  // IIiii
    std::int16_t region = 0;  // its decimal form is a key of the report texts
    std::int16_t reserved = 0;
    std::int16_t elevation = 0;  // metres
    std::int16_t latitude = 0;
    std::int16_t longitude = 0;
    std::array<char, 4> indicator{};  // CCCC, not terminated
    std::string name;                 // at most kMaxStationName bytes (longer is cut)

    bool operator==(const StationEntry&) const = default;
};

// Encodes an entry into its variable-length form (19 + name length bytes;
// a name longer than kMaxStationName is cut).
void encodeStationEntry(const StationEntry& entry, std::span<std::uint8_t, kStationEntrySize> out);
// Decodes an entry area. A length byte larger than the area allows is cut to
// kMaxStationName.
StationEntry decodeStationEntry(std::span<const std::uint8_t, kStationEntrySize> in);

// Kind bits.
inline constexpr std::uint8_t kKindLand = 0x1;
inline constexpr std::uint8_t kKindShip = 0x2;

// Flag bits. The report was heard without its bulletin heading (tuned in
// mid-bulletin): no originating centre or heading texts, and the bulletin
// time is the report's own.
inline constexpr std::uint8_t kFlagNoHeading = 0x1;

// Presence bits: which fields hold decoded values.
namespace presence {
inline constexpr std::uint32_t kStation = 0x1;
inline constexpr std::uint32_t kNil = 0x2;
inline constexpr std::uint32_t kVisibility = 0x4;
inline constexpr std::uint32_t kWindDirection = 0x8;
inline constexpr std::uint32_t kWindSpeed = 0x10;
inline constexpr std::uint32_t kAirTemperature = 0x20;
inline constexpr std::uint32_t kDewPoint = 0x40;
inline constexpr std::uint32_t kHumidity = 0x80;
inline constexpr std::uint32_t kStationPressure = 0x100;
inline constexpr std::uint32_t kSeaLevelPressure = 0x200;
inline constexpr std::uint32_t kGeopotential = 0x400;
inline constexpr std::uint32_t kTendency = 0x800;
inline constexpr std::uint32_t kPrecipitation = 0x1000;
inline constexpr std::uint32_t kWeather = 0x2000;
inline constexpr std::uint32_t kWeatherOnly = 0x4000;
inline constexpr std::uint32_t kClouds = 0x8000;
inline constexpr std::uint32_t kCourse = 0x10000;
inline constexpr std::uint32_t kSeaTemperature = 0x20000;
inline constexpr std::uint32_t kWaves = 0x40000;
inline constexpr std::uint32_t kWindWaves = 0x80000;
inline constexpr std::uint32_t kSwellDirections = 0x100000;
inline constexpr std::uint32_t kFirstSwell = 0x200000;
inline constexpr std::uint32_t kSecondSwell = 0x400000;
inline constexpr std::uint32_t kIce = 0x800000;
inline constexpr std::uint32_t kMaxTemperature = 0x1000000;
inline constexpr std::uint32_t kMinTemperature = 0x2000000;
inline constexpr std::uint32_t kGround = 0x4000000;
inline constexpr std::uint32_t kSnow = 0x8000000;
inline constexpr std::uint32_t kCloudLayers = 0x10000000;
inline constexpr std::uint32_t kSection4 = 0x20000000;
inline constexpr std::uint32_t kCallSign = 0x40000000;
}  // namespace presence

// The ground temperature (tgTg) of a group 3EsnTgTg that gave none: no
// two-digit temperature, where -1 is -1 °C (files written before this
// value hold -1 for a missing one as well).
inline constexpr std::int8_t kMissingGroundTemperature = -128;

struct SynopRecord {
    std::uint32_t presence = 0;                  // 0
    std::uint8_t kind = 0;                       // 4
    std::uint8_t flags = 0;                      // 5   kFlag… bits (0 in older files)
    std::int16_t serial = 0;                     // 6
    std::uint32_t bulletinTime = 0;              // 8   UTC seconds (unsigned 32-bit)
    std::uint32_t reportTime = 0;                // 12
    std::int16_t windDirection = -1;             // 16  degrees
    std::int16_t airTemperature = -1;            // 18  0.1 °C
    std::int16_t dewPoint = -1;                  // 20
    std::int16_t seaTemperature = -1;            // 22
    std::int16_t minTemperature = -1;            // 24
    std::int16_t maxTemperature = -1;            // 26
    std::int16_t humidity = -1;                  // 28  %
    std::int16_t stationPressure = -1;           // 30  0.1 hPa, thousands omitted
    std::int16_t seaLevelPressure = -1;          // 32
    std::int16_t geopotential = -1;              // 34  hhh
    std::int16_t standardSurface = -1;           // 36  hPa
    std::int16_t tendency = -1;                  // 38  0.1 hPa
    std::int16_t precipitation = -1;             // 40  RRR
    std::int16_t waveHeight = -1;                // 42  0.1 m
    std::int16_t snowDepth = -1;                 // 44  sss
    std::int16_t buoyNumber = -1;                // 46
    StationEntry centre;                         // 48  originating centre
    StationEntry station;                        // 118 land station; ship: position and call sign
    std::string headingTypeText;                 // 188 at most 79 bytes
    std::string headingAreaText;                 // 268
    std::string bbbText;                         // 348
    std::uint8_t headingNumber = 0;              // 428 ii
    std::uint8_t windSpeed = 0;                  // 429 ff or fff, low 8 bits
    std::uint8_t t1 = 0;                         // 430
    std::uint8_t iw = 0;                         // 431
    std::uint8_t iR = 0;                         // 432
    std::uint8_t ix = 0;                         // 433
    std::array<char, 2> cloudKey{};              // 434
    std::uint8_t vv = 0;                         // 436
    char n = 0;                                  // 437
    std::uint8_t a = 0;                          // 438
    std::uint8_t tR = 0;                         // 439
    std::uint8_t ww = 0;                         // 440
    char cl = 0;                                 // 441
    char cm = 0;                                 // 442
    char ch = 0;                                 // 443
    char nh = 0;                                 // 444
    std::uint8_t ds = 0;                         // 445
    std::uint8_t vs = 0;                         // 446
    std::uint8_t wavePeriod = 0;                 // 447
    std::uint8_t windWavePeriod = 0;             // 448
    std::uint8_t windWaveHeight = 0;             // 449
    std::uint8_t swellDirection1 = 0;            // 450
    std::uint8_t swellDirection2 = 0;            // 451
    std::uint8_t swellPeriod1 = 0;               // 452
    std::uint8_t swellHeight1 = 0;               // 453
    std::uint8_t swellPeriod2 = 0;               // 454
    std::uint8_t swellHeight2 = 0;               // 455
    std::uint8_t is = 0;                         // 456
    std::uint8_t esEs = 0;                       // 457
    std::uint8_t rs = 0;                         // 458
    std::int8_t tgTg = 0;                        // 459 °C, or kMissingGroundTemperature
    std::uint8_t e = 0;                          // 460
    std::uint8_t ePrime = 0;                     // 461
    std::array<std::uint8_t, 10> layerAmount{};  // 462
    std::array<std::uint8_t, 10> layerHeight{};  // 472
    std::uint8_t nPrime = 0;                     // 482
    std::uint8_t cPrime = 0;                     // 483
    std::uint8_t hPrime = 0;                     // 484
    std::uint8_t ct = 0;                         // 485
    std::uint8_t a1bw = 0;                       // 486

    bool operator==(const SynopRecord&) const = default;
};

using SynopRecordBytes = std::array<std::uint8_t, kSynopRecordSize>;

// The record's 487 bytes. Texts longer than 79 bytes are cut and every text
// area is zero-filled after its text.
SynopRecordBytes encode(const SynopRecord& record);
// Reads a record back (texts end at the first zero or at 80 bytes).
SynopRecord decode(std::span<const std::uint8_t, kSynopRecordSize> bytes);

}  // namespace zeb::weather
