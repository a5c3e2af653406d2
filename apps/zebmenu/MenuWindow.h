// The launcher's main window: the program panel (dialog 101) on the left,
// the tabs frequency list, schedule and received files on the right, and a
// status bar whose second part shows the UTC time.
//
// Closing asks first (string 49 while the schedule runs, else 50), unless
// the session or a signal ends the program. The window keeps its place in
// MAINPOS; without one it takes the screen's width and half its height,
// never less than 640 x 320.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QMainWindow>

#include <array>

class QLabel;
class QTabWidget;

namespace zeb::ui {
class ProgramList;
class ReceivedPanel;
class SchedulePanel;
class StationListPanel;
}  // namespace zeb::ui

namespace zeb::zebmenu {

class ZebMenu;

enum class Tab { Frequencies = 0, Schedule = 1, Received = 2 };

// The list font as the 60-byte logical-font record of FONT in [WINDOW]:
// height (negative: pixels), width, escapement, orientation, weight as
// 32-bit values, italic, underline, strike-out, character set and four
// more bytes, then the face name (32 bytes, Windows-1252).
QByteArray logicalFontRecord(const QFont& font);
// nullopt-like: a record of the wrong size gives `fallback`.
QFont fontFromLogicalRecord(const QByteArray& record, const QFont& fallback);

class MenuWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MenuWindow(ZebMenu& program, QWidget* parent = nullptr);

    QWidget* panel() const { return panel_; }
    QTabWidget* tabs() const { return tabs_; }
    ui::StationListPanel* frequencyPanel() const { return frequencies_; }
    ui::SchedulePanel* schedulePanel() const { return schedule_; }
    ui::ReceivedPanel* receivedPanel() const { return received_; }
    ui::ProgramList* programList() const { return programs_; }
    QString statusText() const;
    QString clockText() const;

    // The received-files tab when the store holds anything but recordings,
    // else the schedule when it runs, else the frequency list.
    void chooseFirstTab();
    void setPanelEnabled(bool on);
    void showStatus(const QString& text);
    void showClock(int hhmm);
    void bringToFront();
    // The settings dialog (one at a time).
    void openSettings();
    // Writes MAINPOS, the column widths, the font and the selected station.
    void saveSettings();
    // The next close does not ask (session end, signal, tests).
    void closeWithoutAsking() { askOnClose_ = false; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPanel();
    void buildTabs();
    void place();

    ZebMenu& program_;
    QWidget* panel_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    ui::StationListPanel* frequencies_ = nullptr;
    ui::SchedulePanel* schedule_ = nullptr;
    ui::ReceivedPanel* received_ = nullptr;
    ui::ProgramList* programs_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* clock_ = nullptr;
    int rememberedEntry_ = -1;
    bool askOnClose_ = true;
    bool settingsOpen_ = false;
};

}  // namespace zeb::zebmenu
