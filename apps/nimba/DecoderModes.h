// The decoder modes of the main program and the switch between them.
//
// `DecoderMode` is what the capture thread's block handler runs: 0 none,
// 1 fax, 2 RTTY, 3 CW, 5 recorder. The buttons switch "with checks": nothing
// happens when the mode is active already, and nothing while a timer
// schedule runs (the user is told why). The frequency list and the schedule
// switch "without checks": the other decoders stop and the target decoder
// starts again even when it runs, so a scheduled start always takes effect
// (a fax picture in progress is ended and saved first).
//
// The capture stream's mode is set to none before any decoder stops and to
// the new mode only after its decoder started; every start and stop holds
// the block mutex itself, so the block handler never sees a half-changed
// decoder. A start that fails leaves mode none.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "audioio/Streams.h"

namespace zeb::nimba {

using audio::DecoderMode;

// One decoder as the mode switch sees it.
class ModeDecoder {
public:
    virtual ~ModeDecoder() = default;
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
};

// The button command of each mode and the command of the frequency list and
// the schedule.
inline constexpr int kFaxButton = 1004;
inline constexpr int kRttyButton = 1005;
inline constexpr int kCwButton = 1006;
inline constexpr int kRecorderButton = 1008;
inline constexpr int kOffButton = 1042;
inline constexpr int kModeCommandFirst = 101;  // 101 fax … 105 off

// The mode of a button or command; nullopt for other ids.
std::optional<DecoderMode> modeOfButton(int id);
std::optional<DecoderMode> modeOfCommand(int id);
// The button lit in a mode.
int buttonOfMode(DecoderMode mode);

class ModeSwitcher {
public:
    struct Hooks {
        // Sets the capture stream's mode (with the block mutex held).
        std::function<void(DecoderMode)> setCaptureMode = [](DecoderMode) {};
        // Tells the user that the mode cannot change while a schedule runs.
        std::function<void()> refuseWhileScheduled = [] {};
        // The mode buttons must show the new mode.
        std::function<void()> modeChanged = [] {};
    };

    explicit ModeSwitcher(Hooks hooks);

    // The decoder of a mode (fax, RTTY, CW, recorder); null = none there.
    void setDecoder(DecoderMode mode, ModeDecoder* decoder);
    ModeDecoder* decoder(DecoderMode mode) const;

    // A timer schedule is running.
    void setScheduleRunning(bool running) { scheduleRunning_ = running; }
    bool scheduleRunning() const { return scheduleRunning_; }

    // The buttons. Returns true when something was switched.
    bool switchWithChecks(DecoderMode mode);
    // The frequency list and the schedule.
    void switchWithoutChecks(DecoderMode mode);
    // Shutdown: every decoder stops, whatever the mode.
    void stopAll();

    DecoderMode mode() const { return mode_; }

private:
    void run(DecoderMode mode, bool restartTarget);

    Hooks hooks_;
    std::array<ModeDecoder*, audio::kDecoderModeCount> decoders_{};
    DecoderMode mode_ = DecoderMode::None;
    bool scheduleRunning_ = false;
};

}  // namespace zeb::nimba
