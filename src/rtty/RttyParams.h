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

// The demodulator designs. Matched (the default): complex correlators of one
// bit length on each tone with automatic frequency correction, soft bit values,
// a character clock that follows the signal's timing, polarity found by itself,
// a squelch in signal-to-noise terms and, for SITOR-B, the two copies of every
// character combined by likelihood. Main: the main program's filter design
// (unnormalised windowed sinc band-passes, rectified difference). Rtty: the RTTY
// program's design (normalised taps, narrower tone filters, Hamming-windowed
// low-pass at a third of the mid-frequency, and a tone-level squelch).
enum class DemodVariant : int { Main = 0, Rtty = 1, Matched = 2 };

// Which polarity the matched design uses: found from the signal (stop bits of
// Baudot, the 4-of-7 words of SITOR-B), or forced by the user.
enum class Polarity : int { Auto = 0, Normal = 1, Inverted = 2 };

inline constexpr int kSampleRate = 11025;
inline constexpr int kBlockLength = 1024;

// Ranges offered by the settings windows; everything outside them is replaced
// by the default of the field.
inline constexpr int kMinBaud = 30;
inline constexpr int kMaxBaud = 300;
inline constexpr int kMinShift = 50;
inline constexpr int kMaxShift = 1450;
// The lower tone may lie anywhere a receiver puts it, as long as the upper
// tone stays below kMaxToneHz, well inside what 11025 Hz sampling carries.
inline constexpr int kMinCenter = 300;
inline constexpr int kMaxToneHz = 4000;
inline constexpr int kMaxCenter = kMaxToneHz - kMinShift;
// How far from the set tones the frequency control looks for the signal.
inline constexpr double kAfcRangeHz = 200.0;
// Signal-to-noise squelch of the matched design, in dB of Eb/N0 (0 = open).
inline constexpr float kMaxSquelchDb = 30.0f;
inline constexpr float kDefaultSquelchDb = 6.0f;

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
    DemodVariant variant = DemodVariant::Matched;
    Polarity polarity = Polarity::Auto;   // matched design; the others follow `invert`
    float squelchDb = kDefaultSquelchDb;  // matched design: Eb/N0 below which nothing prints
    bool usos = false;                    // unshift on space: a space returns to letters
    double rate = 0.0;                    // exact keying rate in Bd; 0 = nominalRate(baud)
    // Frequency control: the decoder follows a signal found up to
    // kAfcRangeHz from the set tones, which stay as they are.
    bool afc = false;

    RttyMode rttyMode() const { return static_cast<RttyMode>(mode); }
    int lowerHz() const { return center; }
    int upperHz() const { return center + shift; }
    // Keying rate in Bd: `rate` when set, else the standard rate that the
    // preset `baud` names (45 means 45.45 Bd, 57 means 56.88 Bd).
    double keyingRate() const;
    // Samples per bit period (integer division).
    int samplesPerBit() const { return kSampleRate / baud; }
};

// The parameters with every out-of-range field replaced by its default: mode
// 0…2, baud 30…300, shift 50…1450, center 300… with the upper tone at most
// kMaxToneHz, invert 0/1, variant and polarity known, squelchDb 0…30, rate 0
// or within 1 Bd of baud; the stop length
// becomes the nearest of 1, 1.5 and 2 (NaN: 1.5); squelch and speed must be
// finite and not negative. bitsPerChar is always 7.
RttyParams validated(const RttyParams& params);

// Whether `params` is already what validated() returns.
bool isValid(const RttyParams& params);

}  // namespace zeb::rtty
