// What a completed picture line says about the broadcast: the two strongest
// periodicities in the line (the start and stop tones are black/white
// alternations at a fixed rate) and whether the line is a phasing line
// (black with a short pulse of the other colour).
#pragma once

#include <cstdint>
#include <span>
#include <utility>

namespace zeb::fax {

// Grey ≤ 1 counts as white in phasing lines.
inline constexpr int kPhasingWhiteLevel = 1;

// Transform length for a line of `width` pixels: the largest power of two not
// above the width, within 256 … 2048 (512 for IOC 267 and 288, 1024 for 352
// and 576).
int transformLength(int width);

// Two peaks of the pair sums s(k) = m[k] + m[k + 1] (even k) of the
// magnitudes m[0 … n/2 − 1], as positions k, the smaller first (0 when there
// is none).
std::pair<int, int> findTwoPeaks(std::span<const float> magnitudes);

// Tone value of a peak position k of an n-point transform: twice the cycles
// per line, round(IOC·π·k / (n/2)). Equals the alternation rate in Hz at 120
// LPM; the LPM does not enter.
int toneValue(int ioc, int k, int n);

// A configured tone f matches when either value lies strictly within
// f ± f div 50 (about 2 %).
bool toneMatches(std::pair<int, int> values, int tone);

// Phasing detection on one line of grey values: 0 when the line is no phasing
// line, otherwise the column where the pulse's running count reaches half its
// expected width (1 for column 0 or when it is never reached).
int phasingPosition(std::span<const std::int16_t> line, int pulsePercent, bool blackPulse);

}  // namespace zeb::fax
