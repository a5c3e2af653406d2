#include "MapView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zeb::zebsynv {
namespace {

constexpr double kMinScale = 1.0;  // pixels per degree
constexpr double kMaxScale = 400.0;
constexpr double kCircle = 5.0;  // station circle radius, pixels
constexpr double kShaft = 30.0;  // wind barb length from the centre
constexpr double kHitRadius = 12.0;
constexpr double kFitMargin = 4.0;    // degrees around the stations
constexpr double kMinFitSpan = 12.0;  // degrees
constexpr double kPanStep = 60.0;     // pixels per arrow key

const QColor kSea(0xdc, 0xe9, 0xf5);
const QColor kLand(0xf4, 0xf0, 0xe4);
const QColor kCoast(0x7a, 0x8a, 0x99);
const QColor kBorder(0xb0, 0xa8, 0x98);
const QColor kGrid(0xc4, 0xd4, 0xe4);

QPainterPath pathOf(const WorldMap& map, LineKind kind) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const Polyline& line : map.lines) {
        if (line.kind != kind || line.points.empty()) continue;
        path.moveTo(line.points.front().lon, -line.points.front().lat);
        for (std::size_t i = 1; i < line.points.size(); ++i)
            path.lineTo(line.points[i].lon, -line.points[i].lat);
    }
    return path;
}

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// The unit vector pointing towards compass bearing `degrees` on the screen.
QPointF bearing(double degrees) {
    return {std::sin(radians(degrees)), -std::cos(radians(degrees))};
}

}  // namespace

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 200);
    setMouseTracking(false);
}

void MapView::setWorldMap(const WorldMap* map) {
    hasMap_ = map != nullptr && !map->lines.empty();
    land_ = hasMap_ ? pathOf(*map, LineKind::Coast) : QPainterPath();
    borders_ = hasMap_ ? pathOf(*map, LineKind::Border) : QPainterPath();
    update();
}

void MapView::setStations(const std::vector<StationPlot>* stations) {
    stations_ = stations;
    selected_ = -1;
    update();
}

QPointF MapView::project(double latitude, double longitude) const {
    return {width() / 2.0 + (longitude - centerLon_) * scale_,
            height() / 2.0 - (latitude - centerLat_) * scale_};
}

weather::GeoPosition MapView::unproject(QPointF point) const {
    return {centerLat_ - (point.y() - height() / 2.0) / scale_,
            centerLon_ + (point.x() - width() / 2.0) / scale_};
}

void MapView::clampView() {
    scale_ = std::clamp(scale_, kMinScale, kMaxScale);
    centerLat_ = std::clamp(centerLat_, -90.0, 90.0);
    centerLon_ = std::clamp(centerLon_, -180.0, 180.0);
    update();
}

void MapView::fitToStations() {
    if (width() <= 1 || height() <= 1) fitPending_ = true;
    double south = 90, north = -90, west = 180, east = -180;
    bool any = false;
    if (stations_)
        for (const StationPlot& plot : *stations_) {
            if (!plot.position) continue;
            any = true;
            south = std::min(south, plot.position->latitude);
            north = std::max(north, plot.position->latitude);
            west = std::min(west, plot.position->longitude);
            east = std::max(east, plot.position->longitude);
        }
    if (!any) return showWorld();
    centerLat_ = (south + north) / 2;
    centerLon_ = (west + east) / 2;
    const double spanLat = std::max(north - south + 2 * kFitMargin, kMinFitSpan);
    const double spanLon = std::max(east - west + 2 * kFitMargin, kMinFitSpan);
    scale_ = std::min(std::max(width(), 1) / spanLon, std::max(height(), 1) / spanLat);
    clampView();
}

void MapView::showWorld() {
    centerLat_ = 0;
    centerLon_ = 0;
    scale_ = std::min(std::max(width(), 1) / 360.0, std::max(height(), 1) / 180.0);
    clampView();
}

void MapView::zoomBy(double factor, std::optional<QPointF> anchor) {
    const QPointF at = anchor.value_or(QPointF(width() / 2.0, height() / 2.0));
    const weather::GeoPosition fixed = unproject(at);
    scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    // Keep the point under the anchor where it is.
    centerLon_ = fixed.longitude - (at.x() - width() / 2.0) / scale_;
    centerLat_ = fixed.latitude + (at.y() - height() / 2.0) / scale_;
    clampView();
}

void MapView::panBy(QPointF pixels) {
    centerLon_ -= pixels.x() / scale_;
    centerLat_ += pixels.y() / scale_;
    clampView();
}

