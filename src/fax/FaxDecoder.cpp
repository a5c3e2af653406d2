#include "fax/FaxDecoder.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"
#include "fax/LineAnalysis.h"
#include "fax/Png.h"

namespace zeb::fax {

namespace {

// In digital silence there are no crossings; the time of the last one is not
// allowed to run off to where f32 loses whole samples.
constexpr float kOldestCrossing = -1.0e6f;

int log2Of(int n) { return std::countr_zero(static_cast<unsigned>(n)); }

}  // namespace

std::string_view stateName(FaxState state) {
    switch (state) {
        case FaxState::WaitStart: return "WaitStart";
        case FaxState::Phasing: return "Phasing";
        case FaxState::PhasingEnd: return "PhasingEnd";
        case FaxState::Receiving: return "Receiving";
    }
    return "";
}

FaxDecoder::FaxDecoder(FaxEvents& events, std::filesystem::path workDir)
    : events_(events), file_(std::move(workDir)) {
    validate(config_);
    derived_ = derive(config_, table_);
    snr_.setCentre(static_cast<float>(config_.center));
    resetRateLocked();
}

FaxDecoder::~FaxDecoder() {
    if (files_ != nullptr) files_->drain();
}

void FaxDecoder::setWorkQueue(WorkQueue* queue) {
    std::lock_guard lock(mutex_);
    files_ = queue;
}

void FaxDecoder::setProfile(ProfileFile* profile) {
    std::lock_guard lock(mutex_);
    profile_ = profile;
}

void FaxDecoder::setClock(PictureFile::Clock clock) {
    std::lock_guard lock(mutex_);
    file_.setClock(std::move(clock));
}

void FaxDecoder::setMonitor(dsp::MonitorFeed* monitor) {
    std::lock_guard lock(mutex_);
    monitor_ = monitor;
    if (monitor_) monitor_->setGain(monitorGain_);
}

void FaxDecoder::setPreviewSize(int width, int height) {
    std::lock_guard lock(mutex_);
    previewWidth_ = width;
    previewHeight_ = height;
    if (picture_.valid()) createPreviewLocked();
}

Result<void> FaxDecoder::start() {
    // The settings file is read before the decoder's lock is taken: a block
    // coming in meanwhile does not wait for the disk.
    Settings settings;
    {
        std::lock_guard lock(mutex_);
        if (running_.load()) return success();
        settings = settingsLocked();
    }
    std::vector<Refusal> refused;
    if (settings.profile) {
        settings.autoSlant = readAutoSlant(*settings.profile);
        refused = readSettings(*settings.profile, settings.config, settings.table, settings.device);
    }
    std::lock_guard lock(mutex_);
    if (running_.load()) return success();
    if (settings.profile) {
        config_ = settings.config;
        table_ = settings.table;
        refused_ = std::move(refused);
        autoSlant_ = settings.autoSlant;
    }
    validate(config_);
    derived_ = derive(config_, table_);
    try {
        filtered_.assign(kBlockLength, 0.0f);
        re_.assign(2048, 0.0f);
        im_.assign(2048, 0.0f);
        magnitude_.assign(1024, 0.0f);
        lineProfile_.assign(1024, 0.0f);
        line_.assign(static_cast<std::size_t>(lineWidth(kIocValues.back())), 0);
        slant_.reset(derived_.width);
    } catch (const std::bad_alloc&) {
        return Error{ENOMEM, "out of memory"};
    }
    if (auto r = picture_.create(derived_.width, static_cast<int>(1.5 * derived_.width)); !r)
        return r.error();
    width_ = derived_.width;
    height_ = picture_.height();
    x_ = y_ = 0;
    resetRateLocked();
    // Transform tables are built now, not on the capture thread.
    dsp::nspcrDft(re_.data(), im_.data(), log2Of(transformLength(width_)),
                  dsp::kDftForward | dsp::kDftPrepare);
    applySettingsLocked();
    createPreviewLocked();
    running_.store(true);
    startCount_ = 0;
    if (receptionActive_.load()) {
        stopCount_ = 0;
        setState(FaxState::Receiving);
        beginPictureLocked();
    } else {
        setState(FaxState::WaitStart);
        endPictureLocked();
    }
    return success();
}

void FaxDecoder::stop() {
    Settings settings;
    {
        std::lock_guard lock(mutex_);
        if (!running_.load()) return;
        running_.store(false);
        endPictureLocked();
        filtered_ = {};
        re_ = {};
        im_ = {};
        magnitude_ = {};
        lineProfile_ = {};
        filter_.reset();
        filterOn_ = false;
        settings = settingsLocked();
    }
    (void)writeSettingsUnlocked(settings);
}

FaxDecoder::Settings FaxDecoder::settingsLocked() const {
    return {profile_, config_, table_, device_, autoSlant_};
}

// The file is written (and synced) without the decoder's lock: the panel
// saves on every change, and the capture thread must not wait for the disk.
Result<void> FaxDecoder::writeSettingsUnlocked(const Settings& settings) {
    if (!settings.profile) return success();
    if (auto r = writeAutoSlant(*settings.profile, settings.autoSlant); !r) return r;
    return writeSettings(*settings.profile, settings.config, settings.table, settings.device);
}

FaxConfig FaxDecoder::setConfig(FaxConfig config) {
    std::lock_guard lock(mutex_);
    validate(config);
    config_ = config;
    applySettingsLocked();
    return config_;
}

FaxConfig FaxDecoder::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

CorrectionTable FaxDecoder::correctionTable() const {
    std::lock_guard lock(mutex_);
    return table_;
}

void FaxDecoder::setCorrectionTable(const CorrectionTable& table) {
    std::lock_guard lock(mutex_);
    table_ = table;
    applySettingsLocked();
}

Derived FaxDecoder::derived() const {
    std::lock_guard lock(mutex_);
    return derived_;
}

void FaxDecoder::loadSettings() {
    std::lock_guard lock(mutex_);
    if (profile_) {
        refused_ = readSettings(*profile_, config_, table_, device_);
        autoSlant_ = readAutoSlant(*profile_);
    }
    applySettingsLocked();
}

std::vector<Refusal> FaxDecoder::refusedSettings() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

Result<void> FaxDecoder::saveSettings() {
    Settings settings;
    {
        std::lock_guard lock(mutex_);
        applySettingsLocked();
        settings = settingsLocked();
    }
    return writeSettingsUnlocked(settings);
}

void FaxDecoder::slantStep(int delta) {
    std::lock_guard lock(mutex_);
    // Steps beyond the plausible clock error stop at its end.
    const float rate = clampRate(config_.ioc, config_.lpm,
                                 derived_.pixelRate - static_cast<float>(delta) * kSlantStep);
    table_.store(config_.ioc, config_.lpm, rate);
    applySettingsLocked();
}

void FaxDecoder::applySlantToAllModes() {
    std::lock_guard lock(mutex_);
    table_.applyToAllModes(config_.ioc, config_.lpm);
    applySettingsLocked();
}

void FaxDecoder::setAutoSlant(bool on) {
    std::lock_guard lock(mutex_);
    if (on == autoSlant_) return;
    autoSlant_ = on;
    // Off: back to the table's (or the nominal) rate at once.
    resetRateLocked();
}

bool FaxDecoder::autoSlant() const {
    std::lock_guard lock(mutex_);
    return autoSlant_;
}

std::optional<double> FaxDecoder::measuredPpm() const {
    std::lock_guard lock(mutex_);
    return measuredPpm_;
}

bool FaxDecoder::acceptMeasuredSlant() {
    std::lock_guard lock(mutex_);
    if (!measuredPpm_) return false;
    // The table now holds what was measured: the rate in use and the
    // measurements stay.
    const double samples = lineSamples_;
    const std::optional<double> ppm = measuredPpm_;
    SlantEstimator kept = slant_;
    table_.setSampleRateError(*measuredPpm_);
    applySettingsLocked();
    slant_ = std::move(kept);
    setLineSamples(samples);
    measuredPpm_ = ppm;
    return true;
}

void FaxDecoder::setInputDevice(std::string device) {
    std::lock_guard lock(mutex_);
    device_ = std::move(device);
}

void FaxDecoder::resetRateLocked() {
    rate_ = derived_.pixelRate;
    lineSamples_ = derived_.width / static_cast<double>(derived_.pixelRate);
    measuredPpm_.reset();
    slant_.clear();
}

void FaxDecoder::setLineSamples(double samples) {
    lineSamples_ = samples;
    rate_ = static_cast<float>(derived_.width / samples);
}

void FaxDecoder::manualStartStop() {
    std::lock_guard lock(mutex_);
    if (!running_.load()) return;
    if (!fileOpenLocked()) {
        slant_.clearLines();
        setState(FaxState::Receiving);
        beginPictureLocked();
    } else {
        setState(FaxState::WaitStart);
        endPictureLocked();
    }
}

void FaxDecoder::setLineStart(int column) {
    std::lock_guard lock(mutex_);
    if (!running_.load() || state_.load() == FaxState::Receiving || width_ <= 0) return;
    x_ -= ((column % width_) + width_) % width_;
    if (x_ < 0) x_ += width_;
    partialLine_ = true;
    slant_.clearLines();
}

Result<void> FaxDecoder::savePictureAs(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    if (fileOpenLocked()) return Error{EBUSY, "a picture is being received"};
    if (!picture_.valid()) return bmpError(BmpError::NoDibSectionAccess, "no picture");
    return fax::savePictureAs(picture_.snapshot(), path);
}

Result<void> FaxDecoder::savePictureAsPng(const std::filesystem::path& path) {
    Bitmap copy;
    {
        std::lock_guard lock(mutex_);
        if (!picture_.valid()) return bmpError(BmpError::NoDibSectionAccess, "no picture");
        copy = picture_.snapshot();
    }
    return writeGreyPng(copy, path);
}

int FaxDecoder::column() const {
    std::lock_guard lock(mutex_);
    return x_;
}

int FaxDecoder::row() const {
    std::lock_guard lock(mutex_);
    return y_;
}

bool FaxDecoder::pictureFileOpen() const {
    std::lock_guard lock(mutex_);
    return fileOpenLocked();
}

std::pair<int, int> FaxDecoder::lastToneValues() const {
    std::lock_guard lock(mutex_);
    return toneValues_;
}

void FaxDecoder::applySettingsLocked() {
    validate(config_);
    const Derived before = derived_;
    derived_ = derive(config_, table_);
    if (derived_.pixelRate != before.pixelRate || derived_.width != before.width) {
        // Another mode or another table entry: what was measured belonged
        // to the old rate.
        resetRateLocked();
    }
    if (running_.load() && derived_.width != width_) {
        endPictureLocked();
        setState(FaxState::WaitStart);
        if (!picture_.create(derived_.width, static_cast<int>(1.5 * derived_.width))) {
            running_.store(false);
            events_.decoderOffRequested();
            return;
        }
        width_ = derived_.width;
        height_ = picture_.height();
        x_ = y_ = 0;
        pending_ = 0;
        slant_.reset(width_);
        resetRateLocked();
        dsp::nspcrDft(re_.data(), im_.data(), log2Of(transformLength(width_)),
                      dsp::kDftForward | dsp::kDftPrepare);
        createPreviewLocked();
        events_.pictureScrolled();
    }
    config_.pixelRate = derived_.pixelRate;
    rebuildFilterLocked();
}

dsp::Markers FaxDecoder::markers() const {
    std::lock_guard lock(mutex_);
    const float c = config_.center, bw = config_.bandwidth, s = config_.shift;
    dsp::Markers m;
    if (filterOn_) {
        m.passLowHz = c - bw / 2;
        m.passHighHz = c + bw / 2;
    }
    m.toneAHz = c - s / 2;
    m.toneBHz = c + s / 2;
    return m;
}

void FaxDecoder::rebuildFilterLocked() {
    filterOn_ = false;
    monitorGain_ = 1.0f;
    if (config_.filterOrder >= 2) {
        const float c = config_.center, bw = config_.bandwidth;
        auto filter = std::make_unique<dsp::AudioFilter>();
        if (filter->init(static_cast<float>(kSampleRate), kBlockLength, config_.filterOrder) &&
            filter->designBandPass(c - bw / 2, c + bw / 2, dsp::kWindowHamming)) {
            filterOn_ = true;
            monitorGain_ = dsp::monitorGain(kMonitorGainNumerator, filter->gainSum());
            filter_ = std::move(filter);
        } else {
            events_.inputFilterFailed();  // decoding goes on unfiltered
        }
    }
    if (monitor_) monitor_->setGain(monitorGain_);
}

void FaxDecoder::createPreviewLocked() {
    if (previewWidth_ <= 0 || previewHeight_ <= 0) return;
    if (auto r = preview_.create(previewWidth_, previewHeight_, width_); !r) {
        events_.previewFailed(r.error());
        return;
    }
    preview_.fillFrom(picture_, y_);
}

void FaxDecoder::setState(FaxState state) {
    state_.store(state);
    events_.stateChanged(state);
}

void FaxDecoder::beginPictureLocked() {
    linesSinceBand_ = 0;
    lostLines_ = 0;
    recording_ = true;
    runOn(files_, [this, width = width_, serial = ++pictureSerial_] {
        if (auto r = file_.begin(width); !r) {
            failedSerial_.store(serial);
            events_.pictureFileFailed(r.error());
            return;
        }
        events_.pictureBegun(file_.workPath());
    });
}

void FaxDecoder::endPictureLocked() {
    if (!recording_) return;
    recording_ = false;
    // The last rows are the completed ones above the current row; the current
    // row is only partly written.
    const int count = std::min(linesSinceBand_, y_);
    linesSinceBand_ = 0;
    appendBandLocked(y_ - count, count);
    runOn(files_, [this] {
        if (file_.isOpen()) events_.pictureEnded(file_.end());
    });
}

void FaxDecoder::appendBandLocked(int first, int count) {
    if (count <= 0 || first < 0) return;
    // A copy of the rows: the buffer scrolls on while the band waits.
    const std::size_t stride = static_cast<std::size_t>(picture_.stride());
    std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto row = picture_.row(first + i);
        std::copy(row.begin(), row.end(), rows.begin() + static_cast<std::ptrdiff_t>(i * stride));
    }
    runOn(files_, [this, rows = std::move(rows), count, serial = pictureSerial_] {
        if (!file_.isOpen()) return;
        if (auto r = file_.appendRows(rows, count); !r) {
            failedSerial_.store(serial);
            events_.pictureFileFailed(r.error());
        }
    });
}

