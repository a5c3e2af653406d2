// The settings of the RTTY program: ZEBRTTY.INI (decoder parameters, fonts,
// colours, window positions) and what it reads of ZEBSYS.INI.
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "rtty/RttyParams.h"
#include "ui/TextWindow.h"

#include <array>
#include <optional>
#include <string>

namespace zeb::zebrtty {

inline constexpr const char* kSettingsFile = "ZEBRTTY.INI";

// A window rectangle: left, top, right, bottom; all zero means none stored.
struct WindowPos {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const WindowPos&) const = default;
};

enum class Window { Main, Spectrum, Settings, BitRaster, CrossScope, Map };
inline constexpr std::array<const char*, 6> kWindowKeys = {"MAINPOS", "ZEBAPOS",  "SETUPPOS",
                                                           "BAUDPOS", "CROSSPOS", "MAPPOS"};

struct ZebRttySettings {
    rtty::RttyParams params;  // MODE, BAUD, SHIFT, CENTER, INVERS, BITS, SQUELCH, SPEED
    std::array<int, 3> background{192, 192, 192};
    std::optional<ui::FontRecordBytes> font;        // FONT
    std::optional<ui::FontRecordBytes> reportFont;  // SYNFONT
    std::array<WindowPos, 6> windows{};
    // ZEBSYS.INI [SYSTEM]
    std::string synopDir = "SYNOP";
    bool warnSound = true;
};

// The text format without a stored FONT: 10 points (200 twips), black, fixed
// pitch; the report format without SYNFONT: the same in green (0,128,0).
ui::FontRecordBytes defaultFontRecord();
ui::FontRecordBytes defaultReportRecord(const ui::FontRecordBytes& text);
// The colour a record carries (RGB).
std::array<int, 3> recordColour(const ui::FontRecordBytes& record);

ZebRttySettings readSettings(const ProfileFile& settings, const ProfileFile& system);
// Writes everything kept at exit; window positions only when not empty.
Result<void> writeSettings(ProfileFile& settings, const ZebRttySettings& s);
// The font or colour keys alone (they are stored at once when changed).
Result<void> writeAppearance(ProfileFile& settings, const ZebRttySettings& s);

}  // namespace zeb::zebrtty
