// Test signals for the weather-fax decoder, built from the radiofax broadcast
// conventions (WMO / ITU-R): frequency modulation around 1900 Hz with black
// at 1500 Hz and white at 2300 Hz (centre ∓ 400 Hz), a start signal of
// black/white alternation at 300 Hz (IOC 576) or 675 Hz (IOC 288), phasing
// lines that are black with a white pulse over the first 5 % of the line
// (where the picture lines have their margin), the picture lines, and a stop
// signal of alternation at
// 450 Hz. The audio is phase-continuous at 11025 samples per second, with
// optional white Gaussian noise, a frequency offset and a sample-rate error.
#pragma once

#include <cstdint>
#include <vector>

namespace zeb::test {

// A grey picture, rows top-down, 0 black … 255 white.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// A chart with structure in every row, so that every received row can be
// aligned: a black band at the left edge (columns 0 … 59) and a white band at
// the right edge, between them a 16-step grey wedge (top third), bars of
// 100 pixels (middle third) and a checkerboard of 50-pixel squares (bottom).
GreyPicture testChart(int width, int height);

struct FaxSignal {
    int lpm = 120;
    int ioc = 576;
    double centreHz = 1900.0;
    double deviationHz = 400.0;  // white = centre + deviation, black = centre − deviation
    double amplitude = 8000.0;
    double leadSeconds = 0.0;   // before the start signal: nothing (noise only)
    double startSeconds = 5.0;  // start signal
    double startToneHz = 0.0;   // 0: 300 Hz for IOC 576, 675 Hz for IOC 288
    int phasingLines = 20;
    double pulseFraction = 0.05;  // phasing pulse, fraction of a line
    bool blackPulse = false;
    double stopSeconds = 5.0;
    double stopToneHz = 450.0;
    double tailSeconds = 1.0;  // after the stop signal: nothing (noise only)
    double snrDb = 1000.0;     // signal power / noise power over 0 … 5512.5 Hz; above 200: none
    double offsetHz = 0.0;     // added to every frequency
    double ppm = 0.0;          // the receiving sound card runs fast by this much
    std::uint32_t seed = 1;
};

// The broadcast of `picture`: lead, start signal, phasing, one picture line
// per row (columns spread evenly over the line), stop signal, tail.
std::vector<float> faxAudio(const GreyPicture& picture, const FaxSignal& signal);

// Sample index (at the receiving rate) where picture row 0 begins.
double pictureStartSample(const FaxSignal& signal);

}  // namespace zeb::test