int MapView::stationAt(QPointF point) const {
    if (!stations_) return -1;
    int best = -1;
    double bestDistance = kHitRadius;
    for (std::size_t i = 0; i < stations_->size(); ++i) {
        const auto& position = (*stations_)[i].position;
        if (!position) continue;
        const QPointF d = project(position->latitude, position->longitude) - point;
        const double distance = std::hypot(d.x(), d.y());
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

void MapView::setSelected(int index) {
    selected_ = index;
    update();
}

void MapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), hasMap_ ? kSea : QColor(Qt::white));
    paintMap(painter);
    paintGraticule(painter);
    if (!stations_) return;
    for (std::size_t i = 0; i < stations_->size(); ++i)
        if (static_cast<int>(i) != selected_) paintStation(painter, (*stations_)[i], false);
    if (selected_ >= 0 && selected_ < static_cast<int>(stations_->size()))
        paintStation(painter, (*stations_)[static_cast<std::size_t>(selected_)], true);
}

void MapView::paintMap(QPainter& painter) const {
    if (!hasMap_) return;
    painter.save();
    const QPointF origin = project(0, 0);
    painter.setTransform(QTransform(scale_, 0, 0, scale_, origin.x(), origin.y()));
    painter.setPen(QPen(kCoast, 0));
    painter.setBrush(kLand);
    painter.drawPath(land_);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kBorder, 0, Qt::DashLine));
    painter.drawPath(borders_);
    painter.restore();
}

void MapView::paintGraticule(QPainter& painter) const {
    painter.save();
    const QColor line = hasMap_ ? kGrid : QColor(0xa0, 0xb0, 0xc0);
    painter.setPen(QPen(line, 0));
    const QPointF topLeft = project(90, -180), bottomRight = project(-90, 180);
    for (int lon = -180; lon <= 180; lon += 10) {
        const double x = project(0, lon).x();
        painter.drawLine(QPointF(x, topLeft.y()), QPointF(x, bottomRight.y()));
    }
    for (int lat = -90; lat <= 90; lat += 10) {
        const double y = project(lat, 0).y();
        painter.setPen(QPen(lat == 0 ? QColor(0x80, 0x90, 0xa0) : line, 0));
        painter.drawLine(QPointF(topLeft.x(), y), QPointF(bottomRight.x(), y));
    }
    painter.restore();
}

void MapView::paintStation(QPainter& painter, const StationPlot& plot, bool selected) const {
    if (!plot.position) return;
    const QPointF at = project(plot.position->latitude, plot.position->longitude);
    if (!rect().adjusted(-60, -60, 60, 60).contains(at.toPoint())) return;
    if (selected) {
        painter.setPen(QPen(QColor(0xff, 0x8c, 0x00), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, kCircle + 5, kCircle + 5);
    }
    paintStationPlot(painter, at, plot);
}

void MapView::resizeEvent(QResizeEvent*) {
    if (fitPending_ && width() > 1 && height() > 1) {
        fitPending_ = false;
        fitToStations();
    }
}

void MapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressAt_ = event->position();
    lastDrag_ = event->position();
    dragged_ = false;
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressAt_) return;
    const QPointF d = event->position() - *pressAt_;
    if (!dragged_ && std::hypot(d.x(), d.y()) < 4) return;
    dragged_ = true;
    setCursor(Qt::ClosedHandCursor);
    panBy(event->position() - lastDrag_);
    lastDrag_ = event->position();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressAt_) return;
    pressAt_.reset();
    unsetCursor();
    if (dragged_) return;
    const int index = stationAt(event->position());
    if (index >= 0) {
        setSelected(index);
        emit stationClicked(index);
    }
}

void MapView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) zoomBy(std::pow(1.25, steps), event->position());
    event->accept();
}

void MapView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left: panBy({kPanStep, 0}); break;
        case Qt::Key_Right: panBy({-kPanStep, 0}); break;
        case Qt::Key_Up: panBy({0, kPanStep}); break;
        case Qt::Key_Down: panBy({0, -kPanStep}); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: zoomBy(1.5); break;
        case Qt::Key_Minus: zoomBy(1 / 1.5); break;
        default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void paintWindBarb(QPainter& painter, QPointF at, double fromDegrees, double knots) {
    const QPointF along = bearing(fromDegrees);
    const QPointF across(-along.y(), along.x());  // feathers to the shaft's left
    const QPointF tip = at + along * kShaft;
    painter.drawLine(at + along * kCircle, tip);
    int rest = static_cast<int>(std::lround(knots / 5.0)) * 5;
    double offset = 0;  // from the tip along the shaft, pixels
    painter.setBrush(painter.pen().color());
    while (rest >= 50) {
        const QPointF base = tip - along * offset;
        const QPointF polygon[] = {base, base + across * 12 - along * 3, base - along * 7};
        painter.drawPolygon(polygon, 3);
        offset += 9;
        rest -= 50;
    }
    for (; rest >= 10; rest -= 10, offset += 5) {
        const QPointF base = tip - along * offset;
        painter.drawLine(base, base + across * 12 + along * 4);
    }
    if (rest >= 5) {
        // A lone half barb stands back from the tip so it is not read as a full one.
        if (offset == 0) offset = 5;
        const QPointF base = tip - along * offset;
        painter.drawLine(base, base + across * 6 + along * 2);
    }
}

