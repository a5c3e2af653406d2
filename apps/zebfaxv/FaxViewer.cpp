#include "FaxViewer.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "common/ReceivedFile.h"
#include "fax/Png.h"

namespace zeb::zebfaxv {

namespace fs = std::filesystem;

namespace {

constexpr double kMinZoom = 1.0 / 32;
constexpr double kMaxZoom = 16.0;
constexpr double kZoomStep = 1.25;  // one key press, button or wheel notch
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 128;
constexpr int kMaxThumbSide = 1024;  // a larger "thumbnail" is not one
const QString kTitle = QStringLiteral("ZEB-FAX Viewer");

QString fileNameOf(const fs::path& path) {
    return QString::fromStdString(path.filename().string());
}

QString timeText(const NameTime& t) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d UTC", t.year, t.month, t.day, t.hour,
                             t.minute);
}

// A sheet with a few lines of a weather chart on it.
QIcon faxIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(245, 245, 240));
    p.drawRect(QRectF(10, 4, 44, 56));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    for (int i = 0; i < 4; ++i)
        p.drawArc(QRectF(2 + 6 * i, 16 + 4 * i, 60 - 12 * i, 44 - 8 * i), 20 * 16, 140 * 16);
    return QIcon(pixmap);
}

// Stands in for a thumbnail that is missing or cannot be read.
QIcon missingThumbnail() {
    QPixmap pixmap(kThumbWidth, kThumbHeight);
    pixmap.fill(QColor(200, 200, 200));
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.drawLine(0, 0, kThumbWidth, kThumbHeight);
    p.drawLine(0, kThumbHeight, kThumbWidth, 0);
    return QIcon(pixmap);
}

// The next zoom step; 100 % is never stepped over.
double steppedZoom(double zoom, bool in) {
    const double next = in ? zoom * kZoomStep : zoom / kZoomStep;
    if ((zoom < 1.0 && next > 1.0) || (zoom > 1.0 && next < 1.0)) return 1.0;
    return next;
}

}  // namespace

// The picture at its zoom: paints only what is exposed, and moves the scroll
// area when dragged with the left button.
class PictureView : public QWidget {
public:
    std::function<void(QPoint delta)> onDrag;

    PictureView() {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::OpenHandCursor);
    }

    void setImage(const QImage* image, double zoom) {
        image_ = image;
        zoom_ = zoom;
        scaled_ = QImage();
        if (!image_ || image_->isNull()) {
            setFixedSize(0, 0);
            update();
            return;
        }
        const QSize shown(std::max(1, static_cast<int>(std::lround(image_->width() * zoom))),
                          std::max(1, static_cast<int>(std::lround(image_->height() * zoom))));
        // Made smaller once by averaging: scaling each exposed part on its
        // own would drop thin lines of the chart.
        if (zoom < 1.0)
            scaled_ = image_->scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        setFixedSize(shown);
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        const QRect r = event->rect();
        p.fillRect(r, palette().dark());
        if (!image_ || image_->isNull()) return;
        if (!scaled_.isNull()) {
            p.drawImage(r.topLeft(), scaled_, r);
            return;
        }
        // Enlarged: the source pixels behind the exposed part, drawn as blocks.
        const int x0 =
            std::clamp(static_cast<int>(std::floor(r.left() / zoom_)), 0, image_->width());
        const int y0 =
            std::clamp(static_cast<int>(std::floor(r.top() / zoom_)), 0, image_->height());
        const int x1 =
            std::clamp(static_cast<int>(std::ceil((r.right() + 1) / zoom_)), 0, image_->width());
        const int y1 =
            std::clamp(static_cast<int>(std::ceil((r.bottom() + 1) / zoom_)), 0, image_->height());
        if (x1 <= x0 || y1 <= y0) return;
        const QImage part = image_->copy(x0, y0, x1 - x0, y1 - y0);
        p.drawImage(QRectF(x0 * zoom_, y0 * zoom_, (x1 - x0) * zoom_, (y1 - y0) * zoom_), part);
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
        dragFrom_ = event->globalPosition().toPoint();
        dragging_ = true;
        setCursor(Qt::ClosedHandCursor);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!dragging_) return QWidget::mouseMoveEvent(event);
        const QPoint at = event->globalPosition().toPoint();
        if (onDrag) onDrag(at - dragFrom_);
        dragFrom_ = at;
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
        dragging_ = false;
        setCursor(Qt::OpenHandCursor);
    }

private:
    const QImage* image_ = nullptr;
    QImage scaled_;  // the whole picture below 100 %
    double zoom_ = 1.0;
    QPoint dragFrom_;
    bool dragging_ = false;
};

