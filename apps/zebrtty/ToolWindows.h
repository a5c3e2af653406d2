// The tool windows of ZEBRTTY that show the signal: the spectrum, the cross
// scope and the bit raster (the settings window is in SettingsWindow.h), and
// the display controls they are made of.
//
// Each window is a top-level tool window of the main window built from its
// dialog template in the language bundle. The program feeds the windows once
// per block of 1024 samples on the window thread, so the displays keep an
// image of their own size, write the block's pixels straight into it and
// allocate nothing per block; paintEvent only copies the image (the level
// meter keeps just its filled height and paints the bar).
//
// In the templates the displays are custom widgets of the classes
// "SpectrumBars", "ScopeView", "BitRaster" and "LevelMeter".
//
// Dialogs and control ids:
//   101 spectrum     c1000 SpectrumBars
//   117 bit raster   c1000 BitRaster, c1001 speed slider (0 … 10000)
//   123 cross scope  c1000 ScopeView
#pragma once

#include "ui/DialogLoader.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <span>

class QCloseEvent;
class QSlider;

namespace zeb::ui {
class LanguageBundle;
}

namespace zeb::zebrtty {

inline constexpr int kSpectrumDialog = 101;
inline constexpr int kBitRasterDialog = 117;
inline constexpr int kCrossScopeDialog = 123;
inline constexpr int kDisplayControl = 1000;
inline constexpr int kSpeedSlider = 1001;

// Registers the display controls, and the suite's panel controls the
// settings window uses, with the dialog loader (once per process,
// on the window thread; repeated calls do nothing). The windows call it
// before they load their templates.
void registerToolControls();

// Loads dialog `id` of the bundle into `window` (filling it, without margins)
// and gives the window the template's title. A template that does not load
// leaves an empty widget in its place and the reason in the log.
QWidget* embedDialog(QWidget& window, const ui::LanguageBundle& bundle, int id);

// Puts `widget` in the place of control `id` of `dialog` (in its layout, or
// at its geometry), or at the end of the dialog when there is no such
// control; the old control is deleted and `widget` takes its name.
void placeControl(QWidget* dialog, int id, QWidget* widget);

// Control `id` when it is a T; else a new T placed where it was, so that a
// bundle whose template names another class still gets a working display.
template <class T>
T* displayControl(QWidget* dialog, int id) {
    if (T* found = ui::controlAs<T>(dialog, id)) return found;
    auto* made = new T;
    placeControl(dialog, id, made);
    return made;
}

// The spectrum as bars: the first 128 of the 256 bins of a block, each bar
// 3 pixels wide every 4 pixels and scaled so that the largest bin fills the
// height, with two marker lines at the tones. Wider than 512 pixels, every
// x is stretched by width / 512; narrower, the picture is cut at the right.
class SpectrumBars : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBars = 128;
    static constexpr int kNaturalWidth = 4 * kBars;
    static constexpr QRgb kBackground = 0xff000000;
    static constexpr QRgb kBar = 0xff00c000;
    static constexpr QRgb kMarker = 0xffff4040;

    explicit SpectrumBars(QWidget* parent = nullptr);

    void setSpectrum(std::span<const float> bins);
    // The lower tone at `centerHz`, the upper at centerHz + shiftHz.
    void setMarkers(int centerHz, int shiftHz);
    // x of a marker at `hz` at the natural width of 512 pixels (a bin's
    // place, 2048 / 11025 pixels per Hz, less 2).
    static int markerX(int hz);
    const QImage& image() const { return image_; }

