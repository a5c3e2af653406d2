#include "ui/PanelControls.h"

#include "common/Format.h"
#include "ui/DialogLoader.h"
#include "ui/SpectrumView.h"
#include "ui/WaterfallView.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace zeb::ui {
namespace {

// The panel's palette: dark displays with cyan light.
const QColor kDisplayBackground(8, 14, 18);
const QColor kDisplayBezel(40, 46, 52);
const QColor kSegmentLit(80, 235, 255);
const QColor kSegmentGlow(0, 180, 230, 70);
const QColor kSegmentDark(18, 38, 46);

// An off-screen image of the widget's size at the screen's pixel density.
QImage makeImage(const QWidget& widget) {
    const qreal dpr = std::max<qreal>(widget.devicePixelRatioF(), 1.0);
    const QSize pixels(std::max(1, qRound(widget.width() * dpr)),
                       std::max(1, qRound(widget.height() * dpr)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    return image;
}

// Whether the image no longer fits the widget (size or pixel density changed).
bool imageStale(const QImage& image, const QWidget& widget) {
    if (image.isNull()) return true;
    const qreal dpr = std::max<qreal>(widget.devicePixelRatioF(), 1.0);
    return !qFuzzyCompare(image.devicePixelRatio(), dpr) ||
           image.size() != QSize(std::max(1, qRound(widget.width() * dpr)),
                                 std::max(1, qRound(widget.height() * dpr)));
}

// ---- seven segments ----

// Segment bits: a (top), b (upper right), c (lower right), d (bottom),
// e (lower left), f (upper left), g (middle).
enum : unsigned { kA = 1, kB = 2, kC = 4, kD = 8, kE = 16, kF = 32, kG = 64 };

unsigned segmentsOf(QChar c) {
    switch (c.toLatin1()) {
        case '0': return kA | kB | kC | kD | kE | kF;
        case '1': return kB | kC;
        case '2': return kA | kB | kD | kE | kG;
        case '3': return kA | kB | kC | kD | kG;
        case '4': return kB | kC | kF | kG;
        case '5': return kA | kC | kD | kF | kG;
        case '6': return kA | kC | kD | kE | kF | kG;
        case '7': return kA | kB | kC;
        case '8': return kA | kB | kC | kD | kE | kF | kG;
        case '9': return kA | kB | kC | kD | kF | kG;
        case '-': return kG;
        case 'E':
        case 'e': return kA | kD | kE | kF | kG;
        case 'F':
        case 'f': return kA | kE | kF | kG;
        case 'n': return kC | kE | kG;
        case 'a': return kA | kB | kC | kD | kE | kG;
        case 'i': return kC;
        case 'r': return kE | kG;
        default: return 0;
    }
}

// One segment as a hexagon between two points, `t` thick.
QPolygonF segmentShape(QPointF from, QPointF to, qreal t) {
    const qreal h = t / 2.0;
    const qreal gap = std::max<qreal>(t * 0.15, 0.4);
    if (from.y() == to.y()) {  // horizontal
        const qreal x0 = from.x() + gap, x1 = to.x() - gap, y = from.y();
        return QPolygonF({QPointF(x0, y), QPointF(x0 + h, y - h), QPointF(x1 - h, y - h),
                          QPointF(x1, y), QPointF(x1 - h, y + h), QPointF(x0 + h, y + h)});
    }
    const qreal y0 = from.y() + gap, y1 = to.y() - gap, x = from.x();
    return QPolygonF({QPointF(x, y0), QPointF(x + h, y0 + h), QPointF(x + h, y1 - h),
                      QPointF(x, y1), QPointF(x - h, y1 - h), QPointF(x - h, y0 + h)});
}

// Draws one character cell (w × h at `origin`), dark segments included.
void drawDigit(QPainter& p, QPointF origin, qreal w, qreal h, unsigned lit, bool point) {
    const qreal t = std::max<qreal>(1.2, std::min(w, h) * 0.16);
    const qreal l = origin.x() + t / 2, r = origin.x() + w - t / 2;
    const qreal top = origin.y() + t / 2, bottom = origin.y() + h - t / 2;
    const qreal mid = (top + bottom) / 2;
    const QPolygonF shapes[7] = {
        segmentShape({l, top}, {r, top}, t),    segmentShape({r, top}, {r, mid}, t),
        segmentShape({r, mid}, {r, bottom}, t), segmentShape({l, bottom}, {r, bottom}, t),
        segmentShape({l, mid}, {l, bottom}, t), segmentShape({l, top}, {l, mid}, t),
        segmentShape({l, mid}, {r, mid}, t),
    };
    const QRectF dot(origin.x() + w + t * 0.35, bottom - t / 2, t, t);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        if (lit & (1u << i)) continue;
        p.setBrush(kSegmentDark);
        p.drawPolygon(shapes[i]);
    }
    if (!point) {
        p.setBrush(kSegmentDark);
        p.drawEllipse(dot);
    }
    // The glow first, then the lit segments over it.
    p.setPen(QPen(kSegmentGlow, t * 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 7; ++i)
        if (lit & (1u << i)) p.drawPolygon(shapes[i]);
    if (point) p.drawEllipse(dot);
    p.setPen(Qt::NoPen);
    p.setBrush(kSegmentLit);
    for (int i = 0; i < 7; ++i)
        if (lit & (1u << i)) p.drawPolygon(shapes[i]);
    if (point) p.drawEllipse(dot);
}

// A dark, recessed display face over the whole rectangle.
void drawDisplayFace(QPainter& p, const QRectF& r) {
    const qreal radius = std::min<qreal>(3.0, std::min(r.width(), r.height()) / 4);
    p.setPen(Qt::NoPen);
    p.setBrush(kDisplayBezel);
    p.drawRoundedRect(r, radius, radius);
    QLinearGradient face(r.topLeft(), r.bottomLeft());
    face.setColorAt(0.0, QColor(2, 6, 8));
    face.setColorAt(1.0, kDisplayBackground);
    p.setBrush(face);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), std::max<qreal>(radius - 1, 0),
                      std::max<qreal>(radius - 1, 0));
}

int clampToInt(long long v, int lo, int hi) {
    return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

template <class T>
void registerOnce(const QString& className) {
    if (DialogLoader::isRegistered(className)) return;
    DialogLoader::registerWidget(className, [](QWidget* parent) { return new T(parent); });
}

}  // namespace

void registerPanelControls() {
    // A class registered already (by an earlier call, or replaced by the
    // program) keeps its factory.
    registerOnce<SegmentDisplay>(QStringLiteral("SegmentDisplay"));
    registerOnce<BarMeter>(QStringLiteral("BarMeter"));
    registerOnce<RotaryKnob>(QStringLiteral("RotaryKnob"));
    registerOnce<Lamp>(QStringLiteral("Lamp"));
    registerOnce<LitSwitch>(QStringLiteral("LitSwitch"));
    registerOnce<SpectrumView>(QStringLiteral("SpectrumView"));
    registerOnce<WaterfallView>(QStringLiteral("WaterfallView"));
}

QString segmentText(double value, int digits, int decimals) {
    if (decimals > 0)
        return QString::fromStdString(formatPrintf("%*.*f", {digits, decimals, value}));
    long long rounded = 0;
    if (std::isfinite(value))
        rounded = std::llround(
            std::clamp(value, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
    return QString::fromStdString(formatPrintf("%0*d", {digits, rounded}));
}

// ---- SegmentDisplay ----

SegmentDisplay::SegmentDisplay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SegmentDisplay::setFormat(int digits, int decimals) {
    digits = std::clamp(digits, 0, 32);
    decimals = std::clamp(decimals, 0, 16);
    if (digits == digits_ && decimals == decimals_) return;
    digits_ = digits;
    decimals_ = decimals;
    updateGeometry();
    render();
}

void SegmentDisplay::setValue(double value) {
    const QString before = text();
    value_ = value;
    if (text() != before) render();
}

QSize SegmentDisplay::sizeHint() const {
    const int cells = std::max<int>(digits_, static_cast<int>(text().remove('.').size()));
    return {cells * 13 + 10, 24};
}

void SegmentDisplay::render() {
    image_ = makeImage(*this);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, width(), height());
    drawDisplayFace(p, area);

    // Cells: every character but the decimal point, which joins the cell before.
    struct Cell {
        unsigned segments = 0;
        bool point = false;
    };
    std::vector<Cell> cells;
    for (const QChar c : text()) {
        if (c == '.' && !cells.empty()) {
            cells.back().point = true;
            continue;
        }
        cells.push_back({segmentsOf(c), false});
    }
    const int count = std::max<int>(static_cast<int>(cells.size()), digits_);
    const qreal margin = std::max<qreal>(3.0, height() * 0.18);
    const qreal digitHeight = std::max<qreal>(height() - 2 * margin, 3.0);
    qreal digitWidth = digitHeight * 0.52;
    qreal pitch = digitWidth * 1.45;
    const qreal available = width() - 2 * margin;
    if (pitch * count > available && count > 0) {
        pitch = available / count;
        digitWidth = pitch / 1.45;
    }
    // Right-aligned with a slight forward slant, as on a real display.
    qreal x = width() - margin - pitch * static_cast<qreal>(cells.size()) + (pitch - digitWidth);
    p.setTransform(QTransform(1, 0, -0.08, 1, 0.04 * height(), 0), true);
    for (const Cell& cell : cells) {
        drawDigit(p, QPointF(x, margin), digitWidth, digitHeight, cell.segments, cell.point);
        x += pitch;
    }
    p.end();
    update();
}

void SegmentDisplay::paintEvent(QPaintEvent*) {
    if (imageStale(image_, *this)) render();
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void SegmentDisplay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

// ---- BarMeter ----

BarMeter::BarMeter(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void BarMeter::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, minimum_, maximum_);
    render();
}

void BarMeter::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    render();
}

int BarMeter::filledLength(int length) const {
    if (length <= 0 || maximum_ <= minimum_) return 0;
    const double share =
        (static_cast<double>(value_) - minimum_) / (static_cast<double>(maximum_) - minimum_);
    return std::clamp(static_cast<int>(std::lround(share * length)), 0, length);
}

void BarMeter::setOrientation(Qt::Orientation orientation) {
    if (orientation == orientation_) return;
    orientation_ = orientation;
    updateGeometry();
    render();
}

QSize BarMeter::sizeHint() const {
    return orientation_ == Qt::Vertical ? QSize(14, 80) : QSize(100, 14);
}

void BarMeter::render() {
    image_ = makeImage(*this);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, width(), height());
    drawDisplayFace(p, area);
    const QRectF inner = area.adjusted(2, 2, -2, -2);
    if (inner.width() <= 0 || inner.height() <= 0) return;
    const bool vertical = orientation_ == Qt::Vertical;
    const int length = static_cast<int>(vertical ? inner.height() : inner.width());
    const int filled = filledLength(length);

