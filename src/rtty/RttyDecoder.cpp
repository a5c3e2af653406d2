#include "rtty/RttyDecoder.h"

#include <limits>

namespace zeb::rtty {

RttyDecoder::RttyDecoder(teleprinter::CharacterOutputs outputs, DemodVariant variant)
    : baudot_(shift_, outputs),
      sitor_(shift_, outputs),
      demod_(variant == DemodVariant::Rtty ? DemodVariant::Rtty : DemodVariant::Main) {
    params_.variant = variant;
    configure(params_);
}

const RttyParams& RttyDecoder::configure(const RttyParams& params) {
    params_ = validated(params);
    baudot_.setUnshiftOnSpace(params_.usos);
    if (params_.variant == DemodVariant::Matched) {
        matched_.configure(params_);
    } else {
        demod_.setVariant(params_.variant);
        demod_.configure(params_);
    }
    return params_;
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

double RttyDecoder::lowerToneHz() const {
    return params_.variant == DemodVariant::Matched ? matched_.correlator().lowerHz()
                                                    : params_.lowerHz();
}

double RttyDecoder::upperToneHz() const {
    return params_.variant == DemodVariant::Matched ? matched_.correlator().upperHz()
                                                    : params_.upperHz();
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

void RttyDecoder::sitorDecided(int word) { sitor_.decided(word); }

bool RttyDecoder::processBlock(std::span<const float> block) {
    if (block.size() != static_cast<std::size_t>(kBlockLength)) return false;
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
