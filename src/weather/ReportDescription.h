// The plain-language description of a decoded SYNOP report, as both
// programs write it into the received-text window and the store's browser
// shows it for records read back from the station file. Reentrant: the
// caller passes the record, its own bulletin context and the texts, and gets
// the lines back; nothing is shared between callers.
#pragma once

#include <string>

#include "common/StringTable.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

// The ten format texts of the description, taken from the program's
// language bundle (Windows-1252 bytes; the arguments are listed with each).
struct ReportFormats {
    std::string nilFrom;          // NIL report: followed by " <station>, <country>"
    std::string nilEnd;           // NIL report: last line
    std::string bulletin;         // serial, day, month, year, hour, minute
    std::string from;             // before the originating centre; ship-section area word
    std::string area;             // two texts: the section word and the geographical text
    std::string landArea;         // land-section area word
    std::string standardSurface;  // level (hPa), height (gpm)
    std::string temperature;      // one floating-point temperature (°C)
    std::string humidity;         // one integer percentage
    std::string wind;             // m/s, knots (floating point), direction (degrees)
    std::string noHeading;        // in place of the bulletin line of a report without heading

    // English texts, used where a bundle has none.
    static ReportFormats english();
    // The ten texts from `table`, numbers first..first+9 (56 in the RTTY
    // program, 40 in the main program), converted from the bundle's UTF-8;
    // a missing text falls back to its English one.
    static ReportFormats fromTable(const StringTable& table, int first);
};

// Longest description; a line that would not fit is dropped.
inline constexpr std::size_t kMaxDescription = 4096;

// The description: lines ending with "\n", Windows-1252 bytes.
// `firstOfBulletin` adds the bulletin lines before the station line.
std::string describeReport(const SynopRecord& record, bool firstOfBulletin, const TextTable& texts,
                           const ReportFormats& formats);

// A record read back from the station file may hold any bytes: every key is
// built safely and every value range-checked, so this is safe on any input.

}  // namespace zeb::weather
