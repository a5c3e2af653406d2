#include "rig/ModeNames.h"

#include "rig/ReceiverProfile.h"

#include <array>

namespace zeb::rig {

namespace {

constexpr int kCwNarrowPassband = 500;
constexpr int kAmNarrowPassband = 6000;

struct Name {
    unsigned flag;
    std::string_view name;
};

constexpr std::array<Name, 9> kNames = {{
    {ModeFlag::Lsb, "LSB"},
    {ModeFlag::Usb, "USB"},
    {ModeFlag::CwNarrow, "CW"},
    {ModeFlag::Cw, "CW"},
    {ModeFlag::Rtty, "RTTY"},
    {ModeFlag::AmNarrow, "AM"},
    {ModeFlag::Am, "AM"},
    {ModeFlag::Fm, "FM"},
    {ModeFlag::Wfm, "WFM"},
}};

// Hamlib's variants that the receivers here only know as the plain mode.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kVariants = {{
    {"CWR", "CW"},
    {"RTTYR", "RTTY"},
    {"PKTUSB", "USB"},
    {"PKTLSB", "LSB"},
    {"SAM", "AM"},
    {"AMS", "AM"},
    {"FMN", "FM"},
    {"PKTFM", "FM"},
}};

unsigned pick(unsigned narrow, unsigned wide, bool wantNarrow, std::uint32_t features) {
    const unsigned first = wantNarrow ? narrow : wide;
    const unsigned second = wantNarrow ? wide : narrow;
    if (features & first) return first;
    if (features & second) return second;
    return 0;
}

}  // namespace

std::string_view hamlibModeName(unsigned modeFlag) {
    for (const auto& entry : kNames)
        if (entry.flag == modeFlag) return entry.name;
    return {};
}

int hamlibPassband(unsigned modeFlag) {
    if (modeFlag == ModeFlag::CwNarrow) return kCwNarrowPassband;
    if (modeFlag == ModeFlag::AmNarrow) return kAmNarrowPassband;
    return 0;
}

unsigned modeFlagFromHamlib(std::string_view name, int passbandHz, std::uint32_t features) {
    for (const auto& [variant, plain] : kVariants)
        if (name == variant) name = plain;
    if (name == "CW")
        return pick(ModeFlag::CwNarrow, ModeFlag::Cw,
                    passbandHz > 0 && passbandHz <= kCwNarrowPassband, features);
    if (name == "AM")
        return pick(ModeFlag::AmNarrow, ModeFlag::Am,
                    passbandHz > 0 && passbandHz <= kAmNarrowPassband, features);
    for (const auto& entry : kNames)
        if (entry.name == name) return (features & entry.flag) ? entry.flag : 0;
    return 0;
}

}  // namespace zeb::rig
