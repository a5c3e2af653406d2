#include "stations/StationRecord.h"

#include "common/Format.h"
#include "common/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zeb::stations {
namespace {

using LeReader = le::Reader;
using LeWriter = le::Writer;

// Byte ranges [first, end) of the record that hold fields the suite uses.
struct Range {
    std::size_t first;
    std::size_t end;
};
constexpr Range kUsedRanges[] = {
    {0, 4}, {8, 124}, {124, 125}, {126, 136}, {137, 138}, {141, 142}, {216, 226}, {232, 244},
};

template <std::size_t N>
std::string fieldText(const std::array<char, N>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end);
}

template <std::size_t N>
void setFieldText(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
}

template <std::size_t N>
void putChars(std::span<std::uint8_t> out, std::size_t at, const std::array<char, N>& field) {
    std::memcpy(out.data() + at, field.data(), N);
}

template <std::size_t N>
void getChars(std::span<const std::uint8_t> in, std::size_t at, std::array<char, N>& field) {
    std::memcpy(field.data(), in.data() + at, N);
}

// Teleprinter parameters the decoders can work with; anything else falls
// back to the default of the field.
std::int32_t validSpeed(std::int32_t baud) { return baud >= 30 && baud <= 300 ? baud : 50; }
std::int32_t validShift(std::int32_t hz) { return hz >= 50 && hz <= 1450 ? hz : 425; }
std::int32_t validCentre(std::int32_t hz) { return hz >= 500 && hz <= 1500 ? hz : 1275; }
float validStopBits(float stop) {
    if (!std::isfinite(stop) || stop < 0.75f || stop > 2.25f) return 1.5f;
    return std::round(stop * 2.0f) / 2.0f;  // 1, 1.5 or 2
}

// Fax parameters: the sets and knob ranges of the fax decoder.
std::uint16_t validIoc(std::uint16_t ioc) {
    return (ioc == 267 || ioc == 288 || ioc == 352 || ioc == 576) ? ioc : 576;
}
std::uint16_t validLpm(std::int32_t lpm) {
    for (std::int32_t v : {48, 60, 90, 120, 180, 240})
        if (lpm == v) return static_cast<std::uint16_t>(lpm);
    return 120;
}
std::uint16_t validFaxCentre(std::uint16_t hz) { return hz >= 1000 && hz <= 2100 ? hz : 1900; }
std::uint16_t validFaxShift(std::uint16_t hz) { return hz >= 150 && hz <= 1000 ? hz : 800; }
std::uint16_t validTone(std::uint16_t hz, std::uint16_t fallback) {
    return hz >= 100 && hz <= 3000 ? hz : fallback;
}

std::uint16_t defaultVariant(const StationRecord& r) {
    return r.modulation == kModulationSitorB ? kVariantSitorB : kVariantBaudot;
}

template <class T>
T orDefault(T value, T fallback) {
    return value != T{} ? value : fallback;
}

std::int16_t saturate16(std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, INT16_MIN, INT16_MAX));
}
std::uint16_t saturateU16(std::int32_t v) {
    return static_cast<std::uint16_t>(std::clamp<std::int32_t>(v, 0, UINT16_MAX));
}

bool usableFrequency(double kHz) { return std::isfinite(kHz) && kHz > 0.0; }

}  // namespace

std::string callSignText(const StationRecord& r) { return fieldText(r.callSign); }
std::string nameText(const StationRecord& r) { return fieldText(r.name); }
std::string remarkText(const StationRecord& r) { return fieldText(r.remark); }
void setCallSign(StationRecord& r, std::string_view text) { setFieldText(r.callSign, text); }
void setName(StationRecord& r, std::string_view text) { setFieldText(r.name, text); }
void setRemark(StationRecord& r, std::string_view text) { setFieldText(r.remark, text); }

