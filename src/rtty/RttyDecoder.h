// The whole RTTY decoder of one program: demodulator, bit slicer and the two
// character handlers, fed one audio block at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "dsp/Monitor.h"
#include "rtty/BitSlicer.h"
#include "rtty/MatchedDemodulator.h"
#include "rtty/RttyParams.h"
#include "rtty/ToneDemodulator.h"
#include "rtty/ToneFinder.h"
#include "teleprinter/CharacterHandlers.h"

namespace zeb::rtty {

// Told after a block when the lock indicator changes (lockCount, or the
// synchronised flag in asynchronous mode).
class LockListener {
public:
    virtual ~LockListener() = default;
    virtual void lockChanged(int value) = 0;
};

// Good and damaged characters of the last minute, in one-second buckets.
class RecentErrors {
public:
    static constexpr int kSeconds = 60;
    // Moves on to `second`, forgetting what is a minute older.
    void advance(std::int64_t second);
    void count(bool damaged) { ++buckets_[index(second_)][damaged ? 1 : 0]; }
    // Damaged over all, 0…1; NaN when nothing came within the minute.
    double share() const;
    void clear();

private:
    static std::size_t index(std::int64_t second) {
        return static_cast<std::size_t>(second % kSeconds);
    }
    std::array<std::array<int, 2>, kSeconds> buckets_{};
    std::int64_t second_ = 0;
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
    // The tones the decoder listens to, Hz: the set ones moved by the
    // frequency control (params().afc) and, in the matched design, by its
    // fine correction.
    double lowerToneHz() const;
    double upperToneHz() const;
    // The share of the last minute's characters that came damaged: Baudot
    // frames without their stop bit; SITOR-B characters neither copy of
    // which could be read (matched design) or words that are no CCIR 476
    // word (the filter designs). NaN while none came.
    double errorShare() const { return errors_.share(); }
    // Where the signal's tones lie, Hz: with the frequency control on, the
    // pair its last search found (the middle of a keyed pair is sharp in the
    // spectrum); else the tones listened to.
    std::pair<double, double> signalTonesHz() const;
    // How far the signal lies from the set tones (the middle of the pair), Hz.
    double toneOffsetHz() const;
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
    // Frequency control: every kAfcCheckBlocks blocks the pair of tones of the
    // set shift that stands out most within kAfcRangeHz of the set tones is
    // looked for in the spectrum of the last seconds; the decoder moves to it
    // when it lies further from the tones in use than the fine correction
    // would follow.
    void followSignal();
    void moveTones(double lowerHz);

    int baudot(int frame) override;
    int sitor(int word) override;
    void sitorDecided(int word) override;
    void sitorPhased() override { startInLetters(); }
    void sitorLost() override;

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
    std::unique_ptr<ToneFinder> afcFinder_;  // made when the control is first switched on
    int afcBlocks_ = 0;
    double afcShiftHz_ = 0.0;        // filter designs: the move of their tones
    std::optional<TonePair> found_;  // the frequency control's last search
    std::int64_t samples_ = 0;
    RecentErrors errors_;
};

}  // namespace zeb::rtty
