// The observation map's window on a station file written as the decoders
// write it: where the stations are drawn, switching observation times, the
// report of a clicked station, and station files that cannot be read wholly.
#include "SynopTestSupport.h"
#include "SynopViewer.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace zeb::zebsynv::test {
namespace {

namespace fs = std::filesystem;

double degrees(int d, int m) { return d + m / 60.0; }

class SynopViewerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!copySuiteData(dir_.path())) GTEST_SKIP() << "the reference DATA is not staged";
        append(dir_.path(), landReport(kNoon, 10637));
        append(dir_.path(), shipReport(kNoon, 54 * 60 + 12, 12 * 60 + 12));
        append(dir_.path(), landReport(kNoon, 99999));  // not in the table, no position
        append(dir_.path(), landReport(kEvening, 10637));
    }

    // The window at a fixed size, its map laid out.
    std::unique_ptr<SynopViewer> open(std::optional<TimeKey> key) const {
        auto viewer = std::make_unique<SynopViewer>(dir_.path());
        viewer->resize(1280, 760);
        viewer->show();
        QApplication::processEvents();
        key ? viewer->openKey(*key) : viewer->openNewest();
        return viewer;
    }

    static const StationPlot* plot(const SynopViewer& viewer, const std::string& id) {
        for (const StationPlot& p : viewer.batch().placed)
            if (p.id == id) return &p;
        return nullptr;
    }

    TempDir dir_;
};

TEST_F(SynopViewerWindow, DrawsStationsWhereTheirPositionsLie) {
    const auto viewer = open(kNoon);
    const MapView& map = *viewer->mapView();
    const struct {
        const char* id;
        double latitude, longitude;  // from the table's or the report's degrees and minutes
    } cases[] = {
        {"10637", degrees(50, 3), degrees(8, 36)},
        {"DBBH", degrees(54, 12), -degrees(12, 12)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const StationPlot* p = plot(*viewer, c.id);
        ASSERT_NE(p, nullptr);
        const QPointF drawn = map.project(p->position->latitude, p->position->longitude);
        const QPointF expected = map.project(c.latitude, c.longitude);
        EXPECT_LT(std::hypot(drawn.x() - expected.x(), drawn.y() - expected.y()), 3.0);
        EXPECT_TRUE(map.rect().contains(drawn.toPoint()));
        EXPECT_EQ(map.stationAt(drawn), static_cast<int>(p - viewer->batch().placed.data()));
    }
    // The ship lies west of Ireland (10° W) and north of Frankfurt.
    const StationPlot* ship = plot(*viewer, "DBBH");
    const StationPlot* frankfurt = plot(*viewer, "10637");
    EXPECT_LT(map.project(ship->position->latitude, ship->position->longitude).x(),
              map.project(53, -10).x());
    EXPECT_LT(map.project(ship->position->latitude, 0).y(),
              map.project(frankfurt->position->latitude, 0).y());
    EXPECT_EQ(frankfurt->name.find("Frankfurt"), 0u) << frankfurt->name;
}

TEST_F(SynopViewerWindow, ListsUnplacedStationsAndNeverDrawsThemAtZero) {
    const auto viewer = open(kNoon);
    ASSERT_EQ(viewer->batch().notPlaced.size(), 1u);
    EXPECT_EQ(viewer->batch().notPlaced[0].id, "99999");
    EXPECT_EQ(viewer->batch().placed.size(), 2u);
    EXPECT_TRUE(viewer->statusText().contains(QStringLiteral("1 not placed")))
        << viewer->statusText().toStdString();
    for (const StationPlot& p : viewer->batch().placed)
        EXPECT_FALSE(p.position->latitude == 0 && p.position->longitude == 0) << p.id;
}

TEST_F(SynopViewerWindow, ListsTheTimesNewestFirstAndSwitchesBetweenThem) {
    const auto viewer = open(std::nullopt);
    EXPECT_EQ(viewer->batches(), (std::vector<BatchEntry>{{kEvening, 1}, {kNoon, 3}}));
    EXPECT_EQ(viewer->key(), kEvening);
    EXPECT_EQ(viewer->batch().placed.size(), 1u);
    ASSERT_EQ(viewer->batchList()->count(), 2);
    EXPECT_TRUE(viewer->batchList()->item(1)->text().contains(QStringLiteral("[3]")));

    viewer->batchList()->setCurrentRow(1);
    EXPECT_EQ(viewer->key(), kNoon);
    EXPECT_EQ(viewer->batch().placed.size(), 2u);
    EXPECT_NE(plot(*viewer, "DBBH"), nullptr);

    viewer->batchList()->setCurrentRow(0);
    EXPECT_EQ(plot(*viewer, "DBBH"), nullptr);
}

TEST_F(SynopViewerWindow, AClickOnAStationShowsItsReportInPlainLanguage) {
    const auto viewer = open(kNoon);
    MapView* map = viewer->mapView();
    const StationPlot* frankfurt = plot(*viewer, "10637");
    const QPointF at = map->project(frankfurt->position->latitude, frankfurt->position->longitude);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, map->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(map, &event);
    }
    EXPECT_EQ(map->selected(), static_cast<int>(frankfurt - viewer->batch().placed.data()));
    const QString text = viewer->reportText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("10637"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("12.3"))) << text.toStdString();
}

