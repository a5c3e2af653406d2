#include "ReceiverPanel.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include <array>
#include <utility>

#include "PcrReceiver.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"

namespace zeb::nimba {
namespace {

constexpr std::array<std::pair<const char*, int>, 6> kModes = {
    {{"LSB", 0}, {"USB", 1}, {"AM", 2}, {"CW", 3}, {"FM", 5}, {"WFM", 6}}};
constexpr std::array<const char*, 5> kFilters = {"3 kHz", "6 kHz", "15 kHz", "50 kHz", "230 kHz"};
constexpr int kKnobMax = 255;
constexpr int kIfShiftCentre = 128;

QString stepText(int hz) {
    return hz < 1000 ? QStringLiteral("%1 Hz").arg(hz)
                     : QStringLiteral("%1 kHz").arg(double(hz) / 1000.0, 0, 'g', 4);
}

void selectData(QComboBox* box, int value) {
    if (!box) return;
    const int index = box->findData(value);
    if (index >= 0) box->setCurrentIndex(index);
}

}  // namespace

ReceiverPanel::ReceiverPanel(QWidget* dialog, ReceiverControl* receiver)
    : QObject(dialog), dialog_(dialog), receiver_(receiver) {
    using ui::controlAs;
    frequency_ = controlAs<ui::SegmentDisplay>(dialog, panel::kFrequency);
    status_ = controlAs<QLabel>(dialog, panel::kStatus);
    mode_ = controlAs<QComboBox>(dialog, panel::kMode);
    step_ = controlAs<QComboBox>(dialog, panel::kStep);
    filter_ = controlAs<QComboBox>(dialog, panel::kFilter);
    volume_ = controlAs<ui::RotaryKnob>(dialog, panel::kVolume);
    squelch_ = controlAs<ui::RotaryKnob>(dialog, panel::kSquelch);
    ifShift_ = controlAs<ui::RotaryKnob>(dialog, panel::kIfShift);
    attenuator_ = controlAs<ui::LitSwitch>(dialog, panel::kAttenuator);
    agc_ = controlAs<ui::LitSwitch>(dialog, panel::kAgc);
    noiseBlanker_ = controlAs<ui::LitSwitch>(dialog, panel::kNoiseBlanker);
    meter_ = controlAs<ui::BarMeter>(dialog, panel::kSMeter);
    lamp_ = controlAs<ui::Lamp>(dialog, panel::kSquelchLamp);

    auto* pcr = dynamic_cast<PcrReceiver*>(receiver);
    pcr_ = pcr && pcr->controlling() ? pcr : nullptr;
    if (frequency_) {
        frequency_->setFormat(10, 3);
        frequency_->installEventFilter(this);
    }
    fillSelectors();
    setEnabled(pcr_ != nullptr);
    if (status_) {
        if (pcr_)
            status_->setText(QString::fromStdString(pcr_->control().device()));
        else if (receiver && !receiver->why().empty())
            status_->setText(QString::fromStdString(receiver->why()));
        status_->setWordWrap(true);
    }
    if (!pcr_) return;
    connectControls();
    refresh();
}

void ReceiverPanel::fillSelectors() {
    if (mode_)
        for (const auto& [name, code] : kModes) mode_->addItem(QString::fromLatin1(name), code);
    if (step_)
        for (int hz : rig::kPcrStepsHz) step_->addItem(stepText(hz), hz);
    if (filter_)
        for (int i = 0; i < int(kFilters.size()); ++i)
            filter_->addItem(QString::fromLatin1(kFilters[std::size_t(i)]), i);
    for (ui::RotaryKnob* knob : {volume_, squelch_, ifShift_})
        if (knob) knob->setRange(0, kKnobMax);
    if (volume_) volume_->setLabel(QStringLiteral("Vol"));
    if (squelch_) squelch_->setLabel(QStringLiteral("Sql"));
    if (ifShift_) {
        ifShift_->setLabel(QStringLiteral("IFS"));
        ifShift_->setValue(kIfShiftCentre);
    }
    if (meter_) {
        meter_->setRange(0, kKnobMax);
        meter_->setOrientation(Qt::Horizontal);
    }
    if (lamp_) lamp_->setColour(QColor(0, 200, 0));
}

void ReceiverPanel::setEnabled(bool on) {
    const std::array<QWidget*, 12> controls = {frequency_, mode_,         step_,    filter_,
                                               volume_,    squelch_,      ifShift_, attenuator_,
                                               agc_,       noiseBlanker_, meter_,   lamp_};
    for (QWidget* w : controls)
        if (w) w->setEnabled(on);
}

void ReceiverPanel::connectControls() {
    rig::PcrControl& c = pcr_->control();
    if (mode_)
        connect(mode_, &QComboBox::activated, this, [this, &c](int index) {
            c.setMode(mode_->itemData(index).toInt());
            emit changed();
        });
    if (step_)
        connect(step_, &QComboBox::activated, this,
                [this, &c](int index) { c.setStep(step_->itemData(index).toInt()); });
    if (filter_)
        connect(filter_, &QComboBox::activated, this,
                [this, &c](int index) { c.setFilter(filter_->itemData(index).toInt()); });
    if (volume_)
        connect(volume_, &ui::RotaryKnob::valueChanged, this, [&c](int v) { c.setVolume(v); });
    if (squelch_)
        connect(squelch_, &ui::RotaryKnob::valueChanged, this, [&c](int v) { c.setSquelch(v); });
    if (ifShift_)
        connect(ifShift_, &ui::RotaryKnob::valueChanged, this, [&c](int v) { c.setIfShift(v); });
    const std::array<std::pair<ui::LitSwitch*, bool (rig::PcrControl::*)(bool)>, 3> switches = {
        {{attenuator_, &rig::PcrControl::setAttenuator},
         {agc_, &rig::PcrControl::setAgc},
         {noiseBlanker_, &rig::PcrControl::setNoiseBlanker}}};
    for (auto [button, op] : switches) {
        if (!button) continue;
        connect(button, &QPushButton::clicked, this, [button, op, &c] {
            const bool on = !button->isLit();
            if ((c.*op)(on)) button->setLit(on);
        });
    }
    connect(pcr_, &PcrReceiver::strengthChangedSignal, this, [this](int strength) {
        if (meter_) meter_->setValue(strength);
    });
    connect(pcr_, &PcrReceiver::squelchChangedSignal, this, [this](bool closed) {
        if (lamp_) lamp_->setLit(!closed);
    });
    connect(pcr_, &PcrReceiver::answeringChangedSignal, this, [this](bool answering) {
        if (!status_) return;
        const QString device = QString::fromStdString(pcr_->control().device());
        status_->setText(answering ? device : QStringLiteral("No answer on %1").arg(device));
    });
}

void ReceiverPanel::refresh() {
    if (!receiver_) return;
    if (frequency_) frequency_->setValue(pcr_ ? receiver_->frequencyKhz() : 0.0);
    if (!pcr_) return;
    const rig::PcrSettings& s = pcr_->control().settings();
    selectData(mode_, s.mode);
    selectData(step_, s.stepHz);
    selectData(filter_, pcr_->control().filter());
    if (volume_) {
        const QSignalBlocker quiet(volume_);
        volume_->setValue(s.volume);
    }
    if (squelch_) {
        const QSignalBlocker quiet(squelch_);
        squelch_->setValue(s.squelch);
    }
    if (ifShift_) {
        const QSignalBlocker quiet(ifShift_);
        ifShift_->setValue(s.ifShift);
    }
    for (auto [button, on] :
         {std::pair{attenuator_, s.attenuator}, {agc_, s.agc}, {noiseBlanker_, s.noiseBlanker}})
        if (button) button->setLit(on);
}

void ReceiverPanel::tuneBySteps(int steps) {
    if (!pcr_ || steps == 0) return;
    const double step = pcr_->control().settings().stepHz / 1000.0;
    tuneTo(receiver_->frequencyKhz() + steps * step);
}

bool ReceiverPanel::tuneTo(double kHz) {
    if (!pcr_ || !receiver_->tune(kHz)) return false;
    refresh();
    emit changed();
    return true;
}

void ReceiverPanel::askFrequency() {
    bool ok = false;
    const double kHz = QInputDialog::getDouble(
        dialog_, dialog_->window()->windowTitle(), QStringLiteral("Frequency in kHz"),
        receiver_->frequencyKhz(), rig::kPcrMinKhz, rig::kPcrMaxKhz, 3, &ok);
    if (ok) tuneTo(kHz);
}

bool ReceiverPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != frequency_ || !pcr_) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        askFrequency();
        return true;
    }
    if (event->type() == QEvent::Wheel) {
        const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        tuneBySteps(notches);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zeb::nimba
