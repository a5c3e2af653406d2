// Second stage of the RTTY decoder: cuts the demodulated signal into bit
// periods, finds the characters and hands each code word to its handler.
#pragma once

#include <array>
#include <span>

#include "rtty/RttyParams.h"

namespace zeb::rtty {

// What the slicer calls for every code word; returns the handler's verdict
// (Baudot: 0 for an all-space frame; SITOR-B: 1 for a valid word).
class WordHandler {
public:
    virtual ~WordHandler() = default;
    virtual int baudot(int frame) = 0;
    virtual int sitor(int word) = 0;
    // A SITOR-B character already decided from both of its copies (the
    // matched design): output as a repetition slot would be.
    virtual void sitorDecided(int /*word*/) {}
    // The matched design found the SITOR-B alignment: a new reception,
    // which starts in letters.
    virtual void sitorPhased() {}
    // The matched design lost a SITOR-B character: neither copy could be read.
    virtual void sitorLost() {}
};

inline constexpr int kCarryCapacity = 4096;
inline constexpr int kSyncLockMax = 5;
inline constexpr int kSitorLockMax = 16;

// One slicer for the three modes. The carry buffer, lockCount and the
// synchronised flag are shared: a mode change continues with what the
// previous mode left.
class BitSlicer {
public:
    // Slices one demodulated block of kBlockLength samples. `params` must be
    // valid (see validated()). A block that would overflow the carry buffer
    // is dropped, changing nothing.
    void slice(std::span<const float> block, const RttyParams& params, WordHandler& handler);

    int lockCount() const { return lockCount_; }
    bool synchronised() const { return synchronised_; }
    int carried() const { return carried_; }
    // Timing correction (late − early average) of the last synchronised character.
    int lastCorrection() const { return lastCorrection_; }
    // Setting the flywheel's state directly (tests, restoring a session).
    void setLockCount(int value) { lockCount_ = value; }

    // Samples per character of each slicer.
    static int asyncCharLength(const RttyParams& p) { return p.bitsPerChar * kSampleRate / p.baud; }
    static int syncCharLength(const RttyParams& p) {
        return static_cast<int>((static_cast<float>(p.bitsPerChar) + p.stop - 1.0f) *
                                static_cast<float>(kSampleRate) / static_cast<float>(p.baud));
    }
    static int sitorCharLength(const RttyParams& p) { return 7 * kSampleRate / p.baud; }

private:
    struct Timing {
        int late = 0;
        int early = 0;
    };

    // Each returns the search position where the block ended; from `start`.
    int sliceAsync(int start, int total, const RttyParams& p, WordHandler& handler);
    int sliceSync(int start, int total, const RttyParams& p, WordHandler& handler);
    int sliceSitor(int start, int total, const RttyParams& p, WordHandler& handler);

    int bitAt(int start, int spb) const;
    int frameAt(int start, int spb) const;
    int nextNegative(int from, int total) const;
    Timing timing(int start, int spb, int frame) const;

    std::array<float, kCarryCapacity> buffer_{};
    int carried_ = 0;
    int skip_ = 0;  // a timing correction that reached past the end of the last block
    int lockCount_ = 0;
    bool synchronised_ = false;
    int lastCorrection_ = 0;
};

}  // namespace zeb::rtty
