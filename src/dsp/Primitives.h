// Signal-processing primitives on f32 vectors: conversion, arithmetic,
// statistics, magnitude, window functions. Every primitive checks its
// arguments first and reports a failed check through the error reporter
// (dsp/Status.h) with status −5, its own name and the check's message, then
// does nothing more.
#pragma once

#include <cstdint>

namespace zeb::dsp {

// Conversion flags.
inline constexpr int kUnsigned = 2048;     // nspsbIntToFloat: source integers are unsigned
inline constexpr int kRoundNearest = 128;  // nspsbFloatToInt rounding modes: exactly one
inline constexpr int kRoundTruncate = 256;
inline constexpr int kRoundDown = 512;
inline constexpr int kRoundUp = 1024;

// dst[i] = src[i] as f32, integers of wordSize 8, 16 or 32 bits, no scaling.
void nspsbIntToFloat(const void* src, float* dst, int n, int wordSize, int flags);
// dst[i] = src[i] as an integer of wordSize bits with one rounding mode
// (optionally with kUnsigned for unsigned targets). Values beyond the target
// range saturate to its limits and NaN becomes 0, so a loud passage never
// wraps around into full-scale noise. Round to nearest sends ties to even.
void nspsbFloatToInt(const float* src, void* dst, int n, int wordSize, int flags);

void nspsbCopy(const float* src, float* dst, int n);
void nspsbZero(float* dst, int n);
void nspsbSet(float value, float* dst, int n);
void nspsbAdd2(const float* src, float* dst, int n);  // dst += src
void nspsbSub2(const float* src, float* dst, int n);  // dst -= src
void nspsbMpy1(float value, float* dst, int n);       // dst *= value
void nspsbMpy2(const float* src, float* dst, int n);  // dst *= src
void nspsbAbs1(float* vec, int n);
// dst = sqrt(src); negative elements are left unwritten and reported once
// after the whole vector.
void nspsbSqrt2(const float* src, float* dst, int n);
// relation 0: values below the threshold become the threshold; otherwise
// values above it do.
void nspsbThresh1(float* vec, int n, float threshold, int relation);
float nspsMean(const float* vec, int n);  // 0 after a failed check
float nspsMax(const float* vec, int n);
float nspsMin(const float* vec, int n);
void nspsbrPowerSpectr(const float* re, const float* im, float* spectrum, int n);
void nspsbrMag(const float* re, const float* im, float* magnitude, int n);

// Window functions: multiply the n ≥ 3 points of vec in place.
void nspsWinHamming(float* vec, int n);
void nspsWinHann(float* vec, int n);
void nspsWinBartlett(float* vec, int n);

}  // namespace zeb::dsp
