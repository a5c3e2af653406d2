// The fax viewer's window on received pictures: the picture a reception
// wrote, the newest of the store, the thumbnail strip, turning, zoom, the
// PNG export, and files that cannot be shown.
#include "FaxViewer.h"
#include "FaxViewerTestSupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>
#include <iterator>

#include <gtest/gtest.h>

#include "common/ReceivedFile.h"
#include "fax/Bmp.h"

namespace zeb::zebfaxv::test {
namespace {

namespace fs = std::filesystem;

QColor greyOf(int index) { return QColor(255 - 17 * index, 255 - 17 * index, 255 - 17 * index); }

std::string bytesOf(const fs::path& path) { return zeb::test::readFile(path); }

class FaxViewerWindow : public ::testing::Test {
protected:
    fs::path fax() const { return dir_.path() / "FAX"; }
    // Three pictures, written out of order; the newest is of 3 March 09:30.
    void receiveThree() {
        older_ = receivePicture(dir_.path(), at(2, 23, 59), 320, 200);
        newest_ = receivePicture(dir_.path(), at(3, 9, 30), 360, 240);
        middle_ = receivePicture(dir_.path(), at(3, 9, 29), 300, 120);
    }

    TempDir dir_;
    fs::path older_, middle_, newest_;
};

TEST_F(FaxViewerWindow, ShowsAReceivedPictureWithItsSizeNameAndTime) {
    const fs::path picture = receivePicture(dir_.path(), at(5, 14, 5), 1810, 130);
    FaxViewer viewer(dir_.path());
    viewer.openPicture(picture);

    ASSERT_TRUE(viewer.hasPicture()) << viewer.problem().toStdString();
    EXPECT_EQ(viewer.pictureSize(), QSize(1810, 130));
    EXPECT_TRUE(viewer.problem().isEmpty());
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("ZEB-FAX Viewer — FAX_2024-03-05_14-05.BMP"));
    EXPECT_TRUE(viewer.statusText().contains(QStringLiteral("1810 × 130 pixels")));
    EXPECT_TRUE(viewer.statusText().contains(QStringLiteral("2024-03-05 14:05 UTC")));
    // The pixels are those received, in their greys.
    for (const auto& [x, y] : {std::pair{0, 0}, {7, 7}, {8, 0}, {100, 50}, {1809, 129}})
        EXPECT_EQ(viewer.image().pixelColor(x, y), greyOf(patternGrey(x, y))) << x << "," << y;
}

TEST_F(FaxViewerWindow, WithoutAPictureShowsTheNewestOfTheStore) {
    receiveThree();
    // A user's own picture and a picture still being received are not in the store.
    zeb::test::writeFile(fax() / "FAX_mine.BMP", bytesOf(older_));
    zeb::test::writeFile(fax() / "FAX_2024-03-09_10-00.BMX", bytesOf(older_));
    FaxViewer viewer(dir_.path());
    viewer.openNewest();
    EXPECT_EQ(viewer.picturePath(), newest_);
    EXPECT_EQ(viewer.pictureSize(), QSize(360, 240));
}

TEST_F(FaxViewerWindow, AnEmptyStoreSaysSo) {
    FaxViewer viewer(dir_.path());
    viewer.openNewest();
    EXPECT_FALSE(viewer.hasPicture());
    EXPECT_TRUE(viewer.problem().startsWith(QStringLiteral("No received fax pictures")));
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("ZEB-FAX Viewer"));
    viewer.step(+1);  // nothing to step to
    EXPECT_FALSE(viewer.hasPicture());
}

