#include "stations/StationRecord.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

namespace zeb::stations {
namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t le32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
double f64At(Bytes b, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
    return std::bit_cast<double>(v);
}
float f32At(Bytes b, std::size_t at) { return std::bit_cast<float>(le32(b, at)); }

// Every field gets a distinct value, so a field written at the wrong place
// shows up as a wrong byte.
StationRecord populated() {
    StationRecord r;
    r.id = 0x1234;
    r.receiverMode = kModeUsb;
    r.frequencyKhz = 10100.8;
    setCallSign(r, "DDK9XXXX");  // fills the field: no terminator
    setName(r, "Pinneberg weather 12");
    setRemark(r, "remark");
    r.country = 0xA5;
    r.speed = -2;
    r.faxStartTone = 301;
    r.faxStopTone = 451;
    r.faxIoc = 577;
    r.type = 9;
    r.modulation = 17;
    r.polarity = 0x42;
    r.faxOption = 1;
    r.codeVariant = 2;
    r.dialFrequencyKhz = 10099.3;
    r.shiftHz = 450;
    r.centreHz = 1275;
    r.stopBits = 1.5f;
    r.faxParameter = 0.25f;
    return r;
}

TEST(StationRecord, FieldsLieAtTheirOffsets) {
    const auto b = encodeStationRecord(populated());
    EXPECT_EQ(le32(b, 0), 0x1234u);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le32(b, 8), 5u);
    EXPECT_EQ(f64At(b, 12), 10100.8);
    EXPECT_EQ(std::memcmp(b.data() + 20, "DDK9XXXX", 8), 0);
    EXPECT_EQ(std::memcmp(b.data() + 28, "Pinneberg weather 12", 20), 0);
    EXPECT_EQ(std::memcmp(b.data() + 48, "remark\0", 7), 0);
    EXPECT_EQ(b[124], 0xA5);
    EXPECT_EQ(le16(b, 126), 0xFFFE);
    EXPECT_EQ(le16(b, 128), 301);
    EXPECT_EQ(le16(b, 130), 451);
    EXPECT_EQ(le16(b, 132), 577);
    EXPECT_EQ(b[134], 9);
    EXPECT_EQ(b[135], 17);
    EXPECT_EQ(b[137], 0x42);
    EXPECT_EQ(b[141], 1);
    EXPECT_EQ(le16(b, 216), 2);
    EXPECT_EQ(f64At(b, 218), 10099.3);
    EXPECT_EQ(le16(b, 232), 450);
    EXPECT_EQ(le16(b, 234), 1275);
    EXPECT_EQ(f32At(b, 236), 1.5f);
    EXPECT_EQ(f32At(b, 240), 0.25f);
    for (std::size_t at : {125, 136, 138, 139, 140, 142, 215, 226, 231, 244, 255})
        EXPECT_EQ(b[at], 0) << at;

    const StationRecord back = decodeStationRecord(b);
    EXPECT_EQ(back, populated());
    EXPECT_EQ(callSignText(back), "DDK9XXXX");
    EXPECT_EQ(nameText(back), "Pinneberg weather 12");
}

