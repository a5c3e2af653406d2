#include "SettingsWindow.h"

#include "ui/PanelControls.h"

#include <QAbstractButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <array>
#include <cmath>

namespace zeb::zebrtty {
namespace {

constexpr std::array<int, 9> kBaudPresets = {45, 50, 57, 75, 100, 110, 150, 200, 300};
constexpr std::array<int, 4> kShiftPresets = {85, 170, 425, 850};
constexpr std::array<float, 3> kStopLengths = {1.0f, 1.5f, 2.0f};
constexpr std::array<rtty::RttyMode, 3> kModes = {
    rtty::RttyMode::Baudot, rtty::RttyMode::SyncBaudot, rtty::RttyMode::SitorB};

// What the spin boxes offer; parameters beyond them are kept but shown at
// the nearest end.
constexpr int kMaxBaudShown = 270;
constexpr int kMinCenterShown = 500, kMaxCenterShown = 1500;

void setRange(QSpinBox* spin, int minimum, int maximum) {
    if (spin) spin->setRange(minimum, maximum);
}

void setChecked(const QWidget* dialog, int id, bool checked) {
    if (auto* button = ui::controlAs<QAbstractButton>(dialog, id)) button->setChecked(checked);
}

}  // namespace

SettingsWindow::SettingsWindow(const ui::LanguageBundle& bundle, QWidget* parent)
    : ToolWindow(bundle, kSettingsDialog, parent) {
    QWidget* d = dialog();
    baud_ = ui::controlAs<QSpinBox>(d, kBaudSpin);
    shift_ = ui::controlAs<QSpinBox>(d, kShiftSpin);
    center_ = ui::controlAs<QSpinBox>(d, kCenterSpin);
    invert_ = ui::controlAs<QAbstractButton>(d, kInvertButton);
    afc_ = ui::controlAs<QAbstractButton>(d, kAfcButton);
    squelch_ = ui::controlAs<QSlider>(d, kSquelchSlider);
    spectrumMeter_ = displayControl<LevelMeter>(d, kSpectrumMeter);
    toneMeter_ = displayControl<LevelMeter>(d, kToneMeter);
    lock_ = displayControl<ui::Lamp>(d, kLockLamp);

    updating_ = true;
    setRange(baud_, rtty::kMinBaud, kMaxBaudShown);
    setRange(shift_, rtty::kMinShift, rtty::kMaxShift);
    setRange(center_, kMinCenterShown, kMaxCenterShown);
    if (squelch_) squelch_->setRange(0, kSquelchSteps);
    updating_ = false;
    // The buttons that show a value are checked while it is set.
    auto checkable = [d](int first, std::size_t count) {
        for (int i = 0; i < static_cast<int>(count); ++i)
            if (auto* b = ui::controlAs<QAbstractButton>(d, first + i)) b->setCheckable(true);
    };
    checkable(kFirstBaudButton, kBaudPresets.size());
    checkable(kFirstShiftButton, kShiftPresets.size());
    checkable(kFirstStopButton, kStopLengths.size());
    checkable(kFirstModeButton, kModes.size());
    checkable(kInvertButton, 1);
    checkable(kAfcButton, 1);

    connectSpins();
    connectButtons();
    params_ = rtty::validated(params_);
    refresh();
}

void SettingsWindow::connectSpins() {
    auto spin = [this](QSpinBox* box, auto change) {
        if (!box) return;
        connect(box, &QSpinBox::valueChanged, this, [this, change](int value) {
            if (updating_) return;
            rtty::RttyParams p = params_;
            change(p, value);
            apply(p);
        });
    };
    spin(baud_, [](rtty::RttyParams& p, int v) {
        p.baud = v;
        p.rate = 0.0;  // the standard rate of the new baud
    });
    spin(shift_, [](rtty::RttyParams& p, int v) { p.shift = v; });
    spin(center_, [](rtty::RttyParams& p, int v) { p.center = v; });
    if (squelch_)
        connect(squelch_, &QSlider::valueChanged, this, [this](int value) {
            if (updating_) return;
            rtty::RttyParams p = params_;
            p.squelch = static_cast<float>(value * kSquelchStep);
            apply(p);
        });
}

void SettingsWindow::connectButtons() {
    auto onClick = [this](int id, auto slot) {
        if (auto* b = ui::controlAs<QAbstractButton>(dialog(), id))
            connect(b, &QAbstractButton::clicked, this, slot);
    };
    auto change = [this, onClick](int id, auto edit) {
        onClick(id, [this, edit] {
            rtty::RttyParams p = params_;
            edit(p);
            apply(p);
        });
    };
    for (std::size_t i = 0; i < kBaudPresets.size(); ++i)
        change(kFirstBaudButton + static_cast<int>(i), [baud = kBaudPresets[i]](auto& p) {
            p.baud = baud;
            p.rate = 0.0;
        });
    for (std::size_t i = 0; i < kShiftPresets.size(); ++i)
        change(kFirstShiftButton + static_cast<int>(i),
               [shift = kShiftPresets[i]](auto& p) { p.shift = shift; });
    for (std::size_t i = 0; i < kStopLengths.size(); ++i)
        change(kFirstStopButton + static_cast<int>(i),
               [stop = kStopLengths[i]](auto& p) { p.stop = stop; });
    for (std::size_t i = 0; i < kModes.size(); ++i)
        change(kFirstModeButton + static_cast<int>(i),
               [mode = static_cast<int>(kModes[i])](auto& p) { p.mode = mode; });
    change(kInvertButton, [](auto& p) { p.invert = p.invert ? 0 : 1; });
    onClick(kLettersButton, [this] { emit shiftStateRequested(false); });
    onClick(kFiguresButton, [this] { emit shiftStateRequested(true); });
    if (afc_)
        connect(afc_, &QAbstractButton::clicked, this,
                [this] { emit afcToggled(afc_->isChecked()); });
}

void SettingsWindow::apply(const rtty::RttyParams& params) {
    params_ = rtty::validated(params);
    refresh();
    emit paramsChanged(params_);
}

void SettingsWindow::setParams(const rtty::RttyParams& params) {
    params_ = rtty::validated(params);
    refresh();
}

void SettingsWindow::refresh() {
    updating_ = true;
    const QWidget* d = dialog();
    if (baud_) baud_->setValue(params_.baud);
    if (shift_) shift_->setValue(params_.shift);
    if (center_) center_->setValue(params_.center);
    for (std::size_t i = 0; i < kBaudPresets.size(); ++i)
        setChecked(d, kFirstBaudButton + static_cast<int>(i), params_.baud == kBaudPresets[i]);
    for (std::size_t i = 0; i < kShiftPresets.size(); ++i)
        setChecked(d, kFirstShiftButton + static_cast<int>(i), params_.shift == kShiftPresets[i]);
    for (std::size_t i = 0; i < kStopLengths.size(); ++i)
        setChecked(d, kFirstStopButton + static_cast<int>(i), params_.stop == kStopLengths[i]);
    for (std::size_t i = 0; i < kModes.size(); ++i)
        setChecked(d, kFirstModeButton + static_cast<int>(i), params_.rttyMode() == kModes[i]);
    if (invert_) invert_->setChecked(params_.invert != 0);
    if (squelch_) {
        const long position = std::lround(params_.squelch / kSquelchStep);
        squelch_->setValue(static_cast<int>(std::clamp(position, 0L, long{kSquelchSteps})));
    }
    updating_ = false;
}

void SettingsWindow::setAfc(bool on) {
    if (afc_) afc_->setChecked(on);
}

void SettingsWindow::setLevels(double spectrumMean, double toneLevel) {
    spectrumMeter_->setLevel(spectrumMean);
    toneMeter_->setLevel(toneLevel);
}

void SettingsWindow::setLocked(bool locked) { lock_->setLit(locked); }

}  // namespace zeb::zebrtty
