// The station record of the frequency list DATA/RCFRQ.DAT: 256 bytes,
// little-endian, no header. The launcher and the main program read and write
// the same file, so the layout is fixed and written field by field. Bytes the
// programs do not use are carried along unchanged, so a record read and
// written again is byte-identical.
//
// Also here: the modulation classes, the dial frequency a station is tuned
// to, and the 36-byte teleprinter and 48-byte fax hand-over records that
// carry a station's decoding parameters to the receiver control.
#pragma once

#include "common/Result.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zeb::stations {

inline constexpr std::size_t kStationRecordSize = 256;
inline constexpr std::uint32_t kMaxStationId = 8191;
inline constexpr std::size_t kCallSignSize = 8;
inline constexpr std::size_t kNameSize = 20;
inline constexpr std::size_t kRemarkSize = 76;
inline constexpr int kTypeCodeCount = 16;        // type codes 0..15
inline constexpr int kModulationCodeCount = 24;  // modulation codes 0..23

// Receiver mode codes as they cross program boundaries.
inline constexpr std::uint32_t kModeNone = 0;
inline constexpr std::uint32_t kModeLsb = 4;
inline constexpr std::uint32_t kModeUsb = 5;
inline constexpr std::uint32_t kModeAm = 6;
inline constexpr std::uint32_t kModeFm = 7;

// Modulation codes with a fixed meaning.
inline constexpr std::uint8_t kModulationRtty = 3;
inline constexpr std::uint8_t kModulationAudioRecording = 11;
inline constexpr std::uint8_t kModulationSitorB = 16;

// Teleprinter code variants (byte 216).
inline constexpr std::uint16_t kVariantBaudot = 0;
inline constexpr std::uint16_t kVariantSyncBaudot = 1;
inline constexpr std::uint16_t kVariantSitorB = 2;

using StationRecordBytes = std::array<std::uint8_t, kStationRecordSize>;

struct StationRecord {
    std::uint32_t id = 0;                        // 1..8191, unique in a list
    std::uint32_t receiverMode = 0;              // kModeLsb..kModeFm, 0 none
    double frequencyKhz = 0.0;                   // station (assigned) frequency
    std::array<char, kCallSignSize> callSign{};  // not necessarily terminated
    std::array<char, kNameSize> name{};          // not necessarily terminated
    std::array<char, kRemarkSize> remark{};
    std::uint8_t country = 0;        // name: resource string 100 + code
    std::int16_t speed = 0;          // baud, or lines per minute for fax
    std::uint16_t faxStartTone = 0;  // Hz
    std::uint16_t faxStopTone = 0;   // Hz
    std::uint16_t faxIoc = 0;        // index of cooperation
    std::uint8_t type = 0;           // 0..15, name: resource string 400 + code
    std::uint8_t modulation = 0;     // 0..23, label: resource string 450 + code
    std::uint8_t polarity = 1;       // teleprinter: 0 inverted, non-zero normal
    std::uint8_t faxOption = 0;      // 0 or 1, handed over unchanged
    std::uint16_t codeVariant = 0;   // kVariantBaudot, kVariantSyncBaudot, kVariantSitorB
    double dialFrequencyKhz = 0.0;   // stored dial frequency, 0 = none
    std::uint16_t shiftHz = 0;
    std::uint16_t centreHz = 0;
    float stopBits = 0.0f;      // teleprinter
    float faxParameter = 0.0f;  // handed over unchanged

    // The bytes of the fields above that the suite does not use, as read.
    StationRecordBytes unused{};

    bool operator==(const StationRecord&) const = default;
};

// Text fields: the bytes up to the first NUL (or the whole field), and
// setting a text that is cut to the field and padded with NULs.
std::string callSignText(const StationRecord& r);
std::string nameText(const StationRecord& r);
std::string remarkText(const StationRecord& r);
void setCallSign(StationRecord& r, std::string_view text);
void setName(StationRecord& r, std::string_view text);
void setRemark(StationRecord& r, std::string_view text);

void encodeStationRecord(const StationRecord& record,
                         std::span<std::uint8_t, kStationRecordSize> out);