    // Green rising to yellow and red at the top of the scale.
    QLinearGradient scale = vertical ? QLinearGradient(inner.bottomLeft(), inner.topLeft())
                                     : QLinearGradient(inner.topLeft(), inner.topRight());
    scale.setColorAt(0.0, QColor(0, 200, 90));
    scale.setColorAt(0.7, QColor(60, 230, 60));
    scale.setColorAt(0.85, QColor(240, 220, 40));
    scale.setColorAt(1.0, QColor(255, 70, 40));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    // The unlit scale, dim, so the meter reads as a scale even at zero.
    p.setOpacity(0.14);
    p.setBrush(scale);
    p.drawRect(inner);
    p.setOpacity(1.0);
    if (filled > 0) {
        const QRectF bar =
            vertical ? QRectF(inner.left(), inner.bottom() - filled, inner.width(), filled)
                     : QRectF(inner.left(), inner.top(), filled, inner.height());
        p.drawRect(bar);
    }
    // Scale divisions every tenth, as thin dark gaps.
    p.setPen(QPen(QColor(0, 0, 0, 110), 1));
    for (int i = 1; i < 10; ++i) {
        const qreal at = length * i / 10.0;
        if (vertical)
            p.drawLine(QPointF(inner.left(), inner.bottom() - at),
                       QPointF(inner.right(), inner.bottom() - at));
        else
            p.drawLine(QPointF(inner.left() + at, inner.top()),
                       QPointF(inner.left() + at, inner.bottom()));
    }
    p.end();
    update();
}

