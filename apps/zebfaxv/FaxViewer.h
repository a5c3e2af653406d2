// The window of the fax viewer: a received picture in a scroll area that
// zooms (Ctrl+wheel, + and −, fit to the window, 100 %), turns by quarter
// turns and scrolls with the keys and by dragging; below it a strip of the
// thumbnails of the folder's received pictures, newest first, with the
// shown one marked, to step through them (also Page Up / Page Down); the
// shown picture exported as PNG; the picture's size, the UTC time from its
// name and the zoom in the status bar.
//
// A file that cannot be shown (missing, truncated, not a BMP, absurd sizes,
// too large) leaves the window up with a message saying why.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FaxFiles.h"
#include "common/Result.h"
#include "fax/Bmp.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QStackedWidget;
class QTimer;

namespace zeb::zebfaxv {

// The window class the viewer owns on the suite bus.
inline constexpr const char* kClassName = "ZEB-FAX Viewer";
// Registered message by which a second start hands its picture to the
// running viewer: the payload is the picture's absolute path, or empty for
// the newest picture.
inline constexpr const char* kOpenMessage = "ZEB_FAXV_OPEN";

class PictureArea;

class FaxViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit FaxViewer(std::filesystem::path workDir, QWidget* parent = nullptr);
    ~FaxViewer() override;

    // Shows a picture file, or why it cannot be shown. The strip lists the
    // pictures of the file's folder.
    void openPicture(const std::filesystem::path& path);
    // Shows the newest picture of the working directory's FAX folder, or a
    // note that it has none.
    void openNewest();

    const std::filesystem::path& picturePath() const { return path_; }
    bool hasPicture() const { return !image_.isNull(); }
    // The picture as shown (turned); empty without a picture.
    QSize pictureSize() const { return image_.size(); }
    const QImage& image() const { return image_; }
    // The message shown instead of a picture; empty while one is shown.
    const QString& problem() const { return problem_; }
    QString statusText() const;

    // The strip: the pictures of the shown picture's folder, newest first,
    // and the position of the shown one (−1 when it is not among them).
    const std::vector<PictureEntry>& strip() const { return entries_; }
    int currentIndex() const;
    // Rereads the folder (new pictures arrive while the viewer runs).
    void refreshStrip();
    // Shows the picture `delta` places further in the strip (+1 older,
    // −1 newer); nothing beyond its ends.
    void step(int delta);

    double zoom() const { return zoom_; }
    bool fitsWindow() const { return fitting_; }
    void setZoom(double zoom);
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    void actualSize();
    // Turns the picture by quarter turns (+1 right, −1 left).
    void rotate(int quarterTurns);
    int quarterTurns() const { return turns_; }

    // Writes the picture as shown (turned, at full size) as a grey PNG.
    Result<void> exportPng(const std::filesystem::path& path) const;

    // Restores the window when minimised and brings it to the front.
    void bringToFront();

    // A registered message from the bus: kOpenMessage shows the picture it
    // names (the newest for an empty payload) and brings the window to the
    // front. False for any other message.
    bool takeMessage(const QString& name, const QByteArray& payload);

private:
    void buildActions();
    void buildStrip();
    void showProblem(const QString& text);
    void showImage();
    void markCurrent();
    void updateTitleAndStatus();
    void zoomAbout(double zoom, QPoint viewportPoint);
    void chooseAndOpen();
    void chooseAndExport();
    QIcon thumbnailIcon(const PictureEntry& entry);

    std::filesystem::path workDir_;
    std::filesystem::path path_;
    std::filesystem::path stripDir_;
    fax::Bitmap picture_;  // as read, unturned
    QImage image_;         // as shown
    QString problem_;
    double zoom_ = 1.0;
    bool fitting_ = true;
    int turns_ = 0;
    std::vector<PictureEntry> entries_;
    struct CachedIcon {
        std::filesystem::file_time_type modified;
        QIcon icon;
    };
    std::map<std::filesystem::path, CachedIcon> icons_;

    QStackedWidget* stack_ = nullptr;
    PictureArea* area_ = nullptr;
    QLabel* message_ = nullptr;
    QListWidget* stripList_ = nullptr;
    QLabel* status_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* rescan_ = nullptr;
    std::vector<QAction*> pictureActions_;  // enabled only while a picture is shown
};

// A picture in memory as a QImage: 8-bit indexed with its palette, or RGB
// for 24-bit pictures.
QImage toImage(const fax::Bitmap& picture);

}  // namespace zeb::zebfaxv
