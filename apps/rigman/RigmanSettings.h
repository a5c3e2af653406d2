// The settings of the receiver-control program: section PARAM of RIGMAN.INI
// in the working directory.
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "rig/ReceiverProfile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zeb::rigman {

inline constexpr const char* kSettingsFile = "RIGMAN.INI";
inline constexpr const char* kSettingsSection = "PARAM";

// The model number of the entry that drives a radio through Hamlib.
inline constexpr int kHamlibModel = 40;

struct WindowRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

struct RigmanSettings {
    int receiver = 1;
    double frequencyKhz = 146.06;
    unsigned mode = rig::ModeFlag::Usb;
    int filter = 0;  // list entry, or the filter code for the IC-PCR models
    int step = 100;  // Hz
    int volume = 32;
    int squelch = 0;
    bool attenuator = false;
    bool nmea = false;
    int icomRadio = 50;
    int icomController = 224;
    std::optional<WindowRect> mainPos;
    std::string title;  // RECNAME; the model's name when empty

    // Hamlib entry: Hamlib's model number, its port (a device, or host:port
    // for the network model) and speed (0: the model's own).
    int hamlibModel = 2;
    std::string hamlibPort = "127.0.0.1:4532";
    int hamlibSpeed = 0;
    // Network ports on 127.0.0.1 for other programs; 0 = off.
    int rigctlPort = 0;
    int nmeaTcpPort = 0;
};

RigmanSettings readSettings(const ProfileFile& file);

// Writes what the program keeps at exit. The filter, volume, squelch and
// attenuator are written only when the model has them, the window position
// only when one was recorded; RECNAME is never written.
Result<void> writeSettings(ProfileFile& file, const RigmanSettings& settings,
                           std::uint32_t features);

}  // namespace zeb::rigman