TEST_F(FaxViewerWindow, TheStripListsTheThumbnailsNewestFirstAndSteps) {
    receiveThree();
    fs::remove(fax() / "FAX_2024-03-03_09-29.BMM");  // a lost thumbnail still leaves its picture
    FaxViewer viewer(dir_.path());
    viewer.openNewest();

    const auto& strip = viewer.strip();
    ASSERT_EQ(strip.size(), 3u);
    EXPECT_EQ(strip[0].picture, newest_);
    EXPECT_EQ(strip[1].picture, middle_);
    EXPECT_EQ(strip[2].picture, older_);
    EXPECT_EQ(strip[0].thumbnail, fax() / "FAX_2024-03-03_09-30.BMM");
    EXPECT_TRUE(fs::exists(strip[0].thumbnail));
    const auto* list = viewer.findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(viewer.currentIndex(), 0);
    EXPECT_EQ(list->currentRow(), 0);

    // Older, older, then the end of the strip; back to the newest and no further.
    const struct {
        int delta;
        fs::path shown;
        QSize size;
    } steps[] = {{+1, middle_, {300, 120}}, {+1, older_, {320, 200}},  {+1, older_, {320, 200}},
                 {-1, middle_, {300, 120}}, {-1, newest_, {360, 240}}, {-1, newest_, {360, 240}}};
    for (const auto& s : steps) {
        viewer.step(s.delta);
        EXPECT_EQ(viewer.picturePath(), s.shown);
        EXPECT_EQ(viewer.pictureSize(), s.size);
        EXPECT_EQ(list->currentRow(), viewer.currentIndex());
        EXPECT_TRUE(
            viewer.windowTitle().endsWith(QString::fromStdString(s.shown.filename().string())));
    }
    EXPECT_TRUE(viewer.statusText().contains(QStringLiteral("1 of 3")));
    if (const std::string shots = zeb::test::testSetting("ZEB_SCREENSHOT_DIR"); !shots.empty()) {
        viewer.step(-1);
        viewer.resize(760, 460);
        viewer.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(viewer.grab().save(QString::fromStdString(shots + "/zebfaxv.png")));
    }
}

TEST_F(FaxViewerWindow, ANewPictureJoinsTheStripWhenTheFolderIsReread) {
    receiveThree();
    FaxViewer viewer(dir_.path());
    viewer.openPicture(middle_);
    EXPECT_EQ(viewer.currentIndex(), 1);
    const fs::path latest = receivePicture(dir_.path(), at(4, 0, 0), 200, 100);
    viewer.refreshStrip();
    ASSERT_EQ(viewer.strip().size(), 4u);
    EXPECT_EQ(viewer.strip()[0].picture, latest);
    EXPECT_EQ(viewer.currentIndex(), 2);  // the shown picture stays marked
}

TEST_F(FaxViewerWindow, TurningSwapsTheSidesAndMovesTheCorner) {
    const fs::path picture = receivePicture(dir_.path(), at(6, 6, 0), 300, 140);
    FaxViewer viewer(dir_.path());
    viewer.openPicture(picture);
    const QColor black = greyOf(15);

    viewer.rotate(+1);  // right: the top-left corner goes to the top right
    EXPECT_EQ(viewer.pictureSize(), QSize(140, 300));
    EXPECT_EQ(viewer.image().pixelColor(139, 0), black);
    EXPECT_NE(viewer.image().pixelColor(0, 0), black);
    EXPECT_TRUE(viewer.statusText().contains(QStringLiteral("140 × 300 pixels")));

    viewer.rotate(+1);  // upside down: bottom right
    EXPECT_EQ(viewer.pictureSize(), QSize(300, 140));
    EXPECT_EQ(viewer.image().pixelColor(299, 139), black);

    viewer.rotate(-3);  // three left from there: back as received
    EXPECT_EQ(viewer.quarterTurns(), 3);
    viewer.rotate(+1);
    EXPECT_EQ(viewer.quarterTurns(), 0);
    EXPECT_EQ(viewer.image().pixelColor(0, 0), black);

    viewer.rotate(-1);  // left: bottom left
    EXPECT_EQ(viewer.pictureSize(), QSize(140, 300));
    EXPECT_EQ(viewer.image().pixelColor(0, 299), black);
}

