// Stations of the frequency list in the main program: what tuning and
// starting a station does (its own decoder and the built-in receiver, no
// other programs), and the scheduler that starts and ends the entries of the
// running schedule on the housekeeping tick.
//
// The decoding parameters come from the same rule the launcher uses for its
// hand-over records: stored values win when the station has a stored dial
// frequency, a shift, a centre and a stop-bits (teleprinter) or fax-parameter
// (fax) value; otherwise each zero field takes its default, and anything a
// decoder cannot work with is replaced.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "DecoderModes.h"
#include "common/TimeKey.h"
#include "rtty/RttyParams.h"
#include "stations/Schedule.h"
#include "stations/StationRecord.h"

namespace zeb::fax {
struct FaxConfig;
}

namespace zeb::nimba {

// The receiver's mode code (as the PCR's frequency command carries it) for a
// station's receiver mode: LSB 0, USB 1, AM 2, FM 5; nullopt leaves the mode.
std::optional<int> pcrModeOfStation(std::uint32_t receiverMode);

// Tune only: the dial frequency (kHz) with the receiver offset in Hz; a stored
// dial frequency replaces it.
double tuneFrequencyKhz(const stations::StationRecord& station, double receiverOffsetHz);

// Everything a station start changes.
struct StationPlan {
    DecoderMode mode = DecoderMode::None;
    int command = 0;  // 101 fax, 102 RTTY, 103 CW, 104 recorder
    double dialKhz = 0.0;
    std::optional<int> pcrMode;
    // Teleprinter: the fields a station sets (mode, baud, stop, invert,
    // shift, centre), applied over the decoder's other settings.
    std::optional<stations::TeleprinterHandover> teleprinter;
    std::optional<stations::FaxHandover> fax;
};
StationPlan planStart(const stations::StationRecord& station, double receiverOffsetHz);

// The station's fields over the decoder's current parameters.
rtty::RttyParams applyTeleprinter(rtty::RttyParams params, const stations::TeleprinterHandover& h);
void applyFax(fax::FaxConfig& config, const stations::FaxHandover& h);

// The status field while a scheduled station runs: name (20 characters) |
// start-end | frequency | modulation label.
std::string scheduleStatusText(const stations::ScheduleEntry& entry,
                               const stations::StationRecord& station,
                               const std::string& modulationLabel);

// What the scheduler does to the program; the main program gives its own,
// the tests a recorder.
class StationActions {
public:
    virtual ~StationActions() = default;
    // Commands 101–105 of the main window, carried out before returning.
    virtual void command(int id) = 0;
    virtual void setReceptionActive(bool active) = 0;
    virtual void setStatus(const std::string& text) = 0;
    virtual void startStation(const stations::StationRecord& station) = 0;
    virtual std::string modulationLabel(int code) const = 0;
};

// The scheduler tick on the housekeeping timer: an entry whose window has
// ended switches every decoder off (command 105, before the reception flag
// is cleared, so the Morse text is still saved as scheduled) and clears the
// status; an entry whose window opens sets the reception flag, starts its
// station and shows it in the status field.
void schedulerTick(stations::Schedule& schedule, const std::vector<stations::StationRecord>& list,
                   TimeKey now, StationActions& actions);

}  // namespace zeb::nimba