void FaxDecoder::processBlock(std::span<const float, kBlockLength> block) {
    if (!running_.load()) return;
    std::lock_guard lock(mutex_);
    if (!running_.load()) return;
    snr_.process(block);
    snrDb_.store(snr_.snrDb());
    const float* in = block.data();
    if (filterOn_) {
        filter_->filter(in, filtered_.data(), kBlockLength);
        in = filtered_.data();
    }
    if (monitor_) monitor_->feed(std::span<const float, dsp::kMonitorBlock>(in, kBlockLength));

    const float tw = derived_.whiteHalf, k = derived_.greyFactor, rate = rate_;
    std::unique_lock pixels(picture_.pixelLock());
    for (int i = 0; i < kBlockLength; ++i) {
        const float v = in[i];
        if ((previous_ <= 0.0f && v > 0.0f) || (previous_ > 0.0f && v <= 0.0f)) {
            const float t =
                static_cast<float>(i) - std::fabs(v) / (std::fabs(previous_) + std::fabs(v));
            // Limited before the conversion: after a long silence the
            // interval is huge, and the conversion would be undefined.
            const float level = std::clamp((t - lastCrossing_ - tw) * k + 0.5f, 0.0f, 15.0f);
            const int grey = std::isnan(level) ? 0 : static_cast<int>(level);
            // How much successive half periods disagree: little for a
            // picture (greys change at edges only), much for noise.
            if (!std::isnan(level)) {
                roughness_ += std::fabs(level - previousLevel_);
                previousLevel_ = level;
                ++crossings_;
            }
            const int count = pending_;
            pending_ = 0;
            for (int p = 0; p < count && running_.load(); ++p) writePixel(grey, pixels);
            lastCrossing_ = t;
        }
        previous_ = v;
        accumulator_ += rate;
        if (accumulator_ >= 1.0f) {
            accumulator_ -= 1.0f;
            if (pending_ < width_) {
                ++pending_;  // at most one line waits for a crossing
            } else if (++silentPixels_ >= width_) {
                // A whole line more of silence: no line completes, yet the
                // signal is gone as surely as in noise.
                silentPixels_ = 0;
                if (state_.load() == FaxState::Receiving) ++lostLines_;
            }
        }
    }
    if (lostLines_ >= kLostSignalLines && state_.load() == FaxState::Receiving) {
        pixels.unlock();
        signalLost();
        pixels.lock();
    }
    lastCrossing_ = std::max(lastCrossing_ - static_cast<float>(kBlockLength), kOldestCrossing);
}

