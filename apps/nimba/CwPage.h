// The CW page: the tone filter's centre and half width on two knobs with
// their displays, the spectrum display with the filter's pass band, and the
// text window with its save, print and font commands. Like the RTTY page it
// lives for the whole run. Every change of a knob or option is written to
// NIMBA.INI at once, because the decoder reads its band from there when it
// starts: what the knobs show is what it uses, also after a restart.
#pragma once

#include <QLabel>
#include <QWidget>

#include "DecoderChains.h"
#include "PageContext.h"

namespace zeb::ui {
class ReceivedTextWindow;
class RotaryKnob;
class SegmentDisplay;
class SpectrumView;
class WaterfallView;
}  // namespace zeb::ui

namespace zeb::nimba {

inline constexpr int kCwDialog = 124;
inline constexpr int kCwCenterKnob = 1127, kCwCenterDisplay = 1128;
inline constexpr int kCwWidthKnob = 1129, kCwWidthDisplay = 1130;
inline constexpr int kCwText = 1126;
inline constexpr int kCwDesign = 1131, kCwAutoCenter = 1132, kCwLock = 1133;

class CwPage : public QWidget {
    Q_OBJECT
public:
    CwPage(PageContext& context, CwChain& chain, QWidget* parent = nullptr);
    ~CwPage() override;

    ui::ReceivedTextWindow& text() { return *text_; }
    ui::SpectrumView* spectrumView() const { return spectrum_; }
    ui::WaterfallView* waterfallView() const { return waterfall_; }
    QWidget* dialog() const { return dialog_; }
    void refresh();
    // Writes CENTER, WIDTH and the decoder options.
    void saveSettings();
    // The lock read-out and the spectrum's markers (the main window's pump).
    void poll();
    // A click on the spectrum or the waterfall at `hz`: the tone filter's
    // centre goes there.
    void tuneTo(double hz);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setBand(int center, int width);
    void applyMarkers();
    void setOptions(cw::CwOptions options);

    PageContext& context_;
    CwChain& chain_;
    QWidget* dialog_ = nullptr;
    ui::ReceivedTextWindow* text_ = nullptr;
    ui::SpectrumView* spectrum_ = nullptr;
    ui::WaterfallView* waterfall_ = nullptr;
    ui::RotaryKnob* centerKnob_ = nullptr;
    ui::RotaryKnob* widthKnob_ = nullptr;
    ui::SegmentDisplay* centerDisplay_ = nullptr;
    ui::SegmentDisplay* widthDisplay_ = nullptr;
    QLabel* lock_ = nullptr;
    QString shownLock_;
    double markedTone_ = 0.0;
    bool updating_ = false;
};

}  // namespace zeb::nimba
