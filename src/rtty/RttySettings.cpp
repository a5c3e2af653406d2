#include "rtty/RttySettings.h"

#include <charconv>
#include <string_view>

namespace zeb::rtty {

RttyParams loadRttyParams(ProfileFile& file, const char* section, SettingsOwner owner) {
    const RttyParams defaults;
    file.setSection(section);
    RttyParams p;
    p.mode = file.readInt("MODE", defaults.mode);
    p.baud = file.readInt("BAUD", defaults.baud);
    p.stop = static_cast<float>(file.readReal("BITS", defaults.stop));
    p.invert = file.readInt("INVERS", defaults.invert);
    p.shift = file.readInt("SHIFT", defaults.shift);
    p.center = file.readInt("CENTER", defaults.center);
    p.speed = static_cast<float>(file.readReal("SPEED", defaults.speed));
    if (owner == SettingsOwner::Rtty) {
        p.squelch = static_cast<float>(file.readReal("SQUELCH", defaults.squelch));
    }
    // Unknown numbers become enumerators that validated() replaces by the default.
    p.variant =
        static_cast<DemodVariant>(file.readInt("DEMOD", static_cast<int>(defaults.variant)));
    p.polarity =
        static_cast<Polarity>(file.readInt("POLARITY", static_cast<int>(defaults.polarity)));
    p.squelchDb = static_cast<float>(file.readReal("SQUELCHDB", defaults.squelchDb));
    // 0 or 1; anything else is the default (off).
    p.usos = file.readInt("USOS", 0) == 1;
    // The main program's frequency control: on unless switched off (0).
    if (owner == SettingsOwner::Main) p.afc = file.readInt("AFC", 1) != 0;
    return validated(p);
}

Result<void> saveRttyParams(ProfileFile& file, const char* section, SettingsOwner owner,
                            const RttyParams& params) {
    file.setSection(section);
    for (auto [key, value] :
         {std::pair{"MODE", params.mode}, std::pair{"BAUD", params.baud},
          std::pair{"INVERS", params.invert}, std::pair{"SHIFT", params.shift},
          std::pair{"CENTER", params.center}, std::pair{"DEMOD", static_cast<int>(params.variant)},
          std::pair{"POLARITY", static_cast<int>(params.polarity)},
          std::pair{"USOS", params.usos ? 1 : 0}}) {
        if (auto r = file.writeInt(key, value); !r) return r;
    }
    if (owner == SettingsOwner::Main)
        if (auto r = file.writeInt("AFC", params.afc ? 1 : 0); !r) return r;
    if (owner == SettingsOwner::Rtty) {
        // "%3.1f" in the "C" convention whatever the desktop's locale.
        char stop[16];
        const auto end = std::to_chars(stop, stop + sizeof stop, static_cast<double>(params.stop),
                                       std::chars_format::fixed, 1)
                             .ptr;
        if (auto r = file.writeText("BITS", std::string_view(stop, end)); !r) return r;
        if (auto r = file.writeReal("SQUELCH", params.squelch); !r) return r;
    } else {
        if (auto r = file.writeReal("BITS", params.stop); !r) return r;
    }
    if (auto r = file.writeReal("SQUELCHDB", params.squelchDb); !r) return r;
    return file.writeReal("SPEED", params.speed);
}

}  // namespace zeb::rtty