void BarMeter::paintEvent(QPaintEvent*) {
    if (imageStale(image_, *this)) render();
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void BarMeter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

// ---- RotaryKnob ----

RotaryKnob::RotaryKnob(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

void RotaryKnob::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    const int before = value_;
    value_ = std::clamp(value_, minimum_, maximum_);
    render();
    if (value_ != before) emit valueChanged(value_);
}

void RotaryKnob::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    render();
    emit valueChanged(value_);
}

void RotaryKnob::setLabel(const QString& label) {
    if (label == label_) return;
    label_ = label;
    render();
}

int RotaryKnob::position() const {
    if (maximum_ <= minimum_) return 0;
    const double share =
        (static_cast<double>(value_) - minimum_) / (static_cast<double>(maximum_) - minimum_);
    return std::clamp(static_cast<int>(std::lround(share * 270.0)), 0, 270);
}

void RotaryKnob::stepBy(int steps, bool control) {
    const long long target =
        static_cast<long long>(value_) + static_cast<long long>(steps) * (control ? 10 : 1);
    setValue(clampToInt(target, minimum_, maximum_));
}

QSize RotaryKnob::sizeHint() const { return {48, label_.isEmpty() ? 48 : 60}; }

namespace {

// A point on the circle of `radius` around `centre`, `angle` radians
// counter-clockwise from 3 o'clock (screen y grows downwards).
QPointF onCircle(QPointF centre, qreal angle, qreal radius) {
    return QPointF(centre.x() + radius * std::cos(angle), centre.y() - radius * std::sin(angle));
}

// The knob's body: a dark shadow ring, a knurled grip, a brushed cap.
void drawKnobBody(QPainter& p, QPointF centre, qreal knob) {
    QRadialGradient shadow(centre + QPointF(0, knob * 0.1), knob * 1.08);
    shadow.setColorAt(0.85, QColor(0, 0, 0, 140));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(shadow);
    p.drawEllipse(centre + QPointF(0, knob * 0.06), knob * 1.08, knob * 1.08);

    QLinearGradient grip(centre - QPointF(knob, knob), centre + QPointF(knob, knob));
    grip.setColorAt(0.0, QColor(110, 116, 124));
    grip.setColorAt(1.0, QColor(24, 26, 30));
    p.setBrush(grip);
    p.setPen(QPen(QColor(10, 10, 12), 1.0));
    p.drawEllipse(centre, knob, knob);
    // Knurling: short radial ridges around the rim.
    const int ridges = knob > 14 ? 24 : 16;
    p.setPen(QPen(QColor(10, 12, 14, 170), std::max<qreal>(0.8, knob * 0.05)));
    for (int i = 0; i < ridges; ++i) {
        const qreal a = 2 * std::numbers::pi * i / ridges;
        p.drawLine(onCircle(centre, a, knob * 0.78), onCircle(centre, a, knob * 0.97));
    }
    const qreal cap = knob * 0.74;
    QRadialGradient capFace(centre - QPointF(cap * 0.35, cap * 0.45), cap * 1.6);
    capFace.setColorAt(0.0, QColor(150, 156, 164));
    capFace.setColorAt(0.5, QColor(72, 76, 84));
    capFace.setColorAt(1.0, QColor(36, 38, 42));
    p.setBrush(capFace);
    p.setPen(QPen(QColor(20, 22, 24), 0.8));
    p.drawEllipse(centre, cap, cap);
}

}  // namespace

