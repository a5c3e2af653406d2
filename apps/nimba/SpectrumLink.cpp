#include "SpectrumLink.h"

#include <QActionGroup>
#include <QCursor>
#include <QMenu>

#include <array>

#include "BlockLock.h"

namespace zeb::nimba {

SpectrumLink::SpectrumLink(std::timed_mutex* blockMutex) : blockMutex_(blockMutex) {
    analyser_.init(dsp::SpectrumAnalyser::kDefaultSampleRate,
                   dsp::SpectrumAnalyser::kDefaultBlockLength);
}

void SpectrumLink::attachLocked() {
    analyser_.detachDisplay();
    waterfall_.detach();
    target_ = nullptr;
    waterfallOn_ = false;
    frame_.clear();
    waterfallFrame_.clear();
    ui::SpectrumView* view = view_.data();
    if (!view || !on_.load()) return;
    const QSize size = view->analyserSize();
    if (!analyser_.attachDisplay(size.width(), size.height())) {
        // A display too small to draw in is no failure; anything else is memory.
        if (size.width() > 2 && size.height() > 2 && outOfMemory) outOfMemory();
        return;
    }
    view->setFrame(&frame_);
    target_ = view;
    // The waterfall covers the spectrum's frequencies, column for column
    // of its own width.
    ui::WaterfallView* waterfall = waterfallView_.data();
    if (!waterfall || waterfall->columns() < 1) return;
    if (!waterfall_.attach(waterfall->columns(), analyser_.lowHz(), analyser_.highHz())) {
        if (outOfMemory) outOfMemory();
        return;
    }
    waterfall->setFrame(&waterfallFrame_);
    waterfallOn_ = true;
}

void SpectrumLink::attach(ui::SpectrumView* view, ui::WaterfallView* waterfall) {
    view_ = view;
    waterfallView_ = view ? waterfall : nullptr;
    if (view) view->setFrequencyRange(analyser_.lowHz(), analyser_.highHz());
    if (waterfall && view) {
        waterfall->setRange(analyser_.lowHz(), analyser_.highHz());
        waterfall->setMarkers(markers_);
        waterfall->setPalette(palette_);
        waterfall->setDial(dialKhz_, lowerSideband_);
    }
    BlockLock lock(blockMutex_);
    attachLocked();
}

void SpectrumLink::detach(ui::SpectrumView* view) {
    if (view_.data() != view) return;
    view_.clear();
    waterfallView_.clear();
    BlockLock lock(blockMutex_);
    attachLocked();
}

void SpectrumLink::setMarkers(const dsp::Markers& markers) {
    markers_ = markers;
    analyser_.setMarkers(markers);
    if (ui::WaterfallView* waterfall = waterfallView_.data()) waterfall->setMarkers(markers);
}

void SpectrumLink::setDial(std::optional<double> dialKhz, bool lowerSideband) {
    dialKhz_ = dialKhz;
    lowerSideband_ = lowerSideband;
    if (ui::WaterfallView* waterfall = waterfallView_.data())
        waterfall->setDial(dialKhz, lowerSideband);
}

void SpectrumLink::setWaterfallPalette(ui::WaterfallPalette palette) {
    palette_ = palette;
    if (ui::WaterfallView* waterfall = waterfallView_.data()) waterfall->setPalette(palette);
}

void SpectrumLink::setWaterfallSpeed(int blocksPerRow) { waterfall_.setBlocksPerRow(blocksPerRow); }

void SpectrumLink::setOn(bool on) {
    on_.store(on);
    BlockLock lock(blockMutex_);
    attachLocked();
}

void SpectrumLink::toggle(ui::SpectrumView* view) {
    if (view != view_.data()) {
        view_ = view;
        waterfallView_.clear();
    }
    setOn(!on_.load());
}

void SpectrumLink::afterBlock(std::span<const float> block) {
    if (!target_ || !on_.load() || !analyser_.displayAttached()) return;
    if (block.size() < static_cast<std::size_t>(analyser_.blockLength())) return;
    analyser_.analyse(block.data());
    frame_.publish(analyser_);
    if (waterfallOn_ && waterfall_.analyse(block)) waterfallFrame_.publish(waterfall_.row());
}

void SpectrumLink::poll() {
    if (ui::SpectrumView* view = view_.data(); view && frame_.pending()) view->refresh();
    if (ui::WaterfallView* waterfall = waterfallView_.data();
        waterfall && waterfallFrame_.pending())
        waterfall->refresh();
}

namespace {

// The waterfall's menu: "Displays off"/"Displays on", the palettes, the speeds.
constexpr int kStrDisplaysOff = 9040, kStrDisplaysOn = 9041;
constexpr std::array<std::pair<ui::WaterfallPalette, int>, 3> kPalettes = {{
    {ui::WaterfallPalette::Classic, 9042},
    {ui::WaterfallPalette::Grey, 9043},
    {ui::WaterfallPalette::Heat, 9044},
}};
constexpr std::array<std::pair<int, int>, 3> kSpeeds = {{{1, 9045}, {2, 9046}, {4, 9047}}};

// One group of exclusive choices in the menu: each entry's text, whether it
// is the current one, and what choosing it does.
template <class Choices, class Current, class Choose>
void addChoices(QMenu& menu, const Choices& choices, const std::function<QString(int)>& strings,
                Current current, Choose choose) {
    menu.addSeparator();
    auto* group = new QActionGroup(&menu);
    for (const auto& [value, text] : choices) {
        QAction* a = menu.addAction(strings(text));
        a->setCheckable(true);
        a->setChecked(current() == value);
        group->addAction(a);
        QObject::connect(a, &QAction::triggered, [choose, v = value] { choose(v); });
    }
}

void showWaterfallMenu(SpectrumLink& link, ui::SpectrumView* spectrum,
                       const std::function<QString(int)>& strings) {
    QMenu menu;
    const bool on = link.on();
    QAction* toggle = menu.addAction(strings(on ? kStrDisplaysOff : kStrDisplaysOn));
    QObject::connect(toggle, &QAction::triggered, [&link, spectrum] { link.toggle(spectrum); });
    addChoices(
        menu, kPalettes, strings, [&link] { return link.waterfallPalette(); },
        [&link](auto palette) { link.setWaterfallPalette(palette); });
    addChoices(
        menu, kSpeeds, strings, [&link] { return link.waterfallSpeed(); },
        [&link](auto blocks) { link.setWaterfallSpeed(blocks); });
    menu.exec(QCursor::pos());
}

}  // namespace

void connectDisplays(QWidget* page, SpectrumLink& link, ui::SpectrumView* spectrum,
                     ui::WaterfallView* waterfall, std::function<void(double)> tune,
                     const std::function<QString(int)>& strings) {
    if (spectrum) {
        QObject::connect(spectrum, &ui::SpectrumView::clicked, page,
                         [&link, spectrum] { link.toggle(spectrum); });
        QObject::connect(spectrum, &ui::SpectrumView::tuneRequested, page, tune);
    }
    if (!waterfall) return;
    QObject::connect(waterfall, &ui::WaterfallView::tuneRequested, page, tune);
    QObject::connect(waterfall, &ui::WaterfallView::toggleRequested, page,
                     [&link, spectrum, strings] { showWaterfallMenu(link, spectrum, strings); });
    QObject::connect(waterfall, &ui::WaterfallView::columnsChanged, page,
                     [&link, spectrum, waterfall] {
                         if (link.attached() == spectrum) link.attach(spectrum, waterfall);
                     });
}

}  // namespace zeb::nimba