void FaxDecoder::writePixel(int grey, std::unique_lock<std::mutex>& pixels) {
    picture_.writePixel(x_, y_, grey);
    line_[static_cast<std::size_t>(x_)] = static_cast<std::int16_t>(grey);
    if (++x_ >= width_) lineComplete(pixels);
}

void FaxDecoder::lineComplete(std::unique_lock<std::mutex>& pixels) {
    pixels.unlock();
    const std::span<const std::int16_t> line(line_.data(), static_cast<std::size_t>(width_));
    if (preview_.valid()) {
        const int p = preview_.refreshRow(line, y_);
        if (p >= 0) events_.previewRowChanged(p);
    }
    if (state_.load() == FaxState::Receiving && ++linesSinceBand_ >= kBandRows) {
        linesSinceBand_ = 0;
        if (recording_) appendBandLocked(y_ - (kBandRows - 1), kBandRows);
    }
    ++y_;
    x_ = 0;
    // Whether this line began after a move of the write position; a move
    // made now applies to the next line.
    completedPartial_ = partialLine_;
    partialLine_ = false;
    const float roughness = crossings_ > 0 ? roughness_ / static_cast<float>(crossings_) : 15.0f;
    roughness_ = 0.0f;
    crossings_ = 0;
    silentPixels_ = 0;
    const FaxState s = state_.load();
    if (s == FaxState::WaitStart || s == FaxState::Receiving) analyseLine();
    if (s == FaxState::Receiving && autoSlant_) measurePicture();
    // Behind the input filter noise alone reads as a grey that jumps with
    // every half period; a picture, even at 3 dB, changes at its edges only.
    // Without the filter the two are not told apart this way.
    if (s == FaxState::Receiving && filterOn_ && roughness > kNoiseRoughness)
        ++lostLines_;
    else
        lostLines_ = 0;
    runStateMachine();
    if (lostLines_ >= kLostSignalLines && state_.load() == FaxState::Receiving) signalLost();
    ++lineIndex_;
    pixels.lock();
    if (y_ >= height_) {
        picture_.scrollUp();
        y_ -= PictureBuffer::kScrollRows;
        pixels.unlock();
        events_.pictureScrolled();
    } else {
        pixels.unlock();
        events_.rowsChanged(std::max(y_ - 1, 0), y_);
    }
    pixels.lock();
}