void RotaryKnob::render() {
    image_ = makeImage(*this);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);

    // The label beneath, the knob in the square above it.
    QFont small = font();
    small.setPixelSize(std::clamp(height() / 5, 8, 11));
    const QFontMetrics fm(small);
    const int labelHeight = label_.isEmpty() ? 0 : fm.height();
    const qreal side = std::min<qreal>(width(), height() - labelHeight);
    if (side < 8) {
        p.end();
        update();
        return;
    }
    const QPointF centre(width() / 2.0, side / 2.0);
    const qreal outer = side / 2.0 - 0.5;
    const qreal scaleWidth = std::max<qreal>(2.0, side * 0.09);
    const qreal knob = outer - scaleWidth - 1.5;

    // Angle on screen (degrees, counter-clockwise from 3 o'clock) of a pointer
    // position: 0 lies at 7:30 and 270 at 4:30, turning clockwise.
    auto screenAngle = [](qreal position) { return (225.0 - position) * std::numbers::pi / 180.0; };
    auto at = [&](qreal angle, qreal radius) { return onCircle(centre, angle, radius); };

    // The scale: dots around the knob, lit up to the current position.
    const int pos = position();
    for (int i = 0; i <= 10; ++i) {
        const qreal tick = i * 27.0;
        const bool lit = tick <= pos && (pos > 0 || i == 0);
        p.setPen(Qt::NoPen);
        p.setBrush(lit ? kSegmentLit : QColor(60, 72, 80));
        const qreal dot = std::max<qreal>(1.0, scaleWidth * (i % 5 == 0 ? 0.42 : 0.3));
        p.drawEllipse(at(screenAngle(tick), outer - scaleWidth / 2), dot, dot);
    }

    drawKnobBody(p, centre, knob);

    // The pointer: a lit line from near the centre to the rim.
    const qreal angle = screenAngle(pos);
    const QColor pointer = hasFocus() ? QColor(255, 200, 60) : QColor(235, 245, 250);
    p.setPen(
        QPen(QColor(0, 0, 0, 120), std::max<qreal>(2.2, knob * 0.16), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at(angle, knob * 0.25) + QPointF(0.6, 0.6),
               at(angle, knob * 0.9) + QPointF(0.6, 0.6));
    p.setPen(QPen(pointer, std::max<qreal>(1.6, knob * 0.11), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at(angle, knob * 0.25), at(angle, knob * 0.9));

    if (labelHeight > 0) {
        p.setFont(small);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        p.drawText(QRectF(0, height() - labelHeight, width(), labelHeight), Qt::AlignCenter,
                   label_);
    }
    p.end();
    update();
}

void RotaryKnob::paintEvent(QPaintEvent*) {
    if (imageStale(image_, *this)) render();
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void RotaryKnob::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

void RotaryKnob::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    render();
}

void RotaryKnob::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    render();
}

