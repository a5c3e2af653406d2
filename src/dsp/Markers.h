// What a decoder would have the spectrum display mark, as plain frequencies:
// the pass band of its input filter and its two tones. The decoders hand these
// out; the program marks the display with them (the decoders know no display).
#pragma once

namespace zeb::dsp {

struct Markers {
    float passLowHz = 0.0f;  // pass band; both 0: none
    float passHighHz = 0.0f;
    float toneAHz = 0.0f;  // tones; either 0: none
    float toneBHz = 0.0f;
    bool operator==(const Markers&) const = default;
};

}  // namespace zeb::dsp
