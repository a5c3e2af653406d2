// Signal-processing primitives on f32 vectors: conversion, arithmetic,
// statistics, magnitude. Every primitive checks its arguments first and
// reports a failed check through the error reporter, then does nothing more.
#pragma once

#include <cstdint>

namespace zeb::dsp {

// Conversion flags.
inline constexpr int kUnsigned = 2048;  // nspsbIntToFloat: source integers are unsigned
inline constexpr int kRoundNearest = 128;  // nspsbFloatToInt rounding modes: exactly one
inline constexpr int kRoundTruncate = 256;
inline constexpr int kRoundDown = 512;
inline constexpr int kRoundUp = 1024;

// dst[i] = src[i] as f32, integers of wordSize 8, 16 or 32 bits, no scaling.
void nspsbIntToFloat(const void* src, float* dst, int n, int wordSize, int flags);
// dst[i] = src[i] as an integer of wordSize bits with one rounding mode.
void nspsbFloatToInt(const float* src, void* dst, int n, int wordSize, int flags);

}  // namespace zeb::dsp
