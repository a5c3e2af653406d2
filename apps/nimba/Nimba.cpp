#include "Nimba.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>

#include "CwPage.h"
#include "FaxDisplays.h"
#include "FaxPage.h"
#include "MainWindow.h"
#include "PcrReceiver.h"
#include "ReceivedPage.h"
#include "ReceiverPanel.h"
#include "RttyPage.h"
#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "common/SuiteDirs.h"
#include "dsp/Status.h"
#include "stations/CodeNames.h"
#include "store/ReceivedStore.h"
#include "ui/DspErrorRelay.h"
#include "ui/ShowState.h"

namespace zeb::nimba {
namespace {

constexpr const char* kClassName = "Nimbarra";
constexpr const char* kSettingsFile = "NIMBA.INI";
// What a companion's receiver panel says: the launcher's RIGMAN tunes.
constexpr const char* kTunedByRigman = "The receiver is tuned by RIGMAN.";

// Message numbers of the start-up.
constexpr int kListNotLoaded = 7;
constexpr int kNoInputDevice = 23;
// The exit status of a start that failed (a second instance ends with 0).
constexpr int kStartFailed = 1;
constexpr const char* kNoMixerNote = "no volume control for this input";
// The lines the device errors of the capability check carry.
constexpr int kLineCapabilitiesUnknown = 185;
constexpr int kLineFormatNotOffered = 186;
constexpr int kReceiverFailed = 24;
constexpr int kFewColours = 38;
constexpr int kWeatherDataFailed = 50;
constexpr int kReady = 65;
constexpr int kNoMemory = 17;
constexpr int kPictureBufferFailed = 29;
constexpr int kRecordingFailed = 75;
constexpr int kRecordingStopped = 9127;
// The files the clean-up could not delete: their count and the first reason.
constexpr int kNotDeleted = 9115;

}  // namespace

MainSettings readMainSettings(ProfileFile& profile) {
    MainSettings s;
    profile.setSection("PARAM");
    auto percent = [&profile](const char* key, int def) {
        const int v = profile.readInt(key, def);
        return v < 0 || v > 100 ? def : v;
    };
    s.lineVolume = percent("LINEVOL", s.lineVolume);
    s.waveVolume = percent("WAVEVOL", s.waveVolume);
    s.speakerVolume = percent("SPKVOL", s.speakerVolume);
    s.lineMute = profile.readInt("LINEMUTE", s.lineMute) != 0 ? 1 : 0;
    s.deleteHours = std::max(0, profile.readInt("DELTIME", s.deleteHours));
    s.peakHold = profile.readInt("ZEBPEAK", s.peakHold);
    s.waterfallPalette = profile.readInt("WFPALETTE", s.waterfallPalette);
    if (s.waterfallPalette < 0 || s.waterfallPalette > 2) s.waterfallPalette = 0;
    s.waterfallSpeed = profile.readInt("WFSPEED", s.waterfallSpeed);
    if (s.waterfallSpeed != 2 && s.waterfallSpeed != 4) s.waterfallSpeed = 1;
    s.receiverOffset = profile.readReal("RECOFFSET", s.receiverOffset);
    profile.setSection("TIMER");
    s.timerName = profile.readText("NAME", "", 255);
    s.timerActive = profile.readInt("ACTIVE", 0) != 0 ? 1 : 0;
    return s;
}

Result<void> writeMainSettings(ProfileFile& profile, const MainSettings& s) {
    profile.setSection("PARAM");
    for (auto [key, value] : {std::pair{"LINEVOL", s.lineVolume},
                              {"WAVEVOL", s.waveVolume},
                              {"SPKVOL", s.speakerVolume},
                              {"LINEMUTE", s.lineMute},
                              {"DELTIME", s.deleteHours},
                              {"ZEBPEAK", s.peakHold},
                              {"WFPALETTE", s.waterfallPalette},
                              {"WFSPEED", s.waterfallSpeed}}) {
        if (auto r = profile.writeInt(key, value); !r) return r;
    }
    if (auto r = profile.writeReal("RECOFFSET", s.receiverOffset); !r) return r;
    profile.setSection("TIMER");
    if (auto r = profile.writeText("NAME", s.timerName); !r) return r;
    return profile.writeInt("ACTIVE", s.timerActive);
}

Nimba::Nimba(StartOptions options) : options_(std::move(options)), messages_(ui::Program::Nimba) {
    std::error_code ec;
    workDir_ = options_.workDir.empty() ? std::filesystem::current_path(ec) : options_.workDir;
    if (!options_.clock) options_.clock = [] { return zeb::now(); };
}

Nimba::~Nimba() {
    shutdown();
    ui::DspErrorRelay::remove(this);
}

TimeKey Nimba::now() const { return options_.clock(); }

Result<void> Nimba::storeParam(std::string_view key, int value) {
    profile_.setSection("PARAM");
    return profile_.writeInt(key, value);
}

Result<void> Nimba::setDeleteHours(int hours) {
    settings_.deleteHours = std::max(0, hours);
    return storeParam("DELTIME", settings_.deleteHours);
}

Result<void> Nimba::setPeakHold(bool on) {
    settings_.peakHold = on ? 1 : 0;
    if (spectrum_) spectrum_->analyser().setPeakHold(on);
    return storeParam("ZEBPEAK", settings_.peakHold);
}

Result<void> Nimba::setLineMonitoring(bool heard) {
    settings_.lineMute = heard ? 1 : 0;
    if (mixer_ && mixerIds_.muteId >= 0 && mixerIds_.lineMute >= 0)
        mixer_->setSwitch(mixerIds_.muteId, mixerIds_.lineMute, heard ? 0 : 1);
    return storeParam("LINEMUTE", settings_.lineMute);
}

Result<void> Nimba::setReceiverOffset(double hz) {
    settings_.receiverOffset = hz;
    profile_.setSection("PARAM");
    return profile_.writeReal("RECOFFSET", hz);
}

Result<void> Nimba::storeVolumes() {
    for (auto [key, value] : {std::pair{"LINEVOL", settings_.lineVolume},
                              {"WAVEVOL", settings_.waveVolume},
                              {"SPKVOL", settings_.speakerVolume}}) {
        if (auto r = storeParam(key, value); !r) return r;
    }
    return success();
}

void Nimba::setMonitorOn(bool on) {
    if (on == monitorOn_) return;
    std::unique_ptr<audio::MonitorStream> closing;
    {
        BlockLock lock(capture_ ? &capture_->blockMutex() : nullptr);
        monitorOn_ = on;
        if (on) {
            // Opened paused: the feed starts it once five blocks are queued.
            auto stream = std::make_unique<audio::MonitorStream>(outputBackend_);
            if (outputBackend_ && stream->openDefault()) monitor_ = std::move(stream);
            monitorRelay_.stream = monitor_.get();
            monitorFeed_.switchOn();
        } else {
            monitorFeed_.switchOff();
            monitorRelay_.stream = nullptr;
            closing = std::move(monitor_);
        }
    }
    if (closing) closing->close();
}

void Nimba::setSignalWindowOpen(bool open) {
    if (open && !signalWindow_) {
        signalWindow_ = new ui::SignalWindow(QString::fromStdString(className()), signal_);
        signalWindow_->setAttribute(Qt::WA_DeleteOnClose);
        if (bundle_) signalWindow_->setWindowIcon(bundle_->icon(103));
        connect(signalWindow_, &ui::SignalWindow::closed, this,
                [this] { setSignalWindowOpen(false); });
        if (options_.show) signalWindow_->show();
    } else if (!open && signalWindow_) {
        ui::SignalWindow* window = signalWindow_.data();
        signalWindow_.clear();
        window->deleteLater();
    }
    signalOpen_.store(open);
    if (faxDisplays_) faxDisplays_->setLineProfileOpen(open);
}

std::optional<int> Nimba::fail(int messageId) {
    messages_.showMessage(messageId);
    shutdown();
    return kStartFailed;
}

std::optional<int> Nimba::startUp() {
    // 1. One instance per desktop: a second start beeps (a companion's
    // brings the first to the front) and ends.
    auto claimed = ui::BusNotifier::claim(className(), this);
    if (!claimed) {
        if (claimed.error().code == bus::BusError::AlreadyRunning) {
            if (options_.companion)
                (void)bus::post(className(),
                                bus::Message{bus::MessageKind::Activate, {}, 0, 0, 0, {}});
            else
                QApplication::beep();
            return 0;
        }
        std::fprintf(stderr, "NIMBA: %s\n", claimed.error().message.c_str());
        return 1;
    }
    bus_ = std::move(*claimed);

    // 3. The language bundle.
    std::vector<std::filesystem::path> bundleDirs{workDir_};
    for (const auto& dir : sharedDirs()) bundleDirs.push_back(dir);
    auto bundle = ui::LanguageBundle::load(ui::Program::Nimba, bundleDirs);
    if (!bundle) {
        ui::reportMissingBundle(ui::Program::Nimba, QString::fromStdString(bundle.error().message));
        return kStartFailed;
    }
    bundle_ = std::move(*bundle);
    messages_.setBundle(bundle_.get());
    // 4, 5. The processor and rich-text checks have nothing to test here.

    // 6, 9. Settings and the schedule named in them.
    profile_.buildPath(workDir_.string(), settingsFile());
    settings_ = readMainSettings(profile_);
    // A companion runs no schedule of its own: the launcher's does.
    if (!options_.companion) loadSchedule();

    // 10. Reports of the signal-processing primitives.
    ui::DspErrorRelay::install(this, [this](const dsp::ErrorReport& r) { onDspError(r); });

    context_.bundle = bundle_.get();
    context_.messages = &messages_;
    context_.profile = &profile_;
    context_.signal = &signal_;
    context_.signalWindowOpen = [this] { return signalOpen_.load(); };
    context_.workDir = workDir_;
    context_.clock = options_.clock;
    context_.receptionActive = [this] { return reception_.load(); };
    context_.setStatus = [this](const QString& text) {
        if (window_) window_->setStatus(text);
    };

    // The decoders exist before the window so that the pages can show them.
    makeDecoders();

    // 11, 12. The main window.
    window_ = new MainWindow(*this);
    messages_.setOwner(window_);
    connect(bus_.get(), &ui::BusNotifier::closeRequested, window_, &QWidget::close);
    connect(bus_.get(), &ui::BusNotifier::exitProgramRequested, window_, &QWidget::close);
    connect(bus_.get(), &ui::BusNotifier::activateRequested, window_, [this] {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
    });
    if (options_.show) ui::showMainWindow(window_);

    // 13. The built-in receiver control.
    if (!startReceiver()) {
        shutdown();
        return kStartFailed;
    }

    // 14. Ready.
    window_->setStatus(bundle_->string(kReady));
    window_->refreshModeButtons();

    // 15. A sound input must exist.
    ProfileFile zebsys;
    zebsys.buildPath(workDir_.string(), "ZEBSYS.INI");
    inputDevice_ = audio::chooseDevice(zebsys, false, options_.input);
    const std::string output =
        options_.output ? *options_.output : audio::chooseDevice(zebsys, true, std::nullopt);
    const auto pacing =
        options_.fast ? audio::FilePacing::AsFastAsTaken : audio::FilePacing::RealTime;
    inputBackend_ =
        options_.inputBackend ? options_.inputBackend() : audio::makeBackend(inputDevice_, pacing);
    outputBackend_ = audio::makeBackend(output, audio::FilePacing::RealTime);
    if (inputDevice_.rfind("file:", 0) == 0) {
        // A recording that cannot be decoded is named, with the reason.
        const std::filesystem::path recording = inputDevice_.substr(5);
        if (auto problem = audio::recordingProblem(recording)) {
            messages_.showText(QString::fromStdString(recording.string() + ": " + *problem));
            shutdown();
            return kStartFailed;
        }
    }
    if (!inputBackend_ || !inputBackend_->hasDevice(false)) return fail(kNoInputDevice);

    // 16. The input must offer what the decoders take: 11025 Hz, mono, 16 bit.
    if (const std::int32_t offered =
            inputBackend_->checkInputFormat(audio::WaveFormat::pcm(11025, 1, 16));
        offered != 0) {
        const bool notOffered = offered == audio::kResultBadFormat;
        audio::setAudioError(
            notOffered ? audio::AudioErrorCode::None : audio::AudioErrorCode::InputDevice,
            notOffered ? 0 : offered, audio::kEngineSource,
            notOffered ? kLineFormatNotOffered : kLineCapabilitiesUnknown);
        messages_.showText(
            QString::fromStdString(audio::audioErrorMessage(audio::lastAudioError())));
        shutdown();
        return kStartFailed;
    }
    // The warning tone plays on the sound output (the system beep without one).
    toneOutput_ = ui::makeAudioToneOutput(output);
    tones_ = std::make_unique<ui::TonePlayer>(*toneOutput_);

    // 17. High priority, when the user may have it.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0 && ::setpriority(PRIO_PROCESS, 0, nice - 5) == 0) priorityRaised_ = true;

    // 18. The weather data of the bulletin scanner.
    auto data = weather::loadWeatherData(workDir_ / weather::kDataDir);
    if (!data) return fail(kWeatherDataFailed);
    weather_ = std::move(*data);

    // 19. The capture stream with the spectrum analyser (started at the end).
    if (!openCapture()) {
        messages_.showText(
            QString::fromStdString(audio::audioErrorMessage(audio::lastAudioError())));
        shutdown();
        return kStartFailed;
    }

    // 20. The mixer (a card without one, or a recording, goes on without).
    openMixer();

    // 21. Peak hold and the decoders' parameters.
    spectrum_->analyser().setPeakHold(settings_.peakHold != 0);
    spectrum_->setWaterfallPalette(static_cast<ui::WaterfallPalette>(settings_.waterfallPalette));
    spectrum_->setWaterfallSpeed(settings_.waterfallSpeed);
    rtty_->loadParams();
    if (fax_) {
        // The sound card's clock error is the card's: its own correction table.
        fax_->setInputDevice(inputDevice_);
        fax_->loadSettings();
        if (options_.companion && options_.companion->readFaxHandover) takeFaxHandover();
        faxDisplays_->markSpectrum();
    }

    // 22. Volumes and mutes.
    applyMixerSettings();

    // 23. Colour depth.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->depth() < 15)
        messages_.showMessage(kFewColours);

    // 24. The frequency list.
    auto list = stations::loadFrequencyList(workDir_ / stations::kFrequencyListPath);
    if (!list) return fail(kListNotLoaded);
    frequencies_ = std::move(*list);

    // 25. The first page, and the RTTY and CW pages, hidden.
    window_->createPages();
    started_ = true;

    switchOnAtStart();
    window_->housekeeping().schedulerTick = [this](TimeKey t) { schedulerTick(t); };
    window_->housekeeping().cleanup = [this] { cleanUpReceived(); };
    window_->housekeeping().refreshBrowser = [this] {
        if (window_ && window_->receivedPage()) window_->receivedPage()->refresh();
    };
    connect(window_, &MainWindow::closed, this, [] { QCoreApplication::quit(); });
    // The stream runs from here: a recording read as fast as it is taken
    // would otherwise pass before the decoder chosen above is on.
    if (!capture_->start()) {
        messages_.showText(
            QString::fromStdString(audio::audioErrorMessage(audio::lastAudioError())));
        shutdown();
        return kStartFailed;
    }
    return std::nullopt;
}

std::string Nimba::className() const {
    return options_.companion ? options_.companion->className : kClassName;
}

std::string Nimba::settingsFile() {
    if (!options_.companion) return kSettingsFile;
    const std::string& file = options_.companion->settingsFile;
    if (auto seeded = seedSettings(workDir_, file); !seeded)
        messages_.showText(QString::fromStdString(seeded.error().message));
    return file;
}

void Nimba::takeFaxHandover() {
    const std::optional<stations::FaxHandover> record = readHandedOverFax();
    if (!record) return;
    fax::FaxConfig config = fax_->config();
    applyFax(config, *record);
    fax_->setConfig(config);
    // The decoder reads its settings again when it starts.
    (void)fax_->saveSettings();
}

void Nimba::switchOnAtStart() {
    const Companion* companion = options_.companion ? &*options_.companion : nullptr;
    // A companion under the launcher's schedule is unattended from the start.
    if (companion && companion->unattended) setReceptionActive(true);
    // A decoder switched on from the command line shows its page, unless
    // another page was asked for.
    const std::optional<DecoderMode> mode = companion ? companion->mode : options_.mode;
    if (mode) {
        switch (*mode) {
            case DecoderMode::Fax:
                window_->selectTab(kFaxTab);
                window_->command(101);
                break;
            case DecoderMode::Rtty:
                window_->selectTab(kRttyTab);
                window_->command(102);
                break;
            case DecoderMode::Cw:
                window_->selectTab(kCwTab);
                window_->command(103);
                break;
            case DecoderMode::Recorder:
                window_->selectTab(kAudioTab);
                window_->command(104);
                break;
            default: break;
        }
    }
    if (companion)
        window_->showOnly(companion->page, companion->mode);
    else if (options_.page)
        window_->selectTab(*options_.page);
}

bool Nimba::startReceiver() {
    // A companion's receiver is tuned by the launcher's receiver control.
    if (options_.receiver)
        receiver_ = options_.receiver();
    else if (options_.companion)
        receiver_ = makeNoReceiver(kTunedByRigman);
    else
        receiver_ = makeReceiverControl(profile_, workDir_);
    if (!receiver_ || !receiver_->start()) {
        QString text = messages_.messageText(kReceiverFailed);
        if (receiver_ && !receiver_->why().empty())
            text += QStringLiteral("\n") + QString::fromStdString(receiver_->why());
        messages_.showText(text);
        return false;
    }
    receiverStarted_ = true;
    if (auto* pcr = dynamic_cast<PcrReceiver*>(receiver_.get())) {
        // A write that fails leaves the receiver unknown: said, and the program ends.
        connect(pcr, &PcrReceiver::failed, this, [this](const QString& text) {
            messages_.showText(text);
            if (window_) window_->close();
        });
    }
    ReceiverPanel* panel = window_->attachReceiver(receiver_.get());
    connect(panel, &ReceiverPanel::changed, this, [this] { showDial(); });
    connect(this, &Nimba::receiverChanged, panel, &ReceiverPanel::refresh);
    showDial();
    return true;
}

void Nimba::makeDecoders() {
    spectrum_ = std::make_unique<SpectrumLink>();
    spectrum_->outOfMemory = [this] {
        audio::setAudioError(audio::AudioErrorCode::OutOfMemory, 0, audio::kFilterSource, __LINE__);
        QMetaObject::invokeMethod(
            this,
            [this] {
                messages_.showText(
                    QString::fromStdString(audio::audioErrorMessage(audio::lastAudioError())));
            },
            Qt::QueuedConnection);
    };
    modes_ = std::make_unique<ModeSwitcher>(ModeSwitcher::Hooks{
        [this](DecoderMode m) {
            if (!capture_) return;
            BlockLock lock(&capture_->blockMutex());
            capture_->setMode(m);
        },
        [this] { messages_.showMessage(60); },
        [this] {
            if (window_)
                QMetaObject::invokeMethod(window_, "refreshModeButtons", Qt::QueuedConnection);
        }});
    context_.spectrum = spectrum_.get();

    faxDisplays_ = std::make_unique<FaxDisplays>(context_);
    fax_ = std::make_unique<fax::FaxDecoder>(faxDisplays_->events(), workDir_);
    fax_->setProfile(&profile_);
    fax_->setWorkQueue(&files_);
    fax_->setMonitor(&monitorFeed_);
    fax_->setClock([this] { return breakDown(now()); });
    faxDisplays_->setDecoder(fax_.get());
    faxChain_ = std::make_unique<FaxChain>(*fax_);
    faxChain_->started = [this] { faxDisplays_->faxStarted(); };
    faxChain_->settingsApplied = [this] { faxDisplays_->markSpectrum(); };
    faxChain_->stopped = [this] { faxDisplays_->faxStopped(); };
    faxChain_->failed = [this](const std::string& text) {
        messages_.showText(messages_.messageText(kPictureBufferFailed) + QStringLiteral("\n") +
                           QString::fromStdString(text));
    };
    connect(faxDisplays_.get(), &FaxDisplays::decoderOffRequested, this, [this] {
        if (window_) window_->command(105);
    });

    modes_->setDecoder(DecoderMode::Fax, faxChain_.get());
}

RecorderChain::Hooks Nimba::recorderHooks() {
    RecorderChain::Hooks hooks;
    hooks.localTime = [this] { return breakDownLocal(now()); };
    // The receiver lives from before the capture stream opens until after
    // the decoders stopped.
    hooks.squelchClosed = [this] { return receiver_ && receiver_->squelchClosed(); };
    hooks.failed = [this](const std::string& reason) {
        messages_.showText(messages_.messageText(kRecordingFailed) + QStringLiteral("\n") +
                           QString::fromStdString(reason));
    };
    hooks.note = [this](const std::string& text) {
        context_.setStatus(QString::fromStdString(text));
    };
    // A recording that no longer reaches the disk is not left running as if
    // it did: it ends, and the stop says what was lost.
    hooks.writeFailed = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (window_ && modes_->mode() == DecoderMode::Recorder) window_->command(105);
                messages_.showText(messages_.messageText(kRecordingStopped) + QStringLiteral("\n") +
                                   (window_ ? window_->statusText() : QString()));
            },
            Qt::QueuedConnection);
    };
    return hooks;
}

