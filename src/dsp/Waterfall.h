// The analysis of the waterfall display.
//
// Every block is transformed together with the block before it (a Hann window
// over 2 × blockLength points: about 5.4 Hz per bin at 11025 Hz and 1024), the
// power of the bins is averaged over blocksPerRow() blocks, and then one row
// is complete: one intensity 0 … 255 per column, the strongest bin a column
// covers, on a decibel scale that follows the noise. The noise floor is a low
// percentile of the row's columns, smoothed from row to row; it maps to 0 and
// floor + rangeDb() maps to 255, or the strongest column of the last seconds
// when that stands higher. A few strong signals occupy few columns, so
// they leave the percentile, and with it the floor, where the noise is; rows of
// digital silence leave the floor alone.
//
// attach() allocates everything; analyse() allocates nothing. attach() and
// detach() must not run while analyse() does (callers hold the capture
// stream's mutex); the speed and range setters may be called from any thread
// at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

namespace zeb::dsp {

// The one mapping between display columns and frequencies, shared by the
// analysis, the display and its click-to-tune: `width` columns of equal width
// cover lowHz … highHz from left to right. Column coordinates are fractional;
// column x (an integer) covers x − 0.5 … x + 0.5 around its centre, so column
// 0 starts at lowHz and column width − 1 ends at highHz.
struct FrequencyAxis {
    double lowHz = 0.0;
    double highHz = 0.0;
    int width = 0;

    bool valid() const { return width > 0 && highHz > lowHz; }
    double hzPerColumn() const { return valid() ? (highHz - lowHz) / width : 0.0; }
    // The frequency at column coordinate x (lowHz when the axis is not valid).
    double frequencyOf(double x) const { return lowHz + (x + 0.5) * hzPerColumn(); }
    // The column coordinate of a frequency (0 when the axis is not valid).
    double columnOf(double hz) const { return valid() ? (hz - lowHz) / hzPerColumn() - 0.5 : 0.0; }
};

class Waterfall {
public:
    static constexpr float kDefaultSampleRate = 11025.0f;
    static constexpr int kDefaultBlockLength = 1024;
    static constexpr int kMaxBlockLength = 1 << 16;
    static constexpr int kMaxWidth = 1 << 14;
    static constexpr float kDefaultRangeDb = 40.0f;
    // The level of silence: powers below it count as this much.
    static constexpr float kSilenceDb = -200.0f;
    // How fast the top of the scale follows a signal that weakens or ends.
    static constexpr float kPeakFallDbPerRow = 0.5f;

    Waterfall();

    // Prepares rows of `width` columns over lowHz … highHz for blocks of
    // `blockLength` samples (a power of two) at `sampleRate`. Starts afresh:
    // no history, no floor. Fails, detached, on sizes or a range it cannot
    // analyse and when memory runs out.
    bool attach(int width, float lowHz, float highHz, float sampleRate = kDefaultSampleRate,
                int blockLength = kDefaultBlockLength);
    void detach();
    bool attached() const { return axis_.width > 0; }

    // Analyses one block (the first blockLength() samples; shorter blocks and
    // blocks while detached are ignored). True when a row was completed: row()
    // then holds it until the next row is.
    bool analyse(std::span<const float> block);
    std::span<const std::uint8_t> row() const { return row_; }

    // Blocks per row: 1, 2 or 4 (other values are refused). Takes effect with
    // the row being built.
    bool setBlocksPerRow(int blocks);
    int blocksPerRow() const { return blocksPerRow_.load(); }
    // Decibels between the floor (intensity 0) and full intensity (255); at
    // least 1, a non-finite value is ignored.
    void setRangeDb(float db);
    float rangeDb() const { return rangeDb_.load(); }
    // The floor of the last row in dB (a sine of amplitude 1 is 0 dB);
    // kSilenceDb before the first row.
    float floorDb() const { return floorDb_; }

    double frequencyOfColumn(double x) const { return axis_.frequencyOf(x); }
    double columnOf(double hz) const { return axis_.columnOf(hz); }
    const FrequencyAxis& axis() const { return axis_; }
    float lowHz() const { return static_cast<float>(axis_.lowHz); }
    float highHz() const { return static_cast<float>(axis_.highHz); }
    int width() const { return axis_.width; }
    float sampleRate() const { return sampleRate_; }
    int blockLength() const { return blockLength_; }

private:
    bool allocate(int width);
    void mapColumns();
    void accumulate(std::span<const float> block);
    void finishRow();
    void trackFloor();

    FrequencyAxis axis_;
    float sampleRate_ = kDefaultSampleRate;
    int blockLength_ = kDefaultBlockLength;
    int order_ = 11;  // of the transform: 2 × blockLength points
    int firstBin_ = 0;
    std::vector<float> window_, previous_, re_, im_;
    std::vector<float> power_;                   // summed bin powers from firstBin_ on
    std::vector<int> columnFirst_, columnLast_;  // bins of each column, inclusive
    std::vector<float> columnDb_, sorted_;
    std::vector<std::uint8_t> row_;
    int blocksInRow_ = 0;
    bool floorKnown_ = false;
    float floorDb_ = kSilenceDb;
    float rowFloorDb_ = kSilenceDb;  // the low percentile of the last row alone
    float peakAboveDb_ = 0.0f;       // the strongest column over its row's noise, falling slowly
    std::atomic<int> blocksPerRow_{1};
    std::atomic<float> rangeDb_{kDefaultRangeDb};
};

}  // namespace zeb::dsp
