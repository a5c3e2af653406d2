#include "ZebRtty.h"

#include "FontDialog.h"
#include "RttyWindow.h"
#include "SettingsWindow.h"
#include "ToolWindows.h"
#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "common/Format.h"
#include "common/LittleEndian.h"
#include "common/SuiteDirs.h"
#include "dsp/Dft.h"
#include "dsp/Primitives.h"
#include "dsp/Status.h"
#include "ui/BusNotifier.h"
#include "ui/DspErrorRelay.h"
#include "ui/FdNotifier.h"
#include "ui/LanguageBundle.h"
#include "ui/ShowState.h"
#include "ui/TextWindow.h"
#include "weather/BulletinOutput.h"
#include "weather/ReportDescription.h"

#include <QApplication>
#include <QMetaObject>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cmath>

namespace zeb::zebrtty {

// The decoder's characters and the bulletin scanner's output into the text
// window; the warning tone when WARNSOUND is on.
class TextOutput final : public TextSink, public weather::BulletinOutput {
public:
    explicit TextOutput(ZebRtty& program) : program_(program) {}
    void text(std::string_view bytes) override {
        if (auto* w = textWindow()) w->appendReceived(bytes);
    }
    void appendText(std::string_view text) override {
        if (auto* w = textWindow()) w->appendText(text);
    }
    void markStart(weather::Collected kind) override {
        if (auto* w = textWindow()) w->markStart(kind);
    }
    void saveCollected(weather::Collected kind, bool beforeCurrentLine) override {
        if (auto* w = textWindow()) w->saveCollected(kind, beforeCurrentLine);
    }
    void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine) override {
        if (auto* w = textWindow())
            w->saveCollected(weather::Collected::Information, beforeCurrentLine, fileName);
    }
    void playWarningTone() override {
        if (program_.settings().warnSound && program_.tones())
            program_.tones()->play(weather::kWarningTone);
    }

private:
    ui::ReceivedTextWindow* textWindow() const {
        return program_.window() ? program_.window()->text() : nullptr;
    }
    ZebRtty& program_;
};

namespace {

constexpr std::size_t kHalf = 512;

// Where each tool window keeps its place in the settings.
constexpr std::pair<int, Window> kToolPlaces[] = {{Command::Spectrum, Window::Spectrum},
                                                  {Command::Settings, Window::Settings},
                                                  {Command::BitRaster, Window::BitRaster},
                                                  {Command::CrossScope, Window::CrossScope}};
std::size_t placeOf(int command) {
    for (const auto& [c, w] : kToolPlaces)
        if (c == command) return static_cast<std::size_t>(w);
    return 0;
}
constexpr int kSpectrumOrder = 9;

}  // namespace

std::optional<double> FrequencyCorrection::measure(std::span<const float> spectrum,
                                                   double referenceHz, double shiftHz) {
    if (!on_ || spectrum.size() < 8) return std::nullopt;
    float max = 0.0f, sum = 0.0f;
    for (float v : spectrum) {
        max = std::max(max, v);
        sum += v;
    }
    if (!(max > 10.0f * (sum / static_cast<float>(spectrum.size())))) return std::nullopt;
    // The spectrum as sums of neighbouring bin pairs from bin 4 (bins 4+5,
    // 6+7, ...); a pair not smaller than the pairs before and after it is a
    // peak, and the two largest peaks are the tones.
    auto pair = [&](std::size_t j) { return spectrum[4 + 2 * j] + spectrum[5 + 2 * j]; };
    const std::size_t pairs = (spectrum.size() - 4) / 2;
    int first = -1, second = -1;
    float firstLevel = -1.0f, secondLevel = -1.0f;
    for (std::size_t j = 1; j + 1 < pairs; ++j) {
        const float here = pair(j);
        if (here < pair(j - 1) || here < pair(j + 1)) continue;
        if (here > firstLevel) {
            second = first, secondLevel = firstLevel;
            first = static_cast<int>(j), firstLevel = here;
        } else if (here > secondLevel) {
            second = static_cast<int>(j), secondLevel = here;
        }
    }
    if (first < 0 || second < 0) return std::nullopt;
    // The centre of pair j lies at bin 4.5 + 2j.
    const auto hz = [](int j) { return (4.5 + 2.0 * j) * rtty::kSampleRate / 512.0; };
    // A block that holds one tone only (a run of equal bits) has noise for
    // its second peak: only peaks about a shift apart are the signal.
    if (std::abs(std::abs(hz(first) - hz(second)) - shiftHz) > shiftHz / 4.0) return std::nullopt;
    sum_ += (hz(first) + hz(second)) / 2.0;
    if (++count_ < kMeasurements) return std::nullopt;
    const double v = (referenceHz - sum_ / kMeasurements) * 0.0005;
    sum_ = 0.0;
    count_ = 0;
    if (std::abs(v) > 0.02) {
        stable_ = std::max(0, stable_ - 1);
        return -v;
    }
    if (++stable_ > kStableRounds) setOn(false);
    return std::nullopt;
}

