// The window of the observation map ("ZEB-WorldMap"): the observation times
// of SYNOP/STATION.DAT, newest first with their number of reports, beside the
// map of the chosen time's station plots; the report of a clicked station in
// plain language in a side panel; the reports that cannot be placed listed
// below the times, and their count in the status line.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "MapFile.h"
#include "MapView.h"
#include "Stations.h"
#include "weather/WeatherData.h"

class QLabel;
class QListWidget;
class QTextEdit;

namespace zeb::zebsynv {

inline constexpr const char* kClassName = "ZEB-WorldMap";
// Registered message by which a second start hands its observation time to
// the running map: the payload ends in the time key (decimal seconds since
// 1970 UTC), or is empty for the newest time.
inline constexpr const char* kOpenMessage = "ZEB_SYNV_OPEN";

// The time key a command-line argument names (its last path component in
// decimal seconds), or nullopt.
std::optional<TimeKey> parseKey(const std::filesystem::path& argument);

class SynopViewer : public QMainWindow {
    Q_OBJECT
public:
    // Loads the weather data of `workDir` (else the shipped one) and the
    // shipped world map.
    explicit SynopViewer(std::filesystem::path workDir, QWidget* parent = nullptr);
    ~SynopViewer() override;

    // Shows the observations of `key`, the newest time, or what a command-
    // line argument names.
    void openKey(TimeKey key);
    void openNewest();
    void openArgument(const std::filesystem::path& argument);

    // The world map from a file (a missing or bad one: the graticule alone,
    // with the reason in the status line).
    void loadWorldMap(const std::filesystem::path& path);
    bool hasWorldMap() const { return map_->hasWorldMap(); }

    std::optional<TimeKey> key() const { return key_; }
    const std::vector<BatchEntry>& batches() const { return batches_; }
    const Batch& batch() const { return batch_; }
    MapView* mapView() const { return map_; }
    QListWidget* batchList() const { return list_; }
    QString statusText() const;
    QString reportText() const;

    // Shows the report of the placed station `index` in the side panel.
    void showStation(int index);
    // Rereads the station file (reports arrive while the map runs).
    void reload();

    void bringToFront();
    // kOpenMessage shows the time it names; false for any other message.
    bool takeMessage(const QString& name, const QByteArray& payload);

private:
    void buildWindow();
    void buildActions();
    void refreshList();
    void updateStatus();

    std::filesystem::path workDir_;
    std::optional<weather::WeatherData> data_;
    std::unique_ptr<WorldMap> world_;
    QString mapNote_;
    QString problem_;
    std::vector<BatchEntry> batches_;
    Batch batch_;
    std::optional<TimeKey> key_;

    MapView* map_ = nullptr;
    QListWidget* list_ = nullptr;
    QListWidget* unplaced_ = nullptr;
    QTextEdit* report_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace zeb::zebsynv
