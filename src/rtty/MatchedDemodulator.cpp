#include "rtty/MatchedDemodulator.h"

#include <algorithm>
#include <cmath>

namespace zeb::rtty {
namespace {

// Characters held back per polarity while the polarity is not decided or the
// squelch is closed; those framed while it was closed are given out on its
// opening when no older than kLookbackBits and at least kHeldStrength of the
// signal amplitude.
constexpr std::size_t kHeldMax = 64;
constexpr double kLookbackBits = 48.0;
constexpr double kHeldStrength = 0.5;
// How far behind the newest sample a character is framed.
constexpr double kFramingBits = 10.0;
// Score lead that decides the Baudot polarity, and that later switches it.
constexpr int kDecideLead = 4;
constexpr int kSwitchLead = 8;
// The squelch closes this much below the level at which it opens.
constexpr double kHysteresisDb = 1.0;
// SITOR-B keeps the squelch open longer once the alignment is locked: the
// lock itself ends with the signal, and the tones' crosstalk at 170 Hz and
// 100 Bd makes the estimate read a decibel or so low.
constexpr double kLockedHysteresisDb = 3.0;
// Scale of the soft values in the signal window, like the filter designs'.
constexpr float kDisplayScale = 16.0f;

}  // namespace

MatchedDemodulator::MatchedDemodulator() {
    for (auto& q : held_) q.reserve(kHeldMax + 64);
    framed_.reserve(64);
    words_.reserve(64);
    configure(params_);
}

void MatchedDemodulator::configure(const RttyParams& params) {
    const bool retune =
        !tuned_ || params.center != params_.center || params.shift != params_.shift ||
        params.keyingRate() != params_.keyingRate() || params.mode != params_.mode ||
        params.stop != params_.stop || params.polarity != params_.polarity;
    params_ = params;
    if (!retune) return;
    tuned_ = true;
    correlator_.configure(params.lowerHz(), params.upperHz(), params.keyingRate());
    const double T = correlator_.bitLength();
    for (auto& f : framers_) f.configure(T, params.stop);
    for (auto& q : held_) q.clear();
    chosen_ = params.polarity == Polarity::Normal     ? 0
              : params.polarity == Polarity::Inverted ? 1
                                                      : -1;
    sitor_.configure(T, params.polarity);
    open_ = false;
}

Polarity MatchedDemodulator::polarity() const {
    if (params_.rttyMode() == RttyMode::SitorB) return sitor_.polarity();
    if (params_.polarity != Polarity::Auto) return params_.polarity;
    if (chosen_ < 0) return Polarity::Auto;
    return chosen_ == 0 ? Polarity::Normal : Polarity::Inverted;
}

int MatchedDemodulator::lock() const {
    if (params_.rttyMode() == RttyMode::SitorB) return open_ ? sitor_.lockLevel() : 0;
    return open_ && chosen_ >= 0 && framers_[static_cast<std::size_t>(chosen_)].synchronised() ? 1
                                                                                               : 0;
}

void MatchedDemodulator::updateSquelch() {
    // The squelch compares the uncorrected level, as it always has: the
    // levels users have set keep opening it where they did.
    const double snr = correlator_.levelDb();
    const bool was = open_;
    if (params_.squelchDb <= 0.0f) {
        open_ = true;
    } else if (open_) {
        const bool locked = params_.rttyMode() == RttyMode::SitorB && sitor_.locked();
        open_ = snr >= params_.squelchDb - (locked ? kLockedHysteresisDb : kHysteresisDb);
    } else {
        open_ = snr >= params_.squelchDb;
    }
    if (open_ && !was) openedAt_ = static_cast<double>(correlator_.history().written());
    // Noise must not drag the frequency correction away.
    correlator_.setTracking(open_);
}

bool MatchedDemodulator::process(std::span<const float> block, WordHandler& handler) {
    correlator_.process(block, lower_, upper_);
    const auto& h = correlator_.history();
    const std::int64_t first = h.written() - static_cast<std::int64_t>(block.size());
    for (std::size_t i = 0; i < block.size() && i < demodulated_.size(); ++i)
        demodulated_[i] = kDisplayScale * (params_.invert != 0 ? -1.0f : 1.0f) *
                          h.at(first + static_cast<std::int64_t>(i));

    if (params_.rttyMode() == RttyMode::SitorB) {
        words_.clear();
        sitor_.run(correlator_, words_);
        updateSquelch();
        for (int w : words_) {
            if (w == SitorReceiver::kLocked) {
                handler.sitorPhased();
            } else if (w == SitorReceiver::kLost) {
                if (open_) handler.sitorLost();
            } else if (open_) {
                handler.sitorDecided(w);
            }
        }
    } else {
        runAsync(handler);
    }
    return open_;
}

void MatchedDemodulator::runAsync(WordHandler& handler) {
    const auto& h = correlator_.history();
    const double amp = correlator_.amplitude();
    for (std::size_t i = 0; i < framers_.size(); ++i) {
        if (params_.polarity != Polarity::Auto && static_cast<int>(i) != chosen_) continue;
        framed_.clear();
        framers_[i].run(h, amp, framed_);
        // The signal-to-noise estimate takes the data and stop bits of the
        // characters of the polarity in use (or leading): the start bit was
        // picked for being a strong space, and would flatter noise.
        const int lead =
            chosen_ >= 0 ? chosen_ : (framers_[0].score() >= framers_[1].score() ? 0 : 1);
        if (static_cast<int>(i) == lead) {
            const double T = correlator_.bitLength();
            for (const auto& c : framed_)
                for (int k = 1; k < 7; ++k)
                    correlator_.observe(static_cast<double>(c.position) + (k + 1) * T - 1.0);
        }
        // Every character waits here until its polarity is decided and the
        // squelch is open; the queue keeps the newest.
        auto& q = held_[i];
        q.insert(q.end(), framed_.begin(), framed_.end());
        if (q.size() > kHeldMax)
            q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(q.size() - kHeldMax));
    }
    updateSquelch();
    if (params_.polarity == Polarity::Auto) {
        const int s0 = framers_[0].score();
        const int s1 = framers_[1].score();
        if (chosen_ < 0) {
            if (std::max(s0, s1) >= kDecideLead && std::abs(s0 - s1) >= kDecideLead)
                chosen_ = s0 > s1 ? 0 : 1;
        } else if ((chosen_ == 0 ? s1 - s0 : s0 - s1) >= kSwitchLead) {
            chosen_ = 1 - chosen_;
            for (auto& f : framers_) f.resetScore();
        }
    }
    if (chosen_ < 0 || !open_) return;
    // Characters framed before the squelch opened are given out when they
    // are recent and as strong as the signal now heard: the start of a
    // transmission is not lost while the signal-to-noise estimate settles,
    // and the noise before it does not print.
    const double T = correlator_.bitLength();
    const double surely = openedAt_ - kFramingBits * T;
    const double maybe = openedAt_ - kLookbackBits * T;
    for (const auto& c : held_[static_cast<std::size_t>(chosen_)]) {
        const auto at = static_cast<double>(c.position);
        if (at >= surely || (at >= maybe && c.strength >= kHeldStrength * amp))
            handler.baudot(c.frame);
    }
    for (auto& q : held_) q.clear();
}

}  // namespace zeb::rtty