void FrequencyCorrection::setOn(bool on) {
    on_ = on;
    sum_ = 0.0;
    count_ = 0;
    stable_ = 0;
}

ZebRtty::ZebRtty(ZebRttyOptions options)
    : options_(std::move(options)), messages_(ui::Program::ZebRtty) {
    std::error_code ec;
    if (options_.workDir.empty()) options_.workDir = std::filesystem::current_path(ec);
}

ZebRtty::~ZebRtty() {
    shutdown();
    ui::DspErrorRelay::remove(this);
}

std::filesystem::path ZebRtty::synopDir() const {
    const std::filesystem::path dir(settings_.synopDir);
    return dir.is_absolute() ? dir : options_.workDir / dir;
}

std::optional<int> ZebRtty::fail(const QString& text, bool writeSettings) {
    if (!text.isEmpty()) messages_.showText(text);
    if (writeSettings) (void)zebrtty::writeSettings(profile_, settings_);
    started_ = false;
    shutdown();
    return kStartFailed;
}

std::optional<int> ZebRtty::startUp() {
    // 1. One instance: a second start brings the first to the front and has
    // it read the parameters again.
    auto claimed = ui::BusNotifier::claim(kClassName, this);
    if (!claimed) {
        if (claimed.error().code != bus::BusError::AlreadyRunning) {
            std::fprintf(stderr, "ZEBRTTY: %s\n", claimed.error().message.c_str());
            return kStartFailed;
        }
        (void)bus::post(kClassName, bus::Message{bus::MessageKind::Activate, {}, 0, 0, 0, {}});
        (void)bus::post(kClassName,
                        bus::Message{bus::MessageKind::User, {}, kRereadMessage, 0, 0, {}});
        return 0;
    }
    bus_ = std::move(*claimed);

    // 2. The language bundle.
    std::vector<std::filesystem::path> dirs{options_.workDir};
    for (const auto& dir : sharedDirs()) dirs.push_back(dir);
    auto bundle = ui::LanguageBundle::load(ui::Program::ZebRtty, dirs);
    if (!bundle) {
        ui::reportMissingBundle(ui::Program::ZebRtty,
                                QString::fromStdString(bundle.error().message));
        shutdown();
        return kStartFailed;
    }
    bundle_ = std::move(*bundle);
    messages_.setBundle(bundle_.get());

    // 4. Settings; 5. the rich-text control needs no check here.
    profile_.buildPath(options_.workDir.string(), kSettingsFile);
    system_.buildPath(options_.workDir.string(), "ZEBSYS.INI");
    settings_ = readSettings(profile_, system_);

    // 6. The window; 7. the signal-processing error handler.
    window_ = new RttyWindow(*this);
    messages_.setOwner(window_);
    connect(bus_.get(), &ui::BusNotifier::closeRequested, window_, &QWidget::close);
    connect(bus_.get(), &ui::BusNotifier::exitProgramRequested, window_, &QWidget::close);
    connect(bus_.get(), &ui::BusNotifier::activateRequested, window_, [this] {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
    });
    connect(window_, &RttyWindow::toolWindowToggled, this, &ZebRtty::setToolWindow);
    connect(bus_.get(), &ui::BusNotifier::userMessage, this, [this](quint32 id) {
        if (id == kRereadMessage) requestParams();
    });
    if (options_.show) ui::showMainWindow(window_);
    // Any error of the signal processing ends the program after its message.
    ui::DspErrorRelay::install(this, [this](const dsp::ErrorReport& r) {
        capturing_ = false;
        messages_.showText(QString::fromStdString(dsp::dspErrorMessage(r.status, r.function)));
        if (window_)
            window_->closeWithoutSaving();
        else
            QCoreApplication::quit();
    });
    toneOutput_ = ui::makeAudioToneOutput(
        options_.output ? *options_.output : audio::chooseDevice(system_, true, std::nullopt));
    tones_ = std::make_unique<ui::TonePlayer>(*toneOutput_);

    // 8. Sound input; 9, 10. RIGMAN; 11. weather data; 12, 13. capture.
    if (auto failed = openSound()) return failed;
    if (auto failed = connectReceiver()) return failed;
    if (auto failed = startDecoding()) return failed;
    if (auto failed = startCapture()) return failed;

    // 14. The decoder as stored, then the parameters RIGMAN holds.
    settings_.params = decoder_->configure(settings_.params);
    window_->refreshStatus();
    started_ = true;
    requestParams();
    return std::nullopt;
}

