#include "SynopViewer.h"

#include <QAction>
#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include <charconv>

#include "common/SuiteDirs.h"
#include "ui/ReceivedPanel.h"

namespace zeb::zebsynv {
namespace {

namespace fs = std::filesystem;

QString utf8(const std::string& text) { return QString::fromStdString(text); }

std::optional<weather::WeatherData> loadData(const fs::path& workDir) {
    auto data = weather::loadWeatherData(workDir / weather::kDataDir);
    if (!data)
        if (auto shipped = findShared(weather::kDataDir)) data = weather::loadWeatherData(*shipped);
    if (!data) return std::nullopt;
    return std::move(*data);
}

}  // namespace

std::optional<TimeKey> parseKey(const fs::path& argument) {
    const std::string text = argument.filename().string();
    TimeKey key = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), key);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || key < 0)
        return std::nullopt;
    return key;
}

SynopViewer::SynopViewer(fs::path workDir, QWidget* parent)
    : QMainWindow(parent), workDir_(std::move(workDir)), data_(loadData(workDir_)) {
    buildWindow();
    buildActions();
    if (auto shipped = findShared(kWorldMapFile)) {
        loadWorldMap(*shipped);
    } else {
        mapNote_ = tr("no world map installed: graticule only");
    }
    refreshList();
    updateStatus();
}

SynopViewer::~SynopViewer() = default;

void SynopViewer::buildWindow() {
    setWindowTitle(QString::fromUtf8(kClassName));
    auto* split = new QSplitter(this);
    auto* left = new QWidget(split);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 0, 4);
    leftLayout->addWidget(new QLabel(tr("Observation times"), left));
    list_ = new QListWidget(left);
    leftLayout->addWidget(list_, 3);
    leftLayout->addWidget(new QLabel(tr("Not placed"), left));
    unplaced_ = new QListWidget(left);
    leftLayout->addWidget(unplaced_, 1);
    map_ = new MapView(split);
    report_ = new QTextEdit(split);
    report_->setReadOnly(true);
    report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    report_->setPlaceholderText(tr("Click a station to read its report."));
    split->addWidget(left);
    split->addWidget(map_);
    split->addWidget(report_);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 760, 320});
    setCentralWidget(split);
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);
    resize(1280, 760);

    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(batches_.size()) &&
            key_ != batches_[static_cast<std::size_t>(row)].key)
            openKey(batches_[static_cast<std::size_t>(row)].key);
    });
    connect(map_, &MapView::stationClicked, this, &SynopViewer::showStation);
}

void SynopViewer::buildActions() {
    QToolBar* tools = addToolBar(tr("Map"));
    tools->setMovable(false);
    const auto add = [this, tools](const QString& text, const QKeySequence& keys, auto slot) {
        QAction* action = tools->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
    };
    add(tr("Fit to stations"), QKeySequence(Qt::Key_F), [this] { map_->fitToStations(); });
    add(tr("Whole world"), QKeySequence(Qt::Key_W), [this] { map_->showWorld(); });
    add(tr("Zoom in"), QKeySequence::ZoomIn, [this] { map_->zoomBy(1.5); });
    add(tr("Zoom out"), QKeySequence::ZoomOut, [this] { map_->zoomBy(1 / 1.5); });
    add(tr("Reload"), QKeySequence::Refresh, [this] { reload(); });
}

void SynopViewer::loadWorldMap(const fs::path& path) {
    auto map = readWorldMap(path);
    if (!map) {
        world_.reset();
        mapNote_ = tr("world map %1 cannot be read (%2): graticule only")
                       .arg(QString::fromStdString(path.string()), utf8(map.error().message));
    } else {
        world_ = std::make_unique<WorldMap>(std::move(*map));
        mapNote_.clear();
    }
    map_->setWorldMap(world_.get());
    updateStatus();
}

