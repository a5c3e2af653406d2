// The window of the time-signal program: the current UTC time in large
// digits, the date beneath, refreshed at every full second.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <ctime>

namespace zeb::zebtime {

// "14:05:09" and "Sun 2004-06-03" for a moment in UTC.
QString utcTimeText(std::time_t t);
QString utcDateText(std::time_t t);

class TimeWindow : public QWidget {
    Q_OBJECT
public:
    explicit TimeWindow(QWidget* parent = nullptr);

    // Shows the moment `t` (the timer calls this with the current time).
    void showTime(std::time_t t);
    const QString& timeText() const { return time_; }
    const QString& dateText() const { return date_; }

    // Restores the window when minimised and brings it to the front.
    void bringToFront();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();

    QTimer timer_;
    QString time_;
    QString date_;
};

}  // namespace zeb::zebtime
