// Bulletins for the bulletin viewer's tests, written as a reception writes
// them: the text as an RTF document of teleprinter lines, stored in SYNOP/
// under the name of the minute it was received.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/ReceivedFile.h"
#include "common/TimeKey.h"
#include "support/TestEnv.h"
#include "weather/Rtf.h"

namespace zeb::zebwarnv::test {

using zeb::test::TempDir;

// The RTF file of a text (Windows-1252, "\n" line ends) in the decoders' font.
inline std::string rtfOf(const std::string& text) {
    weather::RtfDocument document;
    document.runs.push_back({weather::RtfFormat{}, text});
    return weather::writeRtf(document);
}

// A bulletin of `kind` (Warning or Information) received at `time` in
// `workDir`; its path.
inline std::filesystem::path receiveBulletin(const std::filesystem::path& workDir,
                                             ReceivedKind kind, const NameTime& time,
                                             const std::string& text) {
    auto written = writeReceivedFile(workDir / kSynopDir, kind, time, rtfOf(text), 1);
    EXPECT_TRUE(written.ok()) << (written ? "" : written.error().message);
    return written ? *written : std::filesystem::path();
}

inline NameTime at(int day, int hour, int minute) { return {2024, 3, day, hour, minute}; }

// A gale warning as a NAVTEX station sends it ("\xB0" is the degree sign).
inline const std::string kGaleWarning =
    "ZCZC GA41\n"
    "GALE WARNING GERMAN BIGHT\n"
    "WIND NW 8 TO 9, LATER VEERING N 7\n"
    "POSITION 54\xB0"
    "10'N 007\xB0"
    "50'E\n"
    "NNNN\n";

// A navigational information bulletin: its third line is its subject.
inline const std::string kNavInfo =
    "ZCZC OA12\n"
    "081200 UTC MAR 24\n"
    "NAV WARNING 123/24 LIGHT BUOY OFF STATION\n"
    "ELBE APPROACH 53-59N 008-13E\n"
    "NNNN\n";

}  // namespace zeb::zebwarnv::test
