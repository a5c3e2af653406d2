#include "RigmanSettings.h"

#include "common/LittleEndian.h"

#include <algorithm>

namespace zeb::rigman {

namespace {

constexpr std::size_t kRectBytes = 16;
constexpr std::size_t kTitleChars = 63;

std::optional<WindowRect> readRect(const ProfileFile& file) {
    std::array<std::uint8_t, kRectBytes> bytes{};
    if (file.readBytes("MAINPOS", bytes) != kRectBytes) return std::nullopt;
    auto at = [&](std::size_t i) { return static_cast<std::int32_t>(le::get32(&bytes[i * 4])); };
    WindowRect rect{at(0), at(1), at(2), at(3)};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return std::nullopt;
    return rect;
}

int readPort(const ProfileFile& file, const char* key) {
    const int port = file.readInt(key, 0);
    return port >= 0 && port <= 65535 ? port : 0;
}

}  // namespace

RigmanSettings readSettings(const ProfileFile& source) {
    ProfileFile file = source;
    file.setSection(kSettingsSection);
    RigmanSettings s;
    s.receiver = file.readInt("RECEIVER", s.receiver);
    s.frequencyKhz = file.readReal("FREQ", s.frequencyKhz);
    s.mode = static_cast<unsigned>(file.readInt("MODE", static_cast<int>(s.mode)));
    s.filter = file.readInt("ZFWIDTH", s.filter);
    s.step = file.readInt("STEP", s.step);
    s.volume = std::clamp(file.readInt("VOLUME", s.volume), 0, 255);
    s.squelch = std::clamp(file.readInt("SQUELCH", s.squelch), 0, 255);
    s.attenuator = file.readInt("ATT", 0) != 0;
    s.nmea = file.readInt("NMEA", 0) != 0;
    s.icomRadio = file.readInt("ICOM_RADIO", s.icomRadio);
    s.icomController = file.readInt("ICOM_CONTROLLER", s.icomController);
    s.mainPos = readRect(file);
    s.title = file.readText("RECNAME", "", kTitleChars);
    s.hamlibModel = file.readInt("HAMLIB_MODEL", s.hamlibModel);
    s.hamlibPort = file.readText("HAMLIB_PORT", s.hamlibPort);
    s.hamlibSpeed = std::max(0, file.readInt("HAMLIB_SPEED", s.hamlibSpeed));
    s.rigctlPort = readPort(file, "RIGCTLPORT");
    s.nmeaTcpPort = readPort(file, "NMEATCPPORT");
    return s;
}

Result<void> writeSettings(ProfileFile& file, const RigmanSettings& s, std::uint32_t features) {
    file.setSection(kSettingsSection);
    auto write = [&](const char* key, int value) { return file.writeInt(key, value); };
    if (auto r = write("RECEIVER", s.receiver); !r) return r;
    if (auto r = file.writeReal("FREQ", s.frequencyKhz); !r) return r;
    if (auto r = write("MODE", static_cast<int>(s.mode)); !r) return r;
    if (features & rig::Feature::Filter)
        if (auto r = write("ZFWIDTH", s.filter); !r) return r;
    if (auto r = write("STEP", s.step); !r) return r;
    if (features & rig::Feature::Volume)
        if (auto r = write("VOLUME", s.volume); !r) return r;
    if (features & rig::Feature::Squelch)
        if (auto r = write("SQUELCH", s.squelch); !r) return r;
    if (features & rig::Feature::Attenuator)
        if (auto r = write("ATT", s.attenuator ? 1 : 0); !r) return r;
    if (auto r = write("NMEA", s.nmea ? 1 : 0); !r) return r;
    if (auto r = write("ICOM_RADIO", s.icomRadio); !r) return r;
    if (auto r = write("ICOM_CONTROLLER", s.icomController); !r) return r;
    // The additions are written so that users find them in the file.
    if (auto r = write("RIGCTLPORT", s.rigctlPort); !r) return r;
    if (auto r = write("NMEATCPPORT", s.nmeaTcpPort); !r) return r;
    if (s.receiver == kHamlibModel) {
        if (auto r = write("HAMLIB_MODEL", s.hamlibModel); !r) return r;
        if (auto r = file.writeText("HAMLIB_PORT", s.hamlibPort); !r) return r;
        if (auto r = write("HAMLIB_SPEED", s.hamlibSpeed); !r) return r;
    }
    if (s.mainPos) {
        std::array<std::uint8_t, kRectBytes> bytes{};
        le::Writer w(bytes);
        w.i32(0, s.mainPos->left);
        w.i32(4, s.mainPos->top);
        w.i32(8, s.mainPos->right);
        w.i32(12, s.mainPos->bottom);
        if (auto r = file.writeBytes("MAINPOS", bytes); !r) return r;
    }
    return {};
}

}  // namespace zeb::rigman
