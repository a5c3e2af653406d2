// Glue between file descriptors and Qt's event loop: calls a function on the
// UI thread whenever a descriptor is readable. The suite's bus objects
// (class inbox, mailslots, conversations) and the signal pipe use it.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace zeb::ui {

class FdNotifier : public QObject {
    Q_OBJECT
public:
    // Does not own `fd`; the descriptor must outlive the notifier.
    FdNotifier(int fd, std::function<void()> onReadable, QObject* parent = nullptr);

    int fd() const { return fd_; }
    void setEnabled(bool enabled) { notifier_.setEnabled(enabled); }

private:
    int fd_;
    std::function<void()> onReadable_;
    QSocketNotifier notifier_;
};

}  // namespace zeb::ui
