#include "TimeWindow.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <chrono>

namespace zeb::zebtime {
namespace {

constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::tm utc(std::time_t t) {
    std::tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

// The largest font of `family` whose rendering of `sample` fits in `box`.
QFont fittingFont(const QString& family, int weight, const QString& sample, QSizeF box) {
    QFont font(family);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setPixelSize(100);
    const QFontMetricsF metrics(font);
    const double scaleW = box.width() / std::max(1.0, metrics.horizontalAdvance(sample));
    const double scaleH = box.height() / std::max(1.0, metrics.capHeight() * 1.25);
    font.setPixelSize(std::max(6, static_cast<int>(100 * std::min(scaleW, scaleH))));
    return font;
}

QIcon clockIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, 64);
    face.setColorAt(0, QColor(52, 64, 86));
    face.setColorAt(1, QColor(18, 22, 32));
    p.setPen(QPen(QColor(255, 193, 77), 3));
    p.setBrush(face);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setPen(QPen(QColor(235, 240, 250), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 32), QPointF(32, 15));
    p.drawLine(QPointF(32, 32), QPointF(45, 38));
    return QIcon(pixmap);
}

}  // namespace

QString utcTimeText(std::time_t t) {
    const std::tm parts = utc(t);
    return QString::asprintf("%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
}

QString utcDateText(std::time_t t) {
    const std::tm parts = utc(t);
    return QString::asprintf("%s %04d-%02d-%02d",
                             kWeekdays[static_cast<std::size_t>(parts.tm_wday % 7)],
                             parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
}

TimeWindow::TimeWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("ZEBTIME"));
    setWindowIcon(clockIcon());
    setMinimumSize(220, 110);
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TimeWindow::tick);
    tick();
}

QSize TimeWindow::sizeHint() const { return {380, 180}; }

void TimeWindow::tick() {
    const auto now = std::chrono::system_clock::now();
    showTime(std::chrono::system_clock::to_time_t(now));
    // Wake just after the next full second, so the display never lags and the
    // timer does not drift.
    const auto intoSecond =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    timer_.start(static_cast<int>(1000 - intoSecond.count()) + 5);
}

void TimeWindow::showTime(std::time_t t) {
    const QString time = utcTimeText(t);
    const QString date = utcDateText(t);
    if (time == time_ && date == date_) return;
    time_ = time;
    date_ = date;
    update();
}

void TimeWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void TimeWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF all = rect();
    QLinearGradient background(all.topLeft(), all.bottomLeft());
    background.setColorAt(0, QColor(40, 48, 64));
    background.setColorAt(1, QColor(16, 19, 27));
    p.fillRect(all, background);

    // The display: a dark inset panel with a faint border.
    const double margin = std::max(6.0, std::min(all.width(), all.height()) * 0.06);
    const QRectF panel = all.adjusted(margin, margin, -margin, -margin);
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    p.setBrush(QColor(8, 10, 15));
    p.drawRoundedRect(panel, 8, 8);

    const QRectF inner = panel.adjusted(panel.width() * 0.06, panel.height() * 0.08,
                                        -panel.width() * 0.06, -panel.height() * 0.08);
    const QRectF timeBox(inner.left(), inner.top(), inner.width(), inner.height() * 0.66);
    const QRectF dateBox(inner.left(), timeBox.bottom(), inner.width(),
                         inner.height() - timeBox.height());

    const QString family = QStringLiteral("DejaVu Sans Mono");
    p.setFont(fittingFont(family, QFont::Bold, QStringLiteral("88:88:88"), timeBox.size()));
    p.setPen(QColor(255, 193, 77));
    p.drawText(timeBox, Qt::AlignCenter, time_);

    const QFont dateFont =
        fittingFont(family, QFont::Normal, QStringLiteral("Www 8888-88-88   UTC"),
                    QSizeF(dateBox.width() * 0.9, dateBox.height() * 0.7));
    p.setFont(dateFont);
    p.setPen(QColor(196, 206, 222));
    p.drawText(dateBox, Qt::AlignLeft | Qt::AlignVCenter, date_);
    p.setPen(QColor(120, 200, 255));
    p.drawText(dateBox, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("UTC"));
}

}  // namespace zeb::zebtime
