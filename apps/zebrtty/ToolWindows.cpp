#include "ToolWindows.h"

#include "rtty/RttyParams.h"
#include "ui/LanguageBundle.h"
#include "ui/PanelControls.h"

#include <QCloseEvent>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zeb::zebrtty {
namespace {

// The images are 32-bit RGB; these write their pixels directly, clipped to
// the image, so that drawing a block allocates nothing.
void fillRect(QImage& image, int x0, int y0, int x1, int y1, QRgb colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width());
    y1 = std::min(y1, image.height());
    if (x0 >= x1) return;
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + x0, line + x1, colour);
    }
}

void setPixel(QImage& image, int x, int y, QRgb colour) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
    reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

// A fresh image of the widget's size, or a null one when it has no area.
QImage imageFor(const QWidget& widget, QImage::Format format) {
    if (widget.width() <= 0 || widget.height() <= 0) return {};
    return QImage(widget.size(), format);
}

}  // namespace

void registerToolControls() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    ui::registerPanelControls();
    ui::DialogLoader::registerWidget(QStringLiteral("SpectrumBars"),
                                     [](QWidget* parent) { return new SpectrumBars(parent); });
    ui::DialogLoader::registerWidget(QStringLiteral("ScopeView"),
                                     [](QWidget* parent) { return new ScopeView(parent); });
    ui::DialogLoader::registerWidget(QStringLiteral("BitRaster"),
                                     [](QWidget* parent) { return new BitRaster(parent); });
    ui::DialogLoader::registerWidget(QStringLiteral("LevelMeter"),
                                     [](QWidget* parent) { return new LevelMeter(parent); });
}

QWidget* embedDialog(QWidget& window, const ui::LanguageBundle& bundle, int id) {
    QWidget* dialog = nullptr;
    if (auto loaded = bundle.loadDialog(id, &window)) {
        dialog = *loaded;
    } else {
        qWarning("%s", loaded.error().message.c_str());
        dialog = new QWidget(&window);
    }
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(dialog);
    window.setWindowTitle(dialog->windowTitle());
    return dialog;
}

void placeControl(QWidget* dialog, int id, QWidget* widget) {
    QWidget* old = ui::control(dialog, id);
    if (!old) {
        widget->setObjectName(ui::controlName(id));
        if (dialog->layout())
            dialog->layout()->addWidget(widget);
        else
            widget->setParent(dialog);
        return;
    }
    QWidget* parent = old->parentWidget();
    widget->setParent(parent);
    widget->setMinimumSize(old->minimumSize());
    widget->setSizePolicy(old->sizePolicy());
    widget->setGeometry(old->geometry());
    if (parent && parent->layout()) delete parent->layout()->replaceWidget(old, widget);
    delete old;
    widget->setObjectName(ui::controlName(id));
}

// ---- SpectrumBars ----

SpectrumBars::SpectrumBars(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(128, 64);
}

void SpectrumBars::setSpectrum(std::span<const float> bins) {
    const std::size_t n = std::min(bins.size(), bins_.size());
    std::copy_n(bins.begin(), n, bins_.begin());
    std::fill(bins_.begin() + static_cast<std::ptrdiff_t>(n), bins_.end(), 0.0f);
    render();
}

void SpectrumBars::setMarkers(int centerHz, int shiftHz) {
    if (centerHz == centerHz_ && shiftHz == shiftHz_) return;
    centerHz_ = centerHz;
    shiftHz_ = shiftHz;
    render();
}

int SpectrumBars::markerX(int hz) {
    return static_cast<int>(static_cast<long long>(hz) * 2048 / rtty::kSampleRate) - 2;
}

int SpectrumBars::scaled(int x) const {
    const int w = image_.width();
    return w > kNaturalWidth ? static_cast<int>(static_cast<long long>(x) * w / kNaturalWidth) : x;
}

