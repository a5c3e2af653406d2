#include "DecoderChains.h"

#include <algorithm>
#include <system_error>

#include "cw/CwSettings.h"
#include "rtty/RttySettings.h"
#include "ui/SpectrumView.h"
#include "weather/StationFile.h"

namespace zeb::nimba {
namespace {

// Hands a decoder's values to the signal window while it is open; the
// window takes them on the user-interface thread.
void publishSignal(const ChainViews& views, std::span<const float> values) {
    if (!views.signal || !views.signalOpen || !views.signalOpen->load()) return;
    views.signal->publish(values);
}

}  // namespace

bool ScopeBuffer::publish(std::span<const float> lower, std::span<const float> upper) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t n = std::min<std::size_t>(kLength, std::min(lower.size(), upper.size()));
        std::copy_n(lower.begin(), n, lower_.begin());
        std::copy_n(upper.begin(), n, upper_.begin());
        std::fill(lower_.begin() + static_cast<std::ptrdiff_t>(n), lower_.end(), 0.0f);
        std::fill(upper_.begin() + static_cast<std::ptrdiff_t>(n), upper_.end(), 0.0f);
        fresh_ = true;
    }
    return !pending_.exchange(true);
}

bool ScopeBuffer::copyTo(std::array<float, kLength>& lower, std::array<float, kLength>& upper) {
    pending_.store(false);
    std::lock_guard lock(mutex_);
    if (!fresh_) return false;
    lower = lower_;
    upper = upper_;
    fresh_ = false;
    return true;
}

// ---- RTTY ----

RttyChain::RttyChain(OutputQueue& queue, ChainViews views, const weather::WeatherData* data,
                     const std::filesystem::path& synopDir, weather::ReportFormats formats)
    : views_(std::move(views)),
      queue_(queue),
      display_(queue, TextTarget::Rtty),
      output_(queue),
      bulletins_(output_, {synopDir, data, std::move(formats), views_.files}),
      decoder_(teleprinter::CharacterOutputs{&display_, &bulletins_}) {
    if (data) {
        std::error_code ec;
        std::filesystem::create_directories(synopDir, ec);
    }
    // The message list gets each NAVTEX message behind its text.
    bulletins_.setMessageListener([this](const weather::MessageFramer::Message& message) {
        queue_.pushMessage(TextTarget::Rtty, message);
    });
    decoder_.setLockListener(this);
}

RttyChain::~RttyChain() = default;

void RttyChain::setClock(std::function<TimeKey()> clock) { bulletins_.setClock(std::move(clock)); }

void RttyChain::loadParams() {
    if (!views_.profile) return;
    const rtty::RttyParams params =
        rtty::loadRttyParams(*views_.profile, rtty::kMainSection, rtty::SettingsOwner::Main);
    views_.profile->setSection(rtty::kMainSection);
    bulletins_.setMidBulletin(views_.profile->readInt("MIDBULLETIN", 1) != 0);
    weather::NavtexSelection selection;
    selection.stations = weather::LetterSet::parse(views_.profile->readText("NAVTEXSTATIONS"))
                             .value_or(weather::LetterSet());
    selection.subjects = weather::LetterSet::parse(views_.profile->readText("NAVTEXSUBJECTS"))
                             .value_or(weather::LetterSet());
    setParams(params);
    BlockLock lock(views_.blockMutex);
    bulletins_.setNavtexSelection(selection);
}

bool RttyChain::start() {
    if (running_.load()) return true;
    loadParams();
    BlockLock lock(views_.blockMutex);
    decoder_.setMonitor(views_.monitor);
    running_.store(true);
    return true;
}

void RttyChain::stop() {
    BlockLock lock(views_.blockMutex);
    running_.store(false);
    // A warning or NAVTEX message still coming in is saved as it is.
    bulletins_.endOfReception();
    publishState(false);
}

rtty::RttyParams RttyChain::setParams(const rtty::RttyParams& params) {
    BlockLock lock(views_.blockMutex);
    const int oldMode = mode_.load();
    const rtty::RttyParams& used = decoder_.configure(params);
    // A new RTTY mode starts the bulletin scanner and the framer afresh.
    if (used.mode != oldMode) bulletins_.reset();
    bulletins_.setSitor(used.mode == static_cast<int>(rtty::RttyMode::SitorB));
    mode_.store(used.mode);
    publishState(running_.load());
    return used;
}

rtty::RttyParams RttyChain::params() const { return decoder_.params(); }

Result<void> RttyChain::saveParams() {
    if (!views_.profile) return {};
    return rtty::saveRttyParams(*views_.profile, rtty::kMainSection, rtty::SettingsOwner::Main,
                                params());
}

void RttyChain::setLetters(bool letters) {
    BlockLock lock(views_.blockMutex);
    decoder_.shift().set(letters);
}

bool RttyChain::letters() const { return decoder_.shift().letters(); }

