#include "rtty/RttyParams.h"

#include <cmath>

namespace zeb::rtty {

RttyParams validated(const RttyParams& params) {
    const RttyParams defaults;
    RttyParams v = params;
    if (v.mode < 0 || v.mode > 2) v.mode = defaults.mode;
    if (v.baud < kMinBaud || v.baud > kMaxBaud) v.baud = defaults.baud;
    if (v.shift < kMinShift || v.shift > kMaxShift) v.shift = defaults.shift;
    if (v.center < kMinCenter || v.center + v.shift > kMaxToneHz) v.center = defaults.center;
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
    if (v.variant != DemodVariant::Main && v.variant != DemodVariant::Rtty &&
        v.variant != DemodVariant::Matched) {
        v.variant = defaults.variant;
    }
    if (v.polarity != Polarity::Auto && v.polarity != Polarity::Normal &&
        v.polarity != Polarity::Inverted) {
        v.polarity = defaults.polarity;
    }
    if (!std::isfinite(v.squelchDb) || v.squelchDb < 0.0f || v.squelchDb > kMaxSquelchDb) {
        v.squelchDb = defaults.squelchDb;
    }
    if (!std::isfinite(v.rate) || std::fabs(v.rate - v.baud) > 1.0) v.rate = 0.0;
    return v;
}

bool isValid(const RttyParams& params) {
    const RttyParams v = validated(params);
    return v.mode == params.mode && v.baud == params.baud && v.stop == params.stop &&
           v.invert == params.invert && v.shift == params.shift && v.center == params.center &&
           v.bitsPerChar == params.bitsPerChar && v.speed == params.speed &&
           v.squelch == params.squelch && v.variant == params.variant &&
           v.polarity == params.polarity && v.squelchDb == params.squelchDb &&
           v.usos == params.usos && v.rate == params.rate && v.afc == params.afc;
}

double RttyParams::keyingRate() const {
    if (rate > 0.0) return rate;
    switch (baud) {
        case 45: return 1000.0 / 22.0;   // 45.45 Bd, 22 ms units
        case 57: return 1000.0 / 17.58;  // 56.88 Bd
        default: return baud;
    }
}

}  // namespace zeb::rtty