TEST(StationRecord, AnyRecordRoundTripsByteForByte) {
    // Bytes the suite does not use, text after a terminator and odd values in
    // every field must all survive a load and save.
    StationRecordBytes raw{};
    std::uint32_t x = 0x9E3779B9u;
    for (auto& byte : raw) {
        x = x * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    raw[30] = 0;  // a terminator inside the name with bytes after it
    const StationRecord r = decodeStationRecord(raw);
    EXPECT_EQ(encodeStationRecord(r), raw);
}

TEST(StationRecord, TextsAreCutToTheirFields) {
    StationRecord r;
    setName(r, "A name that is much longer than twenty");
    setCallSign(r, "ABC");
    EXPECT_EQ(nameText(r), "A name that is much ");
    EXPECT_EQ(callSignText(r), "ABC");
    setCallSign(r, "");
    EXPECT_EQ(callSignText(r), "");
}

TEST(StationRecord, ModulationClasses) {
    const std::pair<int, ModulationClass> cases[] = {
        {0, ModulationClass::Cw},           {2, ModulationClass::Cw},
        {3, ModulationClass::Teleprinter},  {4, ModulationClass::Teleprinter},
        {5, ModulationClass::Fax},          {7, ModulationClass::Fax},
        {8, ModulationClass::Teleprinter},  {11, ModulationClass::AudioRecording},
        {16, ModulationClass::Teleprinter}, {200, ModulationClass::Teleprinter},
    };
    for (const auto& [code, cls] : cases)
        EXPECT_EQ(modulationClass(static_cast<std::uint8_t>(code)), cls) << code;
}

StationRecord station(double kHz, std::uint8_t modulation, std::uint16_t shift = 0) {
    StationRecord r;
    r.frequencyKhz = kHz;
    r.modulation = modulation;
    r.shiftHz = shift;
    return r;
}

TEST(DialFrequency, FollowsTheModulationClassAndTheReceiverOffset) {
    EXPECT_NEAR(dialFrequencyKhz(station(7880, 5), 0), 7878.1, 1e-9);
    EXPECT_NEAR(dialFrequencyKhz(station(10100.8, 3, 450), 0), 10099.3, 1e-9);
    EXPECT_NEAR(dialFrequencyKhz(station(10100.8, 3, 0), 0), 10099.3125, 1e-9);
    EXPECT_NEAR(dialFrequencyKhz(station(10100.8, 0, 0), 0), 10099.3125, 1e-9);  // CW as well
    EXPECT_NEAR(dialFrequencyKhz(station(6000, 11), 0), 6000.0, 1e-9);
    EXPECT_NEAR(dialFrequencyKhz(station(7880, 5), 500), 7878.6, 1e-9);
    EXPECT_NEAR(dialFrequencyKhz(station(518, 16, 170), -100), 518 - 1.275 - 0.085 - 0.1, 1e-9);
}

TEST(Handover, TeleprinterRecordLayout) {
    TeleprinterHandover h;
    h.frequencyKhz = 4583.0;
    h.mode = 5;
    h.codeVariant = 1;
    h.speed = 75;
    h.stopBits = 2.0f;
    h.inverted = 1;
    h.shiftHz = 850;
    h.centreHz = 1000;
    const auto b = encodeHandover(h);
    static_assert(std::tuple_size_v<decltype(b)> == 36);
    EXPECT_EQ(f64At(b, 0), 4583.0);
    EXPECT_EQ(le32(b, 8), 5u);
    EXPECT_EQ(le32(b, 12), 1u);
    EXPECT_EQ(le32(b, 16), 75u);
    EXPECT_EQ(f32At(b, 20), 2.0f);
    EXPECT_EQ(le32(b, 24), 1u);
    EXPECT_EQ(le32(b, 28), 850u);
    EXPECT_EQ(le32(b, 32), 1000u);
    auto back = decodeTeleprinterHandover(b);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, h);
    EXPECT_FALSE(decodeTeleprinterHandover(std::span(b).first(35)));
}

TEST(Handover, FaxRecordLayout) {
    FaxHandover h;
    h.frequencyKhz = 7878.1;
    h.mode = 5;
    h.centreHz = 1901;
    h.shiftHz = 801;
    h.ioc = 288;
    h.linesPerMinute = 60;
    h.faxParameter = 0.5f;
    h.startTone = 301;
    h.stopTone = 451;
    h.option = 1;
    const auto b = encodeHandover(h);
    static_assert(std::tuple_size_v<decltype(b)> == 48);
    EXPECT_EQ(f64At(b, 0), 7878.1);
    EXPECT_EQ(le32(b, 8), 5u);
    EXPECT_EQ(le16(b, 12), 1901);
    EXPECT_EQ(le16(b, 14), 801);
    EXPECT_EQ(le32(b, 16), 0u);
    EXPECT_EQ(le16(b, 20), 288);
    EXPECT_EQ(le16(b, 22), 60);
    EXPECT_EQ(f32At(b, 24), 0.5f);
    EXPECT_EQ(le16(b, 28), 301);
    EXPECT_EQ(le16(b, 30), 451);
    for (std::size_t at = 32; at < 40; ++at) EXPECT_EQ(b[at], 0) << at;
    EXPECT_EQ(b[40], 1);
    for (std::size_t at = 41; at < 48; ++at) EXPECT_EQ(b[at], 0) << at;
    auto back = decodeFaxHandover(b);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, h);
    EXPECT_FALSE(decodeFaxHandover(std::span(b).first(47)));
}

