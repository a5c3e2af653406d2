// The picture window of the fax decoder ("Nimbarra-FAX"): the decoder's
// picture buffer at full size under scroll bars, across the lower half of the
// screen.
//
// Painting copies only the visible rows out of the buffer (under the buffer's
// pixel lock, so a paint never meets a half-scrolled picture) and converts the
// visible columns into a reused 8-bit image with the 16-grey colour table.
//
// Keys: Page Up / Page Down scroll a page vertically, Home / End a page
// horizontally, the arrow keys one step (one page with Shift). Dragging with
// the left button moves the picture with the mouse; a double click with the
// right button makes the clicked column the start of the line (manual
// alignment, which the decoder refuses while it receives a picture).
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QRgb>
#include <QVector>

#include "fax/FaxDecoder.h"

namespace zeb::ui {
class LanguageBundle;
}

namespace zeb::nimba {

// The display colours of the 16 greys: index i is grey 255 − 17·i.
QVector<QRgb> faxGreyTable();

class PictureWindow : public QAbstractScrollArea {
    Q_OBJECT
public:
    PictureWindow(fax::FaxDecoder& decoder, const ui::LanguageBundle* bundle,
                  const QString& programName, QWidget* parent = nullptr);

    // Rows first … last of the picture changed.
    void updateRows(int first, int last);
    // The whole picture changed (scrolled, replaced, new size).
    void updateAll();

    // The picture column under a viewport position (the scroll offset added).
    int pictureColumn(QPoint viewportPos) const;

    // The image of the last paint; its top-left part holds what was drawn.
    const QImage& lastImage() const { return image_; }

signals:
    // The user closed the window.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void updateRanges();

    fax::FaxDecoder& decoder_;
    QVector<QRgb> greys_;
    QImage image_;  // reused between paints while the viewport keeps its size
    bool dragging_ = false;
    QPoint dragOrigin_;
    QPoint dragScroll_;
};

}  // namespace zeb::nimba
