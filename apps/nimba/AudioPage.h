// Tab 3 of the main window: the audio page (dialog 107). The sound card's
// mixer (receiver input, wave-out and master volume, the monitoring and
// speaker switches, the recording and wave-out level meters), the settings
// that have no other home (age of received files, spectrum peak hold, alert
// sound, receiver offset), the audio monitor and the signal window, the
// recording codec and size, the user's program list and, while no sound card
// is the input, how to choose one.
//
// The page exists while its tab is selected; what it shows lives in the
// program (settings, mixer, monitor, signal window), so a new page shows the
// same. Settings are written to NIMBA.INI when they change. Without a mixer
// (no card, a recording, "null") the mixer's sliders and switches are grey;
// a control whose line or control is not known is grey too. A right click on
// any of them opens the mixer settings dialog for its pair of identifiers.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

class QAbstractButton;
class QAbstractSlider;
class QLabel;
class QLineEdit;

namespace zeb::ui {
class BarMeter;
class LitSwitch;
class MixerDialog;
class ProgramList;
}  // namespace zeb::ui

namespace zeb::nimba {

class Nimba;

// Control ids of dialog 107.
namespace audioid {
inline constexpr int kDialog = 107;
inline constexpr int kPrograms = 1023;
inline constexpr int kOffset = 1029;
inline constexpr int kPeakHold = 1055;
inline constexpr int kAlertSound = 1056;
inline constexpr int kLinePeak = 1108;
inline constexpr int kLineVolume = 1109;
inline constexpr int kWavePeak = 1110;
inline constexpr int kSpeakerVolume = 1111;
inline constexpr int kMonitoring = 1112;
inline constexpr int kSpeakers = 1113;
inline constexpr int kMonitor = 1114;
inline constexpr int kSignalWindow = 1115;
inline constexpr int kWaveVolume = 1116;
inline constexpr int kKeep48 = 1125;
inline constexpr int kKeep96 = 1126;
inline constexpr int kKeep192 = 1127;
inline constexpr int kKeepAll = 1128;
inline constexpr int kCodec = 1143;
inline constexpr int kCodecText = 1144;
inline constexpr int kRecordingSize = 1145;
inline constexpr int kInputHint = 1146;
inline constexpr int kInputDevices = 1147;
}  // namespace audioid

// The level meters are read about every 370 ms.
inline constexpr int kMeterPeriodMs = 370;

// A mixer volume value 0 … 65535 as the percentage that sets it again:
// trunc((v × 100 + 99) / 65535).
int volumePercent(std::int32_t value);
// A peak meter's value −32768 … 32767 as 0 … 100: trunc(|v| × 100 / 32767).
int peakPercent(std::int32_t value);
// The receiver offset typed: a decimal number with a point, whatever the
// desktop's locale; nullopt when the text is no finite number.
std::optional<double> parseOffset(std::string_view text);

// A capture device ALSA offers: its name for INPUT= and its description.
struct CaptureDevice {
    std::string name;
    std::string description;
};
// The "pcm" devices ALSA's hints name for input (or for both directions).
std::vector<CaptureDevice> alsaCaptureDevices();

class AudioPage : public QWidget {
    Q_OBJECT
public:
    explicit AudioPage(Nimba& nimba, QWidget* parent = nullptr);
    ~AudioPage() override;

    QWidget* dialog() const { return dialog_; }
    ui::ProgramList* programs() const { return programs_; }

    // What the codec button (1143) does; the button is grey until it is set.
    void setCodecChooser(std::function<void()> choose);
    // Reads ACODEC again and describes the codec the recorder would use.
    void showCodec();
    // The format-choice dialog of the codec button: the installed formats for
    // 11025 Hz mono; the one taken is kept as PARAM ACODEC.
    void chooseCodec();
    // The size of the running recording ("%d K"); nothing for 0 bytes.
    void setRecordingSize(std::uint64_t bytes);
    // A control of the card changed: the sliders and switches read the mixer again.
    void mixerChanged(std::int32_t controlId);
    // Shows the switches as the program holds them.
    void refreshSwitches();
    // One reading of the level meters (the page's timer, every kMeterPeriodMs).
    void updateMeters();
    // Opens the mixer settings dialog for the identifiers of control `id`;
    // OK gives the program the pair chosen. False when nothing changed.
    bool editMixerControl(int id);
    // How the mixer settings dialog is shown; true when it was accepted.
    // Tests answer it; the default runs it modally.
    std::function<bool(ui::MixerDialog&)> runMixerDialog;

    // The offset text is a number (otherwise the field is marked and the
    // last number stays in force).
    bool offsetValid() const { return offsetValid_; }
    QTimer& meterTimer() { return meterTimer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectSettings();
    void connectMixer();
    void connectSwitches();
    void applyMixerState();
    void readMixer();
    void setVolume(int id, int percent);
    void offsetEdited(const QString& text);
    void toggle(int id);
    void showInputHelp();
    void report(const Result<void>& written);
    QString text(int id) const;
    bool mixerUsable();

    Nimba& nimba_;
    QWidget* dialog_ = nullptr;
    ui::ProgramList* programs_ = nullptr;
    QLineEdit* offset_ = nullptr;
    QLabel* codecText_ = nullptr;
    QLabel* recordingSize_ = nullptr;
    QAbstractButton* codecButton_ = nullptr;
    std::function<void()> chooseCodec_;
    QTimer meterTimer_;
    bool offsetValid_ = true;
    bool offsetChanged_ = false;
    bool speakersOn_ = true;
    bool updating_ = false;
};

}  // namespace zeb::nimba