    QSize sizeHint() const override { return {kNaturalWidth, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    // x at the natural width, stretched to the widget's width.
    int scaled(int x) const;

    std::array<float, kBars> bins_{};
    int centerHz_ = 1275;
    int shiftHz_ = 425;
    QImage image_;
};

// The cross scope: the lower tone filter's output across, the upper one's
// up, both scaled by the larger peak of the block so that the figure fills
// the area, drawn as a line through the block's points. While the squelch is
// closed only the axes are drawn.
class ScopeView : public QWidget {
    Q_OBJECT
public:
    static constexpr QRgb kBackground = 0xff000000;
    static constexpr QRgb kAxis = 0xff304860;
    static constexpr QRgb kFigure = 0xff40ff40;

    explicit ScopeView(QWidget* parent = nullptr);

    void setSignals(std::span<const float> lower, std::span<const float> upper);
    // Closing clears the figure at once; opening shows the next block.
    void setOpen(bool squelchOpen);
    bool isOpen() const { return open_; }
    const QImage& image() const { return image_; }

    QSize sizeHint() const override { return {200, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A new image when the widget's size changed (hidden widgets get their
    // resize event only when shown).
    void fitImage();
    void clearImage();
    void line(QPoint from, QPoint to, QRgb colour);

    bool open_ = false;
    QImage image_;
};

// The bit raster: one pixel per demodulated sample on the bottom line,
// black when the sample is positive and white otherwise, stepping `speed`
// pixels to the right per sample. At the right edge the picture moves up one
// line and the next sample goes to x = 0, so a speed that matches the
// characters' rhythm stacks their bits into columns.
class BitRaster : public QWidget {
    Q_OBJECT
public:
    explicit BitRaster(QWidget* parent = nullptr);

    void push(std::span<const float> samples);
    // Pixels per sample; negative or not finite: 0.
    void setSpeed(double speed);
    double speed() const { return speed_; }
    // Where the next sample goes on the bottom line.
    double position() const { return x_; }
    void clear();
    const QImage& image() const { return image_; }

    QSize sizeHint() const override { return {320, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitImage();
    void scrollUp();

    double speed_ = 1.0;
    double x_ = 0.0;
    QImage image_;
};

// A vertical level bar filled from the bottom to height × level × 5·10⁻⁷
// pixels, clipped to the height: 2 000 000 (the top of the squelch scale)
// fills it.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr double kPixelsPerUnit = 5e-7;  // of the height

    explicit LevelMeter(QWidget* parent = nullptr);

    void setLevel(double level);
    double level() const { return level_; }
    static int filledHeight(double level, int height);
    int filledHeight() const { return filled_; }

    QSize sizeHint() const override { return {14, 100}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double level_ = 0.0;
    int filled_ = 0;
};

// A tool window around a dialog template; closed() when the user closes it
// (the window is hidden, not destroyed).
class ToolWindow : public QWidget {
    Q_OBJECT
public:
    QWidget* dialog() const { return dialog_; }

signals:
    void closed();

protected:
    ToolWindow(const ui::LanguageBundle& bundle, int dialogId, QWidget* parent);
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* dialog_ = nullptr;
};

class SpectrumWindow : public ToolWindow {
    Q_OBJECT
public:
    explicit SpectrumWindow(const ui::LanguageBundle& bundle, QWidget* parent = nullptr);

    // 256 magnitude bins of a 512-point transform of the block.
    void setSpectrum(std::span<const float> bins) { bars_->setSpectrum(bins); }
    void setMarkers(int centerHz, int shiftHz) { bars_->setMarkers(centerHz, shiftHz); }
    SpectrumBars* bars() const { return bars_; }

private:
    SpectrumBars* bars_ = nullptr;
};

class CrossScopeWindow : public ToolWindow {
    Q_OBJECT
public:
    explicit CrossScopeWindow(const ui::LanguageBundle& bundle, QWidget* parent = nullptr);

    void setSignals(std::span<const float> lower, std::span<const float> upper) {
        scope_->setSignals(lower, upper);
    }
    void setOpen(bool squelchOpen) { scope_->setOpen(squelchOpen); }
    ScopeView* scope() const { return scope_; }

private:
    ScopeView* scope_ = nullptr;
};

// The bit raster and its speed slider: speed = slider × 0.0001.
class BitRasterWindow : public ToolWindow {
    Q_OBJECT
public:
    static constexpr int kSliderSteps = 10000;

    explicit BitRasterWindow(const ui::LanguageBundle& bundle, QWidget* parent = nullptr);

    void push(std::span<const float> samples) { raster_->push(samples); }
    // Shows the speed on the slider without emitting speedChanged().
    void setSpeed(double speed);
    double speed() const { return raster_->speed(); }
    BitRaster* raster() const { return raster_; }
    QSlider* slider() const { return slider_; }

signals:
    // The user moved the slider.
    void speedChanged(double speed);

private:
    BitRaster* raster_ = nullptr;
    QSlider* slider_ = nullptr;
    bool updating_ = false;
};

}  // namespace zeb::zebrtty
