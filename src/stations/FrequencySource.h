// The readable source of the frequency list shipped with the suite: one
// station per line, fields separated by ';', every station line ending in a
// comment "# <source>" that names where its facts come from. Lines that are
// empty or start with '#' are comments. Text is UTF-8 and becomes
// Windows-1252 in the records.
//
//   id;kHz;call;name;country;type;modulation;mode;speed;shift;centre;ioc;
//   start tone;stop tone;stop bits;code variant;polarity;remark # source
//
// country, type and modulation are the English names of their codes (see
// CodeNames.h), mode is LSB, USB, AM, FM or empty, polarity "normal" or
// "inverted"; empty numeric fields are 0.
#pragma once

#include "common/Result.h"
#include "stations/StationRecord.h"

#include <string_view>
#include <vector>

namespace zeb::stations {

// The highest frequency a station line may give (3 GHz).
inline constexpr double kMaxFrequencyKhz = 3'000'000.0;

// Parses a whole source. The first faulty line is an error naming the line;
// nothing is returned then, so a build never ships half a list.
Result<std::vector<StationRecord>> parseFrequencySource(std::string_view text,
                                                        std::string_view sourceName);

}  // namespace zeb::stations