bool Nimba::openCapture() {
    capture_ = std::make_unique<audio::CaptureStream>(inputBackend_);
    std::timed_mutex* mutex = &capture_->blockMutex();
    // The analyser and the chains take the stream's block mutex from now on.
    spectrum_->setBlockMutex(mutex);

    rtty_ = std::make_unique<RttyChain>(
        output_, ChainViews{mutex, &profile_, &monitorFeed_, &signal_, &signalOpen_, &files_},
        &*weather_, workDir_ / "SYNOP", weather::ReportFormats::fromTable(bundle_->strings(), 40));
    rtty_->setClock(options_.clock);
    cw_ = std::make_unique<CwChain>(
        output_, ChainViews{mutex, &profile_, &monitorFeed_, &signal_, &signalOpen_}, workDir_);
    cw_->failed = [this] { messages_.showMessage(kNoMemory); };
    modes_->setDecoder(DecoderMode::Rtty, rtty_.get());
    modes_->setDecoder(DecoderMode::Cw, cw_.get());
    recorder_ = std::make_unique<RecorderChain>(
        ChainViews{mutex, &profile_, nullptr, &signal_, &signalOpen_}, workDir_, recorderHooks());
    modes_->setDecoder(DecoderMode::Recorder, recorder_.get());

    capture_->setRoutine(DecoderMode::Fax, [this](std::span<const float> block) {
        if (block.size() >= static_cast<std::size_t>(fax::kBlockLength))
            fax_->processBlock(
                std::span<const float, fax::kBlockLength>(block.data(), fax::kBlockLength));
    });
    capture_->setRoutine(DecoderMode::Rtty,
                         [this](std::span<const float> block) { rtty_->processBlock(block); });
    capture_->setRoutine(DecoderMode::Cw,
                         [this](std::span<const float> block) { cw_->processBlock(block); });
    capture_->setRoutine(DecoderMode::Recorder,
                         [this](std::span<const float> block) { recorder_->processBlock(block); });
    capture_->setAfterBlock([this](std::span<const float> block) { spectrum_->afterBlock(block); });
    capture_->setEndOfInputHandler(
        [this] { QMetaObject::invokeMethod(this, "onInputEnded", Qt::QueuedConnection); });
    return capture_->openDefault();
}