void encodeStationRecord(const StationRecord& r, std::span<std::uint8_t, kStationRecordSize> out) {
    std::copy(r.unused.begin(), r.unused.end(), out.begin());
    for (const Range& range : kUsedRanges)
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(range.first),
                  out.begin() + static_cast<std::ptrdiff_t>(range.end), std::uint8_t{0});
    LeWriter w(out);
    w.u32(0, r.id);
    w.u32(8, r.receiverMode);
    w.f64(12, r.frequencyKhz);
    putChars(out, 20, r.callSign);
    putChars(out, 28, r.name);
    putChars(out, 48, r.remark);
    w.u8(124, r.country);
    w.i16(126, r.speed);
    w.u16(128, r.faxStartTone);
    w.u16(130, r.faxStopTone);
    w.u16(132, r.faxIoc);
    w.u8(134, r.type);
    w.u8(135, r.modulation);
    w.u8(137, r.polarity);
    w.u8(141, r.faxOption);
    w.u16(216, r.codeVariant);
    w.f64(218, r.dialFrequencyKhz);
    w.u16(232, r.shiftHz);
    w.u16(234, r.centreHz);
    w.f32(236, r.stopBits);
    w.f32(240, r.faxParameter);
}

StationRecordBytes encodeStationRecord(const StationRecord& record) {
    StationRecordBytes bytes{};
    encodeStationRecord(record, bytes);
    return bytes;
}

StationRecord decodeStationRecord(std::span<const std::uint8_t, kStationRecordSize> in) {
    StationRecord r;
    LeReader rd(in);
    r.id = rd.u32(0);
    r.receiverMode = rd.u32(8);
    r.frequencyKhz = rd.f64(12);
    getChars(in, 20, r.callSign);
    getChars(in, 28, r.name);
    getChars(in, 48, r.remark);
    r.country = rd.u8(124);
    r.speed = rd.i16(126);
    r.faxStartTone = rd.u16(128);
    r.faxStopTone = rd.u16(130);
    r.faxIoc = rd.u16(132);
    r.type = rd.u8(134);
    r.modulation = rd.u8(135);
    r.polarity = rd.u8(137);
    r.faxOption = rd.u8(141);
    r.codeVariant = rd.u16(216);
    r.dialFrequencyKhz = rd.f64(218);
    r.shiftHz = rd.u16(232);
    r.centreHz = rd.u16(234);
    r.stopBits = rd.f32(236);
    r.faxParameter = rd.f32(240);
    std::copy(in.begin(), in.end(), r.unused.begin());
    for (const Range& range : kUsedRanges)
        std::fill(r.unused.begin() + static_cast<std::ptrdiff_t>(range.first),
                  r.unused.begin() + static_cast<std::ptrdiff_t>(range.end), std::uint8_t{0});
    return r;
}

ModulationClass modulationClass(std::uint8_t code) {
    if (code <= 2) return ModulationClass::Cw;
    if (code >= 5 && code <= 7) return ModulationClass::Fax;
    if (code == kModulationAudioRecording) return ModulationClass::AudioRecording;
    return ModulationClass::Teleprinter;
}

double dialFrequencyKhz(const StationRecord& r, double receiverOffsetHz) {
    double d = r.frequencyKhz;
    switch (modulationClass(r.modulation)) {
        case ModulationClass::Fax: d -= 1.9; break;
        case ModulationClass::AudioRecording: break;
        default:
            d -= 1.275;
            d -= r.shiftHz != 0 ? static_cast<double>(r.shiftHz) / 2000.0 : 0.2125;
            break;
    }
    return d + receiverOffsetHz / 1000.0;
}

std::array<std::uint8_t, kTeleprinterHandoverSize> encodeHandover(const TeleprinterHandover& h) {
    std::array<std::uint8_t, kTeleprinterHandoverSize> out{};
    LeWriter w(out);
    w.f64(0, h.frequencyKhz);
    w.u32(8, h.mode);
    w.i32(12, h.codeVariant);
    w.i32(16, h.speed);
    w.f32(20, h.stopBits);
    w.i32(24, h.inverted);
    w.i32(28, h.shiftHz);
    w.i32(32, h.centreHz);
    return out;
}

