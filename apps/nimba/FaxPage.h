// The fax page of the main window: the control panel of the fax decoder
// (dialog 102) with the knobs of centre, shift and filter bandwidth, the
// start and stop tone values, the IOC, LPM and filter buttons, manual start,
// slant, the automatic slant with the measured clock error of the sound
// card, "save as" (BMP and PNG), the live preview of the picture and the
// spectrum display.
//
// The page exists while its tab is selected. Every change of a setting goes
// to the decoder as a whole record (FaxDecoder::setConfig validates it), is
// written to NIMBA.INI at once, and the panel then shows the record as
// applied. The decoder loads its settings from NIMBA.INI when it starts and
// when a page is made while it is off, so what the panel shows is what it
// uses, also after a restart.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "PageContext.h"
#include "fax/FaxDecoder.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace zeb::ui {
class LitSwitch;
class RotaryKnob;
class SegmentDisplay;
class SpectrumView;
class WaterfallView;
}  // namespace zeb::ui

namespace zeb::nimba {

class FaxDisplays;

// Control ids of dialog 102.
namespace faxid {
inline constexpr int kDialog = 102;
inline constexpr int kSpectrum = 1003, kWaterfall = 1009;
inline constexpr int kStartTone = 1025, kStopTone = 1026;
inline constexpr int kShiftKnob = 1028, kCenterKnob = 1029;
inline constexpr std::array<int, 4> kIocButtons{1043, 1044, 1045, 1046};
inline constexpr int kApplySlant = 1047;
inline constexpr std::array<int, 6> kLpmButtons{1048, 1049, 1050, 1064, 1065, 1066};
inline constexpr std::array<int, 4> kFilterButtons{1051, 1052, 1054, 1055};
inline constexpr int kBandwidthKnob = 1053;
inline constexpr int kManualStart = 1056;
inline constexpr int kCenterDisplay = 1057, kShiftDisplay = 1058, kBandwidthDisplay = 1059;
inline constexpr int kSaveAs = 1060;
inline constexpr int kSlant = 1063;
inline constexpr int kPreview = 1071;
}  // namespace faxid

// "FAX_2004-06-03_14-05.BMP" for a UTC time key.
QString faxSaveName(TimeKey key);

// A tone value typed into an edit: an unsigned integer that fits the record's
// 16-bit field; nullopt for anything else.
std::optional<std::uint16_t> parseToneValue(const QString& text);

class FaxPage : public QWidget {
    Q_OBJECT
public:
    // Asks for the file to save the picture as: (parent, title, directory with
    // default name, filter) → the chosen path, empty when cancelled.
    using SaveDialog =
        std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;

    // Loads dialog 102 into the page; loads the decoder's settings when the
    // decoder is not running. Registers with `displays` while it exists.
    FaxPage(PageContext& context, fax::FaxDecoder& decoder, FaxDisplays& displays,
            QWidget* parent = nullptr);
    ~FaxPage() override;

    // False when dialog 102 could not be loaded (the page is then empty).
    bool loaded() const { return dialog_ != nullptr; }
    QWidget* dialog() const { return dialog_; }

    void setSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }
    ui::SpectrumView* spectrumView() const { return spectrum_; }
    ui::WaterfallView* waterfallView() const { return waterfall_; }

    // Shows the decoder's settings and state on every control.
    void refresh();
    // Lights the manual start button in Receiving, enables it while running.
    void refreshManualStart();
    // Repaints the preview and the measured tone values.
    void refreshPreview();
    // The status text of the decoder's state (while the decoder runs).
    void showStateText();
    // The signal-to-noise readout (the main window's pump).
    void poll();
    // A click on the spectrum or the waterfall at `hz`: the centre goes there.
    void tuneTo(double hz);

    // The panel's "save as" (button 1060).
    void saveAs();
    // "Save as PNG": the picture on screen as an 8-bit grey PNG.
    void saveAsPng();
    // The automatic slant's switch, the measured clock error and its "store"
    // button.
    void refreshSlant();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectControls();
    void applyConfig(fax::FaxConfig config);
    void writeSettings();
    void onCenter(int value);
    void onShift(int value);
    void onBandwidth(int value);
    void onTone(bool start, const QString& text);
    void onSlant(int value);
    void sendPreviewSize();
    void paintPreview();
    void detachSpectrum();

    PageContext& context_;
    fax::FaxDecoder& decoder_;
    FaxDisplays& displays_;
    QWidget* dialog_ = nullptr;
    SaveDialog saveDialog_;

    ui::RotaryKnob* centerKnob_ = nullptr;
    ui::RotaryKnob* shiftKnob_ = nullptr;
    ui::RotaryKnob* bandwidthKnob_ = nullptr;
    ui::SegmentDisplay* centerDisplay_ = nullptr;
    ui::SegmentDisplay* shiftDisplay_ = nullptr;
    ui::SegmentDisplay* bandwidthDisplay_ = nullptr;
    QLineEdit* startTone_ = nullptr;
    QLineEdit* stopTone_ = nullptr;
    std::array<ui::LitSwitch*, 4> ioc_{};
    std::array<ui::LitSwitch*, 6> lpm_{};
    std::array<ui::LitSwitch*, 4> filter_{};
    ui::LitSwitch* manualStart_ = nullptr;
    QSpinBox* slant_ = nullptr;
    QPushButton* applySlant_ = nullptr;
    QPushButton* saveAs_ = nullptr;
    QPushButton* preview_ = nullptr;
    QLabel* measured_ = nullptr;
    QCheckBox* autoSlant_ = nullptr;
    QLabel* measuredSlant_ = nullptr;
    QLabel* snr_ = nullptr;
    QString shownSnr_;
    QPushButton* acceptSlant_ = nullptr;
    QPushButton* savePng_ = nullptr;
    ui::SpectrumView* spectrum_ = nullptr;
    ui::WaterfallView* waterfall_ = nullptr;

    bool updating_ = false;  // the panel is being set from the decoder
    int slantValue_ = 0;
};

}  // namespace zeb::nimba
