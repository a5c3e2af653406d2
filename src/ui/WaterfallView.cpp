#include "ui/WaterfallView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QResizeEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zeb::ui {

namespace {

struct ColourStop {
    double at;  // 0 … 1
    int r, g, b;
};

// The palette's colours between its stops, interpolated linearly.
std::array<QRgb, 256> paletteColours(WaterfallPalette palette) {
    static constexpr ColourStop kClassic[] = {{0.0, 0, 0, 0},
                                              {0.25, 0, 0, 255},
                                              {0.5, 0, 255, 255},
                                              {0.75, 255, 255, 0},
                                              {1.0, 255, 0, 0}};
    static constexpr ColourStop kGrey[] = {{0.0, 0, 0, 0}, {1.0, 255, 255, 255}};
    static constexpr ColourStop kHeat[] = {
        {0.0, 0, 0, 0}, {1.0 / 3, 255, 0, 0}, {2.0 / 3, 255, 255, 0}, {1.0, 255, 255, 255}};
    std::span<const ColourStop> stops = kClassic;
    if (palette == WaterfallPalette::Grey) stops = kGrey;
    if (palette == WaterfallPalette::Heat) stops = kHeat;
    std::array<QRgb, 256> table{};
    std::size_t upper = 1;
    for (int i = 0; i < 256; ++i) {
        const double v = i / 255.0;
        while (upper + 1 < stops.size() && v > stops[upper].at) ++upper;
        const ColourStop& a = stops[upper - 1];
        const ColourStop& b = stops[upper];
        const double t = std::clamp((v - a.at) / (b.at - a.at), 0.0, 1.0);
        const auto mix = [t](int from, int to) {
            return static_cast<int>(std::lround(from + t * (to - from)));
        };
        table[i] = qRgb(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
    }
    return table;
}

// Decimals a label needs to show a multiple of `stepHz` in kHz exactly.
int kHzDecimals(double stepHz) {
    int decimals = 0;
    for (double unit = 1000.0; decimals < 3 && std::fmod(stepHz, unit) != 0.0; unit /= 10.0)
        ++decimals;
    return decimals;
}

QFont scaleFont(const QFont& base) {
    QFont font = base;
    font.setPixelSize(10);
    return font;
}

}  // namespace

// ---- WaterfallFrame ----

WaterfallFrame::WaterfallFrame(int maxWidth, int rows)
    : maxWidth_(std::max(maxWidth, 0)), capacity_(std::max(rows, 1)) {
    cells_.assign(static_cast<std::size_t>(maxWidth_) * capacity_, 0);
    widths_.assign(static_cast<std::size_t>(capacity_), 0);
}

bool WaterfallFrame::publish(std::span<const std::uint8_t> row) {
    {
        std::lock_guard lock(mutex_);
        const auto width = std::min(row.size(), static_cast<std::size_t>(maxWidth_));
        std::copy_n(row.begin(), width,
                    cells_.begin() + static_cast<std::ptrdiff_t>(next_) * maxWidth_);
        widths_[next_] = static_cast<int>(width);
        next_ = (next_ + 1) % capacity_;
        if (count_ == capacity_)
            dropped_.fetch_add(1);
        else
            ++count_;
    }
    return !pending_.exchange(true);
}

void WaterfallFrame::clear() {
    std::lock_guard lock(mutex_);
    count_ = 0;
    pending_.store(false);
}

// ---- WaterfallView ----

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(32, 32);
    lut_ = paletteColours(palette_);
    scaleHeight_ = std::max(16, QFontMetrics(scaleFont(font())).height() + 5);
}

void WaterfallView::setRange(double lowHz, double highHz) {
    if (lowHz == lowHz_ && highHz == highHz_) return;
    lowHz_ = lowHz;
    highHz_ = highHz;
    axis_ = {lowHz_, highHz_, axis_.width};
    std::fill(levels_.begin(), levels_.end(), 0);
    recolour();
    renderScale();
    update();
}

void WaterfallView::setDial(std::optional<double> dialKhz, bool lowerSideband) {
    dialKhz_ = dialKhz;
    lowerSideband_ = lowerSideband;
    renderScale();
    update();
}

void WaterfallView::setMarkers(const dsp::Markers& markers) {
    if (markers == markers_) return;
    markers_ = markers;
    renderScale();
    update();
}

void WaterfallView::setPalette(WaterfallPalette palette) {
    if (palette == palette_) return;
    palette_ = palette;
    lut_ = paletteColours(palette);
    recolour();
    update();
}

void WaterfallView::setColours(const DisplayColours& colours) {
    colours_ = colours;
    renderScale();
    update();
}

