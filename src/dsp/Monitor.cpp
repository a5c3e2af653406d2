#include "dsp/Monitor.h"

#include <cmath>

#include "dsp/Primitives.h"

namespace zeb::dsp {

float monitorGain(float numerator, float gainSum) {
    if (!(gainSum > 0.0f) || !std::isfinite(gainSum)) return 0.0f;
    return numerator / gainSum;
}

void MonitorFeed::feed(std::span<const float, kMonitorBlock> block) {
    if (!on_.load()) return;
    nspsbCopy(block.data(), work_.data(), kMonitorBlock);
    nspsbMpy1(gain_.load(), work_.data(), kMonitorBlock);
    nspsbFloatToInt(work_.data(), out_.data(), kMonitorBlock, 16, kRoundNearest);
    sink_->queueBlock(out_);
    counter_ = (counter_ + 1) % kCounterModulus;
    // Counts down unless switchOn() has just restarted the count.
    int left = countdown_.load();
    if (left > 0 && countdown_.compare_exchange_strong(left, left - 1) && left == 1)
        sink_->requestStart();
}

}  // namespace zeb::dsp
