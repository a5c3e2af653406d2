#include "AudioPage.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "MainWindow.h"
#include "Nimba.h"
#include "RecorderChain.h"
#include "audioio/Codec.h"
#include "audioio/WaveFileWriter.h"
#include "ui/DialogLoader.h"
#include "ui/MixerDialog.h"
#include "ui/PanelControls.h"
#include "ui/ProgramList.h"

namespace zeb::nimba {
namespace {

using namespace audioid;
using audio::MixerIds;
using Member = std::int32_t MixerIds::*;

// Strings of the page.
constexpr int kCaptionTitle = 71;
constexpr int kCodecFormat = 9116;
constexpr int kSizeFormat = 9117;
constexpr int kInputHelp = 9118;
constexpr int kFileInput = 9119;
constexpr int kNullInput = 9120;
constexpr int kMixerTitle = 9121;
constexpr int kMixerSave = 9122;
constexpr int kMixerNotSaved = 9123;
constexpr int kBlankInPath = 9124;
constexpr int kNotANumber = 9125;
constexpr int kCodecTitle = 9126;

// The line and control identifiers each mixer control of the page works on.
struct MixerPair {
    int id;
    Member line;
    Member control;
};
constexpr std::array<MixerPair, 7> kMixerPairs{{
    {kLinePeak, &MixerIds::lineId, &MixerIds::linePeak},
    {kLineVolume, &MixerIds::lineId, &MixerIds::lineCtl},
    {kWavePeak, &MixerIds::waveId, &MixerIds::wavePeak},
    {kSpeakerVolume, &MixerIds::dstId, &MixerIds::volCtl},
    {kMonitoring, &MixerIds::muteId, &MixerIds::lineMute},
    {kSpeakers, &MixerIds::spkId, &MixerIds::spkMute},
    {kWaveVolume, &MixerIds::waveId, &MixerIds::waveCtl},
}};

// The sliders and the settings they keep.
struct Volume {
    int id;
    int MainSettings::*percent;
};
constexpr std::array<Volume, 3> kVolumes{{
    {kLineVolume, &MainSettings::lineVolume},
    {kWaveVolume, &MainSettings::waveVolume},
    {kSpeakerVolume, &MainSettings::speakerVolume},
}};

// The meters, and the stream whose blocks stand in for a card without meters.
struct Meter {
    int id;
    int (Nimba::*streamPeak)() const;
};
constexpr std::array<Meter, 2> kMeters{{
    {kLinePeak, &Nimba::capturePeak},
    {kWavePeak, &Nimba::monitorPeak},
}};

// DELTIME of the four choices, in hours (0: never).
constexpr std::array<std::pair<int, int>, 4> kDeleteChoices{{
    {kKeep48, 48},
    {kKeep96, 96},
    {kKeep192, 192},
    {kKeepAll, 0},
}};

constexpr std::array<int, 6> kSwitches = {kPeakHold, kAlertSound, kMonitoring,
                                          kSpeakers, kMonitor,    kSignalWindow};

// The property that names a mixer control's id for the right click.
constexpr const char* kMixerControlProperty = "zebMixerControl";

const MixerPair* pairOf(int id) {
    for (const MixerPair& p : kMixerPairs)
        if (p.id == id) return &p;
    return nullptr;
}

bool known(const MixerIds& ids, const MixerPair& pair) {
    return ids.*pair.line >= 0 && ids.*pair.control >= 0;
}

QString offsetText(double hz) { return QString::number(hz, 'g', 12); }

}  // namespace

int volumePercent(std::int32_t value) {
    const std::int64_t v = std::clamp<std::int64_t>(value, 0, 65535);
    return static_cast<int>((v * 100 + 99) / 65535);
}

int peakPercent(std::int32_t value) {
    const std::int64_t v = std::abs(static_cast<std::int64_t>(value));
    return static_cast<int>(std::min<std::int64_t>(v * 100 / 32767, 100));
}

std::optional<double> parseOffset(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.starts_with('+')) text.remove_prefix(1);
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<CaptureDevice> alsaCaptureDevices() {
    std::vector<CaptureDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return devices;
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* description = snd_device_name_get_hint(*hint, "DESC");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        // "null" is the program's own silence, offered separately.
        if (name && std::strcmp(name, "null") != 0 &&
            (!direction || std::strcmp(direction, "Input") == 0)) {
            std::string text = description ? description : "";
            std::replace(text.begin(), text.end(), '\n', ' ');
            devices.push_back({name, text});
        }
        std::free(name);
        std::free(description);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return devices;
}

AudioPage::AudioPage(Nimba& nimba, QWidget* parent) : QWidget(parent), nimba_(nimba) {
    runMixerDialog = [](ui::MixerDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    buildControls();
    connectSettings();
    connectMixer();
    connectSwitches();
    showCodec();
    showInputHelp();
    setRecordingSize(0);
    meterTimer_.setInterval(kMeterPeriodMs);
    connect(&meterTimer_, &QTimer::timeout, this, [this] {
        updateMeters();
        refreshSwitches();
    });
    meterTimer_.start();
    updateMeters();
}

AudioPage::~AudioPage() {
    meterTimer_.stop();
    if (offsetChanged_) (void)nimba_.setReceiverOffset(nimba_.settings().receiverOffset);
}

QString AudioPage::text(int id) const { return nimba_.pageContext().string(id); }

bool AudioPage::mixerUsable() {
    const audio::MixerLink* mixer = nimba_.mixer();
    return mixer && mixer->isOpen();
}

void AudioPage::report(const Result<void>& written) {
    if (!written) nimba_.pageContext().setStatus(QString::fromStdString(written.error().message));
}

void AudioPage::buildControls() {
    ui::registerPanelControls();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (const ui::LanguageBundle* bundle = nimba_.bundle()) dialog_ = bundle->dialog(kDialog, this);
    if (!dialog_) dialog_ = new QWidget(this);
    dialog_->setWindowFlags(Qt::Widget);
    layout->addWidget(dialog_);
    offset_ = ui::controlAs<QLineEdit>(dialog_, kOffset);
    codecText_ = ui::controlAs<QLabel>(dialog_, kCodecText);
    recordingSize_ = ui::controlAs<QLabel>(dialog_, kRecordingSize);
    codecButton_ = ui::controlAs<QAbstractButton>(dialog_, kCodec);
    if (codecButton_) {
        codecButton_->setEnabled(false);
        connect(codecButton_, &QAbstractButton::clicked, this, [this] {
            if (chooseCodec_) chooseCodec_();
        });
    }
    if (auto* list = ui::controlAs<QListWidget>(dialog_, kPrograms)) {
        ui::ProgramList::Texts texts;
        if (const QString t = text(kCaptionTitle); !t.isEmpty()) texts.captionTitle = t;
        if (const QString t = text(kBlankInPath); !t.isEmpty()) texts.blankInPath = t;
        programs_ = new ui::ProgramList(*list, nimba_.workDir(), &nimba_.messages(), texts, this);
    }
}

void AudioPage::connectSettings() {
    const MainSettings& settings = nimba_.settings();
    for (const auto& [id, hours] : kDeleteChoices) {
        auto* choice = ui::controlAs<QAbstractButton>(dialog_, id);
        if (!choice) continue;
        // A value set by hand that is none of the choices stays until one is chosen.
        choice->setChecked(settings.deleteHours == hours);
        connect(choice, &QAbstractButton::toggled, this, [this, hours = hours](bool on) {
            if (on && !updating_) report(nimba_.setDeleteHours(hours));
        });
    }
    if (offset_) {
        updating_ = true;
        offset_->setText(offsetText(settings.receiverOffset));
        updating_ = false;
        connect(offset_, &QLineEdit::textChanged, this,
                [this](const QString& t) { offsetEdited(t); });
        connect(offset_, &QLineEdit::editingFinished, this, [this] {
            if (!offsetChanged_) return;
            offsetChanged_ = false;
            report(nimba_.setReceiverOffset(nimba_.settings().receiverOffset));
        });
    }
}

void AudioPage::offsetEdited(const QString& typed) {
    if (updating_) return;
    const auto value = parseOffset(typed.toStdString());
    offsetValid_ = value.has_value();
    if (value) {
        nimba_.settings().receiverOffset = *value;
        offsetChanged_ = true;
    }
    // The field is marked while its text is no number; the last number holds.
    QPalette palette = offset_->palette();
    palette.setColor(QPalette::Base, offsetValid_ ? QWidget::palette().color(QPalette::Base)
                                                  : QColor(255, 200, 200));
    offset_->setPalette(palette);
    offset_->setProperty("invalid", !offsetValid_);
    const std::string kept = offsetText(nimba_.settings().receiverOffset).toStdString();
    offset_->setToolTip(offsetValid_      ? QString()
                        : nimba_.bundle() ? nimba_.bundle()->format(kNotANumber, {kept})
                                          : QString());
}

void AudioPage::connectMixer() {
    const MainSettings& settings = nimba_.settings();
    for (const Volume& v : kVolumes) {
        auto* slider = ui::controlAs<QAbstractSlider>(dialog_, v.id);
        if (!slider) continue;
        slider->setRange(0, 100);
        slider->setValue(settings.*v.percent);
        connect(slider, &QAbstractSlider::valueChanged, this, [this, slider, id = v.id](int p) {
            setVolume(id, p);
            if (!slider->isSliderDown() && !updating_) report(nimba_.storeVolumes());
        });
        connect(slider, &QAbstractSlider::sliderReleased, this,
                [this] { report(nimba_.storeVolumes()); });
    }
    for (const Meter& m : kMeters) {
        if (auto* meter = ui::controlAs<ui::BarMeter>(dialog_, m.id)) meter->setRange(0, 100);
    }
    for (const MixerPair& p : kMixerPairs) {
        if (QWidget* control = ui::control(dialog_, p.id)) {
            control->setProperty(kMixerControlProperty, p.id);
            control->installEventFilter(this);
        }
    }
    // The speakers' state is the card's: it is not stored.
    const MixerIds& ids = nimba_.mixerIds();
    if (mixerUsable() && known(ids, *pairOf(kSpeakers))) {
        const std::int32_t muted = nimba_.mixer()->getSwitch(ids.spkId, ids.spkMute);
        if (muted >= 0) speakersOn_ = muted == 0;
    }
    applyMixerState();
}

void AudioPage::applyMixerState() {
    const bool usable = mixerUsable();
    const MixerIds& ids = nimba_.mixerIds();
    for (int id : {kLineVolume, kWaveVolume, kSpeakerVolume, kMonitoring, kSpeakers}) {
        if (QWidget* control = ui::control(dialog_, id))
            control->setEnabled(usable && known(ids, *pairOf(id)));
    }
}

void AudioPage::setVolume(int id, int percent) {
    if (updating_) return;
    for (const Volume& v : kVolumes)
        if (v.id == id) nimba_.settings().*v.percent = percent;
    const MixerPair& pair = *pairOf(id);
    const MixerIds& ids = nimba_.mixerIds();
    if (mixerUsable() && known(ids, pair))
        nimba_.mixer()->setLevelPercent(ids.*pair.line, ids.*pair.control, percent);
}

void AudioPage::mixerChanged(std::int32_t controlId) {
    const MixerIds& ids = nimba_.mixerIds();
    if (controlId < 0 || !mixerUsable()) return;
    for (const MixerPair& p : kMixerPairs)
        if (ids.*p.control == controlId) return readMixer();
}

void AudioPage::readMixer() {
    audio::MixerLink& mixer = *nimba_.mixer();
    const MixerIds& ids = nimba_.mixerIds();
    updating_ = true;
    for (const Volume& v : kVolumes) {
        const MixerPair& pair = *pairOf(v.id);
        if (!known(ids, pair)) continue;
        const std::int32_t value = mixer.getLevel(ids.*pair.line, ids.*pair.control);
        if (value < 0) continue;
        nimba_.settings().*v.percent = volumePercent(value);
        if (auto* slider = ui::controlAs<QAbstractSlider>(dialog_, v.id))
            slider->setValue(nimba_.settings().*v.percent);
    }
    if (known(ids, *pairOf(kSpeakers))) {
        const std::int32_t muted = mixer.getSwitch(ids.spkId, ids.spkMute);
        if (muted >= 0) speakersOn_ = muted == 0;
    }
    if (known(ids, *pairOf(kMonitoring))) {
        const std::int32_t muted = mixer.getSwitch(ids.muteId, ids.lineMute);
        if (muted >= 0) nimba_.settings().lineMute = muted == 0 ? 1 : 0;
    }
    updating_ = false;
    refreshSwitches();
}

void AudioPage::updateMeters() {
    const bool usable = mixerUsable();
    const MixerIds& ids = nimba_.mixerIds();
    for (const Meter& m : kMeters) {
        auto* meter = ui::controlAs<ui::BarMeter>(dialog_, m.id);
        if (!meter) continue;
        const MixerPair& pair = *pairOf(m.id);
        std::optional<std::int32_t> peak;
        if (usable && known(ids, pair)) {
            peak = nimba_.mixer()->getLevel(ids.*pair.line, ids.*pair.control);
        } else if (const int own = (nimba_.*m.streamPeak)(); own >= 0) {
            peak = own;
        }
        meter->setEnabled(peak.has_value());
        meter->setValue(peak ? peakPercent(*peak) : 0);
    }
    setRecordingSize(nimba_.recorder() ? nimba_.recorder()->bytesWritten() : 0);
}

void AudioPage::connectSwitches() {
    for (int id : kSwitches) {
        auto* button = ui::controlAs<QAbstractButton>(dialog_, id);
        if (button) connect(button, &QAbstractButton::clicked, this, [this, id] { toggle(id); });
    }
    if (QWidget* alert = ui::control(dialog_, kAlertSound))
        alert->setEnabled(nimba_.tones() != nullptr);
    refreshSwitches();
}

void AudioPage::toggle(int id) {
    const MainSettings& settings = nimba_.settings();
    switch (id) {
        case kPeakHold: report(nimba_.setPeakHold(settings.peakHold == 0)); break;
        case kAlertSound:
            if (ui::TonePlayer* tones = nimba_.tones()) tones->setEnabled(!tones->enabled());
            break;
        case kMonitoring: report(nimba_.setLineMonitoring(settings.lineMute == 0)); break;
        case kSpeakers: {
            const MixerIds& ids = nimba_.mixerIds();
            if (mixerUsable() && known(ids, *pairOf(kSpeakers)) &&
                nimba_.mixer()->setSwitch(ids.spkId, ids.spkMute, speakersOn_ ? 1 : 0) == 0)
                speakersOn_ = !speakersOn_;
            break;
        }
        case kMonitor: nimba_.setMonitorOn(!nimba_.monitorOn()); break;
        case kSignalWindow: nimba_.setSignalWindowOpen(!nimba_.signalWindowOpen()); break;
        default: break;
    }
    refreshSwitches();
}

void AudioPage::refreshSwitches() {
    const MainSettings& settings = nimba_.settings();
    const ui::TonePlayer* tones = nimba_.tones();
    const std::array<bool, kSwitches.size()> lit = {
        settings.peakHold != 0, tones && tones->enabled(), settings.lineMute != 0, speakersOn_,
        nimba_.monitorOn(),     nimba_.signalWindowOpen()};
    for (std::size_t i = 0; i < kSwitches.size(); ++i) {
        if (auto* s = ui::controlAs<ui::LitSwitch>(dialog_, kSwitches[i])) s->setLit(lit[i]);
    }
}

bool AudioPage::editMixerControl(int id) {
    const MixerPair* pair = pairOf(id);
    if (!pair || !mixerUsable()) return false;
    ui::MixerDialogTexts texts;
    for (auto [string, target] : {std::pair{kMixerTitle, &texts.title},
                                  {kMixerSave, &texts.save},
                                  {kMixerNotSaved, &texts.notSaved}}) {
        if (const QString t = text(string); !t.isEmpty()) *target = t;
    }
    ui::MixerDialog dialog(nimba_.mixer()->lines(), nimba_.mixerIds(), pair->line, pair->control,
                           &nimba_.profile(), &nimba_.messages(), texts, this);
    if (!runMixerDialog(dialog)) return false;
    nimba_.setMixerIds(dialog.ids());
    applyMixerState();
    // The control chosen takes the page's setting, as the card's controls
    // take them at start.
    const MixerIds& ids = dialog.ids();
    audio::MixerLink& mixer = *nimba_.mixer();
    for (const Volume& v : kVolumes)
        if (v.id == id)
            mixer.setLevelPercent(ids.*pair->line, ids.*pair->control,
                                  nimba_.settings().*v.percent);
    if (id == kMonitoring)
        mixer.setSwitch(ids.muteId, ids.lineMute, nimba_.settings().lineMute ? 0 : 1);
    if (id == kSpeakers) mixer.setSwitch(ids.spkId, ids.spkMute, speakersOn_ ? 0 : 1);
    updateMeters();
    return true;
}

bool AudioPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const QVariant id = watched->property(kMixerControlProperty);
        if (id.isValid() && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            editMixerControl(id.toInt());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AudioPage::setCodecChooser(std::function<void()> choose) {
    chooseCodec_ = std::move(choose);
    if (codecButton_) codecButton_->setEnabled(static_cast<bool>(chooseCodec_));
}

void AudioPage::showCodec() {
    if (!codecText_) return;
    std::vector<std::uint8_t> record = readCodecRecord(nimba_.profile());
    audio::CodecChoice choice;
    // A record that does not complete is recorded as 16-bit PCM.
    if (!audio::completeFormatRecord(record, &choice)) {
        record = audio::WaveFormat::pcm(audio::Recorder::kSampleRate, 1, 16).serialize();
        if (!audio::completeFormatRecord(record, &choice)) return codecText_->clear();
    }
    const auto format = audio::WaveFormat::parse(record);
    const long long rate = format ? format->avgBytesPerSec : 0;
    const ui::LanguageBundle* bundle = nimba_.bundle();
    codecText_->setText(
        bundle ? bundle->format(kCodecFormat, {choice.longName, choice.formatName, rate})
               : QString());
}

std::vector<audio::WaveFormat> recordingFormats() {
    std::vector<audio::WaveFormat> formats;
    for (const audio::CodecInfo& codec : audio::installedCodecs()) {
        if (!codec.canConvert) continue;
        for (const audio::CodecFormat& f : codec.formats) {
            if (f.format.samplesPerSec == audio::Recorder::kSampleRate && f.format.channels == 1)
                formats.push_back(f.format);
        }
    }
    return formats;
}

void AudioPage::chooseCodec() {
    // The formats a recording of the capture stream (11025 Hz, mono) can be
    // written in, each as the description line shows it.
    const std::vector<audio::WaveFormat> formats = recordingFormats();
    if (formats.empty()) return;
    const std::vector<std::uint8_t> stored = readCodecRecord(nimba_.profile());
    QStringList items;
    int current = 0;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        std::vector<std::uint8_t> record = formats[i].serialize();
        audio::CodecChoice choice;
        if (!audio::completeFormatRecord(record, &choice)) continue;
        if (std::equal(stored.begin(), stored.begin() + 4, record.begin())) {
            current = static_cast<int>(items.size());
        }
        items << QString::fromStdString(choice.longName + "  " + choice.formatName + "  " +
                                        std::to_string(formats[i].avgBytesPerSec) + " Bytes/s");
    }
    bool ok = false;
    const QString picked = QInputDialog::getItem(this, text(kCodecTitle), text(kCodecTitle), items,
                                                 current, false, &ok);
    const auto index = items.indexOf(picked);
    if (!ok || index < 0) return;
    std::vector<std::uint8_t> record = formats[static_cast<std::size_t>(index)].serialize();
    record.resize(kCodecRecordSize);
    ProfileFile& profile = nimba_.profile();
    profile.setSection(kRecorderSection);
    report(profile.writeBytes(kCodecKey, record));
    showCodec();
}

void AudioPage::setRecordingSize(std::uint64_t bytes) {
    if (!recordingSize_) return;
    const ui::LanguageBundle* bundle = nimba_.bundle();
    const auto kilobytes = static_cast<long long>(bytes / 1024);
    recordingSize_->setText(bytes == 0 || !bundle ? QString()
                                                  : bundle->format(kSizeFormat, {kilobytes}));
}

void AudioPage::showInputHelp() {
    auto* hint = ui::controlAs<QLabel>(dialog_, kInputHint);
    auto* list = ui::controlAs<QListWidget>(dialog_, kInputDevices);
    if (!hint || !list) return;
    const std::string& input = nimba_.inputDevice();
    // The help is for a program that hears no sound card.
    const bool noCard = input == "null" || input.starts_with("file:");
    QWidget* group = hint->parentWidget() != dialog_ ? hint->parentWidget() : nullptr;
    for (QWidget* w : {group, static_cast<QWidget*>(hint), static_cast<QWidget*>(list)}) {
        if (w) w->setVisible(noCard);
    }
    if (!noCard) return;
    if (const ui::LanguageBundle* bundle = nimba_.bundle())
        hint->setText(bundle->format(kInputHelp, {input}));
    list->clear();
    for (const CaptureDevice& device : alsaCaptureDevices()) {
        auto* item = new QListWidgetItem(QString::fromStdString(device.name), list);
        item->setToolTip(QString::fromStdString(device.description));
    }
    for (auto [name, tip] : {std::pair{"file:PATH", kFileInput}, {"null", kNullInput}}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), list);
        item->setToolTip(text(tip));
    }
}

}  // namespace zeb::nimba
