// Receiver profiles: the table of the supported receiver models and the
// operations that turn a request (tune to 7050.5 kHz, select USB, volume 120)
// into the bytes the model understands. Every operation is write-only.
#pragma once

#include "rig/LineSettings.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::rig {

// Receiver modes, one bit each (the window's mode buttons carry the same numbers).
namespace ModeFlag {
inline constexpr unsigned Lsb = 1;
inline constexpr unsigned Usb = 2;
inline constexpr unsigned CwNarrow = 4;
inline constexpr unsigned Cw = 8;
inline constexpr unsigned Rtty = 16;
inline constexpr unsigned Mode32 = 32;  // JRC code 6
inline constexpr unsigned AmNarrow = 64;
inline constexpr unsigned Am = 128;
inline constexpr unsigned Mode256 = 256;    // HF-150 key
inline constexpr unsigned Mode512 = 512;    // HF-150 key, HF-250 code 2
inline constexpr unsigned Mode1024 = 1024;  // HF-150 key, HF-250 code 7
inline constexpr unsigned Mode2048 = 2048;  // HF-150 key, HF-250 code 8
inline constexpr unsigned Fm = 4096;
inline constexpr unsigned Wfm = 8192;
inline constexpr unsigned All = 16383;  // every mode bit above
}  // namespace ModeFlag

// FeatureMask: the mode bits the model offers plus these controls.
namespace Feature {
inline constexpr std::uint32_t Attenuator = 16384;
inline constexpr std::uint32_t Filter = 32768;
inline constexpr std::uint32_t Volume = 65536;
inline constexpr std::uint32_t Squelch = 131072;
}  // namespace Feature

// StepMask: the tuning steps that make sense for the model, one bit each.
namespace Step {
inline constexpr std::uint8_t Hz1 = 1;
inline constexpr std::uint8_t Hz10 = 2;
inline constexpr std::uint8_t Hz50 = 4;
inline constexpr std::uint8_t Hz100 = 8;
inline constexpr std::uint8_t KHz1 = 16;
inline constexpr std::uint8_t KHz10 = 32;
inline constexpr std::uint8_t KHz100 = 64;
inline constexpr std::uint8_t MHz1 = 128;
}  // namespace Step

// The step list in the order the window shows it: each step's bit, size and label.
struct TuningStep {
    std::uint8_t flag;
    std::int32_t hz;
    std::string_view label;
};
inline constexpr TuningStep kTuningSteps[] = {
    {Step::Hz1, 1, "1 Hz"},
    {Step::Hz10, 10, "10 Hz"},
    {Step::Hz50, 50, "50 Hz"},
    {Step::Hz100, 100, "100 Hz"},
    {Step::KHz1, 1000, "1 KHz"},
    {Step::KHz10, 10000, "10 KHz"},
    {Step::KHz100, 100000, "100 KHz"},
    {Step::MHz1, 1000000, "1 MHz"},
};

// Where operations send their bytes. The serial link implements it for the
// real receiver; a dry run prints the bytes instead.
class CommandSink {
public:
    virtual ~CommandSink() = default;
    virtual bool send(std::span<const std::uint8_t> bytes) = 0;
    virtual void wait(std::chrono::milliseconds duration) = 0;
    // The IC-PCR models poll their status every 10 s while powered.
    virtual void startStatusPoll() {}
    virtual void stopStatusPoll() {}
    // Keypad pulse codes are timed by the line itself; run them at the
    // highest priority the system grants.
    virtual void setUrgent(bool /*urgent*/) {}
    // Around every operation: the link switches to the receiver's line
    // settings while the NMEA reader runs.
    virtual void beginOperation() {}
    virtual void endOperation() {}
};

// Program state the operations read and change.
struct RigState {
    double frequencyKhz = 0.0;  // last frequency the receiver accepted
    unsigned mode = ModeFlag::Usb;
    int pcrFilterCode = 0;
    int icomRadio = 0x32;
    int icomController = 0xE0;
};

struct ReceiverProfile;

struct OpContext {
    CommandSink& out;
    RigState& state;
    const ReceiverProfile& profile;
};