std::array<std::uint8_t, kFaxHandoverSize> encodeHandover(const FaxHandover& h) {
    std::array<std::uint8_t, kFaxHandoverSize> out{};
    LeWriter w(out);
    w.f64(0, h.frequencyKhz);
    w.u32(8, h.mode);
    w.u16(12, h.centreHz);
    w.u16(14, h.shiftHz);
    w.u16(20, h.ioc);
    w.u16(22, h.linesPerMinute);
    w.f32(24, h.faxParameter);
    w.u16(28, h.startTone);
    w.u16(30, h.stopTone);
    w.u8(40, h.option);
    return out;
}

Result<TeleprinterHandover> decodeTeleprinterHandover(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kTeleprinterHandoverSize)
        return Error{EINVAL, "The receiver control sent " + std::to_string(bytes.size()) +
                                 " bytes instead of a 36-byte teleprinter record."};
    LeReader rd(bytes);
    TeleprinterHandover h;
    h.frequencyKhz = rd.f64(0);
    h.mode = rd.u32(8);
    h.codeVariant = rd.i32(12);
    h.speed = rd.i32(16);
    h.stopBits = rd.f32(20);
    h.inverted = rd.i32(24);
    h.shiftHz = rd.i32(28);
    h.centreHz = rd.i32(32);
    return h;
}

Result<FaxHandover> decodeFaxHandover(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kFaxHandoverSize)
        return Error{EINVAL, "The receiver control sent " + std::to_string(bytes.size()) +
                                 " bytes instead of a 48-byte fax record."};
    LeReader rd(bytes);
    FaxHandover h;
    h.frequencyKhz = rd.f64(0);
    h.mode = rd.u32(8);
    h.centreHz = rd.u16(12);
    h.shiftHz = rd.u16(14);
    h.ioc = rd.u16(20);
    h.linesPerMinute = rd.u16(22);
    h.faxParameter = rd.f32(24);
    h.startTone = rd.u16(28);
    h.stopTone = rd.u16(30);
    h.option = rd.u8(40);
    return h;
}

TeleprinterStart teleprinterStart(const StationRecord& r, double receiverOffsetHz) {
    TeleprinterStart s;
    s.dialFrequencyKhz = dialFrequencyKhz(r, receiverOffsetHz);
    TeleprinterHandover& h = s.record;
    h.inverted = r.polarity == 0 ? 1 : 0;
    const bool storedWin = r.dialFrequencyKhz != 0.0 && r.shiftHz != 0 && r.centreHz != 0 &&
                           r.stopBits != 0.0f && usableFrequency(r.dialFrequencyKhz);
    if (storedWin) {
        s.dialFrequencyKhz = r.dialFrequencyKhz;
        h.codeVariant = r.codeVariant;
        h.speed = r.speed;
        h.stopBits = r.stopBits;
        h.shiftHz = r.shiftHz;
        h.centreHz = r.centreHz;
    } else {
        h.codeVariant = orDefault(r.codeVariant, defaultVariant(r));
        h.speed = orDefault<std::int32_t>(r.speed, 50);
        h.stopBits = orDefault(r.stopBits, 1.5f);
        h.shiftHz = orDefault<std::int32_t>(r.shiftHz, 425);
        h.centreHz = orDefault<std::int32_t>(r.centreHz, 1275);
    }
    if (h.codeVariant < 0 || h.codeVariant > 2) h.codeVariant = defaultVariant(r);
    h.speed = validSpeed(h.speed);
    h.stopBits = validStopBits(h.stopBits);
    h.shiftHz = validShift(h.shiftHz);
    h.centreHz = validCentre(h.centreHz);
    return s;
}

