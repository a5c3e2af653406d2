// SITOR-B for the matched design: a bit clock that follows the transitions of
// the soft values, the alignment of the 7-unit words and of the first-
// transmission / repetition slots found from the words themselves (for both
// polarities at once), and each character decided from both of its copies:
// of the 35 valid words, the one that agrees best with the sum of the two
// copies' soft bits. Nothing is decided before the alignment is locked.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "rtty/ToneCorrelator.h"

namespace zeb::rtty {

class SitorReceiver {
public:
    static constexpr int kSlots = 12;  // words kept: a repetition and its first copy
    static constexpr int kLockMax = 16;

    // `polarity`: Auto tries both.
    void configure(double bitLength, Polarity polarity);
    void restart(std::int64_t from);

    // In the output of run(): the alignment was found; what follows is a new
    // reception, which starts in letters as after phasing.
    static constexpr int kLocked = -1;
    // In the output of run(): a character was lost; neither copy could be
    // read and together they fit no word clearly.
    static constexpr int kLost = -2;

    // Appends to `out` every character word decided from the bits in the
    // correlator's history (the first received bit in bit 6, mark as 1), and
    // kLocked where the alignment was found; tells the correlator where each
    // bit was read.
    void run(ToneCorrelator& correlator, std::vector<int>& out);

    bool locked() const { return locked_; }
    // 0…kLockMax: how sure the word alignment is.
    int lockLevel() const;
    // The polarity in use (Auto until first locked when both are tried).
    Polarity polarity() const;

private:
    // One bit: returns false when the history holds no further bit yet.
    bool nextBit(const SoftHistory& h, float& value);
    // Takes the word that ended with the last bit; returns a decided
    // character word, kLost, or kNothing.
    static constexpr int kNothing = -3;
    int takeWord();
    // Scores each bit phase and polarity by how often its words are valid.
    void scorePhases(int hard, int phase);
    // Locks to the best phase and polarity, follows a slip, or loses the lock.
    void align();
    // A word at the locked phase: stored, its slot's role (first transmission
    // or repetition) learnt, and a character decided from a repetition slot.
    int takeLockedWord(const std::array<float, 7>& soft, int hard);
    // The character of a repetition slot and its first transmission (−1
    // when there is none): a word, kIdle (α: nothing sent) or kUnclear.
    static constexpr int kIdle = -1;
    static constexpr int kUnclear = -2;
    int decide(int rxSlot, int dxSlot);

    double T_ = 110.25;
    Polarity forced_ = Polarity::Auto;
    double next_ = 0.0;  // window end of the next bit
    double rate_ = 0.0;  // relative bit-rate correction
    double amplitude_ = 0.0;
    float lastBit_ = 0.0f;
    bool haveLast_ = false;
    std::int64_t bits_ = 0;
    std::array<float, 7 * 16> soft_{};  // the last bits, ring
    // Alignment: score of each bit phase (mod 7) for each polarity (+, −).
    std::array<std::array<float, 7>, 2> phaseScore_{};
    std::array<float, 2> parityScore_{};
    int rxParity_ = -1;  // word index parity of the repetition slots, −1 unknown
    int phase_ = -1;
    int sign_ = 1;
    bool locked_ = false;
    bool found_ = false;     // locked once: the polarity is known
    std::int64_t word_ = 0;  // index of the word that ends at the current phase
    std::int64_t wordsSinceLock_ = 0;
    std::array<std::array<float, 7>, kSlots> slots_{};  // soft words by word index
    std::array<int, kSlots> hardWords_{};
    int unreadable_ = 0;          // repetition slots in a row with neither copy valid
    float decidedMargin_ = 0.0f;  // how clearly the last decision won
};

}  // namespace zeb::rtty
