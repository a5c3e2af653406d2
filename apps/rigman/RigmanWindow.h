// The receiver-control window, built from dialog template 101 of the
// language bundle: frequency display (a click opens the entry dialog, the
// wheel tunes), tuning knob, mode buttons, step and filter lists, volume and
// squelch, attenuator, signal strength, NMEA switches and the NMEA panel.
// Controls the model lacks are disabled.
#pragma once

#include <QWidget>

#include <array>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDial;
class QLabel;
class QProgressBar;
class QSlider;

namespace zeb::rigman {

class Rigman;

// The mode buttons: control id and mode flag.
struct ModeButton {
    int id;
    unsigned flag;
};
extern const std::array<ModeButton, 14> kModeButtons;

// The number typed into the frequency entry dialog in kHz, given the unit the
// user chose (1 kHz, 1000 for MHz, 1000000 for GHz); a decimal comma is taken
// as a point. Nullopt for text that is no positive number.
std::optional<double> parseFrequencyEntry(const QString& text, double unitKhz);

class RigmanWindow : public QWidget {
    Q_OBJECT
public:
    // Null when the bundle has no usable dialog 101 (the error goes to the log).
    static RigmanWindow* create(Rigman& program);

    // Shows the driver's state in every control (the refresh message).
    void refresh();
    void showFrequency();
    void showNmea();
    void showOutgoing();
    void setStrength(std::optional<int> strength);

    // Places the window at the stored rectangle, or centres it.
    void place();
    // Takes a number from the frequency entry dialog (template 143); false
    // when it was cancelled or held no frequency.
    bool enterFrequency();

    // The question before closing is asked unless the close comes from
    // another program or the session.
    void closeWithoutQuestion();

    QWidget* dialog() const { return dialog_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RigmanWindow(Rigman& program, QWidget* dialog);
    void findControls();
    void connectControls();
    void fillLists();
    void enableControls();
    void recordRect();
    void onKnob(int value);

    Rigman& program_;
    QWidget* dialog_;
    QLabel* display_ = nullptr;
    QDial* knob_ = nullptr;
    QComboBox* steps_ = nullptr;
    QComboBox* filters_ = nullptr;
    QCheckBox* attenuator_ = nullptr;
    QSlider* volume_ = nullptr;
    QSlider* squelch_ = nullptr;
    QAbstractButton* nmeaOn_ = nullptr;
    QAbstractButton* nmeaPanelButton_ = nullptr;
    QWidget* nmeaPanel_ = nullptr;
    QProgressBar* strength_ = nullptr;
    QWidget* strengthLabel_ = nullptr;
    int knobValue_ = 0;
    bool closeAsked_ = true;
    bool updating_ = false;
};

}  // namespace zeb::rigman