void RotaryKnob::keyPressEvent(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right: stepBy(1, control); break;
        case Qt::Key_Down:
        case Qt::Key_Left: stepBy(-1, control); break;
        case Qt::Key_PageUp:
            setValue(clampToInt(static_cast<long long>(value_) + pageStep_, minimum_, maximum_));
            break;
        case Qt::Key_PageDown:
            setValue(clampToInt(static_cast<long long>(value_) - pageStep_, minimum_, maximum_));
            break;
        case Qt::Key_Home: setValue(minimum_); break;
        case Qt::Key_End: setValue(maximum_); break;
        default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void RotaryKnob::wheelEvent(QWheelEvent* event) {
    // High-resolution wheels send parts of a notch; a whole notch is one step.
    wheelRemainder_ += event->angleDelta().y() + event->angleDelta().x();
    const int steps = wheelRemainder_ / 120;
    wheelRemainder_ -= steps * 120;
    if (steps != 0) stepBy(steps, event->modifiers() & Qt::ControlModifier);
    event->accept();
}

void RotaryKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragOrigin_ = event->position().toPoint();
    dragValue_ = value_;
    event->accept();
}

void RotaryKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    // Up or right turns up; 200 pixels sweep the whole range, but every pixel
    // counts on short ranges.
    const QPoint moved = event->position().toPoint() - dragOrigin_;
    const int pixels = moved.x() - moved.y();
    const double span = static_cast<double>(maximum_) - minimum_;
    const double perPixel = std::max(span / 200.0, span > 0 ? std::min(1.0, span / 50.0) : 0.0);
    const long long target = dragValue_ + std::llround(pixels * perPixel);
    setValue(clampToInt(target, minimum_, maximum_));
    event->accept();
}

// ---- Lamp ----

namespace {

// A round lamp in `rect`: lit in `colour` with a glint, or dark.
void drawLamp(QPainter& p, const QRectF& rect, const QColor& colour, bool lit) {
    const QPointF c = rect.center();
    const qreal r = std::min(rect.width(), rect.height()) / 2.0;
    if (r < 1) return;
    // Bezel.
    QLinearGradient bezel(c - QPointF(r, r), c + QPointF(r, r));
    bezel.setColorAt(0.0, QColor(30, 30, 34));
    bezel.setColorAt(1.0, QColor(150, 150, 158));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(c, r, r);
    const qreal inner = std::max<qreal>(r - std::max<qreal>(1.0, r * 0.2), 0.5);
    if (lit) {
        p.setBrush(colour);
        p.drawEllipse(c, inner, inner);
        // A soft glint at the upper left.
        QRadialGradient glint(c - QPointF(inner * 0.35, inner * 0.35), inner * 0.55);
        glint.setColorAt(0.0, QColor(255, 255, 255, 190));
        glint.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setBrush(glint);
        p.drawEllipse(c - QPointF(inner * 0.35, inner * 0.35), inner * 0.55, inner * 0.55);
    } else {
        QColor dark = colour.darker(500);
        dark = QColor((dark.red() + 30) / 2, (dark.green() + 30) / 2, (dark.blue() + 30) / 2);
        QRadialGradient face(c - QPointF(inner * 0.3, inner * 0.3), inner * 1.3);
        face.setColorAt(0.0, dark.lighter(160));
        face.setColorAt(1.0, dark);
        p.setBrush(face);
        p.drawEllipse(c, inner, inner);
    }
}

}  // namespace

