// RigDriver: what the receiver-control program drives, whatever sits behind
// it: one of the listed models through its serial command set, or any radio
// Hamlib supports. The window, the command service for the other programs and
// the network port all go through this interface, on the user-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zeb::rig {

// What a radio that answers reported last.
struct RigReport {
    double frequencyKhz = 0.0;
    unsigned mode = 0;            // a ModeFlag bit; 0 when the radio's mode has none
    std::optional<int> strength;  // signal strength 0..255 where the radio reports it
    bool operator==(const RigReport&) const = default;
};

class RigDriver {
public:
    virtual ~RigDriver() = default;

    virtual std::string displayName() const = 0;
    // ModeFlag bits plus Feature bits (attenuator, filter, volume, squelch).
    virtual std::uint32_t features() const = 0;
    // Step bits of the tuning steps that make sense.
    virtual std::uint8_t steps() const = 0;
    virtual std::span<const std::string_view> filterLabels() const = 0;

    // The frequency and mode the radio was last set to (or reported).
    virtual double frequencyKhz() const = 0;
    virtual unsigned mode() const = 0;

    // Each returns false when the radio has no such control or refused the
    // value; a refused frequency or mode leaves the current one unchanged.
    virtual bool power(bool on) = 0;
    virtual bool setFrequency(double khz) = 0;
    virtual bool setMode(unsigned mode) = 0;
    virtual bool setFilter(int labelValue) = 0;
    virtual bool setAttenuator(bool on) = 0;
    virtual bool setVolume(int level) = 0;   // 0..255
    virtual bool setSquelch(int level) = 0;  // 0..255

    // Radios that report back: a descriptor that is readable when a new
    // report waits (-1 for radios that never report), and the report, which
    // also becomes frequencyKhz() and mode().
    virtual int reportFd() const { return -1; }
    virtual std::optional<RigReport> takeReport() { return std::nullopt; }
};

}  // namespace zeb::rig
