#include "dsp/Fir.h"

#include <algorithm>
#include <new>

#include "dsp/Status.h"

namespace zeb::dsp {

namespace {

// Input is filtered in chunks of this size, which bounds the delay line's
// working room whatever the caller's block length.
constexpr int kChunk = 1024;
// Outputs computed together; their partial sums stay in registers.
constexpr int kTile = 32;

bool fails(bool failed, const char* fn, const char* message,
           SourcePosition where = SourcePosition::current()) {
    if (failed) reportError(kStatusBadArgument, fn, message, where);
    return failed;
}

// out[i] = Σ_j rev[j] × line[i + j] for i < m.
void convolve(const float* __restrict rev, int taps, const float* __restrict line,
              float* __restrict out, int m) {
    int i0 = 0;
    for (; i0 + kTile <= m; i0 += kTile) {
        float acc[kTile] = {};
        for (int j = 0; j < taps; ++j) {
            const float r = rev[j];
            const float* x = line + i0 + j;
            for (int i = 0; i < kTile; ++i) acc[i] += r * x[i];
        }
        for (int i = 0; i < kTile; ++i) out[i0 + i] = acc[i];
    }
    for (; i0 < m; ++i0) {
        float acc = 0.0f;
        for (int j = 0; j < taps; ++j) acc += rev[j] * line[i0 + j];
        out[i0] = acc;
    }
}

}  // namespace

void FirState::reset() {
    taps_ = {};
    reversed_ = {};
    line_ = {};
}

void nspsFirInit(const float* taps, int tapCount, const float* delayLine, FirState* state) {
    constexpr const char* fn = "nspsFirInit";
    if (fails(state == nullptr, fn, "Null state pointer") ||
        fails(tapCount < 1, fn, "Invalid value") ||
        fails(taps == nullptr, fn, "Null buffer pointer")) {
        return;
    }
    try {
        std::vector<float> copy(taps, taps + tapCount);
        std::vector<float> reversed(copy.rbegin(), copy.rend());
        std::vector<float> line(static_cast<std::size_t>(tapCount - 1 + kChunk), 0.0f);
        if (delayLine) std::copy(delayLine, delayLine + (tapCount - 1), line.begin());
        state->taps_ = std::move(copy);
        state->reversed_ = std::move(reversed);
        state->line_ = std::move(line);
    } catch (const std::bad_alloc&) {
        state->reset();
        reportError(kStatusNoMemory, fn, "Allocation failure");
    }
}

void nspsbFir(FirState* state, const float* src, float* dst, int n) {
    constexpr const char* fn = "nspsbFir";
    if (fails(state == nullptr, fn, "Null state pointer") ||
        fails(!state->initialized(), fn, "Must have been initialized") ||
        fails(src == nullptr || dst == nullptr, fn, "Null buffer pointer") ||
        fails(n < 1, fn, "Invalid value")) {
        return;
    }
    const int taps = state->tapCount();
    const int history = taps - 1;
    float* line = state->line_.data();
    for (int done = 0; done < n;) {
        const int m = std::min(kChunk, n - done);
        std::copy(src + done, src + done + m, line + history);
        convolve(state->reversed_.data(), taps, line, dst + done, m);
        std::copy(line + m, line + m + history, line);
        done += m;
    }
}

}  // namespace zeb::dsp