TEST_F(FaxViewerWindow, ExportsThePictureAsShownAsPng) {
    const fs::path picture = receivePicture(dir_.path(), at(6, 7, 0), 250, 110);
    FaxViewer viewer(dir_.path());
    viewer.openPicture(picture);
    viewer.rotate(+1);
    const fs::path png = dir_.path() / "turned.png";
    ASSERT_TRUE(viewer.exportPng(png).ok());
    QImage written(QString::fromStdString(png.string()));
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(110, 250));
    EXPECT_EQ(written.pixelColor(109, 0), greyOf(15));
    EXPECT_EQ(written.pixelColor(0, 0), greyOf(patternGrey(0, 109)));

    // Nothing to export without a picture, and a folder that is missing is said.
    EXPECT_FALSE(viewer.exportPng(dir_.path() / "no" / "such" / "x.png").ok());
    FaxViewer empty(dir_.path() / "nothing");
    empty.openNewest();
    EXPECT_FALSE(empty.exportPng(dir_.path() / "empty.png").ok());
    EXPECT_FALSE(fs::exists(dir_.path() / "empty.png"));
}

TEST_F(FaxViewerWindow, ZoomStepsFitsAndShowsFullSize) {
    const fs::path picture = receivePicture(dir_.path(), at(7, 8, 0), 1810, 400);
    FaxViewer viewer(dir_.path());
    viewer.resize(900, 700);
    viewer.show();
    viewer.openPicture(picture);
    const auto* area = viewer.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    const auto scrolls = [area] {
        return area->horizontalScrollBar()->maximum() > 0 ||
               area->verticalScrollBar()->maximum() > 0;
    };
    // Fitted, the whole picture is in sight.
    EXPECT_TRUE(viewer.fitsWindow());
    EXPECT_LT(viewer.zoom(), 0.5);
    EXPECT_FALSE(scrolls());

    viewer.actualSize();
    EXPECT_DOUBLE_EQ(viewer.zoom(), 1.0);
    EXPECT_FALSE(viewer.fitsWindow());
    EXPECT_TRUE(scrolls());
    EXPECT_TRUE(viewer.statusText().contains(QStringLiteral("100 %")));
    viewer.zoomIn();
    EXPECT_GT(viewer.zoom(), 1.0);
    viewer.zoomOut();
    EXPECT_DOUBLE_EQ(viewer.zoom(), 1.0);
    viewer.zoomOut();
    EXPECT_LT(viewer.zoom(), 1.0);
    viewer.zoomIn();  // stops at 100 % on the way up
    EXPECT_DOUBLE_EQ(viewer.zoom(), 1.0);

    // The limits hold however often one zooms.
    for (int i = 0; i < 60; ++i) viewer.zoomIn();
    const double most = viewer.zoom();
    viewer.zoomIn();
    EXPECT_DOUBLE_EQ(viewer.zoom(), most);
    for (int i = 0; i < 80; ++i) viewer.zoomOut();
    const double least = viewer.zoom();
    EXPECT_GT(least, 0.0);
    viewer.zoomOut();
    EXPECT_DOUBLE_EQ(viewer.zoom(), least);
    viewer.setZoom(std::nan(""));
    EXPECT_DOUBLE_EQ(viewer.zoom(), 1.0);

    // A fitted picture follows the window and its turns.
    viewer.fitToWindow();
    const double fitted = viewer.zoom();
    viewer.resize(1400, 700);
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewer.fitsWindow());
    EXPECT_GT(viewer.zoom(), fitted);
    EXPECT_FALSE(scrolls());
    viewer.rotate(+1);
    EXPECT_TRUE(viewer.fitsWindow());
    EXPECT_FALSE(scrolls());
    EXPECT_EQ(viewer.pictureSize(), QSize(400, 1810));
}

