#include "dsp/Dft.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <utility>
#include <vector>

#include "dsp/Status.h"

namespace zeb::dsp {

namespace {

constexpr const char* kFn = "nspcrDft";
constexpr int kMaxOrder = 31;

struct DftTables {
    // Index pairs (i, j), i < j, exchanged by the bit-reversal permutation.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> swaps;
    // Twiddles e^(−πi·j/m) of the stage of half-size m at offset m − 1,
    // j = 0 … m − 1, so that every stage reads them contiguously.
    std::vector<float> twRe;
    std::vector<float> twIm;
};

std::atomic<int> gFailBuilds{0};
std::mutex gCacheMutex;
std::array<std::shared_ptr<const DftTables>, kMaxOrder + 1> gCache;

std::shared_ptr<const DftTables> buildTables(int order) {
    if (gFailBuilds.load() > 0 && gFailBuilds.fetch_sub(1) > 0) throw std::bad_alloc();
    auto t = std::make_shared<DftTables>();
    const std::size_t n = std::size_t{1} << order;
    t->twRe.resize(n > 1 ? n - 1 : 0);
    t->twIm.resize(n > 1 ? n - 1 : 0);
    for (std::size_t m = 1; m < n; m *= 2) {
        for (std::size_t j = 0; j < m; ++j) {
            const double a = -std::numbers::pi * static_cast<double>(j) / static_cast<double>(m);
            t->twRe[m - 1 + j] = static_cast<float>(std::cos(a));
            t->twIm[m - 1 + j] = static_cast<float>(std::sin(a));
        }
    }
    t->swaps.reserve(n / 2);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t r = 0;
        for (int b = 0; b < order; ++b) r |= ((i >> b) & 1u) << (order - 1 - b);
        if (i < r)
            t->swaps.emplace_back(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(r));
    }
    return t;
}

// The kept tables of `order`, built when missing. A failed build frees every
// kept table and tries once more; nullptr after the second failure.
std::shared_ptr<const DftTables> tablesFor(int order) {
    {
        std::lock_guard lock(gCacheMutex);
        if (gCache[order]) return gCache[order];
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            auto built = buildTables(order);
            std::lock_guard lock(gCacheMutex);
            if (!gCache[order]) gCache[order] = std::move(built);
            return gCache[order];
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(gCacheMutex);
            for (auto& t : gCache) t.reset();
        }
    }
    return nullptr;
}

// Four floats handled as one value (GCC/Clang vector extension); loads and
// stores go through memcpy, so no alignment is assumed.
typedef float V4 __attribute__((vector_size(16)));

inline V4 load4(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, V4 v) { std::memcpy(p, &v, sizeof v); }

void permute(float* re, float* im, const DftTables& t) {
    for (const auto& [i, j] : t.swaps) {
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
    }
}

// Decimation-in-time butterflies on bit-reversed input; natural-order output.
void butterflies(float* __restrict re, float* __restrict im, std::size_t n, const DftTables& t) {
    // Half-sizes 1 and 2 together as one radix-4 step without multiplications.
    if (n >= 4) {
        for (std::size_t b = 0; b < n; b += 4) {
            const float ar = re[b] + re[b + 1], ai = im[b] + im[b + 1];
            const float br = re[b] - re[b + 1], bi = im[b] - im[b + 1];
            const float cr = re[b + 2] + re[b + 3], ci = im[b + 2] + im[b + 3];
            const float dr = re[b + 2] - re[b + 3], di = im[b + 2] - im[b + 3];
            // (dr, di) · (−i) = (di, −dr)
            re[b] = ar + cr;
            im[b] = ai + ci;
            re[b + 2] = ar - cr;
            im[b + 2] = ai - ci;
            re[b + 1] = br + di;
            im[b + 1] = bi - dr;
            re[b + 3] = br - di;
            im[b + 3] = bi + dr;
        }
    } else if (n == 2) {
        const float r0 = re[0], i0 = im[0];
        re[0] = r0 + re[1];
        im[0] = i0 + im[1];
        re[1] = r0 - re[1];
        im[1] = i0 - im[1];
        return;
    }
    for (std::size_t m = 4; m < n; m *= 2) {
        const float* __restrict wr = t.twRe.data() + (m - 1);
        const float* __restrict wi = t.twIm.data() + (m - 1);
        for (std::size_t b = 0; b < n; b += 2 * m) {
            float* __restrict ar = re + b;
            float* __restrict ai = im + b;
            float* __restrict br = re + b + m;
            float* __restrict bi = im + b + m;
            // m is a multiple of 4: four butterflies at a time in vector registers.
            for (std::size_t j = 0; j < m; j += 4) {
                const V4 wre = load4(wr + j), wim = load4(wi + j);
                const V4 xr = load4(br + j), xi = load4(bi + j);
                const V4 tr = xr * wre - xi * wim;
                const V4 ti = xr * wim + xi * wre;
                const V4 yr = load4(ar + j), yi = load4(ai + j);
                store4(br + j, yr - tr);
                store4(bi + j, yi - ti);
                store4(ar + j, yr + tr);
                store4(ai + j, yi + ti);
            }
        }
    }
}

bool fails(bool failed, const char* message, SourcePosition where = SourcePosition::current()) {
    if (failed) reportError(kStatusBadArgument, kFn, message, where);
    return failed;
}

}  // namespace

void nspcrDft(float* re, float* im, int order, int flags) {
    if (fails(order < 0, "order<0") || fails(order > kMaxOrder, "order>31") ||
        fails(re == nullptr, "reSamps==0") || fails(im == nullptr, "imSamps==0") ||
        fails((flags & 1) && (flags & 2), "(flags & 1) && (flags & 2)") ||
        fails((flags & 1) == 0 && (flags & 2) == 0, "(flags & 1)==0 && (flags & 2)==0") ||
        fails((flags & 64) && (flags & 128), "(flags & 64) && (flags & 128)") ||
        fails((flags & 64) && (flags & 32), "(flags & 64) && (flags & 32)") ||
        fails((flags & 32) && (flags & 128), "(flags & 32) && (flags & 128)")) {
        return;
    }
    if (order == 0) return;
    if (flags & kDftFreeTables) {
        std::lock_guard lock(gCacheMutex);
        gCache[order].reset();
        return;
    }
    const std::shared_ptr<const DftTables> tables = tablesFor(order);
    if (!tables) {
        reportError(kStatusNoMemory, kFn, "No working Twd memory");
        return;
    }
    if (flags & kDftPrepare) return;

    const std::size_t n = std::size_t{1} << order;
    const bool inverse = (flags & kDftInverse) != 0;
    // The inverse is the forward transform of the conjugate, conjugated.
    if (inverse)
        for (std::size_t i = 0; i < n; ++i) im[i] = -im[i];
    if (!(flags & (kDftInBitRev | kDftNoReorder))) permute(re, im, *tables);
    butterflies(re, im, n, *tables);
    if (flags & (kDftOutBitRev | kDftNoReorder)) permute(re, im, *tables);
    if (inverse)
        for (std::size_t i = 0; i < n; ++i) im[i] = -im[i];
}

namespace detail {

void failNextDftTableBuilds(int count) { gFailBuilds.store(count); }

bool dftTablesKept(int order) {
    if (order < 0 || order > kMaxOrder) return false;
    std::lock_guard lock(gCacheMutex);
    return gCache[order] != nullptr;
}

}  // namespace detail

}  // namespace zeb::dsp