// The weather data, the bulletin chain behind the decoder, and the decoder.
std::optional<int> ZebRtty::startDecoding() {
    auto data = weather::loadWeatherData(options_.workDir / weather::kDataDir);
    if (!data) {
        if (auto shipped = findShared(weather::kDataDir)) data = weather::loadWeatherData(*shipped);
    }
    if (!data) return fail(bundle_->string(kStrWeatherData), true);
    data_ = std::move(*data);
    output_ = std::make_unique<TextOutput>(*this);
    chain_ = std::make_unique<weather::BulletinChain>(
        *output_, weather::BulletinChain::Setup{
                      .synopDir = synopDir(),
                      .data = &data_,
                      .formats = weather::ReportFormats::fromTable(bundle_->strings(), 56)});
    chain_->setSitor(settings_.params.rttyMode() == rtty::RttyMode::SitorB);
    decoder_ = std::make_unique<rtty::RttyDecoder>(
        teleprinter::CharacterOutputs{output_.get(), chain_.get()}, settings_.params.variant);
    return std::nullopt;
}

std::optional<int> ZebRtty::openSound() {
    const std::string device = audio::chooseDevice(system_, false, options_.input);
    const auto pacing =
        options_.fast ? audio::FilePacing::AsFastAsTaken : audio::FilePacing::RealTime;
    backend_ = audio::makeBackend(device, pacing);
    if (!backend_ || !backend_->hasDevice(false)) return fail(bundle_->string(kStrNoInput), false);
    const std::int32_t offered = backend_->checkInputFormat(audio::WaveFormat::pcm(11025, 1, 16));
    if (offered != 0)
        return fail(
            ui::withLineSuffix(QString::fromStdString(audio::deviceResultText(offered)), __LINE__),
            false);
    return std::nullopt;
}

std::optional<int> ZebRtty::connectReceiver() {
    auto client = bus::ReceiverClient::connect(options_.receiver);
    if (!client) {
        const bool refused = client.error().code == bus::BusError::Refused;
        return fail(bundle_->string(refused ? kStrNotIdentified : kStrNoReceiverControl), true);
    }
    receiver_.emplace(std::move(*client));
    return std::nullopt;
}

