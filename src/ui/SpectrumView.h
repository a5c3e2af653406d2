// The spectrum display of the decoder pages and the signal window.
//
// The spectrum analyser (dsp::SpectrumAnalyser) runs on the capture thread and
// computes the curve; it never draws. After each analysis the capture thread
// publishes the result into a SpectrumFrame (a short copy under a lock, no
// allocation) and asks the view to repaint; the view draws on the
// user-interface thread from the latest frame:
//   - the area above the curve in the background colour, the pass band (when
//     set) in the pass-band colour;
//   - the tone markers (when set) as 1-pixel vertical lines;
//   - the area beneath the curve in the spectrum colour, outlined in
//     RGB(128, 255, 255).
// The drawing area is the control's client area shrunk by one pixel on every
// side; the analyser is attached with the control's client size.
//
// The signal window ("Nimbarra-Signal") draws, as a line, the 1024 values a
// decoder hands it per block (CW envelope, fax line profile, RTTY
// discriminator output).
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace zeb::dsp {
class SpectrumAnalyser;
}

namespace zeb::ui {

// The colours of the displays.
struct DisplayColours {
    QColor background{16, 32, 48};
    QColor passBand{40, 72, 96};
    QColor spectrum{0, 96, 128};
    QColor outline{128, 255, 255};
    QColor toneMarker{255, 128, 0};
};

// What one analysis left for drawing.
struct SpectrumSnapshot {
    int width = 0;  // drawing area
    int height = 0;
    std::vector<int> curve;                       // y (0 = top) of columns 1 … width
    std::optional<std::pair<int, int>> passBand;  // columns
    std::optional<std::pair<int, int>> tones;     // columns
    std::uint64_t serial = 0;                     // increases with every publish
};

// Shared between the capture thread (publish) and the UI thread (copyTo).
class SpectrumFrame {
public:
    // Reserves room for a drawing area of up to `maxWidth` columns, so that
    // publishing never allocates.
    explicit SpectrumFrame(int maxWidth = 4096);

    // Copies the analyser's last result (capture thread). Returns true when
    // the UI has taken the previous frame, i.e. a repaint must be requested;
    // false when one is pending already.
    bool publish(const dsp::SpectrumAnalyser& analyser);
    // Copies the latest frame (UI thread) and marks it taken. False when no
    // frame was published since the last clear().
    bool copyTo(SpectrumSnapshot& out);
    void clear();
    // A frame was published that the UI has not taken yet.
    bool pending() const { return pending_.load(); }

private:
    std::mutex mutex_;
    int maxWidth_;
    SpectrumSnapshot frame_;
    bool valid_ = false;
    std::atomic<bool> pending_{false};
};

class SpectrumView : public QFrame {
    Q_OBJECT
public:
    explicit SpectrumView(QWidget* parent = nullptr);

    void setFrame(SpectrumFrame* frame) { frame_ = frame; }
    void setColours(const DisplayColours& colours);
    // Client size the analyser is attached with.
    QSize analyserSize() const { return contentsRect().size(); }
    // Draws the latest frame into the off-screen image and repaints. Safe to
    // invoke queued from any thread (QMetaObject::invokeMethod).
    Q_INVOKABLE void refresh();
    // Draws a snapshot into an image of the drawing area's size (tests).
    static QImage render(const SpectrumSnapshot& snapshot, const DisplayColours& colours);
    const QImage& image() const { return image_; }

    // The frequencies at the left and right edges of the drawing area, for
    // a left click to name the frequency under it.
    void setFrequencyRange(double lowHz, double highHz);

signals:
    // A right click on the display (the pages switch the display off and on
    // with it).
    void clicked();
    // A left click: the frequency under the mouse (the pages tune there).
    void tuneRequested(double hz);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    SpectrumFrame* frame_ = nullptr;
    DisplayColours colours_;
    SpectrumSnapshot snapshot_;
    QImage image_;
    double lowHz_ = 0.0;
    double highHz_ = 0.0;
};

// The 1024 values of the signal window, shared between the capture thread
// and the UI thread.
class SignalBuffer {
public:
    static constexpr int kLength = 1024;
    // Capture thread: copies up to kLength values (the rest is zero). True
    // when a repaint must be requested.
    bool publish(std::span<const float> values);
    // UI thread: a consistent copy; false when nothing new.
    bool copyTo(std::array<float, kLength>& out);

private:
    std::mutex mutex_;
    std::array<float, kLength> values_{};
    bool fresh_ = false;
    std::atomic<bool> pending_{false};
};

// The scale of the signal window: the peak p = 2.05 × largest magnitude; the
// state jumps up to p at once and otherwise moves 10 % of the way toward it.
class SignalScale {
public:
    float update(std::span<const float> values);
    float value() const { return state_; }

private:
    float state_ = 0.0f;
};

class SignalWindow : public QWidget {
    Q_OBJECT
public:
    // "<program>-Signal"; placed across the bottom quarter of the screen
    // (1024 pixels wide and centred on wider screens).
    explicit SignalWindow(const QString& programName, SignalBuffer& buffer,
                          QWidget* parent = nullptr);

    void setColours(const DisplayColours& colours);
    Q_INVOKABLE void refresh();
    const SignalScale& scale() const { return scale_; }
    // The polyline drawn for values in an area of the given size (tests):
    // min(width, 1024) points, origin in the middle, nothing but the baseline
    // when the scale is not positive.
    static std::vector<QPoint> polyline(std::span<const float> values, float scale, QSize area);

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    SignalBuffer& buffer_;
    DisplayColours colours_;
    SignalScale scale_;
    std::array<float, SignalBuffer::kLength> values_{};
    float drawScale_ = 0.0f;
};

}  // namespace zeb::ui
