// English names of the country, type and modulation codes of station
// records. The programs with a window take them from their language bundle
// (strings 100 + country, 400 + type, 450 + modulation, which hold the same
// texts); this table serves the command-line tool and the build of the
// frequency list, which have no bundle.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zeb::stations {

inline constexpr int kCountryStringBase = 100;
inline constexpr int kTypeStringBase = 400;
inline constexpr int kModulationStringBase = 450;

// Empty for a code without a name.
std::string_view countryName(int code);
std::string_view typeName(int code);
std::string_view modulationLabel(int code);

// The code whose name matches (ASCII case ignored); nullopt when none does.
std::optional<std::uint8_t> countryCode(std::string_view name);
std::optional<std::uint8_t> typeCode(std::string_view name);
std::optional<std::uint8_t> modulationCode(std::string_view label);

}  // namespace zeb::stations
