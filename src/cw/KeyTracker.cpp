#include "cw/KeyTracker.h"

namespace zeb::cw {

void KeyTracker::toneSample() {
    if (inGap_) {
        // Tone samples inside a gap count down even when silence comes
        // between them; the sample that ends the gap is not part of the mark.
        if (--hysteresis_ <= 0) {
            inGap_ = false;
            markLength_ = 0;
        }
    } else if (markLength_ < kCounterLimit) {
        ++markLength_;
    }
}

void KeyTracker::silentSample() {
    if (inGap_) {
        if (gapLength_ < kCounterLimit) ++gapLength_;
        if (gapLength_ > 8 * dotLength_ && !register_.empty()) {
            decodeRegister();
            wordSpace();
            register_.clear();
        }
        return;
    }
    if (++hysteresis_ >= kHysteresis) {
        hysteresis_ = kHysteresis;
        endMark();
    }
}

void KeyTracker::endMark() {
    const int mark = markLength_;
    const int gap = gapLength_;  // the gap that preceded this mark
    if (mark > 2 * dotLength_) dashLength_ = (mark + 2 * dashLength_) / 3;
    const int shortLimit = (2 * dashLength_) / 3;
    if (mark < shortLimit) dotLength_ = (mark + 2 * dotLength_) / 3;
    if (gap < shortLimit) dotLength_ = (gap + 2 * dotLength_) / 3;

    bool boundary = false;
    if (gap > 5 * dotLength_) {
        decodeRegister();
        wordSpace();
        boundary = true;
    } else if (gap > 2 * dotLength_) {
        decodeRegister();
        boundary = true;
    }
    if (boundary) register_.clear();

    register_.append(mark > 2 * dotLength_ ? Element::Dash : Element::Dot);
    inGap_ = true;
    gapLength_ = 1;
}

void KeyTracker::decodeRegister() {
    if (register_.empty()) return;
    if (const auto out = lookupMorse(register_.elements())) sink_->text(*out);
}

}  // namespace zeb::cw
