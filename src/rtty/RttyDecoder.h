// The whole RTTY decoder of one program: demodulator, bit slicer and the two
// character handlers, fed one audio block at a time.
#pragma once

#include <array>
#include <span>

#include "dsp/Monitor.h"
#include "rtty/BitSlicer.h"
#include "rtty/MatchedDemodulator.h"
#include "rtty/RttyParams.h"
#include "rtty/ToneDemodulator.h"
#include "teleprinter/CharacterHandlers.h"

namespace zeb::rtty {

// Told after a block when the lock indicator changes (lockCount, or the
// synchronised flag in asynchronous mode).
class LockListener {
public:
    virtual ~LockListener() = default;
    virtual void lockChanged(int value) = 0;
};

class RttyDecoder : private WordHandler {
public:
    // `variant` is the design used until configure() names another.
    explicit RttyDecoder(teleprinter::CharacterOutputs outputs,
                         DemodVariant variant = DemodVariant::Matched);

    // Validates and applies the parameters, the design included (filters
    // redesigned); the slicer state, the shift and the SITOR-B history carry
    // on. Returns the values in use.
    const RttyParams& configure(const RttyParams& params);
    const RttyParams& params() const { return params_; }

    // One block of kBlockLength samples (integer sample values as floats).
    // Returns false when a squelch kept the block's characters back.
    bool processBlock(std::span<const float> block);

    DemodVariant variant() const { return params_.variant; }
    // Estimated Eb/N0 of the signal in dB (matched design; NaN for the others).
    double snrDb() const;
    // Whether the matched design's signal-to-noise squelch lets characters
    // through (always true for the other designs).
    bool squelchOpen() const;
    // The polarity the matched design decodes with: the forced one, the one it
    // found, or Auto while it is still undecided. The others: from `invert`.
    Polarity polarityInUse() const;
    // The tones the matched design follows after frequency correction, Hz.
    double lowerToneHz() const;
    double upperToneHz() const;
    // Each tone filtered to the keying bandwidth, for the cross scope and
    // the monitor (the last block).
    std::span<const float> lowerTone() const;
    std::span<const float> upperTone() const;

    // Starts reception in letters shift instead of figures (for recordings
    // that begin without a LTRS code).
    void startInLetters() {
        shift_.set(true);
        sitor_.startIn(true);
    }

    void setLockListener(LockListener* listener) { lockListener_ = listener; }

    // The audio monitor: while its feed is switched on, the sum of the two
    // tone-filter outputs of every block, at the demodulator's monitor gain,
    // is played. nullptr (the default) plays nothing.
    void setMonitor(dsp::MonitorFeed* feed) { monitor_ = feed; }
    teleprinter::ShiftState& shift() { return shift_; }
    const teleprinter::ShiftState& shift() const { return shift_; }
    const BitSlicer& slicer() const { return slicer_; }
    BitSlicer& slicer() { return slicer_; }
    const ToneDemodulator& demodulator() const { return demod_; }
    const MatchedDemodulator& matched() const { return matched_; }
    // The demodulated signal of the last block (mark positive).
    std::span<const float> demodulated() const;

private:
    int baudot(int frame) override { return baudot_.handle(frame); }
    int sitor(int word) override { return sitor_.handle(word); }
    void sitorDecided(int word) override;
    void sitorPhased() override { startInLetters(); }
    void sitorLost() override { sitor_.lost(); }

    RttyParams params_;
    teleprinter::ShiftState shift_;
    teleprinter::BaudotHandler baudot_;
    teleprinter::SitorHandler sitor_;
    ToneDemodulator demod_;
    BitSlicer slicer_;
    MatchedDemodulator matched_;
    std::array<float, kBlockLength> demodulated_{};
    std::array<float, kBlockLength> monitorBlock_{};
    dsp::MonitorFeed* monitor_ = nullptr;
    LockListener* lockListener_ = nullptr;
    int lastLock_ = -1;
};

}  // namespace zeb::rtty