StationRecordBytes encodeStationRecord(const StationRecord& record);
StationRecord decodeStationRecord(std::span<const std::uint8_t, kStationRecordSize> in);

// Which decoder program a station belongs to, by its modulation code.
enum class ModulationClass { Cw, Fax, AudioRecording, Teleprinter };
ModulationClass modulationClass(std::uint8_t modulationCode);

// Dial frequency in kHz: fax f − 1.9; recording f; everything else
// f − 1.275 − shift / 2000 (shift 0 counts as 425 Hz), plus the receiver
// offset in Hz. Real division throughout. The stored dial frequency is not
// looked at here (see the hand-over builders).
double dialFrequencyKhz(const StationRecord& r, double receiverOffsetHz);

// The teleprinter hand-over record (36 bytes, every field 32-bit).
inline constexpr std::size_t kTeleprinterHandoverSize = 36;
struct TeleprinterHandover {
    double frequencyKhz = 0.0;  // bytes 0..7, filled by the receiver control
    std::uint32_t mode = 0;     // byte 8, filled by the receiver control
    std::int32_t codeVariant = 0;
    std::int32_t speed = 50;
    float stopBits = 1.5f;
    std::int32_t inverted = 0;
    std::int32_t shiftHz = 425;
    std::int32_t centreHz = 1275;

    bool operator==(const TeleprinterHandover&) const = default;
};

// The fax hand-over record (48 bytes).
inline constexpr std::size_t kFaxHandoverSize = 48;
struct FaxHandover {
    double frequencyKhz = 0.0;  // bytes 0..7
    std::uint32_t mode = 0;     // byte 8
    std::uint16_t centreHz = 1900;
    std::uint16_t shiftHz = 800;
    std::uint16_t ioc = 576;
    std::uint16_t linesPerMinute = 120;
    float faxParameter = 0.0f;
    std::uint16_t startTone = 300;
    std::uint16_t stopTone = 450;
    std::uint8_t option = 0;

    bool operator==(const FaxHandover&) const = default;
};

std::array<std::uint8_t, kTeleprinterHandoverSize> encodeHandover(const TeleprinterHandover& h);
std::array<std::uint8_t, kFaxHandoverSize> encodeHandover(const FaxHandover& h);
// Decoding needs at least the record's size; shorter answers are an error.
Result<TeleprinterHandover> decodeTeleprinterHandover(std::span<const std::uint8_t> bytes);
Result<FaxHandover> decodeFaxHandover(std::span<const std::uint8_t> bytes);

// What a station start sends: the dial frequency to tune and the hand-over
// record of its class. When the station has a stored dial frequency, a shift,
// a centre and a non-zero stop-bits (teleprinter) or fax parameter (fax)
// value, the stored values win: the stored dial frequency replaces the
// computed one and every field is taken as stored. Otherwise every field
// that is 0 takes its default. In both cases a value the decoders cannot
// work with (speed 0, an unknown index of cooperation, ...) is replaced by
// its default, so a damaged record cannot stall or crash a decoder.
struct TeleprinterStart {
    double dialFrequencyKhz = 0.0;
    TeleprinterHandover record;
};
struct FaxStart {
    double dialFrequencyKhz = 0.0;
    FaxHandover record;
};
TeleprinterStart teleprinterStart(const StationRecord& r, double receiverOffsetHz);
FaxStart faxStart(const StationRecord& r, double receiverOffsetHz);

// Take from receiver: copies the receiver control's answer back into the
// station: bytes 0..7 become the stored dial frequency, byte 8 the receiver
// mode, and the parameters their station fields. A frequency that is not a
// finite positive number is refused and leaves the station unchanged.
Result<void> takeFromReceiver(StationRecord& r, const TeleprinterHandover& h);
Result<void> takeFromReceiver(StationRecord& r, const FaxHandover& h);

// Frequency as the lists show it: "%.1f KHz" below 100000 kHz, "%.3f MHz"
// below 10000000 kHz, "%.6f GHz" above.
std::string frequencyText(double kHz);

}  // namespace zeb::stations