void paintWeatherGlyph(QPainter& painter, QPointF at, WeatherGlyph glyph) {
    painter.save();
    painter.setPen(QPen(QColor(0x1a, 0x7f, 0x2e), 1.6));
    painter.setBrush(QColor(0x1a, 0x7f, 0x2e));
    switch (glyph) {
        case WeatherGlyph::None: break;
        case WeatherGlyph::Rain: painter.drawEllipse(at, 2.6, 2.6); break;
        case WeatherGlyph::Drizzle:
            painter.drawEllipse(at, 2.2, 2.2);
            painter.drawLine(at + QPointF(2, 0), at + QPointF(-1, 5));
            break;
        case WeatherGlyph::Snow:
            for (int angle : {0, 60, 120})
                painter.drawLine(at - bearing(angle) * 4, at + bearing(angle) * 4);
            break;
        case WeatherGlyph::Fog:
            painter.setPen(QPen(QColor(0xe0, 0xa0, 0x20), 1.6));
            for (int dy : {-3, 0, 3}) painter.drawLine(at + QPointF(-5, dy), at + QPointF(5, dy));
            break;
        case WeatherGlyph::Showers: {
            painter.setBrush(Qt::NoBrush);
            const QPointF triangle[] = {at + QPointF(-4.5, -3), at + QPointF(4.5, -3),
                                        at + QPointF(0, 5)};
            painter.drawPolygon(triangle, 3);
            break;
        }
        case WeatherGlyph::Thunderstorm: {
            painter.setPen(QPen(QColor(0xc0, 0x20, 0x20), 1.8));
            const QPointF bolt[] = {at + QPointF(1, -6), at + QPointF(-3, 0), at + QPointF(2, 0),
                                    at + QPointF(-2, 6)};
            painter.drawPolyline(bolt, 4);
            break;
        }
    }
    painter.restore();
}

void paintStationPlot(QPainter& painter, QPointF at, const StationPlot& plot) {
    painter.save();
    const QPen ink(QColor(0x20, 0x20, 0x30), 1.2);
    painter.setPen(ink);
    const bool calm = plot.windKnots && *plot.windKnots < 2.5;
    if (plot.windKnots && plot.windDirection && !calm)
        paintWindBarb(painter, at, *plot.windDirection, *plot.windKnots);
    painter.setPen(ink);
    painter.setBrush(Qt::white);
    painter.drawEllipse(at, kCircle, kCircle);
    if (calm) painter.drawEllipse(at, kCircle + 3, kCircle + 3);
    if (plot.cloudOktas && *plot.cloudOktas == 9) {
        const double d = kCircle * 0.7;
        painter.drawLine(at + QPointF(-d, -d), at + QPointF(d, d));
        painter.drawLine(at + QPointF(-d, d), at + QPointF(d, -d));
    } else if (plot.cloudOktas && *plot.cloudOktas > 0) {
        painter.setBrush(ink.color());
        const QRectF box(at.x() - kCircle, at.y() - kCircle, 2 * kCircle, 2 * kCircle);
        painter.drawPie(box, 90 * 16, -std::min(*plot.cloudOktas, 8) * 45 * 16);
    }
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    if (plot.temperature) {
        painter.setPen(QColor(0xb0, 0x20, 0x20));
        const QString text = QString::number(*plot.temperature, 'f', 0);
        painter.drawText(QRectF(at.x() - 48, at.y() - 22, 40, 14), Qt::AlignRight, text);
    }
    if (plot.pressure) {
        painter.setPen(QColor(0x20, 0x40, 0xa0));
        painter.drawText(QRectF(at.x() + 8, at.y() - 22, 48, 14), Qt::AlignLeft,
                         QString::number(*plot.pressure, 'f', 1));
    }
    if (plot.weatherCode)
        paintWeatherGlyph(painter, at + QPointF(-15, 6), weatherGlyph(*plot.weatherCode));
    painter.restore();
}

}  // namespace zeb::zebsynv