double WaterfallView::frequencyAt(double x) const {
    if (!axis_.valid()) return axis_.lowHz;
    return std::clamp(axis_.frequencyOf(x), axis_.lowHz, axis_.highHz);
}

QString WaterfallView::frequencyText(double hz) const {
    if (!dialKhz_) return QStringLiteral("%1 Hz").arg(std::lround(hz));
    const double received = *dialKhz_ + (lowerSideband_ ? -hz : hz) / 1000.0;
    return QStringLiteral("%1 kHz").arg(received, 0, 'f', 3);
}

void WaterfallView::refresh() {
    if (!frame_) return;
    const int rows = frame_->drain([this](std::span<const std::uint8_t> row) { addRow(row); });
    if (rows > 0) update();
}

// ---- the image ----

void WaterfallView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int columns = std::max(width(), 0);
    resizeImage(columns, height() - scaleHeight_);
    const bool changed = columns != axis_.width;
    axis_ = {lowHz_, highHz_, columns};
    renderScale();
    if (changed) emit columnsChanged(columns);
}

// A new ring of the given size; the rows shown so far stay, stretched or
// squeezed to the new width, as far as they fit.
void WaterfallView::resizeImage(int width, int height) {
    if (width < 1 || height < 1) {
        levels_.clear();
        image_ = QImage();
        top_ = 0;
        return;
    }
    const int oldWidth = image_.width(), oldHeight = image_.height();
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(width) * height, 0);
    for (int r = 0; r < std::min(oldHeight, height); ++r) {
        const std::uint8_t* from =
            levels_.data() + static_cast<std::size_t>((top_ + r) % oldHeight) * oldWidth;
        std::uint8_t* to = levels.data() + static_cast<std::size_t>(r) * width;
        for (int x = 0; x < width; ++x) to[x] = from[(2 * x + 1) * oldWidth / (2 * width)];
    }
    levels_ = std::move(levels);
    image_ = QImage(width, height, QImage::Format_RGB32);
    top_ = 0;
    recolour();
}

std::uint8_t WaterfallView::level(int column, int row) const {
    const int width = image_.width(), height = image_.height();
    if (column < 0 || row < 0 || column >= width || row >= height) return 0;
    return levels_[static_cast<std::size_t>((top_ + row) % height) * width +
                   static_cast<std::size_t>(column)];
}

// A row from the analysis becomes display row 0; a row of another width (the
// analysis not yet attached again after a resize) is stretched to fit.
void WaterfallView::addRow(std::span<const std::uint8_t> row) {
    if (image_.isNull() || row.empty()) return;
    const int width = image_.width(), height = image_.height();
    const auto given = static_cast<int>(row.size());
    top_ = (top_ + height - 1) % height;
    std::uint8_t* levels = levels_.data() + static_cast<std::size_t>(top_) * width;
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(top_));
    for (int x = 0; x < width; ++x) {
        const std::uint8_t level =
            given == width ? row[x]
                           : row[static_cast<std::size_t>((2 * x + 1) * given / (2 * width))];
        levels[x] = level;
        line[x] = lut_[level];
    }
}

void WaterfallView::recolour() {
    if (image_.isNull()) return;
    const int width = image_.width();
    for (int y = 0; y < image_.height(); ++y) {
        const std::uint8_t* levels = levels_.data() + static_cast<std::size_t>(y) * width;
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = lut_[levels[x]];
    }
}

// ---- the scale ----

std::vector<ScaleMark> WaterfallView::scaleMarks(const dsp::FrequencyAxis& axis,
                                                 std::optional<double> dialKhz, bool lowerSideband,
                                                 const QFontMetrics& metrics) {
    struct Steps {
        double tick, label;  // Hz of what the scale counts
    };
    static constexpr Steps kSteps[] = {{100, 500},   {200, 1000},   {500, 2000},
                                       {1000, 5000}, {2000, 10000}, {5000, 50000}};
    constexpr double kMinTickSpacing = 4.0, kLabelGap = 8.0;
    std::vector<ScaleMark> marks;
    if (!axis.valid()) return marks;
    const double sign = dialKhz && lowerSideband ? -1.0 : 1.0;
    const double origin = dialKhz ? *dialKhz * 1000.0 : 0.0;
    const double ends[] = {origin + sign * axis.lowHz, origin + sign * axis.highHz};
    const double from = std::min(ends[0], ends[1]), to = std::max(ends[0], ends[1]);
    const double columnsPerHz = 1.0 / axis.hzPerColumn();
    for (const Steps& s : kSteps) {
        marks.clear();
        int widest = 0;
        for (double k = std::ceil(from / s.tick); k * s.tick <= to; k += 1.0) {
            const double value = k * s.tick;
            ScaleMark& mark = marks.emplace_back();
            mark.x = axis.columnOf((value - origin) * sign);
            mark.labelled = std::fabs(std::remainder(value, s.label)) < 0.5;
            if (!mark.labelled) continue;
            mark.label = dialKhz ? QString::number(value / 1000.0, 'f', kHzDecimals(s.label))
                                 : QString::number(std::lround(value));
            widest = std::max(widest, metrics.horizontalAdvance(mark.label));
        }
        if (s.tick * columnsPerHz >= kMinTickSpacing &&
            s.label * columnsPerHz >= widest + kLabelGap) {
            break;
        }
    }
    std::sort(marks.begin(), marks.end(),
              [](const ScaleMark& a, const ScaleMark& b) { return a.x < b.x; });
    return marks;
}

