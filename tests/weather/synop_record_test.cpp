#include "weather/SynopRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zeb::weather {
namespace {

std::uint16_t le16(const SynopRecordBytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t le32(const SynopRecordBytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::string textAt(const SynopRecordBytes& b, std::size_t at, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), size);
}

StationEntry sampleEntry(std::int32_t number, const std::string& name) {
    StationEntry e;
    e.number = number;
    e.region = 0x1234;
    e.reserved = -2;
    e.elevation = 0x0345;
    e.latitude = -3000;  // 50° N
    e.longitude = 0x0102;
    e.indicator = {'E', 'D', 'Z', 'W'};
    e.name = name;
    return e;
}

// Every field gets a value of its own, so a field written at the wrong place
// shows up as a wrong byte somewhere.
SynopRecord populatedRecord() {
    SynopRecord r;
    r.presence = 0x87654321;
    r.kind = kKindLand;
    r.flags = 0x5A;
    r.serial = -12345;
    r.bulletinTime = 0x80000010;  // after January 2038: unsigned in the file
    r.reportTime = 0xF0E0D0C0;
    std::int16_t v = 0x0101;
    for (std::int16_t* field :
         {&r.windDirection, &r.airTemperature, &r.dewPoint, &r.seaTemperature, &r.minTemperature,
          &r.maxTemperature, &r.humidity, &r.stationPressure, &r.seaLevelPressure, &r.geopotential,
          &r.standardSurface, &r.tendency, &r.precipitation, &r.waveHeight, &r.snowDepth,
          &r.buoyNumber}) {
        *field = v;
        v = static_cast<std::int16_t>(v + 0x0101);
    }
    r.airTemperature = -123;
    r.centre = sampleEntry(10384, "Offenbach");
    r.station = sampleEntry(-7,
                            "Hohenpei\xDF"
                            "enberg");
    r.headingTypeText = "Surface observations";
    r.headingAreaText = "Germany";
    r.bbbText = "Correction \xB0";
    std::uint8_t b = 0xA0;
    for (std::uint8_t* field : {&r.headingNumber,
                                &r.windSpeed,
                                &r.t1,
                                &r.iw,
                                &r.iR,
                                &r.ix,
                                &r.vv,
                                &r.a,
                                &r.tR,
                                &r.ww,
                                &r.ds,
                                &r.vs,
                                &r.wavePeriod,
                                &r.windWavePeriod,
                                &r.windWaveHeight,
                                &r.swellDirection1,
                                &r.swellDirection2,
                                &r.swellPeriod1,
                                &r.swellHeight1,
                                &r.swellPeriod2,
                                &r.swellHeight2,
                                &r.is,
                                &r.esEs,
                                &r.rs,
                                &r.e,
                                &r.ePrime,
                                &r.nPrime,
                                &r.cPrime,
                                &r.hPrime,
                                &r.ct,
                                &r.a1bw}) {
        *field = b++;
    }
    r.cloudKey = {'H', '7'};
    r.n = '8';
    r.cl = '5';
    r.cm = '/';
    r.ch = 'x';
    r.nh = '3';
    r.tgTg = -12;
    for (std::uint8_t i = 0; i < 10; ++i) {
        r.layerAmount[i] = static_cast<std::uint8_t>(0x30 + i);
        r.layerHeight[i] = static_cast<std::uint8_t>(0xE0 + i);
    }
    return r;
}

TEST(SynopRecord, EveryFieldLiesAtItsOffset) {
    const SynopRecord r = populatedRecord();
    const SynopRecordBytes b = encode(r);
    static_assert(std::tuple_size_v<SynopRecordBytes> == 487);

    EXPECT_EQ(le32(b, 0), 0x87654321u);
    EXPECT_EQ(b[4], kKindLand);
    EXPECT_EQ(b[5], 0x5A);
    EXPECT_EQ(le16(b, 6), static_cast<std::uint16_t>(-12345));
    EXPECT_EQ(le32(b, 8), 0x80000010u);
    EXPECT_EQ(le32(b, 12), 0xF0E0D0C0u);
    // The sixteen 16-bit fields from offset 16 to 46, in order.
    const std::int16_t* fields[] = {
        &r.windDirection,    &r.airTemperature, &r.dewPoint,        &r.seaTemperature,
        &r.minTemperature,   &r.maxTemperature, &r.humidity,        &r.stationPressure,
        &r.seaLevelPressure, &r.geopotential,   &r.standardSurface, &r.tendency,
        &r.precipitation,    &r.waveHeight,     &r.snowDepth,       &r.buoyNumber};
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(le16(b, 16 + 2 * i), static_cast<std::uint16_t>(*fields[i]))
            << "offset " << 16 + 2 * i;
    }
    EXPECT_EQ(le16(b, 18), static_cast<std::uint16_t>(-123));

