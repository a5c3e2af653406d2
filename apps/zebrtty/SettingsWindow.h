// The settings window of ZEBRTTY (dialog 113): the decoder's baud rate,
// shift, tone position, stop length, mode and polarity, the letters/figures
// shift, the frequency correction, the squelch, two level meters and the
// lock lamp.
//
// Control ids:
//   1000 baud spin box (30 … 270)     1001 shift spin box (50 … 1450)
//   1002 center spin box (500 … 1500)
//   1003 … 1011 baud 45, 50, 57, 75, 100, 110, 150, 200, 300
//   1012 … 1015 shift 85, 170, 425, 850
//   1016 … 1018 stop length 1, 1.5, 2
//   1019 Baudot   1020 synchronous Baudot   1021 SITOR-B
//   1022 invert (checkable)
//   1023 letters  1024 figures
//   1025 frequency correction on/off (checkable)
//   1026 squelch slider (0 … 1000; squelch = position × 2000)
//   1027 level meter of the spectrum's mean   1028 level meter of the tones
//   1029 lock lamp
// The preset, stop and mode buttons are checked when they match the
// parameters shown.
#pragma once

#include "ToolWindows.h"
#include "rtty/RttyParams.h"

class QAbstractButton;
class QSlider;
class QSpinBox;

namespace zeb::ui {
class Lamp;
}

namespace zeb::zebrtty {

inline constexpr int kSettingsDialog = 113;
inline constexpr int kBaudSpin = 1000, kShiftSpin = 1001, kCenterSpin = 1002;
inline constexpr int kFirstBaudButton = 1003, kFirstShiftButton = 1012;
inline constexpr int kFirstStopButton = 1016, kFirstModeButton = 1019;
inline constexpr int kInvertButton = 1022, kLettersButton = 1023, kFiguresButton = 1024;
inline constexpr int kAfcButton = 1025, kSquelchSlider = 1026;
inline constexpr int kSpectrumMeter = 1027, kToneMeter = 1028, kLockLamp = 1029;

class SettingsWindow : public ToolWindow {
    Q_OBJECT
public:
    // Squelch per slider step.
    static constexpr double kSquelchStep = 2000.0;
    static constexpr int kSquelchSteps = 1000;

    explicit SettingsWindow(const ui::LanguageBundle& bundle, QWidget* parent = nullptr);

    // Shows the parameters (validated) without emitting paramsChanged().
    void setParams(const rtty::RttyParams& params);
    const rtty::RttyParams& params() const { return params_; }
    // Shows the frequency correction's state without emitting afcToggled().
    void setAfc(bool on);
    // The two meters, once per block.
    void setLevels(double spectrumMean, double toneLevel);
    void setLocked(bool locked);

signals:
    // Every change the user makes, validated.
    void paramsChanged(const rtty::RttyParams& params);
    void shiftStateRequested(bool figures);
    void afcToggled(bool on);

private:
    void connectSpins();
    void connectButtons();
    // The user's change: validated, shown and emitted.
    void apply(const rtty::RttyParams& params);
    void refresh();

    rtty::RttyParams params_;
    QSpinBox* baud_ = nullptr;
    QSpinBox* shift_ = nullptr;
    QSpinBox* center_ = nullptr;
    QAbstractButton* invert_ = nullptr;
    QAbstractButton* afc_ = nullptr;
    QSlider* squelch_ = nullptr;
    LevelMeter* spectrumMeter_ = nullptr;
    LevelMeter* toneMeter_ = nullptr;
    ui::Lamp* lock_ = nullptr;
    bool updating_ = false;
};

}  // namespace zeb::zebrtty
