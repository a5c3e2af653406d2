// The main window: the receiver panel, the decoder buttons, the status field
// and the tab control with its seven pages. It is the hub through which the
// decoders' output (queued on the capture thread) reaches the text windows,
// and through which the frequency list and the schedule switch decoders.
//
// Pages: 0 frequency list, 1 schedules, 2 received files, 3 audio, 4 fax —
// created when chosen and destroyed when left; 5 RTTY and 6 CW — created at
// start and only hidden, because their text windows go on receiving.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

#include "DecoderModes.h"
#include "OutputQueue.h"
#include "ReceiverPanel.h"
#include "common/TimeKey.h"

class QLabel;
class QTabWidget;

namespace zeb::ui {
class LitSwitch;
}

namespace zeb::nimba {

class AudioPage;
class CwPage;
class FaxPage;
class Nimba;
class ReceivedPage;
class RttyPage;

enum Tab : int {
    kFrequencyTab = 0,
    kScheduleTab = 1,
    kReceivedTab = 2,
    kAudioTab = 3,
    kFaxTab = 4,
    kRttyTab = 5,
    kCwTab = 6,
};
inline constexpr int kTabCount = 7;

// The housekeeping timer: every 10 s; old received files are deleted every
// 90 ticks (15 minutes, the first time 15 minutes after start), the browser
// re-reads its list every 10 ticks.
class Housekeeping {
public:
    static constexpr int kPeriodMs = 10000;
    static constexpr int kCleanupTicks = 90;
    static constexpr int kRefreshTicks = 10;

    std::function<void(TimeKey)> schedulerTick = [](TimeKey) {};
    std::function<void()> cleanup = [] {};
    std::function<void()> refreshBrowser = [] {};

    // One tick at UTC time `now`; `scheduleRunning` runs the scheduler.
    void tick(TimeKey now, bool scheduleRunning);
    int cleanupCount() const { return cleanupTicks_; }
    int refreshCount() const { return refreshTicks_; }

private:
    int cleanupTicks_ = 0;
    int refreshTicks_ = 0;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Nimba& nimba, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Commands: the decoder buttons (1004, 1005, 1006, 1008, 1042, with
    // checks) and the list's and schedule's 101–105 (without).
    void command(int id);
    // Lights the button of the current mode.
    Q_INVOKABLE void refreshModeButtons();
    // Puts a text into the status field.
    void setStatus(const QString& text);
    QString statusText() const;

    // Creates the first page and the RTTY and CW pages (hidden).
    void createPages();
    void selectTab(int index);
    // A companion program: page `index` only, without the tab bar and
    // without the buttons of modes other than `mode` (the off button stays).
    void showOnly(int index, DecoderMode mode);
    int currentTab() const;
    QTabWidget* tabs() const { return tabs_; }
    QWidget* page(int index) const;
    RttyPage* rttyPage() const;
    CwPage* cwPage() const;
    FaxPage* faxPage() const;
    ReceivedPage* receivedPage() const;
    AudioPage* audioPage() const;
    ui::LitSwitch* modeButton(int id) const;

    // The receiver panel working `receiver` (null: none, the panel grey).
    ReceiverPanel* attachReceiver(ReceiverControl* receiver);
    ReceiverPanel* receiverPanel() const { return receiverPanel_.data(); }

    Housekeeping& housekeeping() { return housekeeping_; }
    // One housekeeping tick now (the timer calls it every 10 s).
    void housekeepingTick();
    QTimer& housekeepingTimer() { return timer_; }

    // Takes everything the decoders queued and hands it to the text windows.
    Q_INVOKABLE void drainOutput();
    // What the capture thread left for the displays, taken every 40 ms: the
    // text, the spectrum, the scope and lock lamp, the signal window. The
    // capture thread never posts per block.
    void pump();
    static constexpr int kPumpMs = 40;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void scaleToSettings();
    void leavePage(int index);
    void enterPage(int index);
    void applyMarkers(int index);

    Nimba& nimba_;
    QWidget* dialog_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLabel* status_ = nullptr;
    std::array<QWidget*, kTabCount> containers_{};
    std::array<QPointer<QWidget>, kTabCount> pages_{};
    QPointer<RttyPage> rttyPage_;
    QPointer<CwPage> cwPage_;
    QPointer<FaxPage> faxPage_;
    QPointer<ReceivedPage> receivedPage_;
    QPointer<AudioPage> audioPage_;
    QPointer<ReceiverPanel> receiverPanel_;
    int current_ = -1;
    QTimer timer_;
    QTimer pumpTimer_;
    Housekeeping housekeeping_;
    OutputBatch batch_;
};

}  // namespace zeb::nimba
