// A program's window class on the suite bus, served from Qt's event loop.
//
// Owns the class endpoint (so the class stays claimed as long as this object
// lives) and turns every message that arrives into a signal on the UI thread:
//   Close       -> closeRequested()        handle like the user's own close
//   Activate    -> activateRequested()     a second start wants us in front
//                                          (at most once a second)
//   Registered  -> registeredMessage(...)  e.g. "ZEB_EXIT_PROG" (with the
//                                          bytes it carries, if any)
//   User        -> userMessage(...)
// Receivers may delete the notifier from a slot; draining stops then.
#pragma once

#include "common/Result.h"
#include "common/bus/Bus.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <string_view>

namespace zeb::ui {

class FdNotifier;

// Registered message by which the launcher ends every program of the suite.
inline constexpr std::string_view kExitProgramMessage = "ZEB_EXIT_PROG";

class BusNotifier : public QObject {
    Q_OBJECT
public:
    // Claims `className` on the bus (bus::BusError::AlreadyRunning when a live program
    // owns it).
    static Result<std::unique_ptr<BusNotifier>> claim(std::string_view className,
                                                      QObject* parent = nullptr);

    explicit BusNotifier(bus::ClassEndpoint endpoint, QObject* parent = nullptr);
    ~BusNotifier() override;

    const bus::ClassEndpoint& endpoint() const { return endpoint_; }

    // Handles every message waiting now (called when the socket is readable).
    void drain();

signals:
    void closeRequested();
    void activateRequested();
    void registeredMessage(const QString& name, qint64 wParam, qint64 lParam,
                           const QByteArray& payload);
    void userMessage(quint32 id, qint64 wParam, qint64 lParam, const QByteArray& payload);
    // Convenience: a registered "ZEB_EXIT_PROG" (also sent as registeredMessage).
    void exitProgramRequested();

private:
    static constexpr qint64 kActivateIntervalMs = 1000;
    bus::ClassEndpoint endpoint_;
    FdNotifier* notifier_ = nullptr;
    QElapsedTimer lastActivate_;
};

}  // namespace zeb::ui
