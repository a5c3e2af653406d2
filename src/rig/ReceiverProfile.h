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
}  // namespace ModeFlag

// FeatureMask: the mode bits the model offers plus these controls.
namespace Feature {
inline constexpr std::uint32_t Attenuator = 16384;
inline constexpr std::uint32_t Filter = 32768;
inline constexpr std::uint32_t Volume = 65536;
inline constexpr std::uint32_t Squelch = 131072;
}  // namespace Feature

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

struct ReceiverProfile {
    int model = 0;
    std::string_view name;
    LineSettings line;
    Handshake handshake = Handshake::None;
    WriteStyle writeStyle = WriteStyle::Whole;
    std::uint32_t features = 0;
    std::uint8_t steps = 0;
    std::vector<std::string_view> filterLabels;
    ReceiverOps ops;
    // The model's receive range; a frequency outside it is never sent.
    double lowKhz = 0.0;
    double highKhz = 0.0;  // 0: the model tunes nothing (no Remote)

    bool tunes(double khz) const { return khz >= lowKhz && khz <= highKhz; }
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