std::optional<int> ZebRtty::startCapture() {
    doneEvent_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!doneEvent_.valid()) return fail(bundle_->string(kStrBuffers), true);
    doneNotifier_ =
        std::make_unique<ui::FdNotifier>(doneEvent_.get(), [this] { takeDoneBlocks(); });
    device_ = backend_->createDevice(false);
    auto deviceFailure = [this](int result) {
        return fail(
            ui::withLineSuffix(QString::fromStdString(audio::deviceResultText(result)), __LINE__),
            true);
    };
    if (!device_) return fail(bundle_->string(kStrBuffers), true);
    if (const int r =
            device_->open(audio::WaveFormat::pcm(11025, 1, 16), kBlockBytes, kBlocks, *this);
        r != 0)
        return deviceFailure(r);
    buffers_.assign(static_cast<std::size_t>(kBlocks) * kBlockBytes, 0);
    for (int i = 0; i < kBlocks; ++i) {
        audio::BlockHeader& h = headers_[static_cast<std::size_t>(i)];
        h = audio::BlockHeader{};
        h.data = buffers_.data() + static_cast<std::size_t>(i) * kBlockBytes;
        h.bufferLength = kBlockBytes;
        h.user = static_cast<std::uintptr_t>(i);
        if (device_->prepare(h) != 0 || device_->addBuffer(h) != 0)
            return fail(bundle_->string(kStrBuffers), true);
    }
    if (const int r = device_->start(); r != 0) return deviceFailure(r);
    capturing_ = true;
    return std::nullopt;
}

// The device's thread hands finished blocks over through a ring of block
// numbers and an eventfd: no allocation per block, order kept.
void ZebRtty::blockDone(audio::BlockHeader* header) {
    const std::size_t tail = doneTail_.load(std::memory_order_relaxed);
    done_[tail % done_.size()] = static_cast<int>(header->user);
    doneTail_.store(tail + 1, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(doneEvent_.get(), &one, sizeof one);
}

void ZebRtty::takeDoneBlocks() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(doneEvent_.get(), &count, sizeof count);
    for (std::size_t head = doneHead_; head != doneTail_.load(std::memory_order_acquire);
         head = ++doneHead_) {
        const int index = done_[head % done_.size()];
        if (index >= 0 && index < kBlocks) handleBlock(&headers_[static_cast<std::size_t>(index)]);
        if (!capturing_) return;
    }
}

void ZebRtty::endOfInput() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (chain_) chain_->endOfReception();
            emit inputEnded();
        },
        Qt::QueuedConnection);
}

void ZebRtty::handleBlock(audio::BlockHeader* header) {
    if (!capturing_ || !decoder_) return;
    QElapsedTimer timer;
    timer.start();
    // 2. Raw audio.
    if (record_) std::fwrite(header->data, 1, kBlockBytes, record_);
    if (replay_) {
        if (std::fread(header->data, 1, kBlockBytes, replay_) != kBlockBytes) {
            setReplaying(false);
            emit replayEnded();
        }
    }
    // 3. Samples and spectrum; 4. demodulation; 5. frequency correction.
    for (int i = 0; i < rtty::kBlockLength; ++i)
        samples_[static_cast<std::size_t>(i)] =
            static_cast<float>(static_cast<std::int16_t>(le::get16(header->data + 2 * i)));
    spectrum_.compute(samples_);
    decoder_->processBlock(samples_);
    ++blocks_;
    const double reference = settings_.params.center + settings_.params.shift / 2.0;
    const bool wasOn = correction_.on();
    if (auto correction = correction_.measure(spectrum_.bins(), reference, settings_.params.shift);
        correction && receiver_)
        (void)receiver_->pokeText(bus::ReceiverCode::AddFrequency, formatFixed(*correction, 3));
    if (wasOn && !correction_.on()) {
        if (settingsWindow_) settingsWindow_->setAfc(false);
        emit correctionEnded();
    }
    // 6. Tool windows; 7. the block goes back to the device; 8. the meter.
    feedToolWindows();
    emit blockHandled();
    header->flags &= ~audio::kBlockDone;
    header->bytesRecorded = 0;
    if (device_ && capturing_) {
        if (const int r = device_->addBuffer(*header); r != 0)
            messages_.showText(
                ui::withLineSuffix(QString::fromStdString(audio::deviceResultText(r)), __LINE__));
    }
    if (window_) window_->showProcessingTime(static_cast<double>(timer.nsecsElapsed()) / 1e6);
}

