#include "weather/SynopRecord.h"

#include <algorithm>
#include <cstring>

#include "common/LittleEndian.h"

namespace zeb::weather {
namespace {

using Writer = le::Writer;
using Reader = le::Reader;

// Text areas hold at most size - 1 bytes and a terminating zero; the rest of
// the area is zero so that no stale bytes reach the file.
void putText(std::span<std::uint8_t> area, const std::string& text) {
    std::fill(area.begin(), area.end(), std::uint8_t{0});
    const std::size_t n = std::min(text.size(), area.size() - 1);
    if (n > 0) std::memcpy(area.data(), text.data(), n);
}

std::string getText(std::span<const std::uint8_t> area) {
    const auto end = std::find(area.begin(), area.end(), std::uint8_t{0});
    return std::string(area.begin(), end);
}

}  // namespace

void encodeStationEntry(const StationEntry& entry, std::span<std::uint8_t, kStationEntrySize> out) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    Writer w(out);
    w.i32(0, entry.number);
    w.i16(4, entry.region);
    w.i16(6, entry.reserved);
    w.i16(8, entry.elevation);
    w.i16(10, entry.latitude);
    w.i16(12, entry.longitude);
    w.bytes(14, entry.indicator.data(), entry.indicator.size());
    const std::size_t n = std::min(entry.name.size(), kMaxStationName);
    w.u8(18, static_cast<std::uint8_t>(n));
    w.bytes(kStationEntryHeader, entry.name.data(), n);
}

StationEntry decodeStationEntry(std::span<const std::uint8_t, kStationEntrySize> in) {
    const Reader r(in);
    StationEntry entry;
    entry.number = r.i32(0);
    entry.region = r.i16(4);
    entry.reserved = r.i16(6);
    entry.elevation = r.i16(8);
    entry.latitude = r.i16(10);
    entry.longitude = r.i16(12);
    for (std::size_t i = 0; i < entry.indicator.size(); ++i) entry.indicator[i] = r.ch(14 + i);
    // The length byte comes from a file other programs write too: never let
    // it reach beyond the area.
    const std::size_t n = std::min<std::size_t>(r.u8(18), kMaxStationName);
    entry.name.assign(reinterpret_cast<const char*>(in.data() + kStationEntryHeader), n);
    return entry;
}

SynopRecordBytes encode(const SynopRecord& rec) {
    SynopRecordBytes out{};
    Writer w(out);
    w.u32(0, rec.presence);
    w.u8(4, rec.kind);
    w.u8(5, rec.flags);
    w.i16(6, rec.serial);
    w.u32(8, rec.bulletinTime);
    w.u32(12, rec.reportTime);
    w.i16(16, rec.windDirection);
    w.i16(18, rec.airTemperature);
    w.i16(20, rec.dewPoint);
    w.i16(22, rec.seaTemperature);
    w.i16(24, rec.minTemperature);
    w.i16(26, rec.maxTemperature);
    w.i16(28, rec.humidity);
    w.i16(30, rec.stationPressure);
    w.i16(32, rec.seaLevelPressure);
    w.i16(34, rec.geopotential);
    w.i16(36, rec.standardSurface);
    w.i16(38, rec.tendency);
    w.i16(40, rec.precipitation);
    w.i16(42, rec.waveHeight);
    w.i16(44, rec.snowDepth);
    w.i16(46, rec.buoyNumber);
    encodeStationEntry(rec.centre, std::span(out).subspan<48, kStationEntrySize>());
    encodeStationEntry(rec.station, std::span(out).subspan<118, kStationEntrySize>());
    putText(std::span(out).subspan(188, kRecordTextSize), rec.headingTypeText);
    putText(std::span(out).subspan(268, kRecordTextSize), rec.headingAreaText);
    putText(std::span(out).subspan(348, kRecordTextSize), rec.bbbText);
    w.u8(428, rec.headingNumber);
    w.u8(429, rec.windSpeed);
    w.u8(430, rec.t1);
    w.u8(431, rec.iw);
    w.u8(432, rec.iR);
    w.u8(433, rec.ix);
    w.ch(434, rec.cloudKey[0]);
    w.ch(435, rec.cloudKey[1]);
    w.u8(436, rec.vv);
    w.ch(437, rec.n);
    w.u8(438, rec.a);
    w.u8(439, rec.tR);
    w.u8(440, rec.ww);
    w.ch(441, rec.cl);
    w.ch(442, rec.cm);
    w.ch(443, rec.ch);
    w.ch(444, rec.nh);
    w.u8(445, rec.ds);
    w.u8(446, rec.vs);
    w.u8(447, rec.wavePeriod);
    w.u8(448, rec.windWavePeriod);
    w.u8(449, rec.windWaveHeight);
    w.u8(450, rec.swellDirection1);
    w.u8(451, rec.swellDirection2);
    w.u8(452, rec.swellPeriod1);
    w.u8(453, rec.swellHeight1);
    w.u8(454, rec.swellPeriod2);
    w.u8(455, rec.swellHeight2);
    w.u8(456, rec.is);
    w.u8(457, rec.esEs);
    w.u8(458, rec.rs);
    w.u8(459, static_cast<std::uint8_t>(rec.tgTg));
    w.u8(460, rec.e);
    w.u8(461, rec.ePrime);
    w.bytes(462, rec.layerAmount.data(), rec.layerAmount.size());
    w.bytes(472, rec.layerHeight.data(), rec.layerHeight.size());
    w.u8(482, rec.nPrime);
    w.u8(483, rec.cPrime);
    w.u8(484, rec.hPrime);
    w.u8(485, rec.ct);
    w.u8(486, rec.a1bw);
    return out;
}

