#include "SpectrumLink.h"

#include "BlockLock.h"

namespace zeb::nimba {

SpectrumLink::SpectrumLink(std::timed_mutex* blockMutex) : blockMutex_(blockMutex) {
    analyser_.init(dsp::SpectrumAnalyser::kDefaultSampleRate,
                   dsp::SpectrumAnalyser::kDefaultBlockLength);
}

void SpectrumLink::attachLocked(ui::SpectrumView* view) {
    analyser_.detachDisplay();
    target_ = nullptr;
    frame_.clear();
    if (!view || !on_.load()) return;
    const QSize size = view->analyserSize();
    if (!analyser_.attachDisplay(size.width(), size.height())) {
        // A display too small to draw in is no failure; anything else is memory.
        if (size.width() > 2 && size.height() > 2 && outOfMemory) outOfMemory();
        return;
    }
    view->setFrame(&frame_);
    target_ = view;
}

void SpectrumLink::attach(ui::SpectrumView* view) {
    view_ = view;
    if (view) view->setFrequencyRange(analyser_.lowHz(), analyser_.highHz());
    BlockLock lock(blockMutex_);
    attachLocked(view);
}

void SpectrumLink::detach(ui::SpectrumView* view) {
    if (view_.data() != view) return;
    view_.clear();
    BlockLock lock(blockMutex_);
    attachLocked(nullptr);
}

void SpectrumLink::setMarkers(const dsp::Markers& markers) { analyser_.setMarkers(markers); }

void SpectrumLink::setOn(bool on) {
    on_.store(on);
    BlockLock lock(blockMutex_);
    attachLocked(view_.data());
}

void SpectrumLink::toggle(ui::SpectrumView* view) {
    view_ = view;
    setOn(!on_.load());
}

void SpectrumLink::afterBlock(std::span<const float> block) {
    if (!target_ || !on_.load() || !analyser_.displayAttached()) return;
    if (block.size() < static_cast<std::size_t>(analyser_.blockLength())) return;
    analyser_.analyse(block.data());
    frame_.publish(analyser_);
}

void SpectrumLink::poll() {
    if (ui::SpectrumView* view = view_.data(); view && frame_.pending()) view->refresh();
}

}  // namespace zeb::nimba
