// The map of the observation viewer: coastlines and borders (or a 10°
// graticule without the map data) in an equirectangular projection, the
// station plots of one observation time on it, panned by dragging or the
// arrow keys and zoomed by the wheel or +/-. A click on a station plot
// selects it.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QWidget>

#include <optional>
#include <vector>

#include "MapFile.h"
#include "Stations.h"

namespace zeb::zebsynv {

class MapView : public QWidget {
    Q_OBJECT
public:
    explicit MapView(QWidget* parent = nullptr);

    // The coastlines and borders; nullptr draws the graticule alone.
    void setWorldMap(const WorldMap* map);
    bool hasWorldMap() const { return hasMap_; }
    // The plots drawn (they must stay alive while shown).
    void setStations(const std::vector<StationPlot>* stations);

    // Where a latitude and longitude (degrees, north and east positive) lie
    // in the widget for the current view, and back.
    QPointF project(double latitude, double longitude) const;
    weather::GeoPosition unproject(QPointF point) const;

    // The view: the point at the widget's centre and the pixels per degree.
    double centerLatitude() const { return centerLat_; }
    double centerLongitude() const { return centerLon_; }
    double scale() const { return scale_; }

    // Shows all placed stations with a margin (the world without any).
    void fitToStations();
    void showWorld();
    void zoomBy(double factor, std::optional<QPointF> anchor = std::nullopt);
    void panBy(QPointF pixels);

    // The index of the plot under `point` (within a few pixels), or -1.
    int stationAt(QPointF point) const;
    int selected() const { return selected_; }
    void setSelected(int index);

signals:
    void stationClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void clampView();
    void paintMap(class QPainter& painter) const;
    void paintGraticule(QPainter& painter) const;
    void paintStation(QPainter& painter, const StationPlot& plot, bool selected) const;

    QPainterPath land_;  // in degrees: x east, y south
    QPainterPath borders_;
    bool hasMap_ = false;
    const std::vector<StationPlot>* stations_ = nullptr;
    double centerLat_ = 20, centerLon_ = 0, scale_ = 3;
    int selected_ = -1;
    std::optional<QPointF> pressAt_;
    QPointF lastDrag_;
    bool dragged_ = false;
    bool fitPending_ = false;
};

// Draws one station plot centred at `at`: the circle filled by the cloud
// cover, the wind barb, temperature upper left, pressure upper right and the
// present-weather symbol left.
void paintStationPlot(QPainter& painter, QPointF at, const StationPlot& plot);
void paintWeatherGlyph(QPainter& painter, QPointF at, WeatherGlyph glyph);
void paintWindBarb(QPainter& painter, QPointF at, double fromDegrees, double knots);

}  // namespace zeb::zebsynv
