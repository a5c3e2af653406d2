// The waterfall display of the decoder pages.
//
// The analysis (dsp::Waterfall) runs on the capture thread and completes a row
// of intensities every one, two or four blocks. The capture thread publishes
// each row into a WaterfallFrame (a short copy under a lock into a ring that
// was allocated up front) and, when publish() says so, asks the view to
// refresh; the view takes every row published since and draws on the
// user-interface thread:
//   - the waterfall, newest row at the top, older rows moving down;
//   - the decoder's tones (when set) as thin vertical lines over it;
//   - beneath it a frequency scale: ticks and labels in Hz of the audio, or in
//     kHz of the received frequency once the dial frequency is known, the
//     tones as small triangles and the pass band as a bracket.
// Columns and frequencies are mapped by dsp::FrequencyAxis, as in the
// analysis; attach the analysis with columns() columns and the view's range.
// A left press asks to tune to the frequency under the pointer, a right press
// to switch the display.
#pragma once

#include <QFontMetrics>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "dsp/Markers.h"
#include "dsp/Waterfall.h"
#include "ui/SpectrumView.h"

class QPainter;

namespace zeb::ui {

// Rows on their way from the capture thread to the user-interface thread.
class WaterfallFrame {
public:
    // Room for `rows` rows of up to `maxWidth` columns, allocated now.
    explicit WaterfallFrame(int maxWidth = dsp::Waterfall::kMaxWidth, int rows = 64);

    // Capture thread: copies a row (columns beyond maxWidth() are cut). True
    // when the UI must be asked to refresh, false when a request is pending.
    bool publish(std::span<const std::uint8_t> row);
    // UI thread: hands every row published since the last drain to
    // `sink(std::span<const std::uint8_t>)`, oldest first, and returns how
    // many. When more rows came than the ring holds, the oldest were dropped
    // (see dropped()). The sink runs under the lock: it must be quick.
    template <typename Sink>
    int drain(Sink&& sink);
    // Drops the rows not yet drained (and a pending refresh request).
    void clear();

    int maxWidth() const { return maxWidth_; }
    int capacity() const { return capacity_; }
    // Rows published but never drained, overwritten by newer ones.
    std::uint64_t dropped() const { return dropped_.load(); }
    bool pending() const { return pending_.load(); }

private:
    std::mutex mutex_;
    int maxWidth_;
    int capacity_;
    std::vector<std::uint8_t> cells_;  // capacity × maxWidth
    std::vector<int> widths_;          // of each slot
    int next_ = 0;                     // slot of the next row
    int count_ = 0;                    // rows not yet drained
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<bool> pending_{false};
};

template <typename Sink>
int WaterfallFrame::drain(Sink&& sink) {
    std::lock_guard lock(mutex_);
    pending_.store(false);
    const int count = count_;
    for (int i = 0; i < count; ++i) {
        const int slot = (next_ - count + i + capacity_) % capacity_;
        const auto* cells = cells_.data() + static_cast<std::size_t>(slot) * maxWidth_;
        sink(std::span<const std::uint8_t>(cells, static_cast<std::size_t>(widths_[slot])));
    }
    count_ = 0;
    return count;
}

enum class WaterfallPalette {
    Classic,  // black, blue, cyan, yellow, red
    Grey,
    Heat,  // black, red, yellow, white
};

// A tick of the frequency scale.
struct ScaleMark {
    double x = 0.0;  // column coordinate
    bool labelled = false;
    QString label;
};

class WaterfallView : public QWidget {
    Q_OBJECT
public:
    explicit WaterfallView(QWidget* parent = nullptr);

    void setFrame(WaterfallFrame* frame) { frame_ = frame; }
    // The range the analysis is attached with; a new range clears the display.
    void setRange(double lowHz, double highHz);
    // The receiver's dial frequency, or none: the scale then shows the audio
    // frequency in Hz.
    void setDial(std::optional<double> dialKhz, bool lowerSideband);
    // The decoder's pass band and tones (zeros: none, as in dsp::Markers).
    void setMarkers(const dsp::Markers& markers);
    void setPalette(WaterfallPalette palette);
    using QWidget::setPalette;
    void setColours(const DisplayColours& colours);

    // The columns to attach the analysis with (the view's width), and the
    // mapping between them and frequencies.
    int columns() const { return axis_.width; }
    const dsp::FrequencyAxis& axis() const { return axis_; }
    int scaleHeight() const { return scaleHeight_; }
    WaterfallPalette waterfallPalette() const { return palette_; }
    QRgb colourOf(std::uint8_t intensity) const { return lut_[intensity]; }
    // The intensity shown at a column in display row `row` (0 the newest);
    // 0 outside the image.
    std::uint8_t level(int column, int row) const;
    // The frequency under the pointer at x (the column coordinate: x of a
    // pixel is its column's centre), clamped to the range.
    double frequencyAt(double x) const;
    // The frequency as the scale shows it: "1500 Hz", or "14101.500 kHz".
    QString frequencyText(double hz) const;
    // The ticks of a scale over `axis`, left to right: every 100 Hz with a
    // label every 500 Hz, or coarser where ticks would crowd or labels (in
    // `metrics`) overlap. With a dial frequency they count the received
    // frequency (dial + f on the upper, dial − f on the lower sideband) and
    // are labelled in kHz.
    static std::vector<ScaleMark> scaleMarks(const dsp::FrequencyAxis& axis,
                                             std::optional<double> dialKhz, bool lowerSideband,
                                             const QFontMetrics& metrics);

    // Takes the rows published since the last refresh and repaints. Safe to
    // invoke queued from any thread (QMetaObject::invokeMethod).
    Q_INVOKABLE void refresh();

signals:
    // A left press on the waterfall or the scale: the audio frequency under
    // the pointer (the pages tune the decoder there).
    void tuneRequested(double hz);
    // A right press (the pages switch the display off and on with it).
    void toggleRequested();
    // The width changed: the analysis must be attached again with columns().
    void columnsChanged(int columns);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void resizeImage(int width, int height);
    void addRow(std::span<const std::uint8_t> row);
    void recolour();
    void renderScale();
    void drawScaleMarkers(QPainter& p) const;

    WaterfallFrame* frame_ = nullptr;
    double lowHz_ = 0.0, highHz_ = 2756.0;
    dsp::FrequencyAxis axis_;
    std::optional<double> dialKhz_;
    bool lowerSideband_ = false;
    dsp::Markers markers_;
    WaterfallPalette palette_ = WaterfallPalette::Classic;
    std::array<QRgb, 256> lut_{};
    DisplayColours colours_;
    int scaleHeight_ = 16;
    // The rows as intensities and as colours, in a ring: display row 0 (the
    // newest) is stored at top_, row r at (top_ + r) % height.
    std::vector<std::uint8_t> levels_;
    QImage image_;
    int top_ = 0;
    QImage scale_;
};

}  // namespace zeb::ui