// The scroll area: Ctrl+wheel zooms, Shift+arrows scroll by pages, Home and
// End by horizontal pages (with Ctrl to the top and the bottom).
class PictureArea : public QScrollArea {
public:
    std::function<void(double factor, QPoint at)> onZoomWheel;
    std::function<void()> onResized;
    PictureView* view = new PictureView;

    PictureArea() {
        setWidget(view);
        setWidgetResizable(false);
        setAlignment(Qt::AlignCenter);
        setBackgroundRole(QPalette::Dark);
        setFocusPolicy(Qt::StrongFocus);
        view->onDrag = [this](QPoint delta) {
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
            verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
        };
    }

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (!(event->modifiers() & Qt::ControlModifier)) return QScrollArea::wheelEvent(event);
        const int delta = event->angleDelta().y();
        if (delta != 0 && onZoomWheel)
            onZoomWheel(std::pow(kZoomStep, delta / 120.0),
                        viewport()->mapFromGlobal(event->globalPosition().toPoint()));
        event->accept();
    }

    void keyPressEvent(QKeyEvent* event) override {
        QScrollBar* h = horizontalScrollBar();
        QScrollBar* v = verticalScrollBar();
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        using A = QAbstractSlider::SliderAction;
        switch (event->key()) {
            case Qt::Key_Home:
                if (ctrl) v->setValue(v->minimum());
                h->triggerAction(ctrl ? A::SliderToMinimum : A::SliderPageStepSub);
                return;
            case Qt::Key_End:
                if (ctrl) v->setValue(v->maximum());
                h->triggerAction(ctrl ? A::SliderToMinimum : A::SliderPageStepAdd);
                return;
            case Qt::Key_Left:
                if (shift) return h->triggerAction(A::SliderPageStepSub);
                break;
            case Qt::Key_Right:
                if (shift) return h->triggerAction(A::SliderPageStepAdd);
                break;
            case Qt::Key_Up:
                if (shift) return v->triggerAction(A::SliderPageStepSub);
                break;
            case Qt::Key_Down:
                if (shift) return v->triggerAction(A::SliderPageStepAdd);
                break;
            default: break;
        }
        QScrollArea::keyPressEvent(event);
    }

    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        if (onResized) onResized();
    }
};

QImage toImage(const fax::Bitmap& picture) {
    const int w = picture.width, h = picture.height;
    if (w <= 0 || h <= 0) return {};
    if (picture.bitsPerPixel == 24) {
        QImage image(w, h, QImage::Format_RGB888);
        if (image.isNull()) return {};
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* from = picture.row(y);
            uchar* to = image.scanLine(y);
            for (int x = 0; x < w; ++x) {  // BGR in the file, RGB here
                to[3 * x] = from[3 * x + 2];
                to[3 * x + 1] = from[3 * x + 1];
                to[3 * x + 2] = from[3 * x];
            }
        }
        return image;
    }
    QImage image(w, h, QImage::Format_Indexed8);
    if (image.isNull()) return {};
    QList<QRgb> colours(1 << picture.bitsPerPixel, qRgb(0, 0, 0));
    for (std::size_t i = 0; i < picture.palette.size() && i < std::size_t(colours.size()); ++i) {
        const fax::Rgb& c = picture.palette[i];
        colours[static_cast<qsizetype>(i)] = qRgb(c.r, c.g, c.b);
    }
    image.setColorTable(colours);
    for (int y = 0; y < h; ++y) {
        uchar* to = image.scanLine(y);
        if (picture.bitsPerPixel == 8) {
            std::copy_n(picture.row(y), w, to);
            continue;
        }
        for (int x = 0; x < w; ++x) to[x] = static_cast<uchar>(picture.index(x, y));
    }
    return image;
}

FaxViewer::FaxViewer(fs::path workDir, QWidget* parent)
    : QMainWindow(parent), workDir_(std::move(workDir)) {
    setWindowTitle(kTitle);
    setWindowIcon(faxIcon());
    area_ = new PictureArea;
    area_->onZoomWheel = [this](double factor, QPoint at) { zoomAbout(zoom_ * factor, at); };
    area_->onResized = [this] {
        if (fitting_ && hasPicture()) fitToWindow();
    };
    message_ = new QLabel;
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setMargin(24);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack_ = new QStackedWidget;
    stack_->addWidget(area_);
    stack_->addWidget(message_);
    buildStrip();
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(stack_, 1);
    layout->addWidget(stripList_);
    setCentralWidget(central);
    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    buildActions();

    rescan_ = new QTimer(this);
    rescan_->setSingleShot(true);
    rescan_->setInterval(500);  // a picture being finished changes the folder several times
    connect(rescan_, &QTimer::timeout, this, &FaxViewer::refreshStrip);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, rescan_, qOverload<>(&QTimer::start));

    QSize size(1024, 768);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize() * 9 / 10);
    resize(size);
    area_->setFocus();
}