SynopRecord decode(std::span<const std::uint8_t, kSynopRecordSize> in) {
    const Reader r(in);
    SynopRecord rec;
    rec.presence = r.u32(0);
    rec.kind = r.u8(4);
    rec.flags = r.u8(5);
    rec.serial = r.i16(6);
    rec.bulletinTime = r.u32(8);
    rec.reportTime = r.u32(12);
    rec.windDirection = r.i16(16);
    rec.airTemperature = r.i16(18);
    rec.dewPoint = r.i16(20);
    rec.seaTemperature = r.i16(22);
    rec.minTemperature = r.i16(24);
    rec.maxTemperature = r.i16(26);
    rec.humidity = r.i16(28);
    rec.stationPressure = r.i16(30);
    rec.seaLevelPressure = r.i16(32);
    rec.geopotential = r.i16(34);
    rec.standardSurface = r.i16(36);
    rec.tendency = r.i16(38);
    rec.precipitation = r.i16(40);
    rec.waveHeight = r.i16(42);
    rec.snowDepth = r.i16(44);
    rec.buoyNumber = r.i16(46);
    rec.centre = decodeStationEntry(in.subspan<48, kStationEntrySize>());
    rec.station = decodeStationEntry(in.subspan<118, kStationEntrySize>());
    rec.headingTypeText = getText(in.subspan(188, kRecordTextSize));
    rec.headingAreaText = getText(in.subspan(268, kRecordTextSize));
    rec.bbbText = getText(in.subspan(348, kRecordTextSize));
    rec.headingNumber = r.u8(428);
    rec.windSpeed = r.u8(429);
    rec.t1 = r.u8(430);
    rec.iw = r.u8(431);
    rec.iR = r.u8(432);
    rec.ix = r.u8(433);
    rec.cloudKey = {r.ch(434), r.ch(435)};
    rec.vv = r.u8(436);
    rec.n = r.ch(437);
    rec.a = r.u8(438);
    rec.tR = r.u8(439);
    rec.ww = r.u8(440);
    rec.cl = r.ch(441);
    rec.cm = r.ch(442);
    rec.ch = r.ch(443);
    rec.nh = r.ch(444);
    rec.ds = r.u8(445);
    rec.vs = r.u8(446);
    rec.wavePeriod = r.u8(447);
    rec.windWavePeriod = r.u8(448);
    rec.windWaveHeight = r.u8(449);
    rec.swellDirection1 = r.u8(450);
    rec.swellDirection2 = r.u8(451);
    rec.swellPeriod1 = r.u8(452);
    rec.swellHeight1 = r.u8(453);
    rec.swellPeriod2 = r.u8(454);
    rec.swellHeight2 = r.u8(455);
    rec.is = r.u8(456);
    rec.esEs = r.u8(457);
    rec.rs = r.u8(458);
    rec.tgTg = static_cast<std::int8_t>(r.u8(459));
    rec.e = r.u8(460);
    rec.ePrime = r.u8(461);
    for (std::size_t i = 0; i < 10; ++i) {
        rec.layerAmount[i] = r.u8(462 + i);
        rec.layerHeight[i] = r.u8(472 + i);
    }
    rec.nPrime = r.u8(482);
    rec.cPrime = r.u8(483);
    rec.hPrime = r.u8(484);
    rec.ct = r.u8(485);
    rec.a1bw = r.u8(486);
    return rec;
}

}  // namespace zeb::weather