    // Centre entry at 48 and station entry at 118.
    for (const std::size_t at : {std::size_t{48}, std::size_t{118}}) {
        EXPECT_EQ(le16(b, at + 4), 0x1234);
        EXPECT_EQ(le16(b, at + 6), 0xFFFE);
        EXPECT_EQ(le16(b, at + 8), 0x0345);
        EXPECT_EQ(le16(b, at + 10), static_cast<std::uint16_t>(-3000));
        EXPECT_EQ(le16(b, at + 12), 0x0102);
        EXPECT_EQ(textAt(b, at + 14, 4), "EDZW");
    }
    EXPECT_EQ(le32(b, 48), 10384u);
    EXPECT_EQ(b[48 + 18], 9);
    EXPECT_EQ(textAt(b, 48 + 19, 9), "Offenbach");
    EXPECT_EQ(b[48 + 19 + 9], 0);  // rest of the area zero
    EXPECT_EQ(le32(b, 118), 0xFFFFFFF9u);
    EXPECT_EQ(b[118 + 18], 15);
    EXPECT_EQ(textAt(b, 118 + 19, 15),
              "Hohenpei\xDF"
              "enberg");

    EXPECT_EQ(textAt(b, 188, 21), std::string("Surface observations") + '\0');
    EXPECT_EQ(textAt(b, 268, 8), std::string("Germany") + '\0');
    EXPECT_EQ(textAt(b, 348, 13), std::string("Correction \xB0") + '\0');
    for (std::size_t i = 188 + 20; i < 268; ++i) ASSERT_EQ(b[i], 0) << i;

    const std::pair<std::size_t, std::uint8_t> bytes[] = {{428, r.headingNumber},
                                                          {429, r.windSpeed},
                                                          {430, r.t1},
                                                          {431, r.iw},
                                                          {432, r.iR},
                                                          {433, r.ix},
                                                          {434, 'H'},
                                                          {435, '7'},
                                                          {436, r.vv},
                                                          {437, '8'},
                                                          {438, r.a},
                                                          {439, r.tR},
                                                          {440, r.ww},
                                                          {441, '5'},
                                                          {442, '/'},
                                                          {443, 'x'},
                                                          {444, '3'},
                                                          {445, r.ds},
                                                          {446, r.vs},
                                                          {447, r.wavePeriod},
                                                          {448, r.windWavePeriod},
                                                          {449, r.windWaveHeight},
                                                          {450, r.swellDirection1},
                                                          {451, r.swellDirection2},
                                                          {452, r.swellPeriod1},
                                                          {453, r.swellHeight1},
                                                          {454, r.swellPeriod2},
                                                          {455, r.swellHeight2},
                                                          {456, r.is},
                                                          {457, r.esEs},
                                                          {458, r.rs},
                                                          {459, 0xF4},
                                                          {460, r.e},
                                                          {461, r.ePrime},
                                                          {482, r.nPrime},
                                                          {483, r.cPrime},
                                                          {484, r.hPrime},
                                                          {485, r.ct},
                                                          {486, r.a1bw}};
    for (const auto& [at, value] : bytes) EXPECT_EQ(b[at], value) << "offset " << at;
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(b[462 + i], 0x30 + i);
        EXPECT_EQ(b[472 + i], 0xE0 + i);
    }

    EXPECT_EQ(decode(b), r);
}