void Nimba::openMixer() {
    // Recordings and silence have no mixer; a sound card should.
    const bool expected =
        options_.mixer || (inputDevice_.rfind("file:", 0) != 0 && inputDevice_ != "null");
    std::unique_ptr<audio::MixerDevice> device;
    if (options_.mixer) {
        device = options_.mixer();
    } else if (expected) {
        device = audio::makeAlsaMixer(inputDevice_);
    }
    auto mixer = device ? std::make_unique<audio::MixerLink>(std::move(device)) : nullptr;
    if (!mixer || !mixer->open()) {
        // The volume and mute settings then do nothing: said once, and decoding goes on.
        if (expected && window_) window_->setStatus(QString::fromLatin1(kNoMixerNote));
        return;
    }
    mixerIds_ = audio::loadMixerIds(profile_);
    audio::chooseMixerIds(*mixer, mixerIds_);
    mixer_ = std::move(mixer);
}

void Nimba::applyMixerSettings() {
    if (!mixer_) return;
    const audio::MixerIds& ids = mixerIds_;
    if (ids.lineId >= 0 && ids.lineCtl >= 0)
        mixer_->setLevelPercent(ids.lineId, ids.lineCtl, settings_.lineVolume);
    if (ids.waveId >= 0 && ids.waveCtl >= 0)
        mixer_->setLevelPercent(ids.waveId, ids.waveCtl, settings_.waveVolume);
    if (ids.dstId >= 0 && ids.volCtl >= 0)
        mixer_->setLevelPercent(ids.dstId, ids.volCtl, settings_.speakerVolume);
    if (ids.muteId >= 0 && ids.lineMute >= 0)
        mixer_->setSwitch(ids.muteId, ids.lineMute, 1 - settings_.lineMute);
    if (ids.spkId >= 0 && ids.spkMute >= 0) mixer_->setSwitch(ids.spkId, ids.spkMute, 0);
}