void FaxDecoder::analyseLine() {
    const int n = transformLength(width_);
    for (int i = 0; i < n; ++i)
        re_[static_cast<std::size_t>(i)] = line_[static_cast<std::size_t>(i)];
    if (lineProfileOpen_.load()) {
        const int shown = std::min(n, 1024);
        for (int i = 0; i < 1024; ++i)
            lineProfile_[static_cast<std::size_t>(i)] =
                i < shown ? re_[static_cast<std::size_t>(i)] * 1000.0f : 0.0f;
        events_.lineProfile(lineProfile_);
    }
    std::fill_n(im_.begin(), n, 0.0f);
    dsp::nspcrDft(re_.data(), im_.data(), log2Of(n), dsp::kDftForward);
    dsp::nspsbrMag(re_.data(), im_.data(), magnitude_.data(), n / 2);
    const auto peaks =
        findTwoPeaks(std::span<const float>(magnitude_.data(), static_cast<std::size_t>(n / 2)));
    toneValues_ = {toneValue(config_.ioc, peaks.first, n), toneValue(config_.ioc, peaks.second, n)};
}

void FaxDecoder::goToPhasingEnd() {
    // The leading edge of the pulse becomes column 0: the line starts with
    // the pulse, and its white (or black) margin stays together at the left.
    const int average = static_cast<int>(std::lround(phasingSum_ / std::max(phasingHits_, 1)));
    x_ = ((x_ - average) % width_ + width_) % width_;
    partialLine_ = x_ != 0;
    slant_.shiftPhasing(average);
    phasingHits_ = 2;
    setState(FaxState::PhasingEnd);
}

