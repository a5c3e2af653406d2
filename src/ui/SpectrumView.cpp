#include "ui/SpectrumView.h"

#include "dsp/SpectrumAnalyser.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace zeb::ui {

// ---- SpectrumFrame ----

SpectrumFrame::SpectrumFrame(int maxWidth) : maxWidth_(std::max(maxWidth, 0)) {
    frame_.curve.reserve(static_cast<std::size_t>(maxWidth_));
}

bool SpectrumFrame::publish(const dsp::SpectrumAnalyser& analyser) {
    const std::span<const int> curve = analyser.curve();
    {
        std::lock_guard lock(mutex_);
        // Never more than the reserved room: resizing within the capacity
        // does not allocate.
        const int width = std::clamp(analyser.displayWidth(), 0,
                                     std::min(maxWidth_, static_cast<int>(curve.size())));
        frame_.width = width;
        frame_.height = std::max(analyser.displayHeight(), 0);
        frame_.curve.resize(static_cast<std::size_t>(width));
        std::copy_n(curve.begin(), width, frame_.curve.begin());
        frame_.passBand = analyser.passBandColumns();
        frame_.tones = analyser.toneColumns();
        ++frame_.serial;
        valid_ = true;
    }
    return !pending_.exchange(true);
}

bool SpectrumFrame::copyTo(SpectrumSnapshot& out) {
    std::lock_guard lock(mutex_);
    pending_.store(false);
    if (!valid_) return false;
    out.width = frame_.width;
    out.height = frame_.height;
    out.curve.assign(frame_.curve.begin(), frame_.curve.end());
    out.passBand = frame_.passBand;
    out.tones = frame_.tones;
    out.serial = frame_.serial;
    return true;
}

void SpectrumFrame::clear() {
    std::lock_guard lock(mutex_);
    valid_ = false;
    frame_.width = 0;
    frame_.height = 0;
    frame_.curve.clear();  // keeps the reserved room
    frame_.passBand.reset();
    frame_.tones.reset();
    pending_.store(false);
}

// ---- SpectrumView ----

SpectrumView::SpectrumView(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMinimumSize(16, 16);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void SpectrumView::setColours(const DisplayColours& colours) {
    colours_ = colours;
    if (snapshot_.width > 0) image_ = render(snapshot_, colours_);
    update();
}

void SpectrumView::refresh() {
    if (frame_ && frame_->copyTo(snapshot_))
        image_ = render(snapshot_, colours_);
    else
        image_ = QImage();
    update();
}

QImage SpectrumView::render(const SpectrumSnapshot& snapshot, const DisplayColours& colours) {
    const int w = snapshot.width, h = snapshot.height;
    if (w < 1 || h < 1) return {};
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colours.background);

    // The curve's height in every column, limited to the area; columns the
    // analyser did not deliver continue at the last height (the bottom when
    // there is none).
    std::vector<int> ys(static_cast<std::size_t>(w), h - 1);
    const int given = std::min<int>(w, static_cast<int>(snapshot.curve.size()));
    for (int x = 0; x < w; ++x) {
        const int y = x < given ? snapshot.curve[x] : (given > 0 ? ys[given - 1] : h - 1);
        ys[x] = std::clamp(y, 0, h - 1);
    }

    // Above the curve: background, the pass band in its own colour; beneath:
    // the spectrum colour.
    int passLo = 1, passHi = 0;
    if (snapshot.passBand) {
        passLo = std::max(std::min(snapshot.passBand->first, snapshot.passBand->second), 0);
        passHi = std::min(std::max(snapshot.passBand->first, snapshot.passBand->second), w - 1);
    }
    const QRgb passBand = colours.passBand.rgb(), spectrum = colours.spectrum.rgb();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (y >= ys[x])
                line[x] = spectrum;
            else if (x >= passLo && x <= passHi)
                line[x] = passBand;
        }
    }

    // Tone markers: full-height 1-pixel lines.
    if (snapshot.tones) {
        const QRgb marker = colours.toneMarker.rgb();
        for (const int x : {snapshot.tones->first, snapshot.tones->second})
            if (x >= 0 && x < w)
                for (int y = 0; y < h; ++y) reinterpret_cast<QRgb*>(image.scanLine(y))[x] = marker;
    }

    // The outline: a connected 1-pixel line through every point of the curve;
    // a step between columns is split between the two columns.
    const QRgb outline = colours.outline.rgb();
    const auto plot = [&](int x, int y) {
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = outline;
    };
    plot(0, ys[0]);
    for (int x = 0; x + 1 < w; ++x) {
        const int y0 = ys[x], y1 = ys[x + 1];
        const int steps = std::abs(y1 - y0), sign = y1 > y0 ? 1 : -1;
        for (int k = 0; k <= steps; ++k)
            plot(k <= steps / 2 && k < steps ? x : x + 1, y0 + sign * k);
    }
    return image;
}

