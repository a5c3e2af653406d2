// ZEBMENU, the suite's launcher: a program panel that starts the decoders,
// viewers and the receiver control (and the user's own programs of
// EXTENS.LST), the frequency list, the reception schedule, the received
// files, and a status bar with the UTC clock. It holds the conversation with
// the receiver control for its whole life, runs the scheduler and the
// clean-up of old received files on a 10 s tick, and when it ends it closes
// the decoders and tells every program of the suite to exit.
//
// Start-up order: one instance (class "ZEB-MENU"; a second start brings the
// first to the front), the language bundle MENU??.DLL, ZEBMENU.INI and
// ZEBSYS.INI, the window, the list settings and DATA/RCFRQ.DAT, the system
// keys and the schedule, the receiver control (started when absent) and its
// identification, then the first tab.
#pragma once

#include "MenuWindow.h"
#include "Starts.h"
#include "common/ProfileFile.h"
#include "common/TimeKey.h"
#include "common/bus/ReceiverLink.h"
#include "stations/FrequencyList.h"
#include "stations/Schedule.h"
#include "ui/MessageBoxes.h"
#include "weather/WeatherData.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace zeb::ui {
class BusNotifier;
class LanguageBundle;
}  // namespace zeb::ui

namespace zeb::zebmenu {

inline constexpr const char* kClassName = "ZEB-MENU";
inline constexpr const char* kSettingsFile = "ZEBMENU.INI";
inline constexpr const char* kSystemFile = "ZEBSYS.INI";
inline constexpr int kStartFailed = 1;

// Language bundle strings.
namespace str {
inline constexpr int kFrequencyTab = 1;
inline constexpr int kScheduleTab = 2;
inline constexpr int kReceivedTab = 3;
inline constexpr int kNoLink = 23;
inline constexpr int kNoReceiverControl = 24;
inline constexpr int kTitle = 41;
inline constexpr int kScheduleRunning = 48;
inline constexpr int kQuitScheduled = 49;
inline constexpr int kQuit = 50;
inline constexpr int kDescription = 53;
inline constexpr int kNoList = 70;
inline constexpr int kNotStarted = 71;
inline constexpr int kSettingsNotSaved = 72;
inline constexpr int kScheduleStatus = 73;
inline constexpr int kCleanedUp = 74;
}  // namespace str

// What the launcher keeps of ZEBMENU.INI and ZEBSYS.INI.
struct MenuSettings {
    // [WINDOW] MAINPOS: left, top, right, bottom; all zero = none stored.
    std::array<int, 4> mainPos{};
    // [TIMER]
    bool timerActive = false;
    std::string timerName;
    // ZEBSYS.INI [SYSTEM]
    int deleteHours = 0;  // DELTIME: 0 (or less) never
    bool warnSound = true;
    int receiverOffsetHz = 0;  // RADIOERR
    std::string faxDir = "FAX";
    std::string synopDir = "SYNOP";
};
MenuSettings readMenuSettings(const ProfileFile& menu, const ProfileFile& system);
// The three keys of the settings dialog, to ZEBSYS.INI.
Result<void> writeSystemSettings(ProfileFile& system, const MenuSettings& s);

struct ZebMenuOptions {
    std::filesystem::path workDir;  // empty: the current directory
    bool show = true;
    bus::ReceiverConnectOptions receiver;
    // The UTC time of the tick (tests inject one).
    std::function<TimeKey()> clock = [] { return zeb::now(); };
    // How long a scheduled start waits, and how long the panel stays
    // disabled after starting a decoder while it comes up.
    std::chrono::milliseconds scheduledStartWait{10000};
    std::chrono::milliseconds programStartWait{5000};
    // Starts a command line; empty: the suite's launcher in the working directory.
    std::function<Result<void>(const std::string& commandLine)> start;
    // Closes a program by class; empty: the bus's close request with its 2 s bound.
    std::function<bool(std::string_view windowClass)> close;
};

class ZebMenu : public QObject {
    Q_OBJECT
public:
    explicit ZebMenu(ZebMenuOptions options);
    ~ZebMenu() override;

    std::optional<int> startUp();
    // Writes the settings, closes the decoders and broadcasts the end of
    // the suite. Once.
    void shutdown();

    MenuWindow* window() const { return window_; }
    const ui::LanguageBundle* bundle() const { return bundle_.get(); }
    const ui::MessageBoxes& messages() const { return messages_; }
    const std::filesystem::path& workDir() const { return options_.workDir; }
    MenuSettings& settings() { return settings_; }
    ProfileFile& profile() { return profile_; }
    std::vector<stations::StationRecord>& stations() { return list_.records; }
    stations::ListSettings& listSettings() { return listSettings_; }
    stations::Schedule& schedule() { return schedule_; }
    QString string(int id) const;
    // The report texts for the observations' preview; null when DATA lacks them.
    const weather::WeatherData* weatherData() const { return data_ ? &*data_ : nullptr; }

    // A button of the program panel: closes, starts and waits as its table
    // entry says; refused with string 48 while the schedule runs.
    void runButton(int id);
    // True while the panel waits for a started program to come up.
    bool waiting() const { return waitingFor_.has_value(); }

    // Station start and tune from the frequency list or the scheduler.
    void startStation(const stations::StationRecord& station);
    void tuneStation(const stations::StationRecord& station);
    // Take from receiver for the station dialog (request 102 or 103).
    std::optional<stations::StationRecord> receiverValues(const stations::StationRecord& station);

    // The schedule was switched on or off (by its panel).
    void scheduleSwitched(bool on);

    // The 10 s tick: clock, scheduler, clean-up every 90th, refresh every 11th.
    void tick();
    // The clean-up now (DELTIME hours); the number of files and records removed.
    std::pair<std::size_t, std::size_t> cleanUp();
    // Saves the settings dialog's keys; shows the error.
    void saveSystemSettings();

signals:
    void receivedChanged();

private:
    class Owner;
    std::optional<int> fail(const QString& text);
    std::optional<int> loadStations();
    std::optional<int> connectReceiver();
    void loadSchedule();
    bool poke(std::uint16_t code, std::span<const std::uint8_t> payload);
    bool closeClass(std::string_view windowClass);
    Result<void> startCommand(const std::string& commandLine);
    StartPlatform platform();
    void startScheduled();
    void waitForProgram(const std::string& commandLine);

    ZebMenuOptions options_;
    ui::MessageBoxes messages_;
    std::unique_ptr<ui::BusNotifier> bus_;
    std::unique_ptr<ui::LanguageBundle> bundle_;
    ProfileFile profile_;
    ProfileFile system_;
    MenuSettings settings_;
    stations::ListSettings listSettings_;
    stations::LoadedList list_;
    stations::Schedule schedule_;
    std::optional<weather::WeatherData> data_;
    std::optional<bus::ReceiverClient> receiver_;
    QPointer<MenuWindow> window_;
    QTimer* ticker_ = nullptr;
    QTimer* startTimer_ = nullptr;
    QTimer* waitTimer_ = nullptr;
    // Stations the scheduler started, each waiting its turn.
    std::deque<std::uint32_t> pendingStarts_;
    std::optional<std::string> waitingFor_;
    std::uint64_t ticks_ = 0;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace zeb::zebmenu