TEST_F(FaxViewerWindow, FilesThatCannotBeShownGiveTheReason) {
    const fs::path good = receivePicture(dir_.path(), at(8, 9, 0), 400, 150);
    const std::string bytes = bytesOf(good);
    // A small picture whose headers claim other sizes.
    const auto claiming = [](int bits, bool compress, std::int32_t width, std::int32_t height) {
        fax::Bitmap small = fax::makeGreyBitmap(2, 2);
        if (bits != 4) {
            small.bitsPerPixel = bits;
            small.palette = bits == 24 ? std::vector<fax::Rgb>{} : small.palette;
            small.pixels.assign(static_cast<std::size_t>(small.stride()) * 2, 0);
        }
        std::string file = fax::encodeBmp(small, compress);
        auto* raw = reinterpret_cast<std::uint8_t*>(file.data());
        fax::BmpHeaders h = fax::getHeaders(raw);
        h.width = width;
        h.height = height;
        fax::putHeaders(h, raw);
        return file;
    };
    const struct {
        const char* name;
        std::string content;
        const char* reason;
    } cases[] = {
        {"FAX_2024-03-08_10-00.BMP", bytes.substr(0, bytes.size() / 2), "run-length data ends"},
        {"FAX_2024-03-08_10-01.BMP", bytes.substr(0, 40), "file too short"},
        {"FAX_2024-03-08_10-02.BMP",
         "ZCZC this is a weather bulletin, not a picture of a weather chart at all\nNNNN\n",
         "not a BMP file"},
        {"FAX_2024-03-08_10-03.BMP", claiming(4, false, 1 << 20, 2), "bad width"},
        {"FAX_2024-03-08_10-04.BMP", claiming(4, false, 2, 100000), "bad height"},
        {"FAX_2024-03-08_10-05.BMP", claiming(24, false, 8000, 8000), "picture too large"},
        // Few bytes of run-length data for 121 million pixels: read, then refused.
        {"FAX_2024-03-08_10-06.BMP", claiming(4, true, 11000, 11000), "more than the viewer"},
    };
    FaxViewer viewer(dir_.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zeb::test::writeFile(fax() / c.name, c.content);
        viewer.openPicture(fax() / c.name);
        EXPECT_FALSE(viewer.hasPicture());
        EXPECT_TRUE(viewer.problem().startsWith(QString::fromLatin1(c.name) +
                                                QStringLiteral(" cannot be read: ")))
            << viewer.problem().toStdString();
        EXPECT_TRUE(viewer.problem().contains(QLatin1String(c.reason)))
            << viewer.problem().toStdString();
        EXPECT_TRUE(viewer.windowTitle().endsWith(QLatin1String(c.name)));
        viewer.rotate(+1);  // the picture's tools do nothing now
        viewer.zoomIn();
        EXPECT_FALSE(viewer.hasPicture());
    }
    // The bad files stand in the strip like any other; a good one shows again.
    EXPECT_EQ(viewer.strip().size(), std::size(cases) + 1);
    viewer.openPicture(good);
    EXPECT_TRUE(viewer.hasPicture());
    EXPECT_TRUE(viewer.problem().isEmpty());

    viewer.openPicture(fax() / "FAX_2024-01-01_00-00.BMP");
    EXPECT_TRUE(viewer.problem().contains(QStringLiteral("does not exist")));
    viewer.openPicture(fax());
    EXPECT_TRUE(viewer.problem().contains(QStringLiteral("not a file")));
}

TEST_F(FaxViewerWindow, RefusesAFileOverTheSizeLimitUnread) {
    const fs::path big = fax() / "FAX_2024-03-09_10-00.BMP";
    fs::create_directories(fax());
    zeb::test::writeFile(big, "BM");
    fs::resize_file(big, kMaxPictureFileBytes + 1);  // sparse: takes no disk space
    FaxViewer viewer(dir_.path());
    viewer.openNewest();
    EXPECT_FALSE(viewer.hasPicture());
    EXPECT_TRUE(viewer.problem().contains(QStringLiteral("more than the 64 MiB")))
        << viewer.problem().toStdString();
}

TEST_F(FaxViewerWindow, TakesThePictureASecondStartHandsOver) {
    receiveThree();
    FaxViewer viewer(dir_.path());
    viewer.openPicture(older_);
    EXPECT_TRUE(viewer.takeMessage(QLatin1String(kOpenMessage),
                                   QByteArray::fromStdString(middle_.string())));
    EXPECT_EQ(viewer.picturePath(), middle_);
    EXPECT_TRUE(viewer.takeMessage(QLatin1String(kOpenMessage), {}));  // no name: the newest
    EXPECT_EQ(viewer.picturePath(), newest_);
    EXPECT_FALSE(viewer.takeMessage(QStringLiteral("RIGMAN_NMEA_IN"),
                                    QByteArray::fromStdString(older_.string())));
    EXPECT_EQ(viewer.picturePath(), newest_);
}

}  // namespace
}  // namespace zeb::zebfaxv::test