void SpectrumView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect client = contentsRect();
    p.fillRect(client, colours_.background.darker(160));
    if (!image_.isNull()) {
        p.setClipRect(client.adjusted(1, 1, -1, -1));
        p.drawImage(client.topLeft() + QPoint(1, 1), image_);
    }
}

void SpectrumView::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    if (!rect().contains(at)) return;
    if (event->button() == Qt::RightButton) emit clicked();
    // The drawing area starts one pixel inside the frame's contents.
    const QRect area = contentsRect().adjusted(1, 1, -1, -1);
    if (event->button() == Qt::LeftButton && highHz_ > lowHz_ && area.width() > 0)
        emit tuneRequested(lowHz_ +
                           (at.x() - area.left() + 0.5) * (highHz_ - lowHz_) / area.width());
}

void SpectrumView::setFrequencyRange(double lowHz, double highHz) {
    lowHz_ = lowHz;
    highHz_ = highHz;
}

// ---- SignalBuffer ----

bool SignalBuffer::publish(std::span<const float> values) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t n = std::min<std::size_t>(values.size(), kLength);
        std::copy_n(values.begin(), n, values_.begin());
        std::fill(values_.begin() + static_cast<std::ptrdiff_t>(n), values_.end(), 0.0f);
        fresh_ = true;
    }
    return !pending_.exchange(true);
}

bool SignalBuffer::copyTo(std::array<float, kLength>& out) {
    std::lock_guard lock(mutex_);
    pending_.store(false);
    if (!fresh_) return false;
    out = values_;
    fresh_ = false;
    return true;
}

// ---- SignalScale ----

float SignalScale::update(std::span<const float> values) {
    float largest = 0.0f, smallest = 0.0f;
    bool any = false;
    for (const float v : values) {
        if (!std::isfinite(v)) continue;
        if (!any) {
            largest = smallest = v;
            any = true;
        }
        largest = std::max(largest, v);
        smallest = std::min(smallest, v);
    }
    const float p = 2.05f * std::max(largest, std::fabs(smallest));
    if (p > state_)
        state_ = p;
    else
        state_ += 0.1f * (p - state_);
    return state_;
}

// ---- SignalWindow ----

SignalWindow::SignalWindow(const QString& programName, SignalBuffer& buffer, QWidget* parent)
    : QWidget(parent, Qt::Window), buffer_(buffer) {
    setWindowTitle(programName + QStringLiteral("-Signal"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        const int top = s.top() + s.height() * 3 / 4;
        const int height = std::max(s.height() / 4, 1);
        if (s.width() > SignalBuffer::kLength)
            setGeometry(s.left() + (s.width() - SignalBuffer::kLength) / 2, top,
                        SignalBuffer::kLength, height);
        else
            setGeometry(s.left(), top, s.width(), height);
    }
}

void SignalWindow::setColours(const DisplayColours& colours) {
    colours_ = colours;
    update();
}

void SignalWindow::refresh() {
    if (!buffer_.copyTo(values_)) return;
    drawScale_ = scale_.update(values_);
    update();
}

std::vector<QPoint> SignalWindow::polyline(std::span<const float> values, float scale, QSize area) {
    const int count = std::clamp(area.width(), 0, SignalBuffer::kLength);
    const int height = std::max(area.height(), 1);
    const int middle = height / 2;
    std::vector<QPoint> points;
    points.reserve(static_cast<std::size_t>(count));
    const bool silent = !(scale > 0.0f) || !std::isfinite(scale);
    const double perUnit = silent ? 0.0 : height / static_cast<double>(scale);
    for (int i = 0; i < count; ++i) {
        int y = middle;
        if (!silent && i < static_cast<int>(values.size()) && std::isfinite(values[i])) {
            const double offset =
                std::clamp(std::round(values[i] * perUnit), -static_cast<double>(height),
                           static_cast<double>(height));
            y = std::clamp(middle - static_cast<int>(offset), 0, height - 1);
        }
        points.emplace_back(i, y);
    }
    return points;
}

void SignalWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colours_.background);
    const std::vector<QPoint> points = polyline(values_, drawScale_, size());
    if (points.empty()) return;
    p.setPen(QPen(QColor(128, 255, 255), 0, Qt::SolidLine));
    p.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void SignalWindow::closeEvent(QCloseEvent* event) {
    emit closed();
    QWidget::closeEvent(event);
}

}  // namespace zeb::ui
