// The receiver panel of the main window: the frequency display (a click
// types a frequency, the mouse wheel tunes by the step), mode, step and
// filter selectors, the volume, squelch and IF-shift knobs, the attenuator,
// AGC and noise-blanker switches, the S-meter and the squelch lamp. It works
// the built-in IC-PCR1000 control; without one every control is grey and the
// status text says why.
#pragma once

#include <QObject>
#include <QPointer>

#include "ReceiverControl.h"

class QComboBox;
class QLabel;
class QWidget;

namespace zeb::ui {
class BarMeter;
class Lamp;
class LitSwitch;
class RotaryKnob;
class SegmentDisplay;
}  // namespace zeb::ui

namespace zeb::nimba {

class PcrReceiver;

namespace panel {
inline constexpr int kFrequency = 1013;
inline constexpr int kStatus = 1014;
inline constexpr int kMode = 1020;
inline constexpr int kStep = 1021;
inline constexpr int kFilter = 1022;
inline constexpr int kVolume = 1023;
inline constexpr int kSquelch = 1024;
inline constexpr int kIfShift = 1025;
inline constexpr int kAttenuator = 1026;
inline constexpr int kAgc = 1027;
inline constexpr int kNoiseBlanker = 1028;
inline constexpr int kSMeter = 1029;
inline constexpr int kSquelchLamp = 1030;
}  // namespace panel

class ReceiverPanel : public QObject {
    Q_OBJECT
public:
    // `dialog` holds the panel's controls; `receiver` may be null.
    ReceiverPanel(QWidget* dialog, ReceiverControl* receiver);

    // Shows the receiver's frequency and mode (after a station was tuned).
    void refresh();
    // The wheel over the display: `steps` tuning steps up or down.
    void tuneBySteps(int steps);
    // Types a frequency in kHz (the display's click asks for one).
    bool tuneTo(double kHz);

    bool enabled() const { return pcr_ != nullptr; }
    ui::SegmentDisplay* display() const { return frequency_; }
    ui::BarMeter* sMeter() const { return meter_; }
    ui::Lamp* squelchLamp() const { return lamp_; }
    QLabel* statusLabel() const { return status_; }

signals:
    // The frequency or mode changed from the panel.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillSelectors();
    void connectControls();
    void askFrequency();
    void setEnabled(bool on);

    QWidget* dialog_;
    ReceiverControl* receiver_;
    PcrReceiver* pcr_ = nullptr;
    ui::SegmentDisplay* frequency_ = nullptr;
    QLabel* status_ = nullptr;
    QComboBox* mode_ = nullptr;
    QComboBox* step_ = nullptr;
    QComboBox* filter_ = nullptr;
    ui::RotaryKnob* volume_ = nullptr;
    ui::RotaryKnob* squelch_ = nullptr;
    ui::RotaryKnob* ifShift_ = nullptr;
    ui::LitSwitch* attenuator_ = nullptr;
    ui::LitSwitch* agc_ = nullptr;
    ui::LitSwitch* noiseBlanker_ = nullptr;
    ui::BarMeter* meter_ = nullptr;
    ui::Lamp* lamp_ = nullptr;
};

}  // namespace zeb::nimba
