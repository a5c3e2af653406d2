#include "FaxPage.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "FaxDisplays.h"
#include "PictureWindow.h"
#include "SpectrumLink.h"
#include "common/TimeKey.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/SpectrumView.h"

namespace zeb::nimba {

namespace {
constexpr int kStrManualStart = 9010;
constexpr int kStrManualStop = 9011;
constexpr int kStrSaveFailed = 9012;
constexpr int kMsgSaveWhileReceiving = 9013;
constexpr int kStrSaveAsTitle = 73;
// The signal-to-noise readout: "S/N %d dB" and "S/N –" (the RTTY page's).
constexpr int kStrSnr = 9023, kStrNoSnr = 9024;
constexpr int kPreviewBorder = 2;  // the button's frame around the preview
const QColor kSelectedLamp(64, 64, 192);
const QColor kReceivingLamp(0, 200, 0);

QString defaultSaveDialog(QWidget* parent, const QString& title, const QString& path,
                          const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, path, filter);
}
}  // namespace

QString faxSaveName(TimeKey key) {
    const NameTime t = breakDown(key);
    return QString::asprintf("FAX_%d-%02d-%02d_%02d-%02d.BMP", t.year, t.month, t.day, t.hour,
                             t.minute);
}

std::optional<std::uint16_t> parseToneValue(const QString& text) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, 10);
    if (!ok || value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

FaxPage::FaxPage(PageContext& context, fax::FaxDecoder& decoder, FaxDisplays& displays,
                 QWidget* parent)
    : QWidget(parent),
      context_(context),
      decoder_(decoder),
      displays_(displays),
      saveDialog_(defaultSaveDialog) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (context_.bundle) dialog_ = context_.bundle->dialog(faxid::kDialog, this);
    if (dialog_) {
        dialog_->setWindowFlags(Qt::Widget);
        layout->addWidget(dialog_);
        connectControls();
    }
    if (!decoder_.running()) {
        decoder_.loadSettings();
        displays_.markSpectrum();
    }
    displays_.setPage(this);
    refresh();
    sendPreviewSize();
    showStateText();
}

FaxPage::~FaxPage() {
    detachSpectrum();
    decoder_.setPreviewSize(0, 0);
    if (displays_.page() == this) displays_.setPage(nullptr);
}

