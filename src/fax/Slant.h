// Automatic slant: measuring how long a broadcast line really lasts in
// samples of our sound card, so that the picture comes out straight without a
// hand-made correction.
//
// A sound card that runs fast or slow by e (10 … 200 ppm is common) stretches
// every line to P = P0 · (1 + e) samples, P0 = 60 / LPM · 11025. A decoder
// that lays down W pixels per Pu samples sees everything that is fixed in the
// broadcast (the phasing pulse, a coastline, the chart's frame) move by
// d = W · (P / Pu − 1) pixels per line, so each measured drift d gives the
// line length P = Pu · (1 + d / W). Two sources measure d:
//
// - the phasing lines: the position of the pulse in every phasing line, and a
//   straight line fitted through them (outliers dropped);
// - the picture itself: every line is compared with the line kLag lines
//   earlier by circular cross-correlation of their smoothed derivatives
//   (edges); the best lag, refined between pixels, is the drift over kLag
//   lines. Single comparisons go astray on
//   slanted content, blank lines and noise, so only well-correlated ones
//   count and the median of the recent ones is taken.
//
// Both give a line length with a standard error; the estimate is their
// inverse-variance weighted mean. Everything is allocated by reset(); the
// per-line calls do not allocate.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zeb::fax {

// The phasing pulse in a line of grey values: a window of the expected pulse
// width finds it, the centroid of the pulse against the rest of the line
// refines its centre between pixels, and the leading edge is that centre
// less half the expected width (0 ≤ edge < width).
struct PhasingPulse {
    double edge = 0.0;
    // The line is clearly a phasing line: the window is mostly of the pulse's
    // colour, the rest mostly of the other, and windows moved by three
    // quarters of the width hold little of the pulse (wider bright areas of
    // a picture do not pass). Noise that defeats a pixel count of the pulse
    // does not defeat these averages.
    bool clear = false;
};
// nullopt when nothing stands out.
std::optional<PhasingPulse> findPhasingPulse(std::span<const std::int16_t> line, int pulsePercent,
                                             bool blackPulse);

struct SlantEstimate {
    double lineSamples = 0.0;  // P, samples per line
    double standardError = 0.0;
};

class SlantEstimator {
public:
    static constexpr int kLag = 16;               // lines between compared lines
    static constexpr int kEdgeReach = 4;          // pixels each side of the derivative
    static constexpr double kMaxError = 1.0e-3;   // ±1000 ppm: the search range
    static constexpr int kMaxPhasingLines = 256;  // phasing positions kept
    static constexpr int kWindow = 96;            // recent picture comparisons kept
    static constexpr int kMinPictureEstimates = 16;
    static constexpr int kMinPhasingLines = 8;
    // Comparisons below this normalised correlation are not used, nor lines
    // whose derivative has less energy per pixel than kMinEnergy.
    static constexpr double kMinCorrelation = 0.3;
    static constexpr double kMinEnergy = 0.05;

    // Allocates for lines of `width` pixels and forgets everything.
    void reset(int width);
    void clear();  // forgets the measurements, keeps the buffers

    // ---- phasing ----
    void clearPhasing();
    // The pulse's leading edge in line `line` (a running line count), with
    // the line length in force while it was received.
    void addPhasingEdge(long line, double edge, double lineSamples);
    // The write position moved by `pixels` (columns now appear `pixels`
    // further left): the stored positions follow.
    void shiftPhasing(double pixels);
    int phasingCount() const { return phasingCount_; }
    // The fitted line length and where the pulse's leading edge lies in line
    // `line` (columns of the current frame, wrapped into 0 … width).
    std::optional<SlantEstimate> phasingEstimate() const;
    std::optional<double> phasingEdgeAt(long line) const;
    // Keeps a phasing estimate as prior for the picture that follows.
    void takePhasingPrior();

    // ---- picture ----
    // Forgets the lines kept for comparison (after the write position jumped).
    void clearLines();
    // A completed picture line and the line length in force while it was
    // received. Returns true when it gave a comparison.
    bool addPictureLine(std::span<const std::int16_t> line, double lineSamples);
    int pictureCount() const { return windowCount_; }
    std::optional<SlantEstimate> pictureEstimate() const;

    // The combined estimate: the phasing prior and the picture's median,
    // weighted by their standard errors; nullopt while neither is usable.
    std::optional<SlantEstimate> estimate() const;

private:
    struct LineFit {
        double intercept = 0.0, slope = 0.0, slopeError = 0.0, meanSamples = 0.0;
    };
    std::optional<LineFit> phasingFit() const;

    int width_ = 0;
    // Phasing positions.
    std::vector<double> phasingLine_, phasingEdge_, phasingSamples_;
    int phasingCount_ = 0;
    std::optional<SlantEstimate> prior_;
    // Derivatives of picture lines, kLag + 1 of them in a ring.
    std::vector<float> lines_;
    std::vector<double> lineSamples_;
    std::vector<double> lineEnergy_;
    int lineCount_ = 0;  // lines in the ring, up to kLag + 1
    int lineHead_ = 0;   // slot of the next line
    std::vector<double> correlation_;
    // Recent comparisons as line lengths, and scratch space for medians.
    std::vector<double> window_;
    int windowCount_ = 0, windowHead_ = 0;
    mutable std::vector<double> scratch_, residual_;
};

}  // namespace zeb::fax
