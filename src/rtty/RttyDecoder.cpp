#include "rtty/RttyDecoder.h"

namespace zeb::rtty {

RttyDecoder::RttyDecoder(CharacterOutputs outputs, DemodVariant variant)
    : baudot_(shift_, outputs), sitor_(shift_, outputs), demod_(variant) {
    configure(params_);
}

const RttyParams& RttyDecoder::configure(const RttyParams& params) {
    params_ = validated(params);
    demod_.configure(params_);
    return params_;
}

bool RttyDecoder::processBlock(std::span<const float> block) {
    if (block.size() != static_cast<std::size_t>(kBlockLength)) return false;
    if (!demod_.processBlock(block, demodulated_)) return false;
    if (monitor_ != nullptr && monitor_->isOn()) {
        static_assert(kBlockLength == dsp::kMonitorBlock);
        const auto lower = demod_.lowerTone();
        const auto upper = demod_.upperTone();
        for (std::size_t i = 0; i < monitorBlock_.size(); ++i)
            monitorBlock_[i] = lower[i] + upper[i];
        monitor_->setGain(demod_.monitorGain());
        monitor_->feed(monitorBlock_);
    }
    slicer_.slice(demodulated_, params_, *this);
    const int lock = params_.rttyMode() == RttyMode::Baudot ? (slicer_.synchronised() ? 1 : 0)
                                                            : slicer_.lockCount();
    if (lock != lastLock_) {
        lastLock_ = lock;
        if (lockListener_ != nullptr) lockListener_->lockChanged(lock);
    }
    return true;
}

}  // namespace zeb::rtty