void FaxPage::connectControls() {
    using ui::controlAs;
    centerKnob_ = controlAs<ui::RotaryKnob>(dialog_, faxid::kCenterKnob);
    shiftKnob_ = controlAs<ui::RotaryKnob>(dialog_, faxid::kShiftKnob);
    bandwidthKnob_ = controlAs<ui::RotaryKnob>(dialog_, faxid::kBandwidthKnob);
    centerDisplay_ = controlAs<ui::SegmentDisplay>(dialog_, faxid::kCenterDisplay);
    shiftDisplay_ = controlAs<ui::SegmentDisplay>(dialog_, faxid::kShiftDisplay);
    bandwidthDisplay_ = controlAs<ui::SegmentDisplay>(dialog_, faxid::kBandwidthDisplay);
    startTone_ = controlAs<QLineEdit>(dialog_, faxid::kStartTone);
    stopTone_ = controlAs<QLineEdit>(dialog_, faxid::kStopTone);
    for (std::size_t i = 0; i < ioc_.size(); ++i)
        ioc_[i] = controlAs<ui::LitSwitch>(dialog_, faxid::kIocButtons[i]);
    for (std::size_t i = 0; i < lpm_.size(); ++i)
        lpm_[i] = controlAs<ui::LitSwitch>(dialog_, faxid::kLpmButtons[i]);
    for (std::size_t i = 0; i < filter_.size(); ++i)
        filter_[i] = controlAs<ui::LitSwitch>(dialog_, faxid::kFilterButtons[i]);
    manualStart_ = controlAs<ui::LitSwitch>(dialog_, faxid::kManualStart);
    slant_ = controlAs<QSpinBox>(dialog_, faxid::kSlant);
    applySlant_ = controlAs<QPushButton>(dialog_, faxid::kApplySlant);
    saveAs_ = controlAs<QPushButton>(dialog_, faxid::kSaveAs);
    preview_ = controlAs<QPushButton>(dialog_, faxid::kPreview);
    spectrum_ = controlAs<ui::SpectrumView>(dialog_, faxid::kSpectrum);
    measured_ = dialog_->findChild<QLabel*>(QStringLiteral("measuredTones"));
    autoSlant_ = dialog_->findChild<QCheckBox*>(QStringLiteral("autoSlant"));
    measuredSlant_ = dialog_->findChild<QLabel*>(QStringLiteral("measuredSlant"));
    snr_ = dialog_->findChild<QLabel*>(QStringLiteral("faxSnr"));
    acceptSlant_ = dialog_->findChild<QPushButton*>(QStringLiteral("acceptSlant"));
    savePng_ = dialog_->findChild<QPushButton*>(QStringLiteral("savePng"));

    auto setupKnob = [](ui::RotaryKnob* knob, int minimum, int maximum, const QString& label) {
        if (!knob) return;
        knob->setRange(minimum, maximum);
        knob->setPageStep(10);
        knob->setLabel(label);
    };
    setupKnob(centerKnob_, fax::kMinCenter, fax::kMaxCenter, QStringLiteral("Hz"));
    setupKnob(shiftKnob_, fax::kMinShift, fax::kMaxShift, QStringLiteral("Hz"));
    setupKnob(bandwidthKnob_, fax::kMinBandwidth, fax::kMaxBandwidth, QStringLiteral("Hz"));
    for (ui::SegmentDisplay* display : {centerDisplay_, shiftDisplay_, bandwidthDisplay_})
        if (display) display->setFormat(4, 0);

    if (centerKnob_) connect(centerKnob_, &ui::RotaryKnob::valueChanged, this, &FaxPage::onCenter);
    if (shiftKnob_) connect(shiftKnob_, &ui::RotaryKnob::valueChanged, this, &FaxPage::onShift);
    if (bandwidthKnob_)
        connect(bandwidthKnob_, &ui::RotaryKnob::valueChanged, this, &FaxPage::onBandwidth);
    if (startTone_)
        connect(startTone_, &QLineEdit::textChanged, this,
                [this](const QString& text) { onTone(true, text); });
    if (stopTone_)
        connect(stopTone_, &QLineEdit::textChanged, this,
                [this](const QString& text) { onTone(false, text); });

    for (std::size_t i = 0; i < ioc_.size(); ++i) {
        if (!ioc_[i]) continue;
        connect(ioc_[i], &QPushButton::clicked, this, [this, i] {
            fax::FaxConfig c = decoder_.config();
            c.ioc = static_cast<std::uint16_t>(fax::kIocValues[i]);
            applyConfig(c);
        });
    }
    for (std::size_t i = 0; i < lpm_.size(); ++i) {
        if (!lpm_[i]) continue;
        connect(lpm_[i], &QPushButton::clicked, this, [this, i] {
            fax::FaxConfig c = decoder_.config();
            c.lpm = static_cast<std::uint16_t>(fax::kLpmValues[i]);
            applyConfig(c);
        });
    }
    for (std::size_t i = 0; i < filter_.size(); ++i) {
        if (!filter_[i]) continue;
        connect(filter_[i], &QPushButton::clicked, this, [this, i] {
            fax::FaxConfig c = decoder_.config();
            c.filterOrder = static_cast<std::uint16_t>(fax::kFilterOrders[i]);
            applyConfig(c);
        });
    }
    if (manualStart_)
        connect(manualStart_, &QPushButton::clicked, this, [this] {
            if (!decoder_.running()) return;
            decoder_.manualStartStop();
            refreshManualStart();
        });
    if (slant_) {
        slant_->setRange(-99999, 99999);
        slant_->setValue(0);
        slantValue_ = 0;
        connect(slant_, &QSpinBox::valueChanged, this, &FaxPage::onSlant);
    }
    if (applySlant_)
        connect(applySlant_, &QPushButton::clicked, this, [this] {
            decoder_.applySlantToAllModes();
            writeSettings();
            refresh();
        });
    if (saveAs_) connect(saveAs_, &QPushButton::clicked, this, &FaxPage::saveAs);
    if (savePng_) connect(savePng_, &QPushButton::clicked, this, &FaxPage::saveAsPng);
    if (autoSlant_)
        connect(autoSlant_, &QCheckBox::toggled, this, [this](bool on) {
            if (updating_) return;
            decoder_.setAutoSlant(on);
            writeSettings();
            refreshSlant();
        });
    if (acceptSlant_)
        connect(acceptSlant_, &QPushButton::clicked, this, [this] {
            // The measured error becomes the input's correction table.
            if (decoder_.acceptMeasuredSlant()) writeSettings();
            refreshSlant();
        });
    if (preview_) {
        preview_->installEventFilter(this);
        connect(preview_, &QPushButton::clicked, this, [this] { displays_.togglePictureWindow(); });
    }
    waterfall_ = controlAs<ui::WaterfallView>(dialog_, faxid::kWaterfall);
    if (context_.spectrum)
        connectDisplays(
            this, *context_.spectrum, spectrum_, waterfall_, [this](double hz) { tuneTo(hz); },
            [this](int id) { return context_.string(id); });
}

