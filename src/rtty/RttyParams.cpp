#include "rtty/RttyParams.h"

#include <cmath>

namespace zeb::rtty {

RttyParams validated(const RttyParams& params) {
    const RttyParams defaults;
    RttyParams v = params;
    if (v.mode < 0 || v.mode > 2) v.mode = defaults.mode;
    if (v.baud < kMinBaud || v.baud > kMaxBaud) v.baud = defaults.baud;
    if (v.shift < kMinShift || v.shift > kMaxShift) v.shift = defaults.shift;
    if (v.center < kMinCenter || v.center > kMaxCenter) v.center = defaults.center;
    if (v.invert != 0 && v.invert != 1) v.invert = defaults.invert;
    if (std::isnan(v.stop)) {
        v.stop = defaults.stop;
    } else if (v.stop < 1.25f) {
        v.stop = 1.0f;
    } else if (v.stop < 1.75f) {
        v.stop = 1.5f;
    } else {
        v.stop = 2.0f;
    }
    if (!std::isfinite(v.squelch) || v.squelch < 0.0f) v.squelch = defaults.squelch;
    if (!std::isfinite(v.speed) || v.speed <= 0.0f) v.speed = defaults.speed;
    v.bitsPerChar = 7;
    return v;
}

bool isValid(const RttyParams& params) {
    const RttyParams v = validated(params);
    return v.mode == params.mode && v.baud == params.baud && v.stop == params.stop &&
           v.invert == params.invert && v.shift == params.shift && v.center == params.center &&
           v.bitsPerChar == params.bitsPerChar && v.speed == params.speed &&
           v.squelch == params.squelch;
}

}  // namespace zeb::rtty
