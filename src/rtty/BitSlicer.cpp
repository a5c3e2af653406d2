#include "rtty/BitSlicer.h"

#include <algorithm>

namespace zeb::rtty {

void BitSlicer::slice(std::span<const float> block, const RttyParams& p, WordHandler& handler) {
    // Every mode checks the room: even the asynchronous carry (one character,
    // at most 2572 samples at 30 Bd) must never overrun the buffer.
    if (carried_ + kBlockLength > kCarryCapacity) return;
    // "Normal" makes the lower tone mark: positive, bit 1.
    const float sign = p.invert == 0 ? -1.0f : 1.0f;
    for (int i = 0; i < kBlockLength; ++i) buffer_[carried_ + i] = block[i] * sign;
    const int total = carried_ + kBlockLength;

    const int start = std::min(skip_, total);
    int p0 = total;
    switch (p.rttyMode()) {
        case RttyMode::Baudot: p0 = sliceAsync(start, total, p, handler); break;
        case RttyMode::SyncBaudot: p0 = sliceSync(start, total, p, handler); break;
        case RttyMode::SitorB: p0 = sliceSitor(start, total, p, handler); break;
    }
    // A character clock that ran past the end resumes that far into the next
    // block instead of losing the samples.
    skip_ = std::clamp(p0 - total, 0, kBlockLength);
    const int from = std::min(p0, total);
    std::copy(buffer_.begin() + from, buffer_.begin() + total, buffer_.begin());
    carried_ = total - from;
}

int BitSlicer::bitAt(int start, int spb) const {
    float sum = 0.0f;
    for (int i = start; i < start + spb; ++i) sum += buffer_[i];
    return sum > 0.0f ? 1 : 0;
}

int BitSlicer::frameAt(int start, int spb) const {
    int frame = 0;
    for (int k = 0; k < 7; ++k) frame = (frame << 1) | bitAt(start + k * spb, spb);
    return frame;
}

int BitSlicer::nextNegative(int from, int total) const {
    int i = from;
    while (i < total && buffer_[i] >= 0.0f) ++i;
    return i;
}

BitSlicer::Timing BitSlicer::timing(int s, int spb, int frame) const {
    const int limit = spb / 2;
    int early = 0;
    int late = 0;
    int edges = 0;
    for (int j = 0; j < 6; ++j) {
        const int before = (frame >> (6 - j)) & 1;
        const int after = (frame >> (5 - j)) & 1;
        if (before == after) continue;
        const int q = s + (j + 1) * spb;
        const bool rising = after == 1;  // space to mark
        // Samples before the boundary already in the new state: the edge came
        // early. Samples after it still in the old state: it came late.
        for (int n = 0;
             n < limit && (rising ? buffer_[q - 1 - n] >= 0.0f : buffer_[q - 1 - n] <= 0.0f); ++n) {
            ++early;
        }
        for (int n = 0; n < limit && (rising ? buffer_[q + n] <= 0.0f : buffer_[q + n] >= 0.0f);
             ++n) {
            ++late;
        }
        ++edges;
    }
    if (edges == 0) return {};
    return {late / edges, early / edges};
}

int BitSlicer::sliceAsync(int start, int total, const RttyParams& prm, WordHandler& handler) {
    const int spb = prm.samplesPerBit();
    const int charLen = asyncCharLength(prm);
    const int hunt = std::max(spb / 8, 1);
    int p = nextNegative(start, total);
    while (p + charLen < total) {
        const int frame = frameAt(p, spb);
        if ((frame & 1) != 0) {
            handler.baudot(frame);
            synchronised_ = true;
            // Hunt for the next start bit from the middle of the stop bit: a
            // signal slightly slower than the integer bit rate (45.45 Bd read
            // at 45) with one stop bit would otherwise put the search inside
            // the next start bit, later with every character.
            p += 6 * spb + spb / 2;
        } else {
            synchronised_ = false;
            p += hunt;
        }
        p = nextNegative(p, total);
    }
    return p;
}

int BitSlicer::sliceSync(int start, int total, const RttyParams& prm, WordHandler& handler) {
    const int spb = prm.samplesPerBit();
    const int charLen = syncCharLength(prm);
    int p = start;
    for (;;) {
        if (lockCount_ < 1) {
            p = nextNegative(p, total);
            lockCount_ = 0;
        }
        if (p + charLen >= total) break;
        const int frame = frameAt(p, spb);
        const int s = p;
        p = s + spb;
        const bool framingError = (frame & 1) == 0 || (frame & 0x40) != 0;
        if (framingError) {
            if (lockCount_ < 1) continue;
            --lockCount_;
            if (lockCount_ > 0) {
                // The flywheel keeps the character clock through the error.
                handler.baudot(frame);
                p = s + charLen;
            }
            continue;
        }
        if (handler.baudot(frame) == 0) {
            --lockCount_;
            if (lockCount_ > 0) p = s + charLen;
            continue;
        }
        const Timing t = timing(s, spb, frame);
        lastCorrection_ = t.late - t.early;
        p = s + charLen + lastCorrection_;
        if (lockCount_ < kSyncLockMax) ++lockCount_;
    }
    return p;
}

int BitSlicer::sliceSitor(int start, int total, const RttyParams& prm, WordHandler& handler) {
    const int spb = prm.samplesPerBit();
    const int charLen = sitorCharLength(prm);
    const int slide = spb >= 16 ? spb / 8 : 1;
    int p = start;
    while (p + charLen < total) {
        const int word = frameAt(p, spb);
        if (handler.sitor(word) != 0) {
            const Timing t = timing(p, spb, word);
            lastCorrection_ = t.late - t.early;
            p += charLen + lastCorrection_;
            if (lockCount_ < kSitorLockMax) ++lockCount_;
        } else {
            --lockCount_;
            if (lockCount_ > 0) {
                p += charLen;
            } else {
                lockCount_ = 0;
                p += slide;
            }
        }
    }
    return p;
}

}  // namespace zeb::rtty
