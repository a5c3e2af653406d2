// ZEBTIME: the time-signal companion of the suite. One instance per desktop:
// a second start brings the first to the front and ends. It closes on a close
// request from the bus, on the registered message "ZEB_EXIT_PROG", and on
// SIGTERM, SIGINT or SIGHUP, always releasing its window class.
#include "TimeWindow.h"

#include "common/bus/Bus.h"
#include "ui/BusNotifier.h"
#include "ui/ShowState.h"
#include "ui/SignalWatcher.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

constexpr const char* kClassName = "ZEBTIME";

}  // namespace

int main(int argc, char** argv) {
    // From here on these signals close the program as its window's close does;
    // until the watcher exists they wait, so the class is always given back.
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});

    auto endpoint = zeb::bus::ClassEndpoint::claim(kClassName);
    if (!endpoint) {
        if (endpoint.error().code == zeb::bus::kAlreadyRunning) {
            zeb::bus::Message activate;
            activate.kind = zeb::bus::MessageKind::Activate;
            (void)zeb::bus::post(kClassName, activate);
            return 0;
        }
        std::fprintf(stderr, "ZEBTIME: %s\n", endpoint.error().message.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEBTIME"));

    zeb::ui::BusNotifier bus(std::move(*endpoint));
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::zebtime::TimeWindow window;

    QObject::connect(&bus, &zeb::ui::BusNotifier::closeRequested, &window, &QWidget::close);
    QObject::connect(&bus, &zeb::ui::BusNotifier::exitProgramRequested, &window, &QWidget::close);
    QObject::connect(&bus, &zeb::ui::BusNotifier::activateRequested, &window,
                     &zeb::zebtime::TimeWindow::bringToFront);
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &window, &QWidget::close);

    zeb::ui::showMainWindow(&window);
    return QApplication::exec();
}
