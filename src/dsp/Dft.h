// In-place complex Fourier transform of 2^order points held in separate real
// and imaginary f32 arrays.
//
// Forward: X[k] = Σ x[n]·e^(−2πi·nk/N); inverse: the same with +2πi, neither
// scaled. Twiddle and bit-reversal tables are built on the first use of an
// order and kept, so transforms of a known order never allocate. The table
// cache is safe to use from several threads at once: two threads that ask for
// a new order at the same time both get complete tables.
#pragma once

namespace zeb::dsp {

inline constexpr int kDftForward = 1;
inline constexpr int kDftInverse = 2;
inline constexpr int kDftPrepare = 4;     // only build the tables of this order
inline constexpr int kDftFreeTables = 8;  // free the tables of this order
// Orderings (at most one): the transform normally takes natural order and
// gives natural order.
inline constexpr int kDftNoReorder = 32;   // input and output both in bit-reversed order
inline constexpr int kDftInBitRev = 64;    // input in bit-reversed order, output natural
inline constexpr int kDftOutBitRev = 128;  // input natural, output in bit-reversed order

void nspcrDft(float* re, float* im, int order, int flags);

namespace detail {
// Test hook: the next `count` table builds fail as if memory ran out.
void failNextDftTableBuilds(int count);
// Whether tables of `order` are kept at the moment.
bool dftTablesKept(int order);
}  // namespace detail

}  // namespace zeb::dsp