void FaxPage::tuneTo(double hz) {
    fax::FaxConfig c = decoder_.config();
    c.center = static_cast<std::uint16_t>(
        std::clamp(static_cast<int>(std::lround(hz)), fax::kMinCenter, fax::kMaxCenter));
    applyConfig(c);
}

void FaxPage::poll() {
    if (!snr_) return;
    const double snr = decoder_.snrDb();
    const QString text =
        decoder_.running() && std::isfinite(snr) && context_.bundle
            ? context_.bundle->format(kStrSnr, {static_cast<int>(std::lround(snr))})
            : context_.string(kStrNoSnr);
    if (text == shownSnr_) return;
    shownSnr_ = text;
    snr_->setText(text);
}

void FaxPage::applyConfig(fax::FaxConfig config) {
    decoder_.setConfig(config);
    writeSettings();
    refresh();
}

void FaxPage::writeSettings() {
    (void)decoder_.saveSettings();
    // Saving applies the settings anew (so did any change before it): the
    // spectrum's markers follow them.
    displays_.markSpectrum();
}

void FaxPage::onCenter(int value) {
    if (updating_) return;
    fax::FaxConfig c = decoder_.config();
    c.center = static_cast<std::uint16_t>(value);
    applyConfig(c);
}

void FaxPage::onShift(int value) {
    if (updating_) return;
    fax::FaxConfig c = decoder_.config();
    c.shift = static_cast<std::uint16_t>(value);
    // A wider shift takes the filter along (the decoder would do the same).
    c.bandwidth = static_cast<std::uint16_t>(fax::bandwidthForShift(c.bandwidth, c.shift));
    applyConfig(c);
}

void FaxPage::onBandwidth(int value) {
    if (updating_) return;
    fax::FaxConfig c = decoder_.config();
    // Below the shift the filter would cut off a tone: raised to the shift,
    // and refresh() sets the knob back.
    c.bandwidth = static_cast<std::uint16_t>(fax::bandwidthForShift(value, c.shift));
    applyConfig(c);
}