TEST(SynopRecord, DefaultRecordHasMissingValuesAndRoundTrips) {
    const SynopRecord r;
    const SynopRecordBytes b = encode(r);
    for (std::size_t at = 16; at < 48; at += 2) EXPECT_EQ(le16(b, at), 0xFFFF) << at;
    EXPECT_EQ(decode(b), r);
}

TEST(SynopRecord, ShipPositionAndCallSignUseTheStationArea) {
    SynopRecord r;
    r.kind = kKindShip;
    r.station.latitude = -2715;  // 45°15' N
    r.station.longitude = -1830;
    r.station.name = "DBBH";
    const SynopRecordBytes b = encode(r);
    EXPECT_EQ(le16(b, 128), static_cast<std::uint16_t>(-2715));
    EXPECT_EQ(le16(b, 130), static_cast<std::uint16_t>(-1830));
    EXPECT_EQ(b[136], 4);
    EXPECT_EQ(textAt(b, 137, 4), "DBBH");
    EXPECT_EQ(b[141], 0);
}

TEST(SynopRecord, OverlongNamesAndTextsAreCut) {
    SynopRecord r;
    r.station.name = std::string(60, 'N') + "tail";
    r.headingTypeText = std::string(79, 'a') + "bcdef";
    const SynopRecordBytes b = encode(r);
    EXPECT_EQ(b[118 + 18], kMaxStationName);
    EXPECT_EQ(b[187], 'N');  // the last byte of the area holds the 51st character
    EXPECT_EQ(b[188], 'a');  // and nothing spilled into the next area
    EXPECT_EQ(b[188 + 78], 'a');
    EXPECT_EQ(b[188 + 79], 0);  // terminator kept
    EXPECT_EQ(b[268], 0);

    const SynopRecord back = decode(b);
    EXPECT_EQ(back.station.name, std::string(51, 'N'));
    EXPECT_EQ(back.headingTypeText, std::string(79, 'a'));
}

TEST(SynopRecord, CorruptLengthByteAndUnterminatedTextStayInTheirAreas) {
    SynopRecord r;
    r.centre.name = "Centre";
    r.station.name = "Station";
    SynopRecordBytes b = encode(r);
    b[48 + 18] = 200;  // as a damaged or foreign file may hold
    b[118 + 18] = 255;
    std::memset(b.data() + 268, 'Z', 80);  // no terminator in the area text
    const SynopRecord back = decode(b);
    EXPECT_EQ(back.centre.name.size(), kMaxStationName);
    EXPECT_EQ(back.centre.name.substr(0, 6), "Centre");
    EXPECT_EQ(back.station.name.size(), kMaxStationName);
    EXPECT_EQ(back.headingAreaText, std::string(80, 'Z'));
    EXPECT_TRUE(back.bbbText.empty());

    // Re-encoding a record read this way keeps within the layout.
    const SynopRecordBytes again = encode(back);
    EXPECT_EQ(again[118 + 18], kMaxStationName);
    EXPECT_EQ(again[268 + 79], 0);
}

TEST(SynopRecord, StationEntryCodecStandsAlone) {
    std::array<std::uint8_t, kStationEntrySize> area;
    area.fill(0xEE);  // stale bytes must be cleared
    const StationEntry e = sampleEntry(3772, "London");
    encodeStationEntry(e, area);
    EXPECT_EQ(area[18], 6);
    for (std::size_t i = 19 + 6; i < kStationEntrySize; ++i) EXPECT_EQ(area[i], 0) << i;
    EXPECT_EQ(decodeStationEntry(area), e);
}

}  // namespace
}  // namespace zeb::weather
