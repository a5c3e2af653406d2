#include "LogoView.h"

#include <QPainter>
#include <QStyleOptionFrame>

#include <cmath>

#include "ui/DialogLoader.h"

namespace zeb::nimba {

QImage fitLogo(const QImage& logo, QSize area, QColor face) {
    if (logo.isNull() || area.width() < 1 || area.height() < 1) return {};
    QImage image = logo.convertToFormat(QImage::Format_RGB32);
    const QRgb grey = qRgb(192, 192, 192);
    const QRgb fill = face.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] & 0xFFFFFFu) == (grey & 0xFFFFFFu)) row[x] = fill;
    }
    const double factor =
        std::max(double(image.width()) / area.width(), double(image.height()) / area.height());
    if (!(factor > 0.0)) return {};
    const int w = std::max(1, static_cast<int>(std::lround(image.width() / factor)));
    const int h = std::max(1, static_cast<int>(std::lround(image.height() / factor)));
    return image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

LogoView::LogoView(QWidget* parent) : QWidget(parent) {}

void LogoView::load(const std::filesystem::path& file) {
    QImage image(QString::fromStdString(file.string()));
    logo_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB888);
    update();
}

void LogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::Panel;
    frame.state |= QStyle::State_Raised;
    frame.lineWidth = 2;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
    const QRect area = rect().adjusted(4, 4, -4, -4);
    const QImage fitted = fitLogo(logo_, area.size(), palette().color(QPalette::Button));
    if (fitted.isNull()) return;
    const QPoint at(area.x() + (area.width() - fitted.width()) / 2,
                    area.y() + (area.height() - fitted.height()) / 2);
    painter.drawImage(at, fitted);
}

void registerLogoView() {
    ui::DialogLoader::registerWidget(QStringLiteral("LogoView"),
                                     [](QWidget* parent) { return new LogoView(parent); });
}

}  // namespace zeb::nimba
