// Test signals for the RTTY decoders, built from the radio standards: ITA2
// start/stop framing (asynchronous, or back to back for synchronous reception)
// and CCIR 476 collective FEC as NAVTEX sends it (phasing signals, every
// character twice, the repetition five slots after the first transmission).
// The audio is phase-continuous two-tone FSK at 11025 Hz with optional white
// Gaussian noise at a given Eb/N0 from a fixed seed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::test {

// One keyed element: mark or space for a duration in bit periods.
struct FskElement {
    bool mark;
    double bits;
};

// ITA2 characters of `text` as 5-unit codes in transmission order (bit 1 of
// the standard first, in the code's bit 4). LTRS or FIGS is inserted before
// the first character and at every change of case; '\n' sends CR LF.
// Characters ITA2 lacks are sent as a space.
std::vector<int> ita2Codes(std::string_view text);

// Start bit, five data bits, stop of `stopBits` length per code, with
// `idleBits` of mark between characters (0: back to back) and `leadBits` of
// mark before the first one.
std::vector<FskElement> ita2Frames(const std::vector<int>& codes, double stopBits, double idleBits,
                                   double leadBits);

// CCIR 476 words (7 bits, bit 1 of the standard first, in the word's bit 6)
// of `text`, with LTRS/FIGS as in ita2Codes().
std::vector<int> ccir476Words(std::string_view text);
inline constexpr int kCcirAlpha = 0x78;  // phasing signal 1
inline constexpr int kCcirBeta = 0x33;   // phasing signal 2

// The collective-FEC slot sequence: `phasingPairs` pairs of phasing signals,
// then every word in a DX slot and again in the RX slot five slots later, then
// the end with α in DX slots. `alphaInDx` chooses which slot of a phasing pair
// carries α.
std::vector<int> fecSlots(const std::vector<int>& words, int phasingPairs, bool alphaInDx);

// Seven elements per word, no framing.
std::vector<FskElement> sitorElements(const std::vector<int>& slots, double leadBits);

struct FskSignal {
    double baud = 50.0;
    double markHz = 1275.0;
    double spaceHz = 1725.0;
    double amplitude = 8000.0;
    double ebN0Db = 1000.0;  // above ~200 dB no noise is added
    std::uint32_t seed = 1;
    double tailSeconds = 0.5;       // mark after the last element
    double driftHzPerSecond = 0.0;  // both tones slide by this much per second
};

// Samples at 11025 Hz (integer-valued range, not clipped).
std::vector<float> fskAudio(const std::vector<FskElement>& elements, const FskSignal& signal);

}  // namespace zeb::test