// Draws the scale into its own image; it changes with the size, the range,
// the dial and the markers, not with every row.
void WaterfallView::renderScale() {
    const int width = axis_.width;
    if (width < 1 || scaleHeight_ < 1) {
        scale_ = QImage();
        return;
    }
    scale_ = QImage(width, scaleHeight_, QImage::Format_RGB32);
    scale_.fill(colours_.background);
    QPainter p(&scale_);
    const QFont font = scaleFont(this->font());
    p.setFont(font);
    const QFontMetrics metrics(font);
    const QColor ink(200, 200, 200);
    p.setPen(ink);
    for (const ScaleMark& mark : scaleMarks(axis_, dialKhz_, lowerSideband_, metrics)) {
        const int x = static_cast<int>(std::lround(mark.x));
        p.drawLine(x, 0, x, mark.labelled ? 4 : 2);
        if (!mark.labelled) continue;
        const int textWidth = metrics.horizontalAdvance(mark.label);
        const int left = std::clamp(x - textWidth / 2, 0, std::max(width - textWidth, 0));
        p.drawText(QRect(left, 4, textWidth, scaleHeight_ - 4), Qt::AlignHCenter | Qt::AlignTop,
                   mark.label);
    }
    drawScaleMarkers(p);
}

// The pass band as a bracket along the top of the scale, the tones as small
// triangles pointing up at the waterfall.
void WaterfallView::drawScaleMarkers(QPainter& p) const {
    if (markers_.passLowHz != 0.0f || markers_.passHighHz != 0.0f) {
        const auto lo = static_cast<int>(std::lround(axis_.columnOf(markers_.passLowHz)));
        const auto hi = static_cast<int>(std::lround(axis_.columnOf(markers_.passHighHz)));
        p.setPen(colours_.outline);
        p.drawLine(lo, 3, lo, 0);
        p.drawLine(lo, 0, hi, 0);
        p.drawLine(hi, 0, hi, 3);
    }
    if (markers_.toneAHz == 0.0f || markers_.toneBHz == 0.0f) return;
    p.setPen(Qt::NoPen);
    p.setBrush(colours_.toneMarker);
    for (const float hz : {markers_.toneAHz, markers_.toneBHz}) {
        const auto x = static_cast<int>(std::lround(axis_.columnOf(hz)));
        p.drawPolygon(QPolygon({QPoint(x, 0), QPoint(x - 4, 5), QPoint(x + 4, 5)}));
    }
}

// ---- drawing and the mouse ----

void WaterfallView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int area = std::max(height() - scaleHeight_, 0);
    if (image_.isNull()) {
        p.fillRect(0, 0, width(), area, Qt::black);
    } else {
        // The ring in two parts: from the newest row down to the end of the
        // image, then from its start.
        const int w = image_.width(), h = image_.height();
        p.drawImage(QRect(0, 0, w, h - top_), image_, QRect(0, top_, w, h - top_));
        if (top_ > 0) p.drawImage(QRect(0, h - top_, w, top_), image_, QRect(0, 0, w, top_));
    }
    if (markers_.toneAHz != 0.0f && markers_.toneBHz != 0.0f) {
        QColor line = colours_.toneMarker;
        line.setAlpha(170);
        for (const float hz : {markers_.toneAHz, markers_.toneBHz}) {
            const auto x = static_cast<int>(std::lround(axis_.columnOf(hz)));
            p.fillRect(x, 0, 1, area, line);
        }
    }
    if (scale_.isNull())
        p.fillRect(0, area, width(), height() - area, colours_.background);
    else
        p.drawImage(0, area, scale_);
}

void WaterfallView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit tuneRequested(frequencyAt(event->position().x()));
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        emit toggleRequested();
        event->accept();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void WaterfallView::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (!axis_.valid()) return;
    QToolTip::showText(event->globalPosition().toPoint(),
                       frequencyText(frequencyAt(event->position().x())), this);
}

}  // namespace zeb::ui