TEST(StationStart, FaxWithoutStoredValuesGetsTheDefaults) {
    StationRecord r = station(7880, 5);
    const FaxStart s = faxStart(r, 0);
    EXPECT_NEAR(s.dialFrequencyKhz, 7878.1, 1e-9);
    const auto b = encodeHandover(s.record);
    EXPECT_EQ(le32(b, 0), 0u);  // frequency and mode are the receiver control's
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le32(b, 8), 0u);
    EXPECT_EQ(le16(b, 12), 1900);
    EXPECT_EQ(le16(b, 14), 800);
    EXPECT_EQ(le16(b, 20), 576);
    EXPECT_EQ(le16(b, 22), 120);
    EXPECT_EQ(f32At(b, 24), 0.0f);
    EXPECT_EQ(le16(b, 28), 300);
    EXPECT_EQ(le16(b, 30), 450);
}

TEST(StationStart, TeleprinterWithoutStoredValuesGetsTheDefaults) {
    StationRecord r = station(10100.8, 3, 450);
    r.polarity = 0;
    const TeleprinterStart s = teleprinterStart(r, 0);
    EXPECT_NEAR(s.dialFrequencyKhz, 10099.3, 1e-9);
    EXPECT_EQ(s.record.codeVariant, 0);
    EXPECT_EQ(s.record.speed, 50);
    EXPECT_EQ(s.record.stopBits, 1.5f);
    EXPECT_EQ(s.record.inverted, 1);
    EXPECT_EQ(s.record.shiftHz, 450);  // stored, not the default
    EXPECT_EQ(s.record.centreHz, 1275);

    StationRecord sitor = station(518, 16, 170);
    sitor.speed = 100;
    EXPECT_EQ(teleprinterStart(sitor, 0).record.codeVariant, 2);
    EXPECT_EQ(teleprinterStart(sitor, 0).record.inverted, 0);
    sitor.codeVariant = kVariantSyncBaudot;  // a variant set in the editor is kept
    EXPECT_EQ(teleprinterStart(sitor, 0).record.codeVariant, 1);
}

TEST(StationStart, StoredValuesWin) {
    StationRecord t = station(10100.8, 3, 450);
    t.dialFrequencyKhz = 10099.0;
    t.centreHz = 1000;
    t.stopBits = 1.0f;
    t.speed = 75;
    t.codeVariant = 1;
    TeleprinterStart ts = teleprinterStart(t, 500);
    EXPECT_EQ(ts.dialFrequencyKhz, 10099.0);  // the receiver offset is not added
    EXPECT_EQ(ts.record.speed, 75);
    EXPECT_EQ(ts.record.stopBits, 1.0f);
    EXPECT_EQ(ts.record.centreHz, 1000);
    EXPECT_EQ(ts.record.codeVariant, 1);

    // One value missing: computed dial frequency, zeros take defaults.
    t.stopBits = 0.0f;
    ts = teleprinterStart(t, 0);
    EXPECT_NEAR(ts.dialFrequencyKhz, 10099.3, 1e-9);
    EXPECT_EQ(ts.record.stopBits, 1.5f);
    EXPECT_EQ(ts.record.centreHz, 1000);

    StationRecord f = station(7880, 6);
    f.dialFrequencyKhz = 7878.0;
    f.shiftHz = 850;
    f.centreHz = 1900;
    f.faxParameter = 0.75f;
    f.faxIoc = 288;
    f.speed = 60;
    f.faxStartTone = 675;
    f.faxStopTone = 452;
    f.faxOption = 1;
    const FaxStart fs = faxStart(f, 0);
    EXPECT_EQ(fs.dialFrequencyKhz, 7878.0);
    EXPECT_EQ(fs.record.shiftHz, 850);
    EXPECT_EQ(fs.record.ioc, 288);
    EXPECT_EQ(fs.record.linesPerMinute, 60);
    EXPECT_EQ(fs.record.faxParameter, 0.75f);
    EXPECT_EQ(fs.record.startTone, 675);
    EXPECT_EQ(fs.record.stopTone, 452);
    EXPECT_EQ(fs.record.option, 1);

    f.faxParameter = 0.0f;
    EXPECT_NEAR(faxStart(f, 0).dialFrequencyKhz, 7878.1, 1e-9);
}