void FaxPage::onTone(bool start, const QString& text) {
    if (updating_) return;
    const std::optional<std::uint16_t> value = parseToneValue(text);
    if (!value) return;  // the record keeps the previous value
    fax::FaxConfig c = decoder_.config();
    (start ? c.startTone : c.stopTone) = *value;
    // A tone the decoder would refuse (outside its range, or one that a line
    // could match as the other tone too) leaves the record as it is, like
    // bad text: "4" on the way to "450" does not reset the tone.
    fax::FaxConfig checked = c;
    if (fax::validate(checked) != 0) return;
    // Only the record changes: the edit keeps what is being typed.
    decoder_.setConfig(c);
    writeSettings();
}

void FaxPage::onSlant(int value) {
    const int delta = value - slantValue_;
    slantValue_ = value;
    if (updating_ || delta == 0) return;
    decoder_.slantStep(delta);
    writeSettings();
}

void FaxPage::refresh() {
    if (!dialog_) return;
    const fax::FaxConfig c = decoder_.config();
    updating_ = true;
    auto show = [](ui::RotaryKnob* knob, ui::SegmentDisplay* display, int value) {
        if (knob) knob->setValue(value);
        if (display) display->setValue(value);
    };
    show(centerKnob_, centerDisplay_, c.center);
    show(shiftKnob_, shiftDisplay_, c.shift);
    show(bandwidthKnob_, bandwidthDisplay_, c.bandwidth);
    auto showTone = [](QLineEdit* edit, int value) {
        if (!edit) return;
        const std::optional<std::uint16_t> shown = parseToneValue(edit->text());
        if (!shown || *shown != value) edit->setText(QString::number(value));
    };
    showTone(startTone_, c.startTone);
    showTone(stopTone_, c.stopTone);
    auto light = [](auto& buttons, const auto& values, int value) {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]) buttons[i]->setLit(values[i] == value);
    };
    light(ioc_, fax::kIocValues, c.ioc);
    light(lpm_, fax::kLpmValues, c.lpm);
    light(filter_, fax::kFilterOrders, c.filterOrder);
    updating_ = false;
    refreshManualStart();
    refreshPreview();
    refreshSlant();
}

void FaxPage::refreshSlant() {
    const bool on = decoder_.autoSlant();
    const std::optional<double> ppm = decoder_.measuredPpm();
    if (autoSlant_) {
        const bool was = updating_;
        updating_ = true;
        autoSlant_->setChecked(on);
        updating_ = was;
    }
    if (measuredSlant_)
        measuredSlant_->setText(ppm ? QString::asprintf("%+.1f ppm", *ppm)
                                    : QStringLiteral("\u2013 ppm"));
    if (acceptSlant_) acceptSlant_->setEnabled(ppm.has_value());
}

void FaxPage::refreshManualStart() {
    if (!manualStart_) return;
    const bool running = decoder_.running();
    const bool receiving = running && decoder_.state() == fax::FaxState::Receiving;
    manualStart_->setEnabled(running);
    manualStart_->setLitColour(kReceivingLamp);
    manualStart_->setLit(receiving);
    const QString caption = context_.string(receiving ? kStrManualStop : kStrManualStart);
    if (!caption.isEmpty()) manualStart_->setText(caption);
    if (saveAs_) saveAs_->setEnabled(!decoder_.pictureFileOpen());
}

void FaxPage::refreshPreview() {
    if (preview_) preview_->update();
    if (measured_) {
        const auto [start, stop] = decoder_.lastToneValues();
        measured_->setText(QStringLiteral("%1 / %2").arg(start).arg(stop));
    }
}

void FaxPage::showStateText() {
    if (!decoder_.running()) return;
    context_.setStatus(context_.string(faxStateStringId(decoder_.state())));
}