void Nimba::onInputEnded() {
    // The Morse decoder reads letters a little behind the audio: at the end
    // of a recording it writes what it still holds.
    if (cw_) cw_->finishInput();
    emit inputEnded();
    if (!options_.quitAtEnd) return;
    // The last blocks' output is still on its way to the windows.
    QTimer::singleShot(300, this, [this] {
        if (window_) {
            window_->drainOutput();
            window_->close();
        } else {
            QCoreApplication::quit();
        }
    });
}

void Nimba::onDspError(const dsp::ErrorReport& report) {
    if (capture_) {
        capture_->stop();
        capture_->close();
    }
    messages_.showText(
        QString::fromStdString(dsp::dspErrorMessage(report.status, report.function)));
    if (window_)
        window_->close();
    else
        QCoreApplication::quit();
}

void Nimba::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // 1. The decoders (each keeps its parameters).
    if (modes_) modes_->stopAll();
    if (window_ && window_->cwPage()) window_->cwPage()->saveSettings();
    if (rtty_ && started_) (void)rtty_->saveParams();
    // 2. The mixer.
    if (mixer_) mixer_->close();
    mixer_.reset();
    // 3. The receiver control.
    if (receiver_ && receiverStarted_) receiver_->stop();
    receiverStarted_ = false;
    // 4. The streams.
    if (capture_) {
        capture_->stop();
        capture_->close();
    }
    setMonitorOn(false);
    // The pictures and records the decoders handed over are on disk first.
    files_.drain();
    // 5. The windows.
    if (faxDisplays_) faxDisplays_->faxStopped();
    signalOpen_.store(false);
    delete signalWindow_.data();
    output_.setReceiver(nullptr, nullptr);
    delete window_.data();
    tones_.reset();
    toneOutput_.reset();
    // 7. Tables.
    frequencies_.reset();
    // 8. Normal priority again.
    if (priorityRaised_) {
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, 0);
        if (errno == 0) (void)::setpriority(PRIO_PROCESS, 0, nice + 5);
        priorityRaised_ = false;
    }
    // 9. The settings, with the waterfall's as the user left them.
    if (spectrum_) {
        settings_.waterfallPalette = static_cast<int>(spectrum_->waterfallPalette());
        settings_.waterfallSpeed = spectrum_->waterfallSpeed();
    }
    // A companion keeps the schedule switch of the settings it was given.
    if (!options_.companion) settings_.timerActive = schedule_.active() ? 1 : 0;
    if (bundle_) (void)writeMainSettings(profile_, settings_);
    ui::DspErrorRelay::remove(this);
}