TEST(StationStart, DamagedValuesFallBackToDefaults) {
    // Values a decoder cannot work with (division by zero, endless loops)
    // never reach it, even when the stored values otherwise win.
    StationRecord t = station(4583, 3, 450);
    t.dialFrequencyKhz = 4581.5;
    t.centreHz = 9000;
    t.stopBits = std::numeric_limits<float>::quiet_NaN();
    t.speed = 0;
    t.codeVariant = 7;
    const TeleprinterStart ts = teleprinterStart(t, 0);
    EXPECT_EQ(ts.record.speed, 50);
    EXPECT_EQ(ts.record.stopBits, 1.5f);
    EXPECT_EQ(ts.record.centreHz, 1275);
    EXPECT_EQ(ts.record.codeVariant, 0);

    StationRecord f = station(7880, 5);
    f.dialFrequencyKhz = 7878.1;
    f.shiftHz = 5;
    f.centreHz = 1900;
    f.faxParameter = 1.0f;
    f.faxIoc = 0;
    f.speed = -3;
    const FaxStart fs = faxStart(f, 0);
    EXPECT_EQ(fs.record.ioc, 576);
    EXPECT_EQ(fs.record.linesPerMinute, 120);
    EXPECT_EQ(fs.record.shiftHz, 800);
}

TEST(TakeFromReceiver, CopiesTheTeleprinterRecordBack) {
    StationRecord r = station(10100.8, 3);
    r.polarity = 1;
    TeleprinterHandover h;
    h.frequencyKhz = 10099.25;
    h.mode = kModeLsb;
    h.codeVariant = 1;
    h.speed = 75;
    h.stopBits = 1.0f;
    h.inverted = 1;
    h.shiftHz = 850;
    h.centreHz = 1500;
    ASSERT_TRUE(takeFromReceiver(r, h));
    EXPECT_EQ(r.dialFrequencyKhz, 10099.25);
    EXPECT_EQ(r.receiverMode, kModeLsb);
    EXPECT_EQ(r.codeVariant, 1);
    EXPECT_EQ(r.speed, 75);
    EXPECT_EQ(r.stopBits, 1.0f);
    EXPECT_EQ(r.polarity, 0);
    EXPECT_EQ(r.shiftHz, 850);
    EXPECT_EQ(r.centreHz, 1500);
    // Now every stored value is there: a start hands the same values over.
    const TeleprinterStart s = teleprinterStart(r, 0);
    EXPECT_EQ(s.dialFrequencyKhz, 10099.25);
    EXPECT_EQ(s.record.inverted, 1);
    EXPECT_EQ(s.record.speed, 75);

    h.inverted = 0;
    ASSERT_TRUE(takeFromReceiver(r, h));
    EXPECT_EQ(r.polarity, 1);
}

TEST(TakeFromReceiver, CopiesTheFaxRecordBack) {
    StationRecord r = station(7880, 5);
    FaxHandover h;
    h.frequencyKhz = 7878.2;
    h.mode = kModeUsb;
    h.centreHz = 1800;
    h.shiftHz = 850;
    h.ioc = 288;
    h.linesPerMinute = 90;
    h.faxParameter = 0.3f;
    h.startTone = 675;
    h.stopTone = 452;
    h.option = 1;
    ASSERT_TRUE(takeFromReceiver(r, h));
    EXPECT_EQ(r.dialFrequencyKhz, 7878.2);
    EXPECT_EQ(r.receiverMode, kModeUsb);
    EXPECT_EQ(r.centreHz, 1800);
    EXPECT_EQ(r.shiftHz, 850);
    EXPECT_EQ(r.faxIoc, 288);
    EXPECT_EQ(r.speed, 90);
    EXPECT_EQ(r.faxParameter, 0.3f);
    EXPECT_EQ(r.faxStartTone, 675);
    EXPECT_EQ(r.faxStopTone, 452);
    EXPECT_EQ(r.faxOption, 1);
}

TEST(TakeFromReceiver, AnUnusableFrequencyChangesNothing) {
    const StationRecord before = populated();
    StationRecord r = before;
    TeleprinterHandover t;
    t.frequencyKhz = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(takeFromReceiver(r, t));
    FaxHandover f;
    f.frequencyKhz = 0.0;
    EXPECT_FALSE(takeFromReceiver(r, f));
    EXPECT_EQ(r, before);
}

TEST(FrequencyText, SwitchesUnitsAtTheDisplayLimits) {
    EXPECT_EQ(frequencyText(7880), "7880.0 KHz");
    EXPECT_EQ(frequencyText(99999.9), "99999.9 KHz");
    EXPECT_EQ(frequencyText(100000), "100.000 MHz");
    EXPECT_EQ(frequencyText(9999999), "9999.999 MHz");
    EXPECT_EQ(frequencyText(10000000), "10.000000 GHz");
}

}  // namespace
}  // namespace zeb::stations
