// The spectrum analyser and the waterfall of the program and the displays
// they draw into.
//
// One analyser and one waterfall exist for the whole run. The page on show
// attaches its displays (the spectrum, control 1003, and the waterfall above
// it, control 1009) when it is shown and the displays are switched on; attach
// and detach hold the capture stream's block mutex because the analysis runs
// on the capture thread after the decoder. A left click on either display
// tunes the page's decoder there; a right click on the spectrum switches both
// off and on, one on the waterfall offers that with its palette and speed.
#pragma once

#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "dsp/Markers.h"
#include "dsp/SpectrumAnalyser.h"
#include "dsp/Waterfall.h"
#include "ui/SpectrumView.h"
#include "ui/WaterfallView.h"

namespace zeb::nimba {

class SpectrumLink {
public:
    // `blockMutex` is the capture stream's block mutex (null without a stream).
    explicit SpectrumLink(std::timed_mutex* blockMutex = nullptr);
    // The stream made after the analyser: its mutex guards attach and detach
    // from now on (call before the stream runs).
    void setBlockMutex(std::timed_mutex* blockMutex) { blockMutex_ = blockMutex; }

    dsp::SpectrumAnalyser& analyser() { return analyser_; }
    ui::SpectrumFrame& frame() { return frame_; }

    // The displays of the page being shown; drawn into while the displays
    // are switched on. A null spectrum detaches both.
    void attach(ui::SpectrumView* view, ui::WaterfallView* waterfall = nullptr);
    // Detaches when `view` is the attached display.
    void detach(ui::SpectrumView* view);
    ui::SpectrumView* attached() const { return view_.data(); }
    ui::WaterfallView* attachedWaterfall() const { return waterfallView_.data(); }
    const dsp::Waterfall& waterfall() const { return waterfall_; }

    // The waterfall's colours and rows per block (1, 2 or 4).
    void setWaterfallPalette(ui::WaterfallPalette palette);
    ui::WaterfallPalette waterfallPalette() const { return palette_; }
    void setWaterfallSpeed(int blocksPerRow);
    int waterfallSpeed() const { return waterfall_.blocksPerRow(); }

    // The receiver's dial frequency and sideband, when a receiver is under
    // control: the waterfall's scale then counts the received frequency.
    void setDial(std::optional<double> dialKhz, bool lowerSideband);
    std::optional<double> dial() const { return dialKhz_; }

    // What the decoder of the page shown would have marked: its pass band
    // and tones.
    void setMarkers(const dsp::Markers& markers);

    void setOn(bool on);
    bool on() const { return on_.load(); }
    // The display's click: switches the display off or on again for `view`.
    void toggle(ui::SpectrumView* view);

    // Capture thread, after the decoder: analyses the block and leaves the
    // result for the display.
    void afterBlock(std::span<const float> block);
    // UI thread, often: redraws the display when a new result waits.
    void poll();

    // The display's arrays could not be had (the display stays off). Called
    // with the block mutex held: it posts, it does not show.
    std::function<void()> outOfMemory;

private:
    void attachLocked();

    std::timed_mutex* blockMutex_;
    dsp::SpectrumAnalyser analyser_;
    ui::SpectrumFrame frame_;
    QPointer<ui::SpectrumView> view_;
    ui::SpectrumView* target_ = nullptr;  // read by the capture thread
    std::atomic<bool> on_{true};
    dsp::Waterfall waterfall_;
    ui::WaterfallFrame waterfallFrame_;
    QPointer<ui::WaterfallView> waterfallView_;
    bool waterfallOn_ = false;  // read by the capture thread under the block mutex
    dsp::Markers markers_;
    ui::WaterfallPalette palette_ = ui::WaterfallPalette::Classic;
    std::optional<double> dialKhz_;
    bool lowerSideband_ = false;
};

// Connects a page's displays: a left click on either tunes the page (`tune`
// with the frequency), a right click on the spectrum switches the displays,
// one on the waterfall offers that with the palette and speed, and a
// waterfall that changes its width is attached again.
void connectDisplays(QWidget* page, SpectrumLink& link, ui::SpectrumView* spectrum,
                     ui::WaterfallView* waterfall, std::function<void(double)> tune,
                     const std::function<QString(int)>& strings);

}  // namespace zeb::nimba
