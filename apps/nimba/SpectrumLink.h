// The spectrum analyser of the program and the display it draws into.
//
// One analyser exists for the whole run. The page on show attaches its
// display (control 1003) when it is shown and the display is switched on;
// attach and detach hold the capture stream's block mutex because the
// analysis runs on the capture thread after the decoder. Clicking the display
// switches it off and on.
#pragma once

#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>
#include <span>

#include "dsp/SpectrumAnalyser.h"
#include "ui/SpectrumView.h"

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

    // The display of the page being shown; drawn into while the display is
    // switched on. Null detaches.
    void attach(ui::SpectrumView* view);
    // Detaches when `view` is the attached display.
    void detach(ui::SpectrumView* view);
    ui::SpectrumView* attached() const { return view_.data(); }

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
    void attachLocked(ui::SpectrumView* view);

    std::timed_mutex* blockMutex_;
    dsp::SpectrumAnalyser analyser_;
    ui::SpectrumFrame frame_;
    QPointer<ui::SpectrumView> view_;
    ui::SpectrumView* target_ = nullptr;  // read by the capture thread
    std::atomic<bool> on_{true};
};

}  // namespace zeb::nimba
