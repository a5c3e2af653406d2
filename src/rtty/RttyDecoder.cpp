#include "rtty/RttyDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace zeb::rtty {

RttyDecoder::RttyDecoder(teleprinter::CharacterOutputs outputs, DemodVariant variant)
    : baudot_(shift_, outputs),
      sitor_(shift_, outputs),
      demod_(variant == DemodVariant::Rtty ? DemodVariant::Rtty : DemodVariant::Main) {
    params_.variant = variant;
    configure(params_);
}

namespace {

// About half a second between looks, over the spectra of about three seconds.
constexpr int kAfcCheckBlocks = 5;
constexpr double kAfcMemorySeconds = 3.0;
// A pair must stand this far above the noise floor: noise alone stays some
// 5 dB below it over three seconds.
constexpr double kAfcMinStrengthDb = 8.0;

}  // namespace

const RttyParams& RttyDecoder::configure(const RttyParams& params) {
    const RttyParams before = params_;
    params_ = validated(params);
    baudot_.setUnshiftOnSpace(params_.usos);
    if (params_.mode != before.mode) errors_.clear();
    // New tones or a new shift: the control starts again from the set tones.
    if (params_.center != before.center || params_.shift != before.shift ||
        params_.variant != before.variant || !params_.afc) {
        afcShiftHz_ = 0.0;
        found_.reset();
    }
    if (params_.afc && (!afcFinder_ || params_.shift != before.shift)) {
        afcFinder_ = std::make_unique<ToneFinder>(params_.shift);
        afcFinder_->setMemory(kAfcMemorySeconds);
    }
    if (params_.variant == DemodVariant::Matched) {
        matched_.configure(params_);
    } else {
        RttyParams moved = params_;
        moved.center = static_cast<int>(std::lround(params_.center + afcShiftHz_));
        demod_.setVariant(params_.variant);
        demod_.configure(moved);
    }
    return params_;
}

void RttyDecoder::followSignal() {
    const double set = params_.lowerHz();
    const auto pair = afcFinder_->best(kAfcMinStrengthDb, set - kAfcRangeHz, set + kAfcRangeHz);
    found_ = pair;
    if (!pair) return;
    // The matched design's own correction follows up to about the keying
    // rate; the filters pass a few hertz either side.
    const double deadband = std::max(6.0, 0.15 * params_.keyingRate());
    if (std::abs(pair->lowerHz - lowerToneHz()) > deadband) moveTones(pair->lowerHz);
}

void RttyDecoder::moveTones(double lowerHz) {
    if (params_.variant == DemodVariant::Matched) {
        matched_.moveTones(lowerHz, lowerHz + params_.shift);
        return;
    }
    afcShiftHz_ = std::round(lowerHz) - params_.center;
    RttyParams moved = params_;
    moved.center = static_cast<int>(std::lround(lowerHz));
    demod_.configure(moved);
}

double RttyDecoder::snrDb() const {
    return params_.variant == DemodVariant::Matched ? matched_.snrDb()
                                                    : std::numeric_limits<double>::quiet_NaN();
}

bool RttyDecoder::squelchOpen() const {
    return params_.variant != DemodVariant::Matched || matched_.squelchOpen();
}

Polarity RttyDecoder::polarityInUse() const {
    if (params_.variant == DemodVariant::Matched) return matched_.polarity();
    return params_.invert != 0 ? Polarity::Inverted : Polarity::Normal;
}

std::pair<double, double> RttyDecoder::signalTonesHz() const {
    if (params_.afc && found_) return {found_->lowerHz, found_->upperHz};
    return {lowerToneHz(), upperToneHz()};
}

double RttyDecoder::toneOffsetHz() const {
    const auto [lower, upper] = signalTonesHz();
    return 0.5 * (lower + upper - params_.lowerHz() - params_.upperHz());
}

double RttyDecoder::lowerToneHz() const {
    return params_.variant == DemodVariant::Matched ? matched_.correlator().lowerHz()
                                                    : params_.lowerHz() + afcShiftHz_;
}

double RttyDecoder::upperToneHz() const {
    return params_.variant == DemodVariant::Matched ? matched_.correlator().upperHz()
                                                    : params_.upperHz() + afcShiftHz_;
}

std::span<const float> RttyDecoder::demodulated() const {
    if (params_.variant == DemodVariant::Matched) return matched_.demodulated();
    return demodulated_;
}

std::span<const float> RttyDecoder::lowerTone() const {
    return params_.variant == DemodVariant::Matched ? matched_.lowerTone() : demod_.lowerTone();
}

std::span<const float> RttyDecoder::upperTone() const {
    return params_.variant == DemodVariant::Matched ? matched_.upperTone() : demod_.upperTone();
}

void RecentErrors::advance(std::int64_t second) {
    if (second <= second_) return;
    for (std::int64_t s = second_ + 1; s <= second && s <= second_ + kSeconds; ++s)
        buckets_[index(s)] = {0, 0};
    second_ = second;
}

double RecentErrors::share() const {
    int good = 0, damaged = 0;
    for (const auto& b : buckets_) {
        good += b[0];
        damaged += b[1];
    }
    return good + damaged == 0 ? std::numeric_limits<double>::quiet_NaN()
                               : static_cast<double>(damaged) / (good + damaged);
}

void RecentErrors::clear() {
    buckets_ = {};
    second_ = 0;
}

int RttyDecoder::baudot(int frame) {
    errors_.count((frame & 1) == 0);  // bit 0 is the stop bit, always mark
    return baudot_.handle(frame);
}

int RttyDecoder::sitor(int word) {
    errors_.count(std::popcount(static_cast<unsigned>(word & 0x7F)) != 4);
    return sitor_.handle(word);
}

void RttyDecoder::sitorDecided(int word) {
    errors_.count(false);
    sitor_.decided(word);
}

void RttyDecoder::sitorLost() {
    errors_.count(true);
    sitor_.lost();
}

bool RttyDecoder::processBlock(std::span<const float> block) {
    if (block.size() != static_cast<std::size_t>(kBlockLength)) return false;
    samples_ += kBlockLength;
    errors_.advance(samples_ / kSampleRate);
    if (params_.afc && afcFinder_) {
        afcFinder_->feed(block);
        if (++afcBlocks_ >= kAfcCheckBlocks) {
            afcBlocks_ = 0;
            followSignal();
        }
    }
    const bool matched = params_.variant == DemodVariant::Matched;
    bool open = true;
    if (matched) {
        open = matched_.process(block, *this);
    } else if (!demod_.processBlock(block, demodulated_)) {
        return false;
    }
    if (monitor_ != nullptr && monitor_->isOn()) {
        static_assert(kBlockLength == dsp::kMonitorBlock);
        const auto lower = lowerTone();
        const auto upper = upperTone();
        for (std::size_t i = 0; i < monitorBlock_.size(); ++i)
            monitorBlock_[i] = lower[i] + upper[i];
        // The matched filters' outputs keep the tones' amplitude.
        monitor_->setGain(matched ? 1.0f : demod_.monitorGain());
        monitor_->feed(monitorBlock_);
    }
    int lock = 0;
    if (matched) {
        lock = matched_.lock();
    } else {
        slicer_.slice(demodulated_, params_, *this);
        lock = params_.rttyMode() == RttyMode::Baudot ? (slicer_.synchronised() ? 1 : 0)
                                                      : slicer_.lockCount();
    }
    if (lock != lastLock_) {
        lastLock_ = lock;
        if (lockListener_ != nullptr) lockListener_->lockChanged(lock);
    }
    return open;
}

}  // namespace zeb::rtty
