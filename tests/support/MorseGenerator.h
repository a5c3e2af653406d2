// A Morse signal generator for loopback tests, built from the standard
// timing: dot 1 unit, dash 3, gap inside a character 1, between letters 3,
// between words 7; "PARIS " is 50 units, so one unit lasts 1.2 / wpm seconds.
// It can slow the spacing (Farnsworth), shake the element lengths like a hand
// sent fist, shape the keying edges, add white noise at a signal-to-noise
// ratio measured in 3 kHz, offset the tone and fade it (QSB).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::test {

struct MorseSignal {
    double sampleRate = 11025.0;
    double wpm = 20.0;           // character speed
    double farnsworthWpm = 0.0;  // overall speed with stretched gaps; 0 or ≥ wpm: none
    double toneHz = 1275.0;
    double offsetHz = 0.0;          // added to the tone
    double amplitude = 8000.0;      // peak of the tone
    double riseMs = 5.0;            // raised-cosine edge, each side
    double jitter = 0.0;            // relative standard deviation of every element and gap
    double dashRatio = 3.0;         // dash length in units (a hand fist often differs)
    double snrDb = 200.0;           // in a 3 kHz bandwidth; ≥ 100: no noise
    double qsbDepth = 0.0;          // 0 … 1: fading depth
    double qsbHz = 0.2;             // fading rate
    double leadSeconds = 0.5;       // silence (noise) before and after
    double driftHzPerSecond = 0.0;  // the tone moves this much every second
    bool phasePerMark = false;      // a keyed oscillator: every mark starts with a phase of its own
    std::uint32_t seed = 1;
};

// The element pattern of a character ('.' and '-'), empty when unknown.
// Letters may be given in either case.
std::string_view morsePattern(char c);

// Key-down intervals of a text in samples: pairs of (start, length).
struct KeyInterval {
    long start;
    long length;
};
std::vector<KeyInterval> morseKeying(std::string_view text, const MorseSignal& s);

// The audio of a text, unscaled 16-bit levels as float.
std::vector<float> generateMorse(std::string_view text, const MorseSignal& s);

// Levenshtein distance of the two texts after collapsing runs of blanks and
// trimming both ends, divided by the length of the expected text.
double characterErrorRate(std::string_view expected, std::string_view decoded);

// Blanks collapsed to one, both ends trimmed.
std::string normaliseSpaces(std::string_view text);

}  // namespace zeb::test