void RttyChain::setScopeOn(bool on) { scopeOn_.store(on); }

void RttyChain::processBlock(std::span<const float> block) {
    if (!running_.load() || block.size() < static_cast<std::size_t>(rtty::kBlockLength)) return;
    decoder_.processBlock(block.first(rtty::kBlockLength));
    publishSignal(views_, decoder_.demodulated());
    publishState(true);
    if (scopeOn_.load()) scope_.publish(decoder_.lowerTone(), decoder_.upperTone());
}

void RttyChain::publishState(bool running) {
    snrDb_.store(running ? static_cast<float>(decoder_.snrDb())
                         : std::numeric_limits<float>::quiet_NaN());
    squelchOpen_.store(decoder_.squelchOpen());
    polarity_.store(static_cast<int>(decoder_.polarityInUse()));
    const auto [lower, upper] = decoder_.signalTonesHz();
    lowerToneHz_.store(static_cast<float>(lower));
    upperToneHz_.store(static_cast<float>(upper));
    errorShare_.store(running ? static_cast<float>(decoder_.errorShare())
                              : std::numeric_limits<float>::quiet_NaN());
}

void RttyChain::lockChanged(int value) { lock_.store(value); }

// ---- CW ----

CwChain::CwChain(OutputQueue& queue, ChainViews views, std::filesystem::path workDir)
    : views_(std::move(views)),
      workDir_(std::move(workDir)),
      display_(queue, TextTarget::Cw),
      decoder_(display_) {
    if (views_.profile) {
        band_ = cw::readToneBand(*views_.profile);
        options_ = cw::readCwOptions(*views_.profile);
    }
    decoder_.setVariant(options_.variant, options_.autoCenter);
}

void CwChain::setReception(std::function<bool()> active, std::function<std::string()> text,
                           std::function<TimeKey()> clock) {
    receptionActive_ = std::move(active);
    text_ = std::move(text);
    clock_ = std::move(clock);
}

bool CwChain::start() {
    if (decoder_.running()) return true;
    if (views_.profile) {
        band_ = cw::readToneBand(*views_.profile);
        options_ = cw::readCwOptions(*views_.profile);
    }
    bool started = false;
    {
        BlockLock lock(views_.blockMutex);
        decoder_.setMonitor(views_.monitor);
        decoder_.setVariant(options_.variant, options_.autoCenter);
        started = decoder_.start(band_);
    }
    if (!started) failed();
    return started;
}

void CwChain::stop() {
    if (!decoder_.running()) return;
    const bool reception = receptionActive_();
    // The text is taken on this (the user-interface) thread before the lock.
    const std::string text = reception ? text_() : std::string();
    BlockLock lock(views_.blockMutex);
    (void)cw::stopAndSave(decoder_, reception, workDir_, text, breakDown(clock_()));
}

void CwChain::finishInput() {
    BlockLock lock(views_.blockMutex);
    decoder_.finish();
}

cw::ToneBand CwChain::setBand(cw::ToneBand band) {
    band.center = std::clamp(band.center, cw::kMinCenter, cw::kMaxCenter);
    band.width = std::clamp(band.width, cw::kMinWidth, cw::kMaxWidth);
    BlockLock lock(views_.blockMutex);
    if (decoder_.prepare(band)) band_ = band;
    return band_;
}

void CwChain::setOptions(cw::CwOptions options) {
    BlockLock lock(views_.blockMutex);
    decoder_.setVariant(options.variant, options.autoCenter);
    options_ = options;
}

Result<void> CwChain::saveBand() {
    if (!views_.profile) return {};
    if (auto r = cw::writeToneBand(*views_.profile, band_); !r) return r;
    return cw::writeCwOptions(*views_.profile, options_);
}

void CwChain::processBlock(std::span<const float> block) {
    if (!decoder_.running() || block.size() < static_cast<std::size_t>(cw::kBlockLength)) return;
    decoder_.processBlock(std::span<const float, cw::kBlockLength>(block.data(), cw::kBlockLength));
    publishSignal(views_, decoder_.envelope());
}

// ---- fax ----

bool FaxChain::start() {
    const bool was = decoder_.running();
    // Pictures a killed program left are finished before the first new one
    // begins; files another program is receiving stay as they are.
    if (!was) {
        if (const fax::Recovery recovered = fax::recoverPictures(decoder_.workDir());
            !recovered.empty())
            note("fax: " + recovered.summary());
    }
    auto result = decoder_.start();
    if (!result) {
        failed(result.error().message);
        return false;
    }
    if (!was) {
        for (const fax::Refusal& refused : decoder_.refusedSettings())
            note("fax settings: " + fax::describe(refused));
        settingsApplied();
    }
    started();
    return true;
}

void FaxChain::stop() {
    const bool was = decoder_.running();
    decoder_.stop();
    if (was) stopped();
}

}  // namespace zeb::nimba