Lamp::Lamp(QWidget* parent) : QWidget(parent) {}

void Lamp::setLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    render();
}

void Lamp::setColour(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    render();
}

QSize Lamp::sizeHint() const { return {14, 14}; }

void Lamp::render() {
    image_ = makeImage(*this);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    drawLamp(p, QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side), colour_, lit_);
    p.end();
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    if (imageStale(image_, *this)) render();
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void Lamp::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

// ---- LitSwitch ----

LitSwitch::LitSwitch(QWidget* parent) : QPushButton(parent) {}

void LitSwitch::setLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

void LitSwitch::setLitColour(const QColor& colour) {
    if (colour == litColour_) return;
    litColour_ = colour;
    update();
}

QSize LitSwitch::sizeHint() const {
    const QFontMetrics fm(font());
    const int lamp = std::max(8, fm.height() * 2 / 3);
    return {fm.horizontalAdvance(text()) + lamp + 22, std::max(24, fm.height() + 10)};
}

void LitSwitch::render() {
    image_ = makeImage(*this);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown() || isChecked();
    const bool enabled = isEnabled();
    const QRectF face = QRectF(0, 0, width(), height()).adjusted(0.5, 0.5, -0.5, -0.5);

    // A raised face that sinks when pressed.
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0.0, down ? QColor(62, 66, 72) : QColor(104, 110, 118));
    fill.setColorAt(1.0, down ? QColor(78, 82, 88) : QColor(56, 60, 66));
    p.setPen(QPen(QColor(12, 12, 14), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(face, 3, 3);
    const QRectF bevel = face.adjusted(1, 1, -1, -1);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(down ? QColor(30, 32, 36) : QColor(160, 166, 174), 1.0));
    p.drawLine(bevel.topLeft() + QPointF(2, 0), bevel.topRight() - QPointF(2, 0));
    p.setPen(QPen(down ? QColor(110, 114, 120) : QColor(32, 34, 38), 1.0));
    p.drawLine(bevel.bottomLeft() + QPointF(2, 0), bevel.bottomRight() - QPointF(2, 0));
    if (hasFocus()) {
        p.setPen(QPen(QColor(80, 200, 240, 180), 1.0));
        p.drawRoundedRect(face.adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
    }

    // Lamp at the left, caption beside it.
    const QFontMetrics fm(font());
    const qreal offset = down ? 1.0 : 0.0;
    const qreal lamp = std::clamp<qreal>(fm.height() * 0.7, 6.0, height() - 6.0);
    const QRectF lampRect(7 + offset, (height() - lamp) / 2.0 + offset, lamp, lamp);
    drawLamp(p, lampRect, litColour_, lit_);
    p.setFont(font());
    p.setPen(enabled ? QColor(236, 240, 244) : QColor(140, 144, 150));
    const QRectF caption(lampRect.right() + 5, offset, width() - lampRect.right() - 10, height());
    p.drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic, text());
    p.end();
}

void LitSwitch::paintEvent(QPaintEvent*) {
    // Redrawn only when something it shows changed.
    const int state = int(isDown() || isChecked()) | int(isEnabled()) << 1 | int(hasFocus()) << 2 |
                      int(lit_) << 3;
    const QString key = QStringLiteral("%1x%2@%3|%4|%5|%6|%7")
                            .arg(width())
                            .arg(height())
                            .arg(devicePixelRatioF())
                            .arg(state)
                            .arg(litColour_.rgba())
                            .arg(font().key(), text());
    if (key != imageKey_ || image_.isNull()) {
        imageKey_ = key;
        render();
    }
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

}  // namespace zeb::ui