TEST_F(SynopViewerWindow, AStationFileItCannotReadWhollyGivesAMessage) {
    const struct {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* message;
        std::size_t placed;
    } cases[] = {
        {"partial record",
         [](const fs::path& file) {
             std::ofstream(file, std::ios::binary | std::ios::app) << std::string(100, 'x');
         },
         "partial record (100 bytes)", 2},
        {"a folder in its place",
         [](const fs::path& file) {
             fs::remove(file);
             fs::create_directories(file / "x");
         },
         "cannot be read", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_TRUE(copySuiteData(dir.path()));
        append(dir.path(), landReport(kNoon, 10637));
        append(dir.path(), shipReport(kNoon, 3000, 600));
        c.spoil(stationFile(dir.path()));
        SynopViewer viewer(dir.path());
        viewer.openKey(kNoon);
        EXPECT_TRUE(viewer.statusText().contains(QLatin1String(c.message)))
            << viewer.statusText().toStdString();
        EXPECT_EQ(viewer.batch().placed.size(), c.placed);
    }
}

TEST_F(SynopViewerWindow, AnArgumentNamesATimeOrIsRefused) {
    const auto viewer = open(std::nullopt);
    viewer->openArgument(dir_.path() / "SYNOP" / std::to_string(kNoon));
    EXPECT_EQ(viewer->key(), kNoon);
    EXPECT_TRUE(viewer->takeMessage(QString::fromUtf8(kOpenMessage), QByteArray()));
    EXPECT_EQ(viewer->key(), kEvening);
    EXPECT_FALSE(viewer->takeMessage(QStringLiteral("OTHER"), QByteArray()));
    viewer->openArgument("yesterday");
    EXPECT_TRUE(viewer->statusText().contains(QStringLiteral("no observation time")));
}

TEST_F(SynopViewerWindow, DrawsTheWorldMapWhenStagedAndSavesAScreenshot) {
    const fs::path staged = fs::path(zeb::test::testSetting("ZEB_TEST_SUITE_DIR")) / kWorldMapFile;
    if (!fs::exists(staged)) GTEST_SKIP() << "no world map staged (world-atlas not installed)";
    append(dir_.path(), shipReport(kNoon, 47 * 60 + 30, 20 * 60));
    const auto data = weather::loadWeatherData(dir_.path() / "DATA");
    ASSERT_TRUE(data.ok());
    append(dir_.path(), landReport(kNoon, 6260, &*data));
    auto london = landReport(kNoon, 3772, &*data);
    london.ww = 45;  // fog, calm, sky obscured
    london.windSpeed = 0;
    london.n = '9';
    append(dir_.path(), london);
    const auto viewer = open(kNoon);
    viewer->loadWorldMap(staged);
    EXPECT_TRUE(viewer->hasWorldMap());
    EXPECT_FALSE(viewer->statusText().contains(QStringLiteral("graticule")));
    viewer->mapView()->fitToStations();
    viewer->showStation(static_cast<int>(viewer->batch().placed.size()) - 1);
    if (const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR"); !dir.empty()) {
        EXPECT_TRUE(viewer->grab().save(QString::fromStdString(dir + "/zebsynv.png")));
    }

    viewer->loadWorldMap(dir_.path() / "none.map");
    EXPECT_FALSE(viewer->hasWorldMap());
    EXPECT_TRUE(viewer->statusText().contains(QStringLiteral("graticule only")));
}

}  // namespace
}  // namespace zeb::zebsynv::test