FaxViewer::~FaxViewer() = default;

void FaxViewer::buildStrip() {
    stripList_ = new QListWidget;
    stripList_->setViewMode(QListView::IconMode);
    stripList_->setFlow(QListView::LeftToRight);
    stripList_->setWrapping(false);
    stripList_->setMovement(QListView::Static);
    stripList_->setIconSize(QSize(kThumbWidth, kThumbHeight));
    stripList_->setGridSize(QSize(kThumbWidth + 16, kThumbHeight + 36));
    stripList_->setSelectionMode(QAbstractItemView::SingleSelection);
    stripList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The keys scroll the picture; the strip is worked with the mouse and
    // with Page Up / Page Down.
    stripList_->setFocusPolicy(Qt::NoFocus);
    const int bar = stripList_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    stripList_->setFixedHeight(kThumbHeight + 36 + bar + 2 * stripList_->frameWidth() + 4);
    connect(stripList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = stripList_->row(item);
        if (row < 0 || row >= static_cast<int>(entries_.size())) return;
        if (row != currentIndex() || !hasPicture()) openPicture(entries_[std::size_t(row)].picture);
    });
}

void FaxViewer::buildActions() {
    auto* bar = addToolBar(QStringLiteral("Picture"));
    bar->setObjectName(QStringLiteral("pictureToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setMovable(false);
    const auto add = [&](const QString& text, const QString& theme, QList<QKeySequence> keys,
                         auto slot, bool needsPicture) {
        auto* action = new QAction(QIcon::fromTheme(theme), text, this);
        action->setShortcuts(keys);
        action->setToolTip(keys.isEmpty() ? text
                                          : text + QStringLiteral(" (") +
                                                keys.first().toString(QKeySequence::NativeText) +
                                                QLatin1Char(')'));
        connect(action, &QAction::triggered, this, slot);
        bar->addAction(action);
        if (needsPicture) pictureActions_.push_back(action);
        return action;
    };
    add(
        QStringLiteral("Open…"), QStringLiteral("document-open"), {QKeySequence::Open},
        [this] { chooseAndOpen(); }, false);
    add(
        QStringLiteral("Export PNG…"), QStringLiteral("document-save-as"),
        {QKeySequence(Qt::CTRL | Qt::Key_E), QKeySequence::Save}, [this] { chooseAndExport(); },
        true);
    bar->addSeparator();
    add(
        QStringLiteral("Newer"), QStringLiteral("go-previous"), {Qt::Key_PageUp},
        [this] { step(-1); }, false);
    add(
        QStringLiteral("Older"), QStringLiteral("go-next"), {Qt::Key_PageDown},
        [this] { step(+1); }, false);
    bar->addSeparator();
    add(
        QStringLiteral("Zoom in"), QStringLiteral("zoom-in"),
        {Qt::Key_Plus, Qt::Key_Equal, QKeySequence::ZoomIn}, [this] { zoomIn(); }, true);
    add(
        QStringLiteral("Zoom out"), QStringLiteral("zoom-out"),
        {Qt::Key_Minus, QKeySequence::ZoomOut}, [this] { zoomOut(); }, true);
    add(
        QStringLiteral("Fit"), QStringLiteral("zoom-fit-best"), {Qt::Key_F},
        [this] { fitToWindow(); }, true);
    add(
        QStringLiteral("100 %"), QStringLiteral("zoom-original"),
        {Qt::Key_1, QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { actualSize(); }, true);
    bar->addSeparator();
    add(
        QStringLiteral("Rotate left"), QStringLiteral("object-rotate-left"),
        {Qt::Key_L, QKeySequence(Qt::CTRL | Qt::Key_L)}, [this] { rotate(-1); }, true);
    add(
        QStringLiteral("Rotate right"), QStringLiteral("object-rotate-right"),
        {Qt::Key_R, QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] { rotate(+1); }, true);
    auto* close = new QAction(this);
    close->setShortcuts({QKeySequence::Close, QKeySequence::Quit});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    for (QAction* action : pictureActions_) action->setEnabled(false);
}

void FaxViewer::openPicture(const fs::path& path) {
    std::error_code ec;
    path_ = fs::absolute(path, ec).lexically_normal();
    stripDir_ = path_.parent_path();
    turns_ = 0;
    refreshStrip();
    auto loaded = loadPicture(path_);
    if (!loaded) {
        picture_ = {};
        showProblem(QStringLiteral("%1 cannot be read: %2")
                        .arg(fileNameOf(path_), QString::fromStdString(loaded.error().message)));
        return;
    }
    picture_ = std::move(*loaded);
    image_ = toImage(picture_);
    if (image_.isNull()) {
        picture_ = {};
        showProblem(QStringLiteral("%1 cannot be read: not enough memory").arg(fileNameOf(path_)));
        return;
    }
    problem_.clear();
    showImage();
}

void FaxViewer::openNewest() {
    const fs::path dir = workDir_ / kFaxDir;
    const auto pictures = listPictures(dir);
    if (!pictures.empty()) return openPicture(pictures.front().picture);
    path_.clear();
    picture_ = {};
    stripDir_ = dir;
    refreshStrip();
    showProblem(QStringLiteral("No received fax pictures in %1.")
                    .arg(QString::fromStdString(dir.string())));
}

bool FaxViewer::takeMessage(const QString& name, const QByteArray& payload) {
    if (name != QLatin1String(kOpenMessage)) return false;
    if (payload.isEmpty())
        openNewest();
    else
        openPicture(fs::path(payload.toStdString()));
    bringToFront();
    return true;
}

void FaxViewer::showProblem(const QString& text) {
    image_ = QImage();
    area_->view->setImage(nullptr, zoom_);
    problem_ = text;
    message_->setText(text);
    stack_->setCurrentWidget(message_);
    for (QAction* action : pictureActions_) action->setEnabled(false);
    updateTitleAndStatus();
}

void FaxViewer::showImage() {
    stack_->setCurrentWidget(area_);
    for (QAction* action : pictureActions_) action->setEnabled(true);
    if (fitting_)
        fitToWindow();
    else
        setZoom(zoom_);
    area_->horizontalScrollBar()->setValue(0);
    area_->verticalScrollBar()->setValue(0);
    updateTitleAndStatus();
}

int FaxViewer::currentIndex() const {
    if (path_.empty()) return -1;
    // Every entry lies in the shown picture's folder.
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].picture.filename() == path_.filename()) return static_cast<int>(i);
    return -1;
}

QIcon FaxViewer::thumbnailIcon(const PictureEntry& entry) {
    std::error_code ec;
    const auto modified = fs::last_write_time(entry.thumbnail, ec);
    if (ec) return missingThumbnail();
    if (auto cached = icons_.find(entry.thumbnail);
        cached != icons_.end() && cached->second.modified == modified)
        return cached->second.icon;
    QIcon icon;
    auto thumb = loadPicture(entry.thumbnail, kMaxThumbnailFileBytes);
    if (thumb && thumb->width <= kMaxThumbSide && thumb->height <= kMaxThumbSide)
        icon = QIcon(QPixmap::fromImage(toImage(*thumb)));
    if (icon.isNull()) icon = missingThumbnail();
    icons_[entry.thumbnail] = {modified, icon};
    return icon;
}

void FaxViewer::refreshStrip() {
    entries_ = listPictures(stripDir_);
    std::map<fs::path, CachedIcon> kept;
    const QSignalBlocker blocker(stripList_);
    stripList_->clear();
    for (const PictureEntry& entry : entries_) {
        auto* item = new QListWidgetItem(thumbnailIcon(entry), timeText(entry.time).chopped(4));
        item->setToolTip(fileNameOf(entry.picture));
        stripList_->addItem(item);
        if (auto it = icons_.find(entry.thumbnail); it != icons_.end()) kept.insert(*it);
    }
    icons_ = std::move(kept);
    // Watch the folder, or where it will appear.
    std::error_code ec;
    const fs::path watched = fs::is_directory(stripDir_, ec) ? stripDir_ : stripDir_.parent_path();
    const QStringList before = watcher_ ? watcher_->directories() : QStringList();
    const QString now = QString::fromStdString(watched.string());
    if (watcher_ && (before.size() != 1 || before.front() != now)) {
        if (!before.isEmpty()) watcher_->removePaths(before);
        if (fs::is_directory(watched, ec)) watcher_->addPath(now);
    }
    markCurrent();
    updateTitleAndStatus();
}

void FaxViewer::markCurrent() {
    const QSignalBlocker blocker(stripList_);
    const int current = currentIndex();
    for (int i = 0; i < stripList_->count(); ++i) {
        QFont font = stripList_->font();
        font.setBold(i == current);
        stripList_->item(i)->setFont(font);
    }
    if (current < 0) {
        stripList_->clearSelection();
        return;
    }
    stripList_->setCurrentRow(current);
    stripList_->scrollToItem(stripList_->item(current));
}

void FaxViewer::step(int delta) {
    if (entries_.empty()) return;
    const int current = currentIndex();
    int next = current + delta;
    if (current < 0) next = delta > 0 ? 0 : -1;  // a picture of another name: start at the newest
    if (next < 0 || next >= static_cast<int>(entries_.size())) return;
    openPicture(entries_[static_cast<std::size_t>(next)].picture);
}

QString FaxViewer::statusText() const {
    QStringList parts;
    if (hasPicture())
        parts << QStringLiteral("%1 × %2 pixels").arg(image_.width()).arg(image_.height());
    if (const auto time = pictureTime(path_)) parts << timeText(*time);
    if (hasPicture()) parts << QStringLiteral("%1 %").arg(std::lround(zoom_ * 100));
    if (const int current = currentIndex(); current >= 0)
        parts << QStringLiteral("%1 of %2").arg(current + 1).arg(entries_.size());
    return parts.join(QStringLiteral("    "));
}

void FaxViewer::updateTitleAndStatus() {
    setWindowTitle(path_.empty() ? kTitle : kTitle + QStringLiteral(" — ") + fileNameOf(path_));
    status_->setText(statusText());
}

void FaxViewer::setZoom(double zoom) { zoomAbout(zoom, area_->viewport()->rect().center()); }

void FaxViewer::zoomAbout(double zoom, QPoint viewportPoint) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (!std::isfinite(zoom)) zoom = 1.0;
    fitting_ = false;
    QScrollBar* h = area_->horizontalScrollBar();
    QScrollBar* v = area_->verticalScrollBar();
    // The point of the picture under `viewportPoint` stays there.
    const QPointF onView = area_->view->mapFrom(area_->viewport(), viewportPoint);
    const QPointF onPicture = onView / zoom_;
    zoom_ = zoom;
    area_->view->setImage(hasPicture() ? &image_ : nullptr, zoom_);
    h->setValue(static_cast<int>(std::lround(onPicture.x() * zoom_ - viewportPoint.x())));
    v->setValue(static_cast<int>(std::lround(onPicture.y() * zoom_ - viewportPoint.y())));
    updateTitleAndStatus();
}

