// FIR filtering with a delay line, so that consecutive blocks are filtered as
// one continuous signal: dst[i] = Σ_k taps[k] × x[i − k], where the samples
// before a block come from the delay line, which afterwards holds the last
// samples of the block.
#pragma once

#include <vector>

namespace zeb::dsp {

// Taps and delay line of one filter. Filled by nspsFirInit; the memory it
// needs is taken there, never while filtering.
class FirState {
public:
    bool initialized() const { return !taps_.empty(); }
    int tapCount() const { return static_cast<int>(taps_.size()); }
    void reset();  // back to the uninitialised state, memory released

private:
    friend void nspsFirInit(const float*, int, const float*, FirState*);
    friend void nspsbFir(FirState*, const float*, float*, int);

    std::vector<float> taps_;      // as given, index k weights x[i − k]
    std::vector<float> reversed_;  // taps_ in reverse order, for a contiguous inner loop
    // The last tapCount − 1 input samples, oldest first, then room for one
    // chunk of input: the filter reads one contiguous stretch.
    std::vector<float> line_;
};

// Copies `tapCount` taps into the state and starts the delay line with the
// tapCount − 1 samples of `delayLine` (oldest first), or zeros when it is null.
void nspsFirInit(const float* taps, int tapCount, const float* delayLine, FirState* state);
// Filters n samples; src and dst may be the same array.
void nspsbFir(FirState* state, const float* src, float* dst, int n);

}  // namespace zeb::dsp
