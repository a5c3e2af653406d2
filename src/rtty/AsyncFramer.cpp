#include "rtty/AsyncFramer.h"

#include <algorithm>
#include <cmath>

namespace zeb::rtty {
namespace {

// A start edge is taken where the mark before it and the space after it
// differ by this much of the signal amplitude (2 at a clean edge); while the
// characters are chained, a weaker edge where one is due is enough.
constexpr double kHuntThreshold = 1.0;
constexpr double kChainedThreshold = 0.5;
constexpr int kMaxScore = 16;
// How far the chained timing follows each character's own measurement: a
// little, because one character's transitions measure its timing only
// roughly.
constexpr double kTimingGain = 0.1;
// The same at the start of a run, before the period is measured.
constexpr double kEarlyGain = 0.5;
// Starts of a run that measure its character period.
constexpr int kFitMin = 6;

}  // namespace

void AsyncFramer::configure(double bitLength, double stopBits) {
    T_ = bitLength;
    stop_ = stopBits;
    period_ = (6.0 + stop_) * T_;
    restart(0);
}

void AsyncFramer::restart(std::int64_t from) {
    hunt_ = static_cast<double>(from);
    expected_ = -1.0;
    chained_ = 0;
    misses_ = 0;
    period_ = (6.0 + stop_) * T_;
    fitted_ = 0;
    score_ = 0;
}

double AsyncFramer::bit(const SoftHistory& h, double start, int k) const {
    return sign_ * static_cast<double>(h.near(start + (k + 1) * T_ - 1.0));
}

double AsyncFramer::edge(const SoftHistory& h, double t) const {
    return bit(h, t, -1) - bit(h, t, 0);
}

float AsyncFramer::strength(const SoftHistory& h, double start) const {
    double sum = 0.0;
    for (int k = 0; k < 7; ++k) sum += std::fabs(bit(h, start, k));
    return static_cast<float>(sum / 7.0);
}

int AsyncFramer::frameAt(const SoftHistory& h, double start) const {
    int frame = 0;
    for (int k = 0; k < 7; ++k) frame = (frame << 1) | (bit(h, start, k) > 0.0 ? 1 : 0);
    return frame;
}

double AsyncFramer::refine(const SoftHistory& h, double start, int frame) const {
    // At every transition the window centred on the assumed boundary holds
    // (½ + τ) of the earlier bit and (½ − τ) of the later one, τ being how
    // much later (in bits) the true boundary lies: its soft value is
    // τ·(earlier − later). The least-squares τ over all transitions, the
    // mark before the start bit included.
    double num = 0.0, den = 0.0;
    int previous = 1;  // the stop bit or idle mark before the start bit
    double before = bit(h, start, -1);
    for (int k = 0; k < 7; ++k) {
        const int b = (frame >> (6 - k)) & 1;
        const double value = bit(h, start, k);
        if (b != previous) {
            const double delta = before - value;
            const double middle =
                sign_ * static_cast<double>(h.near(start + k * T_ + 0.5 * T_ - 1.0));
            num += middle * delta;
            den += delta * delta;
        }
        previous = b;
        before = value;
    }
    if (den <= 0.0) return 0.0;
    return std::clamp(num / den, -0.5, 0.5) * T_;
}

void AsyncFramer::run(const SoftHistory& h, double amplitude, std::vector<FramedCharacter>& out) {
    const double amp = std::max(amplitude, 1e-6);
    for (;;) {
        const bool chained = expected_ >= 0.0;
        if (chained) {
            const Chained step = takeChained(h, amp, out);
            if (step == Chained::Wait) return;
            if (step == Chained::Took) continue;
        }
        if (!hunt(h, amp, chained, out)) return;
    }
}

AsyncFramer::Chained AsyncFramer::takeChained(const SoftHistory& h, double amp,
                                              std::vector<FramedCharacter>& out) {
    const double avail = static_cast<double>(h.written());
    const double span = 8.0 * T_ + 2.0;  // reach of one character's reading beyond its start
    const double peakReach = 1.25 * T_;
    const int reach = static_cast<int>(T_ / 3.0);
    if (expected_ + T_ + span + peakReach >= avail) return Chained::Wait;
    // The start edge should be where the last character said: the
    // strongest edge close to there, unless the edge still rises
    // beyond the search (the stop was longer or shorter than the
    // last ones) or no start bit is there at all.
    double best = expected_;
    double bestEdge = -1e300;
    for (int d = -reach; d <= reach; ++d) {
        const double e = edge(h, expected_ + d);
        if (e > bestEdge) {
            bestEdge = e;
            best = expected_ + d;
        }
    }
    const bool beyond =
        bit(h, expected_, 0) >= 0.0 && (edge(h, expected_ + reach + T_ / 6.0) > bestEdge ||
                                        edge(h, expected_ - reach - T_ / 6.0) > bestEdge);
    if (bestEdge >= kChainedThreshold * amp && bit(h, best, 0) < 0.0 && !beyond) {
        // Its timing is measured around where it was due. One
        // character's transitions measure it only roughly (a tenth of
        // a bit at 12 dB): the start follows the measurement a little
        // of the way, and the character period is the slope of a line
        // through the measured starts of the run, which follows a
        // keying rate that is off.
        const double err = refine(h, expected_, frameAt(h, expected_));
        fit(expected_ + err);
        const double t0 = expected_ + (fitted_ < kFitMin ? kEarlyGain : kTimingGain) * err;
        take(h, t0, true, out);
        return Chained::Took;
    }
    // In the middle of a run of characters a start bit lost in noise
    // does not stop the character clock; idle mark (all data bits
    // mark) is not taken for a character.
    const int frame = frameAt(h, expected_);
    if (!beyond && chained_ >= 3 && misses_ == 0 && (frame & 0x3E) != 0x3E) {
        score_ = std::max(score_ - 1, -kMaxScore);
        misses_ = 1;
        out.push_back({(frame & 0x3F) | 1, static_cast<std::int64_t>(std::llround(expected_)),
                       strength(h, expected_)});
        ++chained_;
        hunt_ = expected_ + 6.5 * T_;
        expected_ += period_;
        return Chained::Took;
    }
    return Chained::Hunt;
}

bool AsyncFramer::hunt(const SoftHistory& h, double amp, bool chained,
                       std::vector<FramedCharacter>& out) {
    const double avail = static_cast<double>(h.written());
    const double span = 8.0 * T_ + 2.0;
    const double peakReach = 1.25 * T_;
    // Hunting: the first place after the last stop bit began where a mark
    // turns into a space that looks like a start bit, then the peak of
    // that edge. Between a stop bit and the next start bit there is no
    // other such edge, whatever the length of the stop or of a pause.
    double t = std::max(hunt_, static_cast<double>(h.oldest()) + T_ + 1.0);
    const double last = avail - span - peakReach;
    while (t < last && !(edge(h, t) > kHuntThreshold * amp && bit(h, t, 0) < 0.0)) t += 1.0;
    if (t >= last) {
        hunt_ = t;
        return false;
    }
    double best = t;
    double bestEdge = edge(h, t);
    for (int d = 1; d <= static_cast<int>(peakReach); ++d) {
        const double e = edge(h, t + d);
        if (e > bestEdge) {
            bestEdge = e;
            best = t + d;
        }
    }
    const double t0 = best + refine(h, best, frameAt(h, best));
    if (chained) {
        // Still in a run after a longer or shorter stop: a spacing of a
        // stop bit from one to two and a quarter bits long becomes the
        // character period until a new run measures it.
        const double spacing = t0 - (expected_ - period_);
        if (spacing < 6.9 * T_ || spacing > 8.35 * T_) {
            chained_ = 0;
        } else if (std::fabs(spacing - period_) >= 0.4 * T_) {
            period_ = spacing;
        }
    }
    fitted_ = 0;
    if (!take(h, t0, false, out)) {
        hunt_ = best + T_ / 4.0;
        expected_ = -1.0;
        chained_ = 0;
    }
    return true;
}

void AsyncFramer::fit(double start) {
    starts_[static_cast<std::size_t>(fitted_ % kFitLength)] = start;
    ++fitted_;
    const int n = std::min(fitted_, kFitLength);
    if (n < kFitMin) return;
    // Least-squares slope of start against its index in the run.
    double sk = 0.0, st = 0.0, skk = 0.0, skt = 0.0;
    const double base = starts_[static_cast<std::size_t>((fitted_ - n) % kFitLength)];
    for (int k = 0; k < n; ++k) {
        const double t = starts_[static_cast<std::size_t>((fitted_ - n + k) % kFitLength)] - base;
        sk += k;
        st += t;
        skk += static_cast<double>(k) * k;
        skt += k * t;
    }
    const double slope = (n * skt - sk * st) / (n * skk - sk * sk);
    period_ = std::clamp(slope, 6.75 * T_, 8.35 * T_);
}

bool AsyncFramer::take(const SoftHistory& h, double t0, bool due,
                       std::vector<FramedCharacter>& out) {
    const int frame = frameAt(h, t0);
    bool good = (frame & 0x41) == 0x01;
    if (!good) {
        score_ = std::max(score_ - 1, -kMaxScore);
        // A start or stop bit lost in noise where a character was due: it is
        // kept as long as its neighbours keep the chain. Anywhere else it was
        // not a character.
        if (!due || misses_ > 0) {
            if (due) {
                hunt_ = t0 + T_ / 4.0;
                expected_ = -1.0;
                chained_ = 0;
            }
            return false;
        }
        ++misses_;
    } else {
        score_ = std::min(score_ + 1, kMaxScore);
        misses_ = 0;
    }
    out.push_back(
        {(frame & 0x3F) | 1, static_cast<std::int64_t>(std::llround(t0)), strength(h, t0)});
    ++chained_;
    expected_ = t0 + period_;
    hunt_ = t0 + 6.5 * T_;
    return true;
}

}  // namespace zeb::rtty
