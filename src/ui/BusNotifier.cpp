#include "ui/BusNotifier.h"

#include "ui/FdNotifier.h"

#include <QPointer>

namespace zeb::ui {

Result<std::unique_ptr<BusNotifier>> BusNotifier::claim(std::string_view className,
                                                        QObject* parent) {
    auto endpoint = bus::ClassEndpoint::claim(className);
    if (!endpoint) return endpoint.error();
    return std::make_unique<BusNotifier>(std::move(*endpoint), parent);
}

BusNotifier::BusNotifier(bus::ClassEndpoint endpoint, QObject* parent)
    : QObject(parent), endpoint_(std::move(endpoint)) {
    notifier_ = new FdNotifier(
        endpoint_.fd(), [this] { drain(); }, this);
}

BusNotifier::~BusNotifier() = default;

void BusNotifier::drain() {
    // A slot may delete this object (a close request often ends the program);
    // check after every signal before touching the endpoint again.
    const QPointer<BusNotifier> alive(this);
    while (alive) {
        std::optional<bus::Message> message = endpoint_.receive();
        if (!message) return;
        switch (message->kind) {
            case bus::MessageKind::Close: emit closeRequested(); break;
            case bus::MessageKind::Activate:
                // A burst of second starts (or a hostile flood) raises the
                // window once a second at most: raising is slow and, on some
                // platforms, logs a line each time.
                if (!lastActivate_.isValid() || lastActivate_.elapsed() >= kActivateIntervalMs) {
                    lastActivate_.start();
                    emit activateRequested();
                }
                break;
            case bus::MessageKind::Registered: {
                const QString name = QString::fromStdString(message->name);
                const QByteArray payload(reinterpret_cast<const char*>(message->payload.data()),
                                         static_cast<qsizetype>(message->payload.size()));
                emit registeredMessage(name, message->wParam, message->lParam, payload);
                if (alive && message->name == kExitProgramMessage) emit exitProgramRequested();
                break;
            }
            case bus::MessageKind::User: {
                const QByteArray payload(reinterpret_cast<const char*>(message->payload.data()),
                                         static_cast<qsizetype>(message->payload.size()));
                emit userMessage(message->id, message->wParam, message->lParam, payload);
                break;
            }
        }
    }
}

}  // namespace zeb::ui