void BlockSpectrum::compute(std::span<const float> block) {
    bins_.fill(0.0f);
    for (std::size_t half = 0; half < 2 && block.size() >= (half + 1) * kHalf; ++half) {
        std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(half * kHalf), kHalf, re_.begin());
        im_.fill(0.0f);
        dsp::nspsWinHann(re_.data(), kHalf);
        dsp::nspcrDft(re_.data(), im_.data(), kSpectrumOrder, dsp::kDftForward);
        for (std::size_t k = 0; k < bins_.size(); ++k)
            bins_[k] += 0.5f * std::hypot(re_[k], im_[k]);
    }
    float sum = 0.0f;
    for (float v : bins_) sum += v;
    mean_ = sum / static_cast<float>(bins_.size());
}

std::vector<std::uint8_t> ZebRtty::recordA() const {
    std::array<std::uint8_t, bus::kRecordABytes> r = recordA_;
    le::Writer w(r);
    const rtty::RttyParams& p = settings_.params;
    w.i32(12, p.mode);
    w.i32(16, p.baud);
    w.f32(20, p.stop);
    w.i32(24, p.invert);
    w.i32(28, p.shift);
    w.i32(32, p.center);
    return {r.begin(), r.end()};
}

void ZebRtty::pokeParams() {
    if (!receiver_) return;
    const auto record = recordA();
    auto answer = receiver_->poke(bus::ReceiverCode::StoreRecordA, record);
    if (!answer) answer = receiver_->poke(bus::ReceiverCode::StoreRecordA, record);
}

void ZebRtty::changeParams(const rtty::RttyParams& params) {
    const bool newMode = params.mode != settings_.params.mode;
    settings_.params = decoder_ ? decoder_->configure(params) : rtty::validated(params);
    if (newMode && chain_) {
        chain_->setSitor(settings_.params.rttyMode() == rtty::RttyMode::SitorB);
        chain_->reset();
    }
    if (window_) window_->refreshStatus();
    if (settingsWindow_) settingsWindow_->setParams(settings_.params);
    pokeParams();
}

void ZebRtty::requestParams() {
    if (!receiver_) return;
    if (!receiver_->poke(bus::ReceiverCode::ReadRecordA)) return;
    auto answer = receiver_->request();
    if (!answer || !*answer || (*answer)->size() != bus::kRecordABytes) return;
    const std::uint8_t* r = (*answer)->data();
    rtty::RttyParams p = settings_.params;
    p.mode = static_cast<std::int32_t>(le::get32(r + 12));
    p.baud = static_cast<std::int32_t>(le::get32(r + 16));
    p.stop = std::bit_cast<float>(le::get32(r + 20));
    p.invert = static_cast<std::int32_t>(le::get32(r + 24));
    p.shift = static_cast<std::int32_t>(le::get32(r + 28));
    p.center = static_cast<std::int32_t>(le::get32(r + 32));
    if (p.baud == 0 || p.shift == 0 || p.center == 0) return;
    std::copy_n(r, 12, recordA_.begin());
    changeParams(p);
}

void ZebRtty::setShiftState(bool figures) {
    if (decoder_) decoder_->shift().set(!figures);
}

bool ZebRtty::setRecording(bool on) {
    if (on == recording()) return true;
    if (!on) {
        std::fclose(record_);
        record_ = nullptr;
        return true;
    }
    if (replaying()) return false;
    const auto path = options_.workDir / kRawAudioFile;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    record_ = std::fopen(path.c_str(), "ab");
    return record_ != nullptr;
}