void SynopViewer::refreshList() {
    batches_ = listBatches(workDir_);
    const QSignalBlocker block(list_);
    list_->clear();
    for (const BatchEntry& b : batches_)
        list_->addItem(QStringLiteral("%1  [%2]").arg(utf8(batchTime(b.key))).arg(b.records));
    for (std::size_t i = 0; i < batches_.size(); ++i)
        if (key_ == batches_[i].key) list_->setCurrentRow(static_cast<int>(i));
}

void SynopViewer::openKey(TimeKey key) {
    key_ = key;
    batch_ = loadBatch(workDir_, key, data_ ? &*data_ : nullptr);
    problem_ = utf8(batch_.problem);
    refreshList();
    map_->setStations(&batch_.placed);
    map_->fitToStations();
    unplaced_->clear();
    for (const StationPlot& plot : batch_.notPlaced)
        unplaced_->addItem(plot.name == plot.id ? utf8(plot.id) : utf8(plot.id + " " + plot.name));
    report_->clear();
    setWindowTitle(
        QStringLiteral("%1 — %2").arg(QString::fromUtf8(kClassName), utf8(batchTime(key))));
    updateStatus();
}

void SynopViewer::openNewest() {
    refreshList();
    if (!batches_.empty()) return openKey(batches_.front().key);
    // Nothing to show; the station file may still have something to say.
    batch_ = loadBatch(workDir_, 0, nullptr);
    problem_ = batch_.problem.empty() ? tr("SYNOP/STATION.DAT holds no observations")
                                      : utf8(batch_.problem);
    updateStatus();
}

void SynopViewer::openArgument(const fs::path& argument) {
    if (const auto key = parseKey(argument)) return openKey(*key);
    openNewest();
    problem_ = tr("\"%1\" is no observation time (seconds since 1970 UTC)")
                   .arg(QString::fromStdString(argument.filename().string()));
    updateStatus();
}

void SynopViewer::reload() {
    if (key_) {
        const weather::GeoPosition centre{map_->centerLatitude(), map_->centerLongitude()};
        const double scale = map_->scale();
        openKey(*key_);
        // Keep the user's view over a reload.
        map_->zoomBy(scale / map_->scale());
        map_->panBy(map_->project(centre.latitude, centre.longitude) -
                    QPointF(map_->width() / 2.0, map_->height() / 2.0));
    } else {
        openNewest();
    }
}

void SynopViewer::showStation(int index) {
    if (index < 0 || index >= static_cast<int>(batch_.placed.size())) return;
    const StationPlot& plot = batch_.placed[static_cast<std::size_t>(index)];
    map_->setSelected(index);
    const QString heading = utf8(plot.id == plot.name ? plot.id : plot.id + "  " + plot.name);
    report_->setPlainText(heading + QStringLiteral("\n\n") +
                          ui::observationText({plot.bytes}, data_ ? &*data_ : nullptr, nullptr, 0));
}

QString SynopViewer::reportText() const { return report_->toPlainText(); }

void SynopViewer::updateStatus() {
    QStringList parts;
    if (key_) {
        parts << utf8(batchTime(*key_));
        parts << tr("%n station(s) drawn", nullptr, static_cast<int>(batch_.placed.size()));
        parts << tr("%1 not placed").arg(batch_.notPlaced.size());
    }
    if (!data_) parts << tr("no station table (DATA/WMOSTAT.DAT)");
    if (!problem_.isEmpty()) parts << problem_;
    if (!mapNote_.isEmpty()) parts << mapNote_;
    status_->setText(parts.join(QStringLiteral(" — ")));
}

QString SynopViewer::statusText() const { return status_->text(); }

void SynopViewer::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

bool SynopViewer::takeMessage(const QString& name, const QByteArray& payload) {
    if (name != QLatin1String(kOpenMessage)) return false;
    if (payload.isEmpty()) {
        openNewest();
    } else {
        openArgument(fs::path(payload.toStdString()));
    }
    bringToFront();
    return true;
}

}  // namespace zeb::zebsynv
