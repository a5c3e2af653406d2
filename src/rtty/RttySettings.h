// RTTY parameters in a settings file: section "RTTYPARAM" of the main
// program's file, section "PARAM" of the RTTY program's.
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "rtty/RttyParams.h"

namespace zeb::rtty {

inline constexpr const char* kMainSection = "RTTYPARAM";
inline constexpr const char* kRttySection = "PARAM";

// Which program's keys: the RTTY program also keeps "SQUELCH" and writes the
// stop length as "%3.1f" text; the main program writes it as a number.
enum class SettingsOwner { Main, Rtty };

// Reads the keys of `section`; absent keys give the file defaults (mode 0,
// 75 Bd, stop 1.5, normal, shift 425, center 1275, speed 1.0, squelch 0,
// matched design, automatic polarity, 6 dB signal-to-noise squelch, no
// unshift on space). Both programs keep "DEMOD", "POLARITY", "SQUELCHDB"
// and "USOS"; "INVERS" remains the polarity of the filter designs.
// The result is validated: a value out of range falls back to its default.
RttyParams loadRttyParams(ProfileFile& file, const char* section, SettingsOwner owner);

// Writes the keys of `section`.
Result<void> saveRttyParams(ProfileFile& file, const char* section, SettingsOwner owner,
                            const RttyParams& params);

}  // namespace zeb::rtty