void FaxPage::saveAs() {
    if (decoder_.pictureFileOpen()) {
        // The work file owns the picture until the reception ends.
        if (context_.messages) context_.messages->showMessage(kMsgSaveWhileReceiving);
        return;
    }
    const std::filesystem::path dir = context_.workDir / "FAX";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a failure shows when saving
    const QString suggested =
        QDir(QString::fromStdString(dir.string())).filePath(faxSaveName(context_.clock()));
    const QString path = saveDialog_ ? saveDialog_(this, context_.string(kStrSaveAsTitle),
                                                   suggested, QStringLiteral("Bitmap (*.BMP)"))
                                     : QString();
    if (path.isEmpty()) return;
    if (auto r = decoder_.savePictureAs(std::filesystem::path(path.toStdString())); !r) {
        if (context_.messages) {
            const QString reason = QString::fromStdString(r.error().message);
            const QString lead = context_.string(kStrSaveFailed);
            context_.messages->showText(lead.isEmpty() ? reason : lead + u'\n' + reason);
        }
    }
}

void FaxPage::saveAsPng() {
    const std::filesystem::path dir = context_.workDir / "FAX";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a failure shows when saving
    QString name = faxSaveName(context_.clock());
    name.replace(QStringLiteral(".BMP"), QStringLiteral(".PNG"));
    const QString suggested = QDir(QString::fromStdString(dir.string())).filePath(name);
    const QString path = saveDialog_
                             ? saveDialog_(this, context_.string(kStrSaveAsTitle), suggested,
                                           QStringLiteral("PNG picture (*.PNG *.png)"))
                             : QString();
    if (path.isEmpty()) return;
    if (auto r = decoder_.savePictureAsPng(std::filesystem::path(path.toStdString())); !r) {
        if (context_.messages) {
            const QString reason = QString::fromStdString(r.error().message);
            const QString lead = context_.string(kStrSaveFailed);
            context_.messages->showText(lead.isEmpty() ? reason : lead + u'\n' + reason);
        }
    }
}

void FaxPage::sendPreviewSize() {
    if (!preview_) return;
    const QSize size =
        preview_->rect()
            .adjusted(kPreviewBorder, kPreviewBorder, -kPreviewBorder, -kPreviewBorder)
            .size();
    decoder_.setPreviewSize(std::max(size.width(), 0), std::max(size.height(), 0));
}

void FaxPage::paintPreview() {
    QPainter painter(preview_);
    const QRect area =
        preview_->rect().adjusted(kPreviewBorder, kPreviewBorder, -kPreviewBorder, -kPreviewBorder);
    painter.fillRect(preview_->rect(), palette().color(QPalette::Button));
    if (area.isEmpty()) return;
    const fax::Preview& preview = decoder_.preview();
    if (!preview.valid()) {
        painter.fillRect(area, Qt::white);
    } else {
        const fax::Bitmap bm = preview.snapshot();
        QImage image(bm.width, bm.height, QImage::Format_Indexed8);
        image.setColorTable(faxGreyTable());
        for (int y = 0; y < bm.height; ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < bm.width; ++x) line[x] = static_cast<uchar>(bm.index(x, y));
        }
        painter.drawImage(area, image);
    }
    // The picture window is open: a frame in the lamp colour.
    if (displays_.pictureWindow()) {
        painter.setPen(QPen(kSelectedLamp, kPreviewBorder));
        painter.drawRect(preview_->rect().adjusted(1, 1, -1, -1));
    }
}

bool FaxPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == preview_) {
        if (event->type() == QEvent::Paint) {
            paintPreview();
            return true;
        }
        if (event->type() == QEvent::Resize) sendPreviewSize();
    }
    return QWidget::eventFilter(watched, event);
}

void FaxPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!spectrum_ || !context_.spectrum) return;
    // The RTTY or CW page shown before left its own markers on the display.
    displays_.markSpectrum();
    context_.spectrum->attach(spectrum_, waterfall_);
}

void FaxPage::hideEvent(QHideEvent* event) {
    detachSpectrum();
    QWidget::hideEvent(event);
}

void FaxPage::detachSpectrum() {
    if (spectrum_ && context_.spectrum) context_.spectrum->detach(spectrum_);
}

}  // namespace zeb::nimba
