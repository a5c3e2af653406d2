// The matched RTTY design as a whole: correlator, the character framing of
// the mode, the polarity decision and the signal-to-noise squelch. Characters
// go to the same handlers as the other designs' slicers give them to.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "rtty/AsyncFramer.h"
#include "rtty/BitSlicer.h"
#include "rtty/SitorReceiver.h"
#include "rtty/ToneCorrelator.h"

namespace zeb::rtty {

class MatchedDemodulator {
public:
    MatchedDemodulator();

    // Retunes when the tones, rate or mode change; other changes (squelch,
    // forced polarity) apply at once without losing the signal.
    void configure(const RttyParams& params);

    // Demodulates one block of kBlockLength samples and hands the characters
    // to `handler` (Baudot frames, or SITOR-B words decided from both copies).
    // Returns whether the squelch was open.
    bool process(std::span<const float> block, WordHandler& handler);
    // Follows a signal found elsewhere: the tones move, the framing, the
    // polarity decision and the squelch carry on.
    void moveTones(double lowerHz, double upperHz) { correlator_.moveTones(lowerHz, upperHz); }

    double snrDb() const { return correlator_.snrDb(); }
    bool squelchOpen() const { return open_; }
    Polarity polarity() const;
    // Lock indicator: asynchronous 0/1, SITOR-B 0…16.
    int lock() const;
    const ToneCorrelator& correlator() const { return correlator_; }
    std::span<const float> lowerTone() const { return lower_; }
    std::span<const float> upperTone() const { return upper_; }
    // The soft values of the last block, scaled like the other designs'
    // demodulated signal (mark positive).
    std::span<const float> demodulated() const { return demodulated_; }

private:
    void runAsync(WordHandler& handler);
    void updateSquelch();

    RttyParams params_;
    bool tuned_ = false;
    ToneCorrelator correlator_;
    std::array<AsyncFramer, 2> framers_{AsyncFramer(+1), AsyncFramer(-1)};
    int chosen_ = -1;  // index into framers_, −1 while undecided
    std::array<std::vector<FramedCharacter>, 2> held_;
    std::vector<FramedCharacter> framed_;
    SitorReceiver sitor_;
    std::vector<int> words_;
    bool open_ = false;
    double openedAt_ = 0.0;  // sample at which the squelch last opened
    std::array<float, kBlockLength> lower_{};
    std::array<float, kBlockLength> upper_{};
    std::array<float, kBlockLength> demodulated_{};
};

}  // namespace zeb::rtty
