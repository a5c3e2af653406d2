// ZEBTIME: the time-signal companion of the suite. One instance per desktop:
// a second start brings the first to the front and ends. It closes on a close
// request from the bus, on the registered message "ZEB_EXIT_PROG", and on
// SIGTERM, SIGINT or SIGHUP, always releasing its window class.
#include "TimeWindow.h"

#include "common/Version.h"
#include "common/bus/Bus.h"
#include "ui/BusNotifier.h"
#include "ui/ShowState.h"
#include "ui/SignalWatcher.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kClassName = "ZEBTIME";

constexpr const char* kHelp =
    "Usage: zebtime [QT OPTIONS]\n"
    "\n"
    "Shows the current UTC date and time. One instance runs per desktop: a\n"
    "second start brings the first window to the front and ends. The window\n"
    "closes on a close request from the suite bus (zebctl close ZEBTIME), on the\n"
    "broadcast ZEB_EXIT_PROG and on SIGTERM, SIGINT or SIGHUP.\n"
    "\n"
    "options:\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "Other arguments go to Qt (-platform, -style, ...).\n"
    "\n"
    "environment:\n"
    "  ZEB_SHOW=min   start with the window minimised\n"
    "  ZEB_BUS_DIR    the suite bus directory\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the class is claimed and before Qt looks for a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-V") {
            std::puts(zeb::versionLine("zebtime").c_str());
            return 0;
        }
    }

    // From here on these signals close the program as its window's close does;
    // until the watcher exists they wait, so the class is always given back.
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});

    auto endpoint = zeb::bus::ClassEndpoint::claim(kClassName);
    if (!endpoint) {
        if (endpoint.error().code == zeb::bus::BusError::AlreadyRunning) {
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