// ---- stations and the schedule ----

class Nimba::Actions final : public StationActions {
public:
    explicit Actions(Nimba& nimba) : nimba_(nimba) {}
    void command(int id) override {
        if (nimba_.window_) nimba_.window_->command(id);
    }
    void setReceptionActive(bool active) override { nimba_.setReceptionActive(active); }
    void setStatus(const std::string& text) override {
        if (nimba_.window_) nimba_.window_->setStatus(QString::fromStdString(text));
    }
    void startStation(const stations::StationRecord& station) override {
        nimba_.startStation(station);
    }
    std::string modulationLabel(int code) const override {
        const int id = stations::kModulationStringBase + code;
        return code >= 0 && code < stations::kModulationCodeCount && nimba_.bundle_
                   ? nimba_.bundle_->string(id).toStdString()
                   : std::string();
    }

private:
    Nimba& nimba_;
};

void Nimba::loadSchedule() {
    if (settings_.timerName.empty()) return;
    std::filesystem::path file(settings_.timerName);
    if (file.is_relative()) {
        std::error_code ec;
        const auto inWork = workDir_ / file;
        file = std::filesystem::exists(inWork, ec) ? inWork
                                                   : workDir_ / stations::kScheduleDirectory / file;
    }
    auto loaded = stations::loadSchedule(file);
    if (!loaded) return;
    (void)schedule_.replace(std::move(loaded->entries));
    // A schedule that was running goes on, unless its windows overlap.
    if (settings_.timerActive) (void)schedule_.activate();
}