FaxStart faxStart(const StationRecord& r, double receiverOffsetHz) {
    FaxStart s;
    s.dialFrequencyKhz = dialFrequencyKhz(r, receiverOffsetHz);
    FaxHandover& h = s.record;
    h.option = r.faxOption;
    const bool storedWin = r.dialFrequencyKhz != 0.0 && r.shiftHz != 0 && r.centreHz != 0 &&
                           r.faxParameter != 0.0f && usableFrequency(r.dialFrequencyKhz);
    if (storedWin) {
        s.dialFrequencyKhz = r.dialFrequencyKhz;
        h.centreHz = r.centreHz;
        h.shiftHz = r.shiftHz;
        h.ioc = r.faxIoc;
        h.linesPerMinute = saturateU16(r.speed);
        h.faxParameter = r.faxParameter;
        h.startTone = r.faxStartTone;
        h.stopTone = r.faxStopTone;
    } else {
        h.centreHz = orDefault<std::uint16_t>(r.centreHz, 1900);
        h.shiftHz = orDefault<std::uint16_t>(r.shiftHz, 800);
        h.ioc = orDefault<std::uint16_t>(r.faxIoc, 576);
        h.linesPerMinute = saturateU16(orDefault<std::int16_t>(r.speed, 120));
        h.faxParameter = r.faxParameter;
        h.startTone = orDefault<std::uint16_t>(r.faxStartTone, 300);
        h.stopTone = orDefault<std::uint16_t>(r.faxStopTone, 450);
    }
    h.centreHz = validFaxCentre(h.centreHz);
    h.shiftHz = validFaxShift(h.shiftHz);
    h.ioc = validIoc(h.ioc);
    h.linesPerMinute = validLpm(h.linesPerMinute);
    if (!std::isfinite(h.faxParameter)) h.faxParameter = 0.0f;
    h.startTone = validTone(h.startTone, 300);
    h.stopTone = validTone(h.stopTone, 450);
    return s;
}

Result<void> takeFromReceiver(StationRecord& r, const TeleprinterHandover& h) {
    if (!usableFrequency(h.frequencyKhz))
        return Error{EINVAL, "The receiver control reported no usable frequency."};
    r.dialFrequencyKhz = h.frequencyKhz;
    if (h.mode <= kModeFm) r.receiverMode = h.mode;
    if (h.codeVariant >= 0 && h.codeVariant <= 2)
        r.codeVariant = static_cast<std::uint16_t>(h.codeVariant);
    r.speed = saturate16(h.speed);
    r.stopBits = std::isfinite(h.stopBits) ? h.stopBits : 0.0f;
    r.polarity = h.inverted == 0 ? 1 : 0;
    r.shiftHz = saturateU16(h.shiftHz);
    r.centreHz = saturateU16(h.centreHz);
    return success();
}

Result<void> takeFromReceiver(StationRecord& r, const FaxHandover& h) {
    if (!usableFrequency(h.frequencyKhz))
        return Error{EINVAL, "The receiver control reported no usable frequency."};
    r.dialFrequencyKhz = h.frequencyKhz;
    if (h.mode <= kModeFm) r.receiverMode = h.mode;
    r.centreHz = h.centreHz;
    r.shiftHz = h.shiftHz;
    r.faxIoc = h.ioc;
    r.speed = saturate16(h.linesPerMinute);
    r.faxParameter = std::isfinite(h.faxParameter) ? h.faxParameter : 0.0f;
    r.faxStartTone = h.startTone;
    r.faxStopTone = h.stopTone;
    r.faxOption = h.option;
    return success();
}

std::string frequencyText(double kHz) {
    if (kHz < 100000.0) return formatPrintf("%.1f KHz", {kHz});
    if (kHz < 10000000.0) return formatPrintf("%.3f MHz", {kHz / 1000.0});
    return formatPrintf("%.6f GHz", {kHz / 1000000.0});
}

}  // namespace zeb::stations