bool FaxDecoder::isPhasingLine() {
    const std::span<const std::int16_t> line(line_.data(), static_cast<std::size_t>(width_));
    const bool black = config_.phasingPolarity != 0;
    const int p = phasingPosition(line, config_.phasingWidth, black);
    const auto pulse = findPhasingPulse(line, config_.phasingWidth, black);
    if (p == 0 && !(pulse && pulse->clear)) return false;
    const double half = config_.phasingWidth * width_ / 200.0;
    phasingLine(pulse ? pulse->edge : p - half);
    return true;
}

void FaxDecoder::signalLost() {
    // A broken reception: the picture so far is kept, and the decoder waits
    // for the next start signal.
    lostLines_ = 0;
    startCount_ = stopCount_ = 0;
    setState(FaxState::WaitStart);
    endPictureLocked();
}

void FaxDecoder::phasingLine(double edge) {
    // A line shortened by a move of the write position still holds the end
    // of the line before.
    if (!completedPartial_) slant_.addPhasingEdge(lineIndex_, edge, lineSamples_);
    if (state_.load() != FaxState::Phasing) return;
    // Positions near both ends of the line are one place: they are summed as
    // distances from the first hit's position.
    if (phasingHits_ == 0) phasingFirst_ = edge;
    double q = edge;
    if (q - phasingFirst_ > width_ / 2.0) q -= width_;
    if (phasingFirst_ - q > width_ / 2.0) q += width_;
    ++phasingHits_;
    phasingSum_ += q;
}

