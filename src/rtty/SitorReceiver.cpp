#include "rtty/SitorReceiver.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "teleprinter/CodeTables.h"

namespace zeb::rtty {
namespace {

constexpr int kRing = 7 * 16;
// Weight of the newest word in an alignment score: quick to find the
// alignment, slow to give it up once locked.
constexpr float kScoreStep = 0.2f;
constexpr float kLockedScoreStep = 0.05f;
constexpr float kLockScore = 0.7f;
constexpr float kLoseScore = 0.35f;
// Another alignment takes over only when it is nearly always valid and the
// one in use is not: a bit slip, not a burst of damaged words.
constexpr float kSwitchScore = 0.8f;
constexpr float kSwitchFrom = 0.5f;
// A decision needs the best word ahead of the next by this share of the
// evidence.
constexpr float kMinMargin = 0.05f;
// A character neither of whose copies is valid is given out only when the
// two together fit their word this much better than the next.
constexpr float kDoubtMargin = 0.08f;
// Repetition slots in a row with neither copy valid that end the lock.
constexpr int kUnreadableMax = 3;

// Whether two soft words carry the same bits: their normalised correlation.
bool agree(const std::array<float, 7>& a, const std::array<float, 7>& b) {
    float ab = 0.0f, aa = 0.0f, bb = 0.0f;
    for (std::size_t i = 0; i < 7; ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return aa > 0.0f && bb > 0.0f && ab > 0.5f * std::sqrt(aa * bb);
}

bool validWord(int w) {
    return teleprinter::kSitorLetters[static_cast<std::size_t>(w & 0x7F)] != 0;
}

// The 35 valid words, found once from the table.
struct ValidWords {
    std::array<int, 35> words{};
    int count = 0;
    ValidWords() {
        for (int w = 0; w < 128 && count < 35; ++w)
            if (validWord(w)) words[static_cast<std::size_t>(count++)] = w;
    }
};
const ValidWords& validWords() {
    static const ValidWords table;
    return table;
}

// The valid word that agrees best with soft bits (first bit in [0], mark
// positive): the most likely one when the soft values measure the evidence.
// −1 when no word stands out (a steady tone fits many words equally).
int mostLikely(const std::array<float, 7>& soft, float& margin) {
    int best = -1;
    float bestScore = -1e30f, second = -1e30f, total = 0.0f;
    for (float v : soft) total += std::fabs(v);
    const auto& valid = validWords();
    for (int i = 0; i < valid.count; ++i) {
        const int w = valid.words[static_cast<std::size_t>(i)];
        float s = 0.0f;
        for (int b = 0; b < 7; ++b) s += ((w >> (6 - b)) & 1) != 0 ? soft[b] : -soft[b];
        if (s > bestScore) {
            second = bestScore;
            bestScore = s;
            best = w;
        } else if (s > second) {
            second = s;
        }
    }
    margin = total > 0.0f ? (bestScore - second) / total : 0.0f;
    return margin > kMinMargin ? best : -1;
}

}  // namespace

void SitorReceiver::configure(double bitLength, Polarity polarity) {
    T_ = bitLength;
    forced_ = polarity;
    restart(0);
}

void SitorReceiver::restart(std::int64_t from) {
    next_ = static_cast<double>(from) + T_ - 1.0;
    rate_ = 0.0;
    haveLast_ = false;
    bits_ = 0;
    soft_.fill(0.0f);
    for (auto& p : phaseScore_) p.fill(0.0f);
    parityScore_.fill(0.0f);
    rxParity_ = -1;
    phase_ = -1;
    sign_ = forced_ == Polarity::Inverted ? -1 : 1;
    locked_ = false;
    found_ = false;
    word_ = 0;
    wordsSinceLock_ = 0;
}

int SitorReceiver::lockLevel() const {
    if (!locked_) return 0;
    const float s = phaseScore_[sign_ > 0 ? 0 : 1][static_cast<std::size_t>(phase_)];
    return std::clamp(static_cast<int>(std::lround(s * kLockMax)), 0, kLockMax);
}

Polarity SitorReceiver::polarity() const {
    if (forced_ != Polarity::Auto) return forced_;
    if (!found_) return Polarity::Auto;
    return sign_ > 0 ? Polarity::Normal : Polarity::Inverted;
}

bool SitorReceiver::nextBit(const SoftHistory& h, float& value) {
    if (next_ >= static_cast<double>(h.written())) return false;
    if (next_ < static_cast<double>(h.oldest())) next_ = static_cast<double>(h.oldest()) + T_;
    const float b = h.near(next_);
    if (haveLast_ && (b > 0.0f) != (lastBit_ > 0.0f)) {
        // The window centred on the boundary before this bit holds (½ + τ)
        // of the earlier bit when the true boundary lies τ bits later, so its
        // soft value is τ·(earlier − later). Weighted by how clear the
        // transition is: an unsure one hardly moves the clock.
        const double middle = h.near(next_ - 0.5 * T_);
        const double delta = static_cast<double>(lastBit_) - b;
        const double clear = std::max(4.0 * amplitude_ * amplitude_, delta * delta);
        const double tau = std::clamp(middle * delta / clear, -0.5, 0.5);
        const double gain = locked_ ? 0.1 : 0.3;
        next_ += gain * tau * T_;
        rate_ = std::clamp(rate_ + 0.002 * tau, -0.02, 0.02);
    }
    lastBit_ = b;
    haveLast_ = true;
    value = b;
    next_ += T_ * (1.0 + rate_);
    return true;
}

void SitorReceiver::run(ToneCorrelator& correlator, std::vector<int>& out) {
    const SoftHistory& h = correlator.history();
    amplitude_ = correlator.amplitude();
    float value = 0.0f;
    for (;;) {
        const double at = next_;
        if (!nextBit(h, value)) break;
        correlator.observe(at);
        soft_[static_cast<std::size_t>(bits_ % kRing)] = value;
        ++bits_;
        if (bits_ < 7) continue;
        const bool wasLocked = locked_;
        const int decided = takeWord();
        if (locked_ && !wasLocked) out.push_back(kLocked);
        if (decided >= 0 || decided == kLost) out.push_back(decided);
    }
}

int SitorReceiver::takeWord() {
    // The word that ends with the newest bit, for the bit phase it belongs to.
    std::array<float, 7> soft{};
    int hard = 0;
    for (int b = 0; b < 7; ++b) {
        soft[static_cast<std::size_t>(b)] =
            soft_[static_cast<std::size_t>((bits_ - 7 + b) % kRing)];
        hard = (hard << 1) | (soft[static_cast<std::size_t>(b)] > 0.0f ? 1 : 0);
    }
    const int phase = static_cast<int>(bits_ % 7);
    scorePhases(hard, phase);
    align();
    if (!locked_ || phase != phase_) return kNothing;
    return takeLockedWord(soft, hard);
}

void SitorReceiver::scorePhases(int hard, int phase) {
    for (int pol = 0; pol < 2; ++pol) {
        if (forced_ == Polarity::Normal && pol == 1) continue;
        if (forced_ == Polarity::Inverted && pol == 0) continue;
        const int w = pol == 0 ? hard : (~hard & 0x7F);
        float& s = phaseScore_[static_cast<std::size_t>(pol)][static_cast<std::size_t>(phase)];
        s += ((validWord(w) ? 1.0f : 0.0f) - s) * (locked_ ? kLockedScoreStep : kScoreStep);
    }
}

void SitorReceiver::align() {
    // Alignment: the phase and polarity whose words are valid most often.
    int bestPol = 0, bestPhase = 0;
    float best = -1.0f, second = -1.0f;
    for (int pol = 0; pol < 2; ++pol) {
        for (int ph = 0; ph < 7; ++ph) {
            const float s =
                phaseScore_[static_cast<std::size_t>(pol)][static_cast<std::size_t>(ph)];
            if (s > best) {
                second = best;
                best = s;
                bestPol = pol;
                bestPhase = ph;
            } else if (s > second) {
                second = s;
            }
        }
    }
    const int sign = bestPol == 0 ? 1 : -1;
    if (!locked_) {
        if (best >= kLockScore && best - second >= 0.2f) {
            locked_ = true;
            found_ = true;
            phase_ = bestPhase;
            sign_ = sign;
            parityScore_.fill(0.0f);
            rxParity_ = -1;
            wordsSinceLock_ = 0;
        }
    } else {
        const float current = phaseScore_[sign_ > 0 ? 0 : 1][static_cast<std::size_t>(phase_)];
        if (current < kLoseScore) {
            locked_ = false;
        } else if ((bestPhase != phase_ || sign != sign_) && best >= kSwitchScore &&
                   current < kSwitchFrom && best - current >= 0.3f) {
            // The bit clock slipped, or another signal took over.
            phase_ = bestPhase;
            sign_ = sign;
            parityScore_.fill(0.0f);
            rxParity_ = -1;
            wordsSinceLock_ = 0;
        }
    }
}

int SitorReceiver::takeLockedWord(const std::array<float, 7>& soft, int hard) {
    // A word at the locked phase: keep it, mark polarity applied.
    ++word_;
    ++wordsSinceLock_;
    auto& slot = slots_[static_cast<std::size_t>(word_ % kSlots)];
    for (int b = 0; b < 7; ++b)
        slot[static_cast<std::size_t>(b)] =
            static_cast<float>(sign_) * soft[static_cast<std::size_t>(b)];
    const int w = sign_ > 0 ? hard : (~hard & 0x7F);
    hardWords_[static_cast<std::size_t>(word_ % kSlots)] = w;

    // Which slots are repetitions: a repetition agrees with the first
    // transmission five slots before it (compared soft, so that one bad
    // bit does not hide it), and during phasing α follows β. Once known,
    // the alignment stays until the other one is clearly more likely.
    const int parity = static_cast<int>(word_ & 1);
    for (auto& p : parityScore_) p *= 0.95f;
    if (wordsSinceLock_ > 5 &&
        agree(slot, slots_[static_cast<std::size_t>((word_ - 5) % kSlots)]) &&
        w != teleprinter::kSitorAlphaWord) {
        parityScore_[static_cast<std::size_t>(parity)] += 1.0f;
    }
    if (wordsSinceLock_ > 1 && w == teleprinter::kSitorAlphaWord &&
        hardWords_[static_cast<std::size_t>((word_ - 1) % kSlots)] == teleprinter::kSitorBetaWord) {
        parityScore_[static_cast<std::size_t>(parity)] += 1.0f;
    }
    for (int p = 0; p < 2; ++p) {
        const float mine = parityScore_[static_cast<std::size_t>(p)];
        const float other = parityScore_[static_cast<std::size_t>(1 - p)];
        if (p != rxParity_ && mine >= 1.0f && mine > 2.0f * other + (rxParity_ < 0 ? 0.0f : 1.0f))
            rxParity_ = p;
    }
    if (parity != rxParity_) return kNothing;  // a first transmission, or not known yet
    const bool haveFirst = wordsSinceLock_ > 5;
    const std::int64_t first = word_ - 5;
    // A signal that is gone leaves noise, whose words are mostly invalid in
    // both copies: a few such slots in a row end the lock at once, before
    // the slower alignment score would.
    const bool unreadable =
        !validWord(w) &&
        (!haveFirst || !validWord(hardWords_[static_cast<std::size_t>(first % kSlots)]));
    unreadable_ = unreadable ? unreadable_ + 1 : 0;
    if (unreadable_ >= kUnreadableMax) {
        locked_ = false;
        unreadable_ = 0;
        return kNothing;
    }
    const int decided =
        decide(static_cast<int>(word_ % kSlots), haveFirst ? static_cast<int>(first % kSlots) : -1);
    if (decided == kIdle) return kNothing;
    // Neither copy valid and the two together fit a word only weakly: the
    // character is lost rather than guessed.
    if (decided == kUnclear || (unreadable && decidedMargin_ < kDoubtMargin)) return kLost;
    return decided;
}

int SitorReceiver::decide(int rxSlot, int dxSlot) {
    const auto& rx = slots_[static_cast<std::size_t>(rxSlot)];
    float margin = 0.0f;
    const int alone = mostLikely(rx, margin);
    decidedMargin_ = margin;
    if (alone == teleprinter::kSitorAlphaWord) return kIdle;  // idle repetition slot
    if (alone < 0 && dxSlot < 0) return kUnclear;
    if (dxSlot < 0) return alone;
    const auto& dx = slots_[static_cast<std::size_t>(dxSlot)];
    float dxMargin = 0.0f;
    if (mostLikely(dx, dxMargin) == teleprinter::kSitorBetaWord) {
        return alone < 0 ? kUnclear : alone;  // phasing in the first slot
    }
    std::array<float, 7> both{};
    for (int b = 0; b < 7; ++b)
        both[static_cast<std::size_t>(b)] =
            rx[static_cast<std::size_t>(b)] + dx[static_cast<std::size_t>(b)];
    const int w = mostLikely(both, decidedMargin_);
    if (w == teleprinter::kSitorAlphaWord) return kIdle;
    return w < 0 ? kUnclear : w;
}

}  // namespace zeb::rtty
