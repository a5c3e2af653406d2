#include "PictureWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

#include "ui/LanguageBundle.h"

namespace zeb::nimba {

namespace {
constexpr int kScrollStep = 16;  // pixels per arrow key or scroll-bar arrow
constexpr int kIconPictureWindow = 103;
const QColor kOutside(128, 128, 128);  // beyond the picture's edges
}  // namespace

QVector<QRgb> faxGreyTable() {
    QVector<QRgb> table;
    table.reserve(16);
    for (int i = 0; i < 16; ++i) {
        const int g = 255 - 17 * i;
        table.push_back(qRgb(g, g, g));
    }
    return table;
}

PictureWindow::PictureWindow(fax::FaxDecoder& decoder, const ui::LanguageBundle* bundle,
                             const QString& programName, QWidget* parent)
    : QAbstractScrollArea(parent), decoder_(decoder), greys_(faxGreyTable()) {
    setWindowFlag(Qt::Window);
    setWindowTitle(programName + QStringLiteral("-FAX"));
    if (bundle) setWindowIcon(bundle->icon(kIconPictureWindow));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        setGeometry(s.x(), s.y() + s.height() / 2, s.width(), s.height() / 2);
    }
    updateRanges();
}

void PictureWindow::updateRanges() {
    const fax::PictureBuffer& picture = decoder_.picture();
    const QSize view = viewport()->size();
    const int w = picture.valid() ? picture.width() : 0;
    const int h = picture.valid() ? picture.height() : 0;
    horizontalScrollBar()->setRange(0, std::max(0, w - view.width()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    horizontalScrollBar()->setSingleStep(kScrollStep);
    verticalScrollBar()->setRange(0, std::max(0, h - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
    verticalScrollBar()->setSingleStep(kScrollStep);
}

void PictureWindow::updateRows(int first, int last) {
    if (last < first) return;
    const int top = first - verticalScrollBar()->value();
    const QRect rows(0, top, viewport()->width(), last - first + 1);
    const QRect visible = rows.intersected(viewport()->rect());
    if (!visible.isEmpty()) viewport()->update(visible);
}

void PictureWindow::updateAll() {
    updateRanges();
    viewport()->update();
}

int PictureWindow::pictureColumn(QPoint viewportPos) const {
    return viewportPos.x() + horizontalScrollBar()->value();
}

void PictureWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const fax::PictureBuffer& picture = decoder_.picture();
    const QRect area = event->rect().intersected(viewport()->rect());
    if (!picture.valid() || area.isEmpty()) {
        painter.fillRect(area, kOutside);
        return;
    }
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    // Only the rows of the area to repaint; the copy brings its own width, so
    // a buffer replaced since the last layout is drawn consistently.
    const fax::Bitmap rows = picture.copyRows(top + area.top(), area.height());
    const int columns = std::clamp(rows.width - left - area.left(), 0, area.width());
    if (rows.height > 0 && columns > 0) {
        if (image_.width() < area.width() || image_.height() < rows.height) {
            image_ = QImage(std::max(area.width(), image_.width()),
                            std::max(rows.height, image_.height()), QImage::Format_Indexed8);
            image_.setColorTable(greys_);
        }
        const int firstColumn = left + area.left();
        for (int y = 0; y < rows.height; ++y) {
            const std::uint8_t* src = rows.row(y);
            uchar* dst = image_.scanLine(y);
            for (int x = 0; x < columns; ++x) {
                const int c = firstColumn + x;
                const std::uint8_t b = src[c >> 1];
                dst[x] = (c & 1) ? (b & 0x0F) : (b >> 4);
            }
        }
        painter.drawImage(area.topLeft(), image_, QRect(0, 0, columns, rows.height));
    }
    // Whatever lies beyond the picture's right or bottom edge.
    if (columns < area.width())
        painter.fillRect(
            QRect(area.left() + columns, area.top(), area.width() - columns, area.height()),
            kOutside);
    if (rows.height < area.height())
        painter.fillRect(QRect(area.left(), area.top() + rows.height, std::max(columns, 0),
                               area.height() - rows.height),
                         kOutside);
}

void PictureWindow::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRanges();
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    const bool page = event->modifiers() & Qt::ShiftModifier;
    auto move = [](QScrollBar* bar, int sign, bool byPage) {
        bar->setValue(bar->value() + sign * (byPage ? bar->pageStep() : bar->singleStep()));
    };
    switch (event->key()) {
        case Qt::Key_PageUp: move(v, -1, true); break;
        case Qt::Key_PageDown: move(v, +1, true); break;
        case Qt::Key_Home: move(h, -1, true); break;
        case Qt::Key_End: move(h, +1, true); break;
        case Qt::Key_Up: move(v, -1, page); break;
        case Qt::Key_Down: move(v, +1, page); break;
        case Qt::Key_Left: move(h, -1, page); break;
        case Qt::Key_Right: move(h, +1, page); break;
        default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void PictureWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOrigin_ = event->position().toPoint();
        dragScroll_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void PictureWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        // The picture follows the mouse: moving right shows more of the left.
        const QPoint delta = event->position().toPoint() - dragOrigin_;
        horizontalScrollBar()->setValue(dragScroll_.x() - delta.x());
        verticalScrollBar()->setValue(dragScroll_.y() - delta.y());
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void PictureWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        viewport()->unsetCursor();
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void PictureWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        decoder_.setLineStart(pictureColumn(event->position().toPoint()));
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void PictureWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace zeb::nimba
