// Parameters of the RTTY demodulator and the checks that keep every value
// within what the slicers can handle.
#pragma once

namespace zeb::rtty {

// Which bit slicer and character handler run.
enum class RttyMode : int {
    Baudot = 0,      // asynchronous ITA2 with start and stop bits
    SyncBaudot = 1,  // ITA2 with a flywheel character clock
    SitorB = 2,      // 7-unit constant-ratio code, collective FEC
};

inline constexpr int kSampleRate = 11025;
inline constexpr int kBlockLength = 1024;

// Ranges offered by the settings windows; everything outside them is replaced
// by the default of the field.
inline constexpr int kMinBaud = 30;
inline constexpr int kMaxBaud = 300;
inline constexpr int kMinShift = 50;
inline constexpr int kMaxShift = 1450;
inline constexpr int kMinCenter = 500;
inline constexpr int kMaxCenter = 1500;

struct RttyParams {
    int mode = 0;          // RttyMode
    int baud = 75;         // bit/s
    float stop = 1.5f;     // stop-bit length in bit periods: 1, 1.5 or 2
    int invert = 0;        // 0 normal (lower tone is mark), 1 inverted
    int shift = 425;       // Hz between the two tones
    int center = 1275;     // Hz of the lower tone; the upper tone is center + shift
    int bitsPerChar = 7;   // asynchronous character: start, five data bits, one stop bit
    float speed = 1.0f;    // horizontal step of the bit raster display
    float squelch = 0.0f;  // tone level below which the normalised design skips a block

    RttyMode rttyMode() const { return static_cast<RttyMode>(mode); }
    int lowerHz() const { return center; }
    int upperHz() const { return center + shift; }
    // Samples per bit period (integer division).
    int samplesPerBit() const { return kSampleRate / baud; }
};

// The parameters with every out-of-range field replaced by its default: mode
// 0…2, baud 30…300, shift 50…1450, center 500…1500, invert 0/1; the stop length
// becomes the nearest of 1, 1.5 and 2 (NaN: 1.5); squelch and speed must be
// finite and not negative. bitsPerChar is always 7.
RttyParams validated(const RttyParams& params);

// Whether `params` is already what validated() returns.
bool isValid(const RttyParams& params);

}  // namespace zeb::rtty