bool ZebRtty::setReplaying(bool on) {
    if (on == replaying()) return true;
    if (!on) {
        std::fclose(replay_);
        replay_ = nullptr;
        if (window_) window_->releaseReplay();
        return true;
    }
    if (recording()) return false;
    replay_ = std::fopen((options_.workDir / kRawAudioFile).c_str(), "rb");
    return replay_ != nullptr;
}

bool ZebRtty::feedSynopText() {
    std::FILE* f = std::fopen((options_.workDir / "SYNOP.TXT").c_str(), "r");
    if (!f || !chain_) {
        if (f) std::fclose(f);
        return false;
    }
    for (int c; (c = std::fgetc(f)) != EOF;) chain_->character(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return true;
}

void ZebRtty::feedToolWindows() {
    const rtty::RttyParams& p = settings_.params;
    if (spectrumWindow_) {
        spectrumWindow_->setSpectrum(spectrum_.bins());
        spectrumWindow_->setMarkers(p.center, p.shift);
    }
    if (scopeWindow_) {
        scopeWindow_->setOpen(decoder_->squelchOpen());
        scopeWindow_->setSignals(decoder_->lowerTone(), decoder_->upperTone());
    }
    if (rasterWindow_) rasterWindow_->push(decoder_->demodulated());
    if (settingsWindow_) {
        auto level = [](std::span<const float> tone) {
            float peak = 0.0f;
            for (float v : tone) peak = std::max(peak, std::abs(v));
            return static_cast<double>(peak);
        };
        settingsWindow_->setLevels(
            spectrum_.mean(), std::max(level(decoder_->lowerTone()), level(decoder_->upperTone())));
        settingsWindow_->setLocked(decoder_->slicer().synchronised());
    }
}

ToolWindow* ZebRtty::toolWindow(int command) const {
    switch (command) {
        case Command::Spectrum: return spectrumWindow_;
        case Command::Settings: return settingsWindow_;
        case Command::BitRaster: return rasterWindow_;
        case Command::CrossScope: return scopeWindow_;
        default: return nullptr;
    }
}

ToolWindow* ZebRtty::makeToolWindow(int command) {
    switch (command) {
        case Command::Spectrum: return spectrumWindow_ = new SpectrumWindow(*bundle_, window_);
        case Command::BitRaster: {
            rasterWindow_ = new BitRasterWindow(*bundle_, window_);
            rasterWindow_->setSpeed(settings_.params.speed);
            connect(rasterWindow_, &BitRasterWindow::speedChanged, this,
                    [this](double speed) { settings_.params.speed = static_cast<float>(speed); });
            return rasterWindow_;
        }
        case Command::CrossScope: return scopeWindow_ = new CrossScopeWindow(*bundle_, window_);
        case Command::Settings: {
            settingsWindow_ = new SettingsWindow(*bundle_, window_);
            settingsWindow_->setParams(settings_.params);
            settingsWindow_->setAfc(correction_.on());
            connect(settingsWindow_, &SettingsWindow::paramsChanged, this,
                    [this](const rtty::RttyParams& p) { changeParams(p); });
            connect(settingsWindow_, &SettingsWindow::shiftStateRequested, this,
                    [this](bool figures) { setShiftState(figures); });
            connect(settingsWindow_, &SettingsWindow::afcToggled, this,
                    [this](bool on) { correction_.setOn(on); });
            return settingsWindow_;
        }
        default: return nullptr;
    }
}

void ZebRtty::setToolWindow(int command, bool open) {
    if (command == Command::Fonts) {
        showFontDialog();
        return;
    }
    ToolWindow* existing = toolWindow(command);
    WindowPos& pos = settings_.windows[placeOf(command)];
    if (!open) {
        if (existing) {
            const QRect r = existing->geometry();
            pos = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
            existing->deleteLater();
        }
        return;
    }
    if (existing || !window_) return;
    ToolWindow* w = makeToolWindow(command);
    if (!w) return;
    w->setAttribute(Qt::WA_DeleteOnClose);
    connect(w, &ToolWindow::closed, this, [this, command, w] {
        const QRect r = w->geometry();
        settings_.windows[placeOf(command)] = {r.left(), r.top(), r.left() + r.width(),
                                               r.top() + r.height()};
        if (window_)
            if (QAction* a = window_->action(command)) a->setChecked(false);
    });
    if (!pos.empty())
        w->setGeometry(pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top);
    else
        w->move(window_->geometry().center() - w->rect().center());
    if (options_.show) w->show();
}

void ZebRtty::showFontDialog() {
    if (!window_) return;
    FontDialog dialog(*bundle_, window_);
    const ui::FontRecordBytes text = settings_.font.value_or(defaultFontRecord());
    const ui::FontRecordBytes report = settings_.reportFont.value_or(defaultReportRecord(text));
    auto colourOf = [](const ui::FontRecordBytes& r) {
        const auto c = recordColour(r);
        return QColor(c[0], c[1], c[2]);
    };
    dialog.setTextFont(ui::fontFromRecord(text));
    dialog.setTextColour(colourOf(text));
    dialog.setReportFont(ui::fontFromRecord(report));
    dialog.setReportColour(colourOf(report));
    dialog.setBackground(
        QColor(settings_.background[0], settings_.background[1], settings_.background[2]));
    auto store = [this] {
        saveAppearance();
        window_->applyAppearance();
    };
    auto withColour = [](ui::FontRecordBytes r, const QColor& c) {
        le::Writer(r).u32(
            20, static_cast<std::uint32_t>(c.red() | (c.green() << 8) | (c.blue() << 16)));
        return r;
    };
    connect(&dialog, &FontDialog::textFontChanged, this, [=, this](const QFont& f) {
        settings_.font = ui::recordFromFont(f, settings_.font.value_or(defaultFontRecord()));
        store();
    });
    connect(&dialog, &FontDialog::textColourChanged, this, [=, this](const QColor& c) {
        settings_.font = withColour(settings_.font.value_or(defaultFontRecord()), c);
        store();
    });
    connect(&dialog, &FontDialog::reportFontChanged, this, [=, this](const QFont& f) {
        settings_.reportFont = ui::recordFromFont(f, settings_.reportFont.value_or(report));
        store();
    });
    connect(&dialog, &FontDialog::reportColourChanged, this, [=, this](const QColor& c) {
        settings_.reportFont = withColour(settings_.reportFont.value_or(report), c);
        store();
    });
    connect(&dialog, &FontDialog::backgroundChanged, this, [=, this](const QColor& c) {
        settings_.background = {c.red(), c.green(), c.blue()};
        store();
    });
    dialog.exec();
}

void ZebRtty::saveAppearance() { (void)writeAppearance(profile_, settings_); }

ZebRttySettings& ZebRtty::mutableSettings() { return settings_; }

void ZebRtty::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    for (const auto& [command, place] : kToolPlaces)
        if (ToolWindow* w = toolWindow(command)) {
            const QRect r = w->geometry();
            settings_.windows[static_cast<std::size_t>(place)] = {
                r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
            delete w;
        }
    if (started_) {
        if (window_) window_->recordPositions(settings_);
        if (auto r = writeSettings(profile_, settings_); !r)
            std::fprintf(stderr, "ZEBRTTY: %s\n", r.error().message.c_str());
    }
    capturing_ = false;
    if (device_) {
        device_->stop();
        device_->reset();
        for (auto& h : headers_)
            if (h.flags & audio::kBlockPrepared) device_->unprepare(h);
        device_->close();
    }
    // Blocks still waiting for the window thread refer to the buffers.
    doneNotifier_.reset();
    QCoreApplication::removePostedEvents(this);
    device_.reset();
    backend_.reset();
    if (chain_) chain_->endOfReception();
    setRecording(false);
    setReplaying(false);
    receiver_.reset();
    decoder_.reset();
    chain_.reset();
    delete window_.data();
    tones_.reset();
    toneOutput_.reset();
    output_.reset();
    bundle_.reset();
    bus_.reset();
}

}  // namespace zeb::zebrtty
