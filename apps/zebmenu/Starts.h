// What the launcher starts and closes: the programs of its panel, the
// station starts of the frequency list and the schedule, and the end of the
// suite. GUI-free; the program, the receiver control and the clock reach it
// through `StartPlatform`, so the tests watch every close, poke and start.
//
// A station start closes the decoders of the other classes (each by its
// window class, up to 2 s), hands the station's parameters to the receiver
// control (record A by poke 100 for teleprinter stations, record B by poke
// 101 for fax stations), tunes (poke 3 with the dial frequency as "%f"),
// sets the receiver mode (poke 4 to 7) and starts the station's program.
// Under a running schedule the fax program starts with "TIMER" (a new
// picture per stop tone) and the CW program with "SAVE" (its text is saved
// when it closes).
#pragma once

#include "common/Result.h"
#include "stations/StationRecord.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::zebmenu {

// The buttons of the program panel.
namespace button {
inline constexpr int kReceiverControl = 1000;
inline constexpr int kRtty = 1001;
inline constexpr int kFax = 1002;
inline constexpr int kWorldMap = 1003;
inline constexpr int kBulletins = 1004;
inline constexpr int kFaxViewer = 1005;
inline constexpr int kTimeSignal = 1011;
inline constexpr int kCw = 1014;
inline constexpr int kRecorder = 1016;
inline constexpr int kPlayer = 1017;
inline constexpr int kSettings = 1019;
inline constexpr int kUserPrograms = 1023;
}  // namespace button

// The decoder programs' window classes, closed before another decoder
// starts, when a scheduled window ends, and when the launcher ends.
inline constexpr std::array<std::string_view, 5> kDecoderClasses = {"ZEB-FAX", "ZEB-RTTY", "ZEB-CW",
                                                                    "ZEBTIME", "ZEB-Audiorecorder"};

struct PanelProgram {
    int button = 0;
    std::string_view program;  // command line, e.g. "ZEBRTTY.EXE"
    // Closed first (the other decoders; empty for viewers).
    std::vector<std::string_view> closes;
    bool waits = false;  // the panel waits for the program to come up
    bool refusedWhileScheduled = false;
    // The class the program registers once it is up (for the wait).
    std::string_view windowClass;
};

// The entry of a panel button; nullopt for the settings button and others.
std::optional<PanelProgram> panelProgram(int button);

// The decoder classes a station's start closes, by its modulation class.
std::vector<std::string_view> classesClosedFor(stations::ModulationClass modulationClass);

// What a station start does, worked out before anything happens.
struct StationStart {
    std::vector<std::string_view> closes;
    std::uint16_t recordCode = 0;  // 100, 101, or 0 for none
    std::vector<std::uint8_t> record;
    double dialKhz = 0.0;
    std::uint16_t modeCode = 0;  // 4..7, 0 for none
    std::string commandLine;     // "ZEBFAX.EXE TIMER"
};
StationStart planStationStart(const stations::StationRecord& station, double receiverOffsetHz,
                              bool scheduleActive);
// Tune only: the same dial frequency and mode, nothing closed or started.
StationStart planTune(const stations::StationRecord& station, double receiverOffsetHz);

// The poke-3 text of a station start: "%f" in the C locale.
std::string dialText(double kHz);

// What the starts need of the world.
struct StartPlatform {
    // Closes a program by its window class (up to 2 s); false when it stayed.
    std::function<bool(std::string_view windowClass)> close;
    // Pokes the receiver control; false when the poke did not arrive.
    std::function<bool(std::uint16_t code, std::span<const std::uint8_t> payload)> poke;
    // Starts a command line ("ZEBFAX.EXE TIMER") in the working directory.
    std::function<Result<void>(const std::string& commandLine)> start;
};

// Carries out a planned start in order: close, hand over, tune, mode, start.
// Poke failures are not fatal (the program is started anyway, as a user
// may tune by hand); the start's result is returned.
Result<void> carryOut(const StationStart& plan, const StartPlatform& platform);

}  // namespace zeb::zebmenu