void FaxDecoder::alignToPhasing() {
    // The line length fitted through the phasing lines, and the pulse's
    // edge extrapolated to the line that begins now.
    slant_.clearLines();
    const auto estimate = slant_.phasingEstimate();
    if (!estimate) return;
    const auto edge = slant_.phasingEdgeAt(lineIndex_ + 1);
    if (edge) {
        int shift = static_cast<int>(std::lround(*edge));
        if (shift > width_ / 2) shift -= width_;
        x_ = ((x_ - shift) % width_ + width_) % width_;
        partialLine_ = x_ != 0;
        slant_.shiftPhasing(shift);
    }
    slant_.takePhasingPrior();
    setLineSamples(estimate->lineSamples);
    measuredPpm_ = sampleRateErrorPpm(estimate->lineSamples, config_.lpm);
    reportedPpm_ = *measuredPpm_;
    events_.slantMeasured(*measuredPpm_);
}

void FaxDecoder::measurePicture() {
    if (completedPartial_) return;
    const std::span<const std::int16_t> line(line_.data(), static_cast<std::size_t>(width_));
    if (!slant_.addPictureLine(line, lineSamples_)) return;
    const auto estimate = slant_.estimate();
    if (!estimate) return;
    // Beyond the search range the measurement is not trusted.
    const double ppm = sampleRateErrorPpm(estimate->lineSamples, config_.lpm);
    if (std::fabs(ppm) > 2.0 * SlantEstimator::kMaxError * 1e6) return;
    setLineSamples(estimate->lineSamples);
    measuredPpm_ = ppm;
    if (std::fabs(ppm - reportedPpm_) >= 0.5) {
        reportedPpm_ = ppm;
        events_.slantMeasured(ppm);
    }
}

void FaxDecoder::runStateMachine() {
    const std::span<const std::int16_t> line(line_.data(), static_cast<std::size_t>(width_));
    switch (state_.load()) {
        case FaxState::WaitStart:
            if (toneMatches(toneValues_, config_.startTone)) {
                if (++startCount_ >= kStartLines) {
                    phasingHits_ = phasingLines_ = 0;
                    phasingSum_ = 0.0;
                    slant_.clearPhasing();
                    setState(FaxState::Phasing);
                }
            } else {
                startCount_ = 0;
            }
            break;
        case FaxState::Phasing: {
            ++phasingLines_;
            if (isPhasingLine()) {
                if (phasingHits_ >= kPhasingHits) {
                    goToPhasingEnd();
                    break;
                }
            } else {
                phasingHits_ = 0;
                phasingSum_ = 0.0;
            }
            if (phasingLines_ > kMaxPhasingLines) goToPhasingEnd();
            break;
        }
        case FaxState::PhasingEnd: {
            if (!isPhasingLine()) --phasingHits_;
            if (phasingHits_ <= 0) {
                startCount_ = stopCount_ = 0;
                if (autoSlant_) alignToPhasing();
                setState(FaxState::Receiving);
                beginPictureLocked();
            }
            break;
        }
        case FaxState::Receiving:
            if (toneMatches(toneValues_, config_.stopTone)) {
                if (++stopCount_ >= kStopLines) {
                    startCount_ = 0;
                    if (receptionActive_.load()) {
                        // A scheduled reception keeps receiving into a new picture.
                        stopCount_ = 0;
                        endPictureLocked();
                        beginPictureLocked();
                    } else {
                        setState(FaxState::WaitStart);
                        endPictureLocked();
                    }
                }
            } else {
                stopCount_ = 0;
                if (toneMatches(toneValues_, config_.startTone)) {
                    if (++startCount_ >= kRestartLines) {
                        endPictureLocked();
                        phasingHits_ = phasingLines_ = 0;
                        phasingSum_ = 0.0;
                        slant_.clearPhasing();
                        startCount_ = 0;
                        setState(FaxState::Phasing);
                    }
                } else {
                    startCount_ = 0;
                }
            }
            break;
    }
}

}  // namespace zeb::fax
