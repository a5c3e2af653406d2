// Keying and speed tracking of the Morse decoder: takes one key decision per
// envelope sample (tone or silence), measures marks and gaps in samples with a
// cumulative hysteresis, adapts the dot and dash lengths, collects elements
// and posts characters, prosigns and word spaces to a text sink.
//
// The state lives for the whole run of the program: stopping and starting
// decoding keeps the speed that was learnt.
#pragma once

#include "common/TextSink.h"
#include "cw/MorseTable.h"

namespace zeb::cw {

class KeyTracker {
public:
    // About 45 ms at 11025 samples per second: 26 words per minute.
    static constexpr int kInitialDotLength = 500;
    static constexpr int kInitialDashLength = 1500;
    // Silent samples (in total) that end a mark, and tone samples that end a gap.
    static constexpr int kHysteresis = 100;
    // Mark and gap counters stop here, so hours of silence or carrier cannot
    // overflow them.
    static constexpr int kCounterLimit = 1'000'000'000;

    explicit KeyTracker(TextSink& sink) : sink_(&sink) {}

    // One envelope sample: true when it is at or above the key-down threshold.
    void sample(bool tone) { tone ? toneSample() : silentSample(); }

    int dotLength() const { return dotLength_; }
    int dashLength() const { return dashLength_; }
    bool inGap() const { return inGap_; }
    int markLength() const { return markLength_; }
    int gapLength() const { return gapLength_; }
    const ElementRegister& elements() const { return register_; }

private:
    void toneSample();
    void silentSample();
    void endMark();
    void decodeRegister();
    void wordSpace() { sink_->text(" "); }

    TextSink* sink_;
    // The program starts in a gap, as after a mark: a first key-down then
    // needs the full hysteresis like every other one, and no zero-length
    // mark is invented at start-up.
    bool inGap_ = true;
    int hysteresis_ = kHysteresis;
    int markLength_ = 0;
    int gapLength_ = 0;
    int dotLength_ = kInitialDotLength;
    int dashLength_ = kInitialDashLength;
    ElementRegister register_;
};

}  // namespace zeb::cw