void SpectrumBars::render() {
    if (image_.size() != size()) image_ = imageFor(*this, QImage::Format_RGB32);
    if (image_.isNull()) return;
    image_.fill(kBackground);
    const int h = image_.height();
    float peak = 0.0f;
    for (float b : bins_)
        if (b > peak) peak = b;
    if (std::isfinite(peak) && peak > 0.0f) {
        for (int k = 0; k < kBars; ++k) {
            if (!(bins_[k] > 0.0f)) continue;
            const int bar = static_cast<int>(std::lround(double{bins_[k]} / peak * h));
            fillRect(image_, scaled(4 * k), h - bar, scaled(4 * k + 3), h, kBar);
        }
    }
    for (int hz : {centerHz_, centerHz_ + shiftHz_}) {
        const int x = scaled(markerX(hz));
        fillRect(image_, x, 0, x + 1, h, kMarker);
    }
    update();
}

void SpectrumBars::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull())
        painter.fillRect(rect(), QColor::fromRgb(kBackground));
    else
        painter.drawImage(0, 0, image_);
}

void SpectrumBars::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

// ---- ScopeView ----

ScopeView::ScopeView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
}

void ScopeView::fitImage() {
    if (image_.size() == size()) return;
    image_ = imageFor(*this, QImage::Format_RGB32);
    clearImage();
}

void ScopeView::clearImage() {
    if (image_.isNull()) return;
    image_.fill(kBackground);
    const int w = image_.width(), h = image_.height();
    fillRect(image_, 0, h / 2, w, h / 2 + 1, kAxis);
    fillRect(image_, w / 2, 0, w / 2 + 1, h, kAxis);
}

void ScopeView::line(QPoint from, QPoint to, QRgb colour) {
    const int dx = std::abs(to.x() - from.x()), dy = -std::abs(to.y() - from.y());
    const int sx = from.x() < to.x() ? 1 : -1, sy = from.y() < to.y() ? 1 : -1;
    int x = from.x(), y = from.y(), error = dx + dy;
    while (true) {
        setPixel(image_, x, y, colour);
        if (x == to.x() && y == to.y()) return;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void ScopeView::setSignals(std::span<const float> lower, std::span<const float> upper) {
    if (!open_) return;
    fitImage();
    if (image_.isNull()) return;
    clearImage();
    const std::size_t n = std::min(lower.size(), upper.size());
    float peak = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        for (float v : {std::fabs(lower[i]), std::fabs(upper[i])})
            if (std::isfinite(v) && v > peak) peak = v;
    }
    if (peak > 0.0f) {
        // Half the area, less the middle pixel, to the peak: the figure stays inside.
        const double cx = (image_.width() - 1) / 2.0, cy = (image_.height() - 1) / 2.0;
        bool drawing = false;
        QPoint last;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(lower[i]) || !std::isfinite(upper[i])) {
                drawing = false;
                continue;
            }
            const QPoint p(static_cast<int>(std::lround(cx + lower[i] / peak * cx)),
                           static_cast<int>(std::lround(cy - upper[i] / peak * cy)));
            line(drawing ? last : p, p, kFigure);
            last = p;
            drawing = true;
        }
    }
    update();
}

void ScopeView::setOpen(bool squelchOpen) {
    if (squelchOpen == open_) return;
    open_ = squelchOpen;
    if (!open_) {
        fitImage();
        clearImage();
        update();
    }
}

void ScopeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull())
        painter.fillRect(rect(), QColor::fromRgb(kBackground));
    else
        painter.drawImage(0, 0, image_);
}

void ScopeView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitImage();
}

// ---- BitRaster ----

BitRaster::BitRaster(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 32);
}

void BitRaster::push(std::span<const float> samples) {
    fitImage();
    const int w = image_.width(), h = image_.height();
    if (w <= 0 || h <= 0 || samples.empty()) return;
    uchar* bottom = image_.scanLine(h - 1);
    for (float s : samples) {
        bottom[static_cast<int>(x_)] = s > 0.0f ? 0 : 255;
        x_ += speed_;
        if (x_ >= w) {
            scrollUp();
            x_ = 0.0;
        }
    }
    update();
}

