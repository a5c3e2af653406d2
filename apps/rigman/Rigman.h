// RIGMAN, the receiver-control program: one window that shows and sets the
// receiver's frequency, mode, step, filter, volume, squelch and attenuator;
// the command service through which the launcher and the RTTY program tune
// the receiver; and the NMEA bridge that passes sentences from a GPS on the
// receiver's serial line to the other programs and back.
//
// Start-up order: the window class "Receiver Control" on the suite bus (one
// instance), the language bundle RIGMAN??.DLL, RIGMAN.INI, the window, the
// receiver model, the serial port (COM1…COM16 through [PORTS] of ZEBSYS.INI),
// the command service and the OUT mailslot, the receiver brought to its
// stored state, the NMEA reader when it was on, then the optional network
// ports. Shutdown in reverse, with the settings written first.
#pragma once

#include "CommandService.h"
#include "RigmanSettings.h"
#include "RigmanWindow.h"
#include "common/ProfileFile.h"
#include "common/bus/Bus.h"
#include "common/bus/Conversation.h"
#include "rig/Receiver.h"
#include "rig/RigDriver.h"
#include "rig/SerialLink.h"
#include "ui/MessageBoxes.h"

#include <QObject>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zeb::ui {
class BusNotifier;
class FdNotifier;
class LanguageBundle;
}  // namespace zeb::ui

namespace zeb::rigman {

class NetworkPorts;
class NmeaBridge;
class RigmanWindow;

inline constexpr const char* kClassName = "Receiver Control";
inline constexpr int kStartFailed = 1;

// Language bundle strings.
inline constexpr int kServiceFailed = 1;
inline constexpr int kNoPort = 2;
inline constexpr int kCloseQuestion = 4;
inline constexpr int kPositionFormat = 7;
inline constexpr int kHamlibFailed = 8;
inline constexpr int kNetworkPortFailed = 9;
// The line number the port and service failures carry.
inline constexpr int kStartLine = 421;

struct RigmanOptions {
    std::filesystem::path workDir;  // empty: the current directory
    bool show = true;
};

class Rigman : public QObject, public ReceiverActions, public rig::LinkReporter {
    Q_OBJECT
public:
    explicit Rigman(RigmanOptions options);
    ~Rigman() override;

    // Runs the start-up; nullopt when the program runs on, else its exit status.
    std::optional<int> startUp();
    // Writes the settings and releases everything (safe to call twice).
    void shutdown();

    // ReceiverActions: what the window and the other programs ask for.
    double frequencyKhz() const override;
    unsigned mode() const override;
    void tune(double khz) override;
    void selectMode(unsigned modeFlag) override;
    void setBreak(bool on) override;

    void tuneBySteps(int steps);
    void setStep(int hz);
    void selectFilterEntry(int index);
    void setAttenuator(bool on);
    void setVolume(int level);
    void setSquelch(int level);
    void setNmeaForwarding(bool on);
    void setNmeaPanel(bool open);
    void recordWindowRect(const WindowRect& rect);

    // LinkReporter (may be called from the reader thread).
    void showWarning(const std::string& text) override;
    void requestQuit() override;

    const RigmanSettings& settings() const { return settings_; }
    rig::RigDriver* driver() const { return driver_.get(); }
    RigmanWindow* window() const { return window_; }
    const ui::LanguageBundle* bundle() const { return bundle_.get(); }
    const ui::MessageBoxes& messages() const { return messages_; }
    NmeaBridge* nmea() const { return nmea_.get(); }
    NetworkPorts* network() const { return network_.get(); }
    // The signal strength the radio reported last (0..255), when it reports one.
    std::optional<int> strength() const { return strength_; }
    // Whether the model can forward NMEA (not with a hardware handshake, not
    // the IC-PCR1000, not through Hamlib).
    bool nmeaPossible() const;
    bool nmeaPanelOpen() const { return nmeaPanelOpen_; }
    // The filter list entry that is selected (-1 when none).
    int filterEntry() const;

signals:
    // The driver's state changed (a command, a report from the radio).
    void receiverChanged();

private:
    std::optional<int> fail(const QString& text);
    std::optional<int> openReceiver();
    std::optional<int> openSerialReceiver();
    std::optional<int> startServices();
    void restoreReceiverState();
    void startNetworkPorts();
    void onReport();

    RigmanOptions options_;
    ui::MessageBoxes messages_;
    std::unique_ptr<ui::BusNotifier> bus_;
    std::unique_ptr<ui::LanguageBundle> bundle_;
    ProfileFile profile_;
    RigmanSettings settings_;
    std::unique_ptr<rig::SerialLink> link_;
    std::unique_ptr<rig::StatusTimer> statusTimer_;
    std::unique_ptr<rig::RigDriver> driver_;
    CommandService service_{*this};
    std::optional<bus::ConversationServer> server_;
    std::unique_ptr<ui::FdNotifier> serverNotifier_;
    std::unique_ptr<ui::FdNotifier> reportNotifier_;
    std::unique_ptr<NmeaBridge> nmea_;
    std::unique_ptr<NetworkPorts> network_;
    QPointer<RigmanWindow> window_;
    std::optional<int> strength_;
    bool nmeaPanelOpen_ = false;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace zeb::rigman
