#include "CwPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "RttyPage.h"
#include "SpectrumLink.h"
#include "TextCommands.h"
#include "cw/CwSettings.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/SpectrumView.h"
#include "ui/TextWindow.h"

namespace zeb::nimba {

namespace {
constexpr int kStrMatched = 9030, kStrFilter = 9031, kStrLock = 9032, kStrNoLock = 9033;
}  // namespace

CwPage::CwPage(PageContext& context, CwChain& chain, QWidget* parent)
    : QWidget(parent), context_(context), chain_(chain) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    dialog_ = context.bundle ? context.bundle->dialog(kCwDialog, this) : nullptr;
    if (!dialog_) dialog_ = new QWidget(this);
    layout->addWidget(dialog_);

    text_ = new ui::ReceivedTextWindow(context.workDir / "SYNOP",
                                       weather::TextModel::TrimPolicy::SaveAndRestart);
    text_->model().setClock(context.clock);
    placeTextWindow(dialog_, kCwText, text_, layout);
    loadTextFont(context_, *text_, cw::kCwSection);

    spectrum_ = ui::controlAs<ui::SpectrumView>(dialog_, kSpectrumControl);
    waterfall_ = ui::controlAs<ui::WaterfallView>(dialog_, kWaterfallControl);
    if (context_.spectrum)
        connectDisplays(
            this, *context_.spectrum, spectrum_, waterfall_, [this](double hz) { tuneTo(hz); },
            [this](int id) { return context_.string(id); });

    centerKnob_ = ui::controlAs<ui::RotaryKnob>(dialog_, kCwCenterKnob);
    widthKnob_ = ui::controlAs<ui::RotaryKnob>(dialog_, kCwWidthKnob);
    centerDisplay_ = ui::controlAs<ui::SegmentDisplay>(dialog_, kCwCenterDisplay);
    widthDisplay_ = ui::controlAs<ui::SegmentDisplay>(dialog_, kCwWidthDisplay);
    if (centerKnob_) {
        centerKnob_->setRange(cw::kMinCenter, cw::kMaxCenter);
        centerKnob_->setPageStep(10);
        centerKnob_->setLabel(QStringLiteral("CTR"));
        connect(centerKnob_, &ui::RotaryKnob::valueChanged, this, [this](int v) {
            if (!updating_) setBand(v, chain_.band().width);
        });
    }
    if (widthKnob_) {
        widthKnob_->setRange(cw::kMinWidth, cw::kMaxWidth);
        widthKnob_->setPageStep(10);
        widthKnob_->setLabel(QStringLiteral("BW"));
        connect(widthKnob_, &ui::RotaryKnob::valueChanged, this, [this](int v) {
            if (!updating_) setBand(chain_.band().center, v);
        });
    }
    if (centerDisplay_) centerDisplay_->setFormat(4, 0);
    if (widthDisplay_) widthDisplay_->setFormat(3, 0);

    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kCwDesign)) {
        combo->addItem(context_.string(kStrMatched), static_cast<int>(cw::CwVariant::Matched));
        combo->addItem(context_.string(kStrFilter), static_cast<int>(cw::CwVariant::Filter));
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            cw::CwOptions o = chain_.options();
            o.variant = static_cast<cw::CwVariant>(combo->itemData(index).toInt());
            setOptions(o);
        });
    }
    if (auto* box = ui::controlAs<QCheckBox>(dialog_, kCwAutoCenter)) {
        connect(box, &QCheckBox::toggled, this, [this](bool on) {
            if (updating_) return;
            cw::CwOptions o = chain_.options();
            o.autoCenter = on;
            setOptions(o);
        });
    }
    lock_ = ui::controlAs<QLabel>(dialog_, kCwLock);

    auto button = [this](int id, auto slot) {
        if (auto* b = ui::controlAs<QPushButton>(dialog_, id))
            connect(b, &QPushButton::clicked, this, slot);
    };
    button(kSaveButton, [this] { saveTextWindow(this, context_, *text_); });
    button(kPrintButton, [this] { printTextWindow(this, *text_); });
    button(kFontButton, [this] { chooseTextFont(this, context_, *text_, cw::kCwSection); });
    refresh();
}

CwPage::~CwPage() {
    if (context_.spectrum) context_.spectrum->detach(spectrum_);
}

void CwPage::setBand(int center, int width) {
    chain_.setBand(cw::ToneBand{center, width});
    saveSettings();
    applyMarkers();
    refresh();
}

void CwPage::tuneTo(double hz) {
    const int center =
        std::clamp(static_cast<int>(std::lround(hz)), cw::kMinCenter, cw::kMaxCenter);
    setBand(center, chain_.band().width);
}

void CwPage::setOptions(cw::CwOptions options) {
    chain_.setOptions(options);
    saveSettings();
    applyMarkers();
    refresh();
}

void CwPage::applyMarkers() {
    if (!context_.spectrum) return;
    const cw::ToneBand b = chain_.band();
    // The matched design marks the tone it holds, the filter design its band.
    if (markedTone_ > 0.0) {
        const auto tone = static_cast<float>(markedTone_);
        context_.spectrum->setMarkers(dsp::Markers{tone - 25.0f, tone + 25.0f, tone, 0.0f});
        return;
    }
    context_.spectrum->setMarkers(cw::bandMarkers(b));
}

void CwPage::refresh() {
    updating_ = true;
    const cw::ToneBand b = chain_.band();
    if (centerKnob_) centerKnob_->setValue(b.center);
    if (widthKnob_) widthKnob_->setValue(b.width);
    if (centerDisplay_) centerDisplay_->setValue(b.center);
    if (widthDisplay_) widthDisplay_->setValue(b.width);
    const cw::CwOptions o = chain_.options();
    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kCwDesign))
        combo->setCurrentIndex(combo->findData(static_cast<int>(o.variant)));
    if (auto* box = ui::controlAs<QCheckBox>(dialog_, kCwAutoCenter)) {
        box->setChecked(o.autoCenter);
        box->setEnabled(o.variant == cw::CwVariant::Matched);
    }
    updating_ = false;
    poll();
}

void CwPage::poll() {
    const auto& m = chain_.decoder().matched();
    const bool matched = chain_.options().variant == cw::CwVariant::Matched;
    const bool held = matched && chain_.running() && m.locked();
    QString text;
    if (held && context_.bundle) {
        const double snr = m.snrDb();
        // The tone held, its offset from the set centre, the speed and S/N.
        const int tone = static_cast<int>(std::lround(m.toneHz()));
        text = context_.bundle->format(
            kStrLock, {tone, tone - chain_.band().center, static_cast<int>(std::lround(m.wpm())),
                       std::isfinite(snr) ? static_cast<int>(std::lround(snr)) : 0});
    } else if (matched) {
        text = context_.string(kStrNoLock);
    }
    if (lock_ && text != shownLock_) {
        shownLock_ = text;
        lock_->setText(text);
    }
    // The spectrum's markers follow the tone when it moves by a few hertz.
    const double tone = held ? m.toneHz() : 0.0;
    if (std::fabs(tone - markedTone_) > 3.0 || (tone == 0.0) != (markedTone_ == 0.0)) {
        markedTone_ = tone;
        if (isVisible()) applyMarkers();
    }
}

void CwPage::saveSettings() { (void)chain_.saveBand(); }

void CwPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    applyMarkers();
    if (context_.spectrum && spectrum_) context_.spectrum->attach(spectrum_, waterfall_);
}

void CwPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (context_.spectrum) context_.spectrum->detach(spectrum_);
    saveSettings();
}

}  // namespace zeb::nimba