void BitRaster::scrollUp() {
    const int h = image_.height();
    const qsizetype stride = image_.bytesPerLine();
    uchar* bits = image_.bits();
    std::memmove(bits, bits + stride, static_cast<std::size_t>(stride) * (h - 1));
    std::memset(bits + stride * (h - 1), 255, static_cast<std::size_t>(stride));
}

void BitRaster::setSpeed(double speed) {
    speed_ = std::isfinite(speed) && speed > 0.0 ? speed : 0.0;
}

void BitRaster::clear() {
    fitImage();
    if (!image_.isNull()) image_.fill(255);
    x_ = 0.0;
    update();
}

void BitRaster::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull())
        painter.fillRect(rect(), Qt::white);
    else
        painter.drawImage(0, 0, image_);
}

void BitRaster::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitImage();
}

// The picture stays: its bottom lines keep their place at the bottom.
void BitRaster::fitImage() {
    if (image_.size() == size()) return;
    QImage old = std::move(image_);
    image_ = imageFor(*this, QImage::Format_Grayscale8);
    if (image_.isNull()) return;
    image_.fill(255);
    const int rows = std::min(old.height(), image_.height());
    const int columns = std::min(old.width(), image_.width());
    for (int r = 1; r <= rows; ++r)
        std::memcpy(image_.scanLine(image_.height() - r), old.constScanLine(old.height() - r),
                    static_cast<std::size_t>(columns));
    if (x_ >= image_.width()) x_ = 0.0;
}

// ---- LevelMeter ----

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(8, 32);
}

int LevelMeter::filledHeight(double level, int height) {
    const double filled = height * level * kPixelsPerUnit;
    if (!(filled > 0.0)) return 0;
    return filled >= height ? height : static_cast<int>(filled);
}

void LevelMeter::setLevel(double level) {
    level_ = level;
    const int filled = filledHeight(level, height());
    if (filled == filled_) return;
    filled_ = filled;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0));
    painter.fillRect(0, height() - filled_, width(), filled_, QColor(0, 200, 0));
}

void LevelMeter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    filled_ = filledHeight(level_, height());
}

// ---- windows ----

ToolWindow::ToolWindow(const ui::LanguageBundle& bundle, int dialogId, QWidget* parent)
    : QWidget(parent, Qt::Tool) {
    registerToolControls();
    dialog_ = embedDialog(*this, bundle, dialogId);
}

void ToolWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

SpectrumWindow::SpectrumWindow(const ui::LanguageBundle& bundle, QWidget* parent)
    : ToolWindow(bundle, kSpectrumDialog, parent) {
    bars_ = displayControl<SpectrumBars>(dialog(), kDisplayControl);
}

CrossScopeWindow::CrossScopeWindow(const ui::LanguageBundle& bundle, QWidget* parent)
    : ToolWindow(bundle, kCrossScopeDialog, parent) {
    scope_ = displayControl<ScopeView>(dialog(), kDisplayControl);
}

BitRasterWindow::BitRasterWindow(const ui::LanguageBundle& bundle, QWidget* parent)
    : ToolWindow(bundle, kBitRasterDialog, parent) {
    raster_ = displayControl<BitRaster>(dialog(), kDisplayControl);
    slider_ = ui::controlAs<QSlider>(dialog(), kSpeedSlider);
    if (slider_) {
        updating_ = true;
        slider_->setRange(0, kSliderSteps);
        updating_ = false;
        connect(slider_, &QSlider::valueChanged, this, [this](int value) {
            if (updating_) return;
            const double speed = value * (1.0 / kSliderSteps);
            raster_->setSpeed(speed);
            emit speedChanged(speed);
        });
    }
    setSpeed(raster_->speed());
}

void BitRasterWindow::setSpeed(double speed) {
    raster_->setSpeed(speed);
    if (!slider_) return;
    updating_ = true;
    const long position = std::lround(raster_->speed() * kSliderSteps);
    slider_->setValue(static_cast<int>(std::clamp(position, 0L, static_cast<long>(kSliderSteps))));
    updating_ = false;
}

}  // namespace zeb::zebrtty
