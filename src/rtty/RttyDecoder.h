// The whole RTTY decoder of one program: demodulator, bit slicer and the two
// character handlers, fed one audio block at a time.
#pragma once

#include <array>
#include <span>

#include "dsp/Monitor.h"
#include "rtty/BitSlicer.h"
#include "rtty/CharacterHandlers.h"
#include "rtty/RttyParams.h"
#include "rtty/ToneDemodulator.h"

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
    explicit RttyDecoder(CharacterOutputs outputs, DemodVariant variant = DemodVariant::Main);

    // Validates and applies the parameters (filters redesigned); the slicer
    // state, the shift and the SITOR-B history carry on. Returns the values in use.
    const RttyParams& configure(const RttyParams& params);
    const RttyParams& params() const { return params_; }

    // One block of kBlockLength samples (integer sample values as floats).
    // Returns false when the squelch kept the block from the slicer.
    bool processBlock(std::span<const float> block);

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
    ShiftState& shift() { return shift_; }
    const ShiftState& shift() const { return shift_; }
    const BitSlicer& slicer() const { return slicer_; }
    BitSlicer& slicer() { return slicer_; }
    const ToneDemodulator& demodulator() const { return demod_; }
    std::span<const float> demodulated() const { return demodulated_; }

private:
    int baudot(int frame) override { return baudot_.handle(frame); }
    int sitor(int word) override { return sitor_.handle(word); }

    RttyParams params_;
    ShiftState shift_;
    BaudotHandler baudot_;
    SitorHandler sitor_;
    ToneDemodulator demod_;
    BitSlicer slicer_;
    std::array<float, kBlockLength> demodulated_{};
    std::array<float, kBlockLength> monitorBlock_{};
    dsp::MonitorFeed* monitor_ = nullptr;
    LockListener* lockListener_ = nullptr;
    int lastLock_ = -1;
};

}  // namespace zeb::rtty