Result<void> Nimba::setScheduleActive(bool on) {
    if (!on) {
        schedule_.deactivate();
        settings_.timerActive = 0;
        return success();
    }
    auto activated = schedule_.activate();
    settings_.timerActive = schedule_.active() ? 1 : 0;
    return activated;
}

void Nimba::setReceptionActive(bool active) {
    reception_.store(active);
    if (fax_) fax_->setReceptionActive(active);
}

void Nimba::schedulerTick(TimeKey now) {
    if (!frequencies_ || !schedule_.active()) return;
    if (!actions_) actions_ = std::make_unique<Actions>(*this);
    nimba::schedulerTick(schedule_, frequencies_->records, now, *actions_);
}

void Nimba::cleanUpReceived() {
    // DELTIME 0 keeps everything (cleanUp removes nothing then).
    const store::Report report = store::cleanUp(workDir_, settings_.deleteHours, now());
    if (!report.failures.empty() && window_ && bundle_) {
        window_->setStatus(bundle_->format(kNotDeleted, {static_cast<int>(report.failures.size()),
                                                         report.failures.front().error.message}));
    }
    if (window_ && window_->receivedPage()) window_->receivedPage()->refresh();
}

void Nimba::tune(double kHz, std::optional<int> mode) {
    if (!receiver_) return;
    (void)receiver_->tune(kHz);
    if (mode) (void)receiver_->selectMode(*mode);
    showDial();
    emit receiverChanged();
}

