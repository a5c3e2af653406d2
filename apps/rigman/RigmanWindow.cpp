#include "RigmanWindow.h"

#include "CommandService.h"
#include "NmeaBridge.h"
#include "Rigman.h"
#include "common/Format.h"
#include "rig/NmeaDisplay.h"
#include "ui/DialogLoader.h"
#include "ui/LanguageBundle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDial>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

namespace zeb::rigman {

namespace ModeFlag = rig::ModeFlag;

const std::array<ModeButton, 14> kModeButtons = {{
    {1012, ModeFlag::Lsb},
    {1013, ModeFlag::Usb},
    {1037, ModeFlag::CwNarrow},
    {1033, ModeFlag::Cw},
    {1036, ModeFlag::Rtty},
    {1038, ModeFlag::Mode32},
    {1014, ModeFlag::AmNarrow},
    {1015, ModeFlag::Am},
    {1016, ModeFlag::Mode256},
    {1029, ModeFlag::Mode512},
    {1031, ModeFlag::Mode1024},
    {1032, ModeFlag::Mode2048},
    {1034, ModeFlag::Fm},
    {1035, ModeFlag::Wfm},
}};

namespace {

constexpr int kKnobPositions = 100;
constexpr int kWheelNotch = 120;

void enableControl(const QWidget* dialog, int id, bool enabled) {
    if (QWidget* w = ui::control(dialog, id)) w->setEnabled(enabled);
}

}  // namespace

RigmanWindow* RigmanWindow::create(Rigman& program) {
    auto* window = new RigmanWindow(program, nullptr);
    auto dialog = program.bundle()->loadDialog(101, window);
    if (!dialog) {
        qWarning("%s", dialog.error().message.c_str());
        delete window;
        return nullptr;
    }
    window->dialog_ = *dialog;
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(window->dialog_);
    window->findControls();
    window->fillLists();
    window->connectControls();
    window->enableControls();
    window->refresh();
    return window;
}

RigmanWindow::RigmanWindow(Rigman& program, QWidget* dialog)
    : QWidget(nullptr), program_(program), dialog_(dialog) {
    setWindowIcon(program.bundle()->icon(102));
}

void RigmanWindow::findControls() {
    display_ = ui::controlAs<QLabel>(dialog_, 1030);
    knob_ = ui::controlAs<QDial>(dialog_, 1003);
    steps_ = ui::controlAs<QComboBox>(dialog_, 1004);
    filters_ = ui::controlAs<QComboBox>(dialog_, 1005);
    attenuator_ = ui::controlAs<QCheckBox>(dialog_, 1008);
    volume_ = ui::controlAs<QSlider>(dialog_, 1009);
    squelch_ = ui::controlAs<QSlider>(dialog_, 1010);
    nmeaOn_ = ui::controlAs<QAbstractButton>(dialog_, 1019);
    nmeaPanelButton_ = ui::controlAs<QAbstractButton>(dialog_, 1020);
    nmeaPanel_ = ui::control(dialog_, 1022);
    strength_ = ui::controlAs<QProgressBar>(dialog_, 1039);
    strengthLabel_ = ui::control(dialog_, 1040);
    if (display_) display_->installEventFilter(this);
    if (knob_) {
        knob_->setRange(0, kKnobPositions - 1);
        knob_->setWrapping(true);
        knobValue_ = knob_->value();
    }
    if (nmeaPanel_) nmeaPanel_->hide();
    setStrength(std::nullopt);
}

void RigmanWindow::fillLists() {
    rig::RigDriver* driver = program_.driver();
    if (steps_ && driver) {
        for (const auto& step : rig::kTuningSteps) {
            if (!(driver->steps() & step.flag)) continue;
            steps_->addItem(QString::fromLatin1(step.label.data(), qsizetype(step.label.size())),
                            step.hz);
            if (step.hz == program_.settings().step) steps_->setCurrentIndex(steps_->count() - 1);
        }
    }
    if (filters_ && driver) {
        for (const auto label : driver->filterLabels())
            filters_->addItem(QString::fromLatin1(label.data(), qsizetype(label.size())));
        filters_->setCurrentIndex(program_.filterEntry());
    }
}

void RigmanWindow::connectControls() {
    for (const auto& button : kModeButtons) {
        auto* b = ui::controlAs<QAbstractButton>(dialog_, button.id);
        if (!b) continue;
        connect(b, &QAbstractButton::clicked, this, [this, flag = button.flag] {
            program_.selectMode(flag);
            refresh();
        });
    }
    if (knob_) connect(knob_, &QDial::valueChanged, this, &RigmanWindow::onKnob);
    if (steps_)
        connect(steps_, &QComboBox::activated, this,
                [this](int index) { program_.setStep(steps_->itemData(index).toInt()); });
    if (filters_)
        connect(filters_, &QComboBox::activated, this,
                [this](int index) { program_.selectFilterEntry(index); });
    if (attenuator_)
        connect(attenuator_, &QCheckBox::clicked, this,
                [this](bool on) { program_.setAttenuator(on); });
    if (volume_)
        connect(volume_, &QSlider::valueChanged, this, [this](int v) {
            if (!updating_) program_.setVolume(v);
        });
    if (squelch_)
        connect(squelch_, &QSlider::valueChanged, this, [this](int v) {
            if (!updating_) program_.setSquelch(v);
        });
    if (nmeaOn_)
        connect(nmeaOn_, &QAbstractButton::clicked, this,
                [this](bool on) { program_.setNmeaForwarding(on); });
    if (nmeaPanelButton_)
        connect(nmeaPanelButton_, &QAbstractButton::clicked, this,
                [this](bool open) { program_.setNmeaPanel(open); });
}

void RigmanWindow::enableControls() {
    rig::RigDriver* driver = program_.driver();
    const std::uint32_t features = driver ? driver->features() : 0;
    for (const auto& button : kModeButtons)
        enableControl(dialog_, button.id, (features & button.flag) != 0);
    const bool filter = features & rig::Feature::Filter;
    const bool volume = features & rig::Feature::Volume;
    const bool squelch = features & rig::Feature::Squelch;
    for (int id : {1005, 1011}) enableControl(dialog_, id, filter);
    for (int id : {1009, 1017}) enableControl(dialog_, id, volume);
    for (int id : {1010, 1018}) enableControl(dialog_, id, squelch);
    enableControl(dialog_, 1008, (features & rig::Feature::Attenuator) != 0);
    for (int id : {1019, 1020}) enableControl(dialog_, id, program_.nmeaPossible());
}

void RigmanWindow::refresh() {
    updating_ = true;
    const unsigned mode = program_.mode();
    for (const auto& button : kModeButtons)
        if (auto* b = ui::controlAs<QAbstractButton>(dialog_, button.id))
            b->setChecked(button.flag == mode);
    const RigmanSettings& s = program_.settings();
    if (attenuator_) attenuator_->setChecked(s.attenuator);
    if (volume_) volume_->setValue(s.volume);
    if (squelch_) squelch_->setValue(s.squelch);
    if (filters_) filters_->setCurrentIndex(program_.filterEntry());
    if (nmeaOn_) nmeaOn_->setChecked(s.nmea);
    if (nmeaPanelButton_) nmeaPanelButton_->setChecked(program_.nmeaPanelOpen());
    updating_ = false;
    showFrequency();
}

void RigmanWindow::showFrequency() {
    if (display_)
        display_->setText(QString::fromStdString(formatFixed(program_.frequencyKhz(), 3)) +
                          QStringLiteral(" kHz"));
}

void RigmanWindow::setStrength(std::optional<int> strength) {
    if (strength_) {
        strength_->setVisible(strength.has_value());
        strength_->setValue(strength.value_or(0));
    }
    if (strengthLabel_) strengthLabel_->setVisible(strength.has_value());
}

void RigmanWindow::showNmea() {
    if (!nmeaPanel_ || !program_.nmea()) return;
    const NmeaBridge& nmea = *program_.nmea();
    const rig::NmeaFix& fix = nmea.fix();
    auto set = [this](int id, const QString& text) {
        if (auto* label = ui::controlAs<QLabel>(dialog_, id)) label->setText(text);
    };
    set(1021, nmea.lastSentence());
    const std::string format = program_.bundle()->string(kPositionFormat).toStdString();
    set(1023, QString::fromStdString(rig::formatPosition(format, fix)));
    set(1024, QString::fromStdString(rig::formatTimeDate(fix)));
    set(1025, QString::fromStdString(rig::formatAltitude(fix)));
    set(1026, QString::fromStdString(rig::formatSatellites(fix)));
}

void RigmanWindow::showOutgoing() {
    if (auto* label = ui::controlAs<QLabel>(dialog_, 1028); label && program_.nmea())
        label->setText(program_.nmea()->lastOutgoing());
}

void RigmanWindow::onKnob(int value) {
    int delta = value - knobValue_;
    if (delta > kKnobPositions / 2) delta -= kKnobPositions;
    if (delta < -kKnobPositions / 2) delta += kKnobPositions;
    knobValue_ = value;
    if (delta != 0) program_.tuneBySteps(delta);
}

bool RigmanWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == display_ && event->type() == QEvent::MouseButtonPress) {
        enterFrequency();
        return true;
    }
    if (watched == display_ && event->type() == QEvent::Wheel) {
        const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / kWheelNotch;
        if (notches != 0) program_.tuneBySteps(notches);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::optional<double> parseFrequencyEntry(const QString& text, double unitKhz) {
    QByteArray bytes = text.trimmed().toLatin1();
    bytes.replace(',', '.');  // a decimal comma, as many desktops write it
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto value = parseDecimal({data, static_cast<std::size_t>(bytes.size())});
    if (!value || *value <= 0.0 || !std::isfinite(*value * unitKhz)) return std::nullopt;
    return *value * unitKhz;
}

bool RigmanWindow::enterFrequency() {
    auto loaded = program_.bundle()->loadDialog(143, this);
    auto* entry = loaded ? qobject_cast<QDialog*>(*loaded) : nullptr;
    if (!entry) return false;
    std::unique_ptr<QDialog> owner(entry);
    auto* field = ui::controlAs<QLineEdit>(entry, 1009);
    if (!field) return false;
    field->setText(QString::fromStdString(formatFixed(program_.frequencyKhz(), 3)));
    field->selectAll();
    double unit = 1.0;
    const std::pair<int, double> units[] = {{1010, 1.0}, {1011, 1e3}, {1012, 1e6}};
    for (const auto& [id, khz] : units)
        if (auto* b = ui::controlAs<QAbstractButton>(entry, id))
            connect(b, &QAbstractButton::clicked, entry, [entry, &unit, khz] {
                unit = khz;
                entry->accept();
            });
    if (auto* cancel = ui::controlAs<QAbstractButton>(entry, 2))
        connect(cancel, &QAbstractButton::clicked, entry, &QDialog::reject);
    if (entry->exec() != QDialog::Accepted) return false;
    const auto khz = parseFrequencyEntry(field->text(), unit);
    if (!khz) {
        QApplication::beep();
        return false;
    }
    program_.tune(*khz);
    return true;
}

void RigmanWindow::place() {
    if (const auto& rect = program_.settings().mainPos) {
        move(rect->left, rect->top);
        return;
    }
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void RigmanWindow::closeWithoutQuestion() {
    closeAsked_ = false;
    close();
}

void RigmanWindow::closeEvent(QCloseEvent* event) {
    if (closeAsked_ && !program_.messages().askMessage(kCloseQuestion)) {
        event->ignore();
        return;
    }
    event->accept();
}

void RigmanWindow::recordRect() {
    if (!isVisible() || isMinimized() || isMaximized() || isFullScreen()) return;
    const QRect r = frameGeometry();
    program_.recordWindowRect({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
}

void RigmanWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    recordRect();
}

void RigmanWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    recordRect();
}

}  // namespace zeb::rigman
