// The main window of the RTTY program: the toolbar (open, save, fonts and
// colours, the four tool windows, print, processing time, raw audio record
// and replay, the world map), the received text and a status bar of six
// parts (mode, baud, stop length, shift, polarity, the rest).
#pragma once

#include "ZebRttySettings.h"

#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class QProgressBar;

namespace zeb::ui {
class ReceivedTextWindow;
}

namespace zeb::zebrtty {

class ZebRtty;

// Toolbar commands.
namespace Command {
inline constexpr int Open = 40001;
inline constexpr int Save = 40002;
inline constexpr int Fonts = 40003;
inline constexpr int Spectrum = 40004;
inline constexpr int Print = 40005;
inline constexpr int Meter = 40006;
inline constexpr int Settings = 40007;
inline constexpr int BitRaster = 40010;
inline constexpr int Record = 40011;
inline constexpr int Replay = 40012;
inline constexpr int CrossScope = 40015;
inline constexpr int WorldMap = 40016;
}  // namespace Command

// The status bar's texts for the parameters, parts 0 to 4.
std::array<QString, 5> statusTexts(const rtty::RttyParams& params);

class RttyWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit RttyWindow(ZebRtty& program);
    ~RttyWindow() override;

    ui::ReceivedTextWindow* text() const { return text_; }
    QAction* action(int command) const;
    QLabel* statusPart(int index) const { return status_[static_cast<std::size_t>(index)]; }

    void refreshStatus();
    void showProcessingTime(double ms);
    void releaseReplay();
    void closeWithoutSaving() { close(); }
    // The window rectangles into the settings (at exit).
    void recordPositions(ZebRttySettings& settings) const;

    // The toolbar's file commands, also for tests.
    bool openFile(const QString& path);
    bool saveFile(const QString& path);
    void applyAppearance();

signals:
    // The fonts dialog or a tool window's button (the program opens them).
    void toolWindowToggled(int command, bool open);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildToolbar();
    void buildStatusBar();
    void place();
    void run(int command, bool checked);
    void print();

    ZebRtty& program_;
    ui::ReceivedTextWindow* text_ = nullptr;
    std::array<QLabel*, 6> status_{};
    QProgressBar* meter_ = nullptr;
    QAction* meterAction_ = nullptr;
    QAction* meterSlot_ = nullptr;  // the meter's place in the toolbar
};

}  // namespace zeb::zebrtty