void FaxViewer::zoomIn() { setZoom(steppedZoom(zoom_, true)); }
void FaxViewer::zoomOut() { setZoom(steppedZoom(zoom_, false)); }
void FaxViewer::actualSize() { setZoom(1.0); }

void FaxViewer::fitToWindow() {
    fitting_ = true;
    if (!hasPicture()) return;
    const QSize room = area_->maximumViewportSize();
    const double zoom = std::min(static_cast<double>(room.width()) / image_.width(),
                                 static_cast<double>(room.height()) / image_.height());
    zoomAbout(zoom, {});
    fitting_ = true;
}

void FaxViewer::rotate(int quarterTurns) {
    if (!hasPicture()) return;
    turns_ = ((turns_ + quarterTurns) % 4 + 4) % 4;
    QImage turned = toImage(rotated(picture_, turns_));
    if (turned.isNull()) return;  // no memory for it: the picture stays as it was
    image_ = std::move(turned);
    showImage();
}

Result<void> FaxViewer::exportPng(const fs::path& path) const {
    if (!hasPicture()) return Error{ENOENT, "No picture is shown."};
    return fax::writeGreyPng(rotated(picture_, turns_), path);
}

void FaxViewer::chooseAndOpen() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open a fax picture"), QString::fromStdString(stripDir_.string()),
        QStringLiteral("BMP pictures (*.bmp *.BMP *.bmm *.BMM);;All files (*)"));
    if (!file.isEmpty()) openPicture(fs::path(file.toStdString()));
}

void FaxViewer::chooseAndExport() {
    if (!hasPicture()) return;
    const fs::path suggested = fax::pngPathFor(path_);
    QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Export as PNG"),
                                                QString::fromStdString(suggested.string()),
                                                QStringLiteral("PNG pictures (*.png *.PNG)"));
    if (file.isEmpty()) return;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".png");
    const fs::path target(file.toStdString());
    if (auto written = exportPng(target); !written) {
        QMessageBox::warning(this, kTitle,
                             QStringLiteral("%1 cannot be written: %2")
                                 .arg(file, QString::fromStdString(written.error().message)));
        return;
    }
    statusBar()->showMessage(QStringLiteral("Saved %1").arg(file), 5000);
}

void FaxViewer::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

}  // namespace zeb::zebfaxv