// An empty slot does nothing.
struct ReceiverOps {
    void (*power)(OpContext&, bool on) = nullptr;
    // False (and nothing sent) when the frequency is outside the model's range
    // or does not fit its command format.
    bool (*set_frequency)(OpContext&, double khz) = nullptr;
    // False (and nothing sent, mode unchanged) for a mode the model lacks.
    bool (*set_mode)(OpContext&, unsigned mode) = nullptr;
    void (*set_filter)(OpContext&, int labelValue) = nullptr;
    void (*set_attenuator)(OpContext&, bool on) = nullptr;
    void (*set_volume)(OpContext&, int level) = nullptr;   // 0..255
    void (*set_squelch)(OpContext&, int level) = nullptr;  // 0..255
};

// What sets apart the models that share a command family. Each family reads
// its own member and nothing else; the others keep their defaults.
struct KeypadVariant {
    bool fineTune = false;  // HF-150: the part below 1 kHz follows as an 8-bit fine-tune value
};

struct JrcVariant {
    char powerLetter = 'H';   // "H1\r" / "H0\r"; the NRD-545 switches with "T"
    bool tenHzUnits = false;  // NRD-525: the frequency field counts 10 Hz, not Hz
    int digits = 8;           // width of the frequency field (NRD-545: 10)
    int wfmCode = -1;         // the "D" digit of WFM; -1: no WFM (NRD-545: 9)
};

struct PcrVariant {
    // PCR100: no SSB or CW demodulator and no 3 kHz filter. A stored SSB or
    // CW mode is sent as AM, selecting one is refused, and a 3 kHz request
    // takes the 6 kHz filter.
    bool amOnly = false;
};

struct CivVariant {
    int frequencyBytes = 4;           // BCD bytes after command 05: 4 or 5
    std::uint8_t modeCommand = 0x01;  // IC-746: 06
    int wfmCode = -1;                 // the mode byte of WFM; -1: no WFM (IC-R72: 06)
    int fixedRadio = -1;              // the radio address whatever is configured (IC-746: 86)
};

// The five layouts of the Yaesu 5-byte blocks (power, frequency, mode).
enum class YaesuVariant : std::uint8_t { A, B, C, D, E };

struct FamilyVariant {
    KeypadVariant keypad{};
    JrcVariant jrc{};
    PcrVariant pcr{};
    CivVariant civ{};
    YaesuVariant yaesu = YaesuVariant::A;
};

struct ReceiverProfile {
    int model = 0;
    std::string_view name{};  // at most 23 characters
    LineSettings line{};
    Handshake handshake = Handshake::None;
    WriteStyle writeStyle = WriteStyle::Whole;
    std::uint32_t features = 0;  // ModeFlag and Feature bits
    std::uint8_t steps = 0;      // Step bits
    std::span<const std::string_view> filterLabels{};
    ReceiverOps ops{};
    FamilyVariant variant{};
    // The model's receive range; a frequency outside it is never sent.
    double lowKhz = 0.0;
    double highKhz = 0.0;  // 0: the model tunes nothing (no Remote)
    // A band inside the range that the model does not receive, both ends
    // excluded (the IC-746 stops above 60 MHz and starts again at 108 MHz).
    double gapAboveKhz = 0.0;
    double gapBelowKhz = 0.0;

    bool tunes(double khz) const {
        return khz >= lowKhz && khz <= highKhz && !(khz > gapAboveKhz && khz < gapBelowKhz);
    }
};

// The profile of a model number; any number without one gives "no Remote".
const ReceiverProfile& receiverProfile(int model);
// Every model with a profile, in table order (without "no Remote").
std::span<const ReceiverProfile> receiverProfiles();

// The integer value of a filter label: the decimal digits up to the first
// non-digit ("0.5 KHz" gives 0, "230 KHz" gives 230).
int filterLabelValue(std::string_view label);

// The one-write pulse train of an n-bit keypad code (Lowe HF-150/225).
std::vector<std::uint8_t> keypadPulseCode(unsigned code, int bits);

// The SEA sentence checksum: FF, exclusive-or of every character after "$"
// up to and including "*".
std::uint8_t seaChecksum(std::string_view sentence);

}  // namespace zeb::rig
