#include "dsp/SignalScale.h"

#include <algorithm>
#include <cmath>

#include "dsp/Primitives.h"

namespace zeb::dsp {

void SignalScale::apply(std::span<const float> values, int clientHeight,
                        std::span<std::int16_t> out) {
    const int n = static_cast<int>(
        std::min({values.size(), out.size(), static_cast<std::size_t>(kMaxPoints)}));
    if (n <= 0) return;
    const float peak =
        2.05f * std::max(nspsMax(values.data(), n), std::fabs(nspsMin(values.data(), n)));
    if (std::isfinite(peak)) {
        if (peak > scale_)
            scale_ = peak;
        else
            scale_ += 0.1f * (peak - scale_);
    }
    if (!(scale_ > 0.0f) || clientHeight <= 0) {
        std::fill_n(out.begin(), n, std::int16_t{0});
        return;
    }
    nspsbCopy(values.data(), work_, n);
    nspsbMpy1(static_cast<float>(clientHeight) / scale_, work_, n);
    nspsbFloatToInt(work_, out.data(), n, 16, kRoundNearest);
}

}  // namespace zeb::dsp