void Nimba::showDial() {
    // The received frequency is dial ± audio only on a sideband.
    const int mode = receiver_ ? receiver_->modeCode() : -1;
    const bool sideband = receiver_ && receiver_->controlling() && (mode == 0 || mode == 1);
    if (spectrum_)
        spectrum_->setDial(sideband ? std::optional(receiver_->frequencyKhz()) : std::nullopt,
                           mode == 0);
}

void Nimba::tuneStation(const stations::StationRecord& station) {
    tune(tuneFrequencyKhz(station, settings_.receiverOffset),
         pcrModeOfStation(station.receiverMode));
}

void Nimba::startStation(const stations::StationRecord& station) {
    const StationPlan plan = planStart(station, settings_.receiverOffset);
    if (plan.teleprinter && rtty_) {
        rtty_->setParams(applyTeleprinter(rtty_->params(), *plan.teleprinter));
        (void)rtty_->saveParams();
    }
    if (plan.fax && fax_) {
        fax::FaxConfig config = fax_->config();
        applyFax(config, *plan.fax);
        fax_->setConfig(config);
        (void)fax_->saveSettings();
    }
    if (window_) {
        window_->command(plan.command);
        if (plan.teleprinter && window_->rttyPage()) window_->rttyPage()->refresh();
    }
    tune(plan.dialKhz, plan.pcrMode);
}

}  // namespace zeb::nimba
