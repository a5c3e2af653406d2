// The start-up every viewer of the suite shares: the command line (--dir, one
// file, --help, --version, Qt's own options), the working directory, one
// instance per desktop (a second start hands its file to the first over the
// bus as a registered message and ends; when that cannot be delivered it
// closes the first and takes its place), and a window that closes on a close
// request, on "ZEB_EXIT_PROG" and on SIGTERM, SIGINT or SIGHUP, always
// releasing its window class.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QWidget>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/Result.h"
#include "common/bus/Bus.h"
#include "ui/BusNotifier.h"
#include "ui/ShowState.h"
#include "ui/SignalWatcher.h"

namespace zeb::ui {

struct ViewerProgram {
    std::string_view program;      // "zebfaxv"
    std::string_view className;    // "ZEB-FAX Viewer"
    std::string_view openMessage;  // the registered message that hands a file over
    std::string_view folder;       // where plain names are looked up: "FAX"
    std::string_view item;         // "picture", for the messages
    // The --help text up to the list of options; what every viewer takes
    // (Qt's options, the working directory, the environment) follows it.
    std::string_view help;
};

// The working directory: `chosen` (--dir), else the current directory when
// it holds the viewer's folder or is a suite directory, else the suite's.
Result<std::filesystem::path> viewerWorkDir(const std::optional<std::filesystem::path>& chosen,
                                            std::string_view folder);

// A file named on the command line: a path as given; a plain name in the
// folder of the working directory, else in the current directory when it is
// only there.
std::filesystem::path resolveViewerFile(const std::filesystem::path& workDir,
                                        std::string_view folder, const std::string& argument);

// The first `limit` bytes of a file the viewer shows, refused with a reason
// ("the file does not exist", "it is not a file", …) when it is missing, not
// a regular file, or larger than `maxBytes` (`what`: "a picture").
Result<std::string> readViewerFile(const std::filesystem::path& path, std::uintmax_t maxBytes,
                                   std::uintmax_t limit, std::string_view what);

// What the start-up found: the working directory, the file (empty: the
// newest) and the claimed window class.
struct ViewerStart {
    std::filesystem::path workDir;
    std::filesystem::path file;
    bus::ClassEndpoint endpoint;
};

// Parses the command line and claims the class. nullopt: the program ends
// with `exitCode` (after --help or --version, a wrong argument, or a file
// handed over to the viewer that runs).
std::optional<ViewerStart> startViewer(const ViewerProgram& viewer, int argc, char** argv,
                                       int& exitCode);

// Runs the viewer's window: `Window(workDir)` with openNewest(),
// takeMessage(name, payload) and bringToFront(); `open(window, file)` shows
// the file named at the start.
template <class Window, class Open>
int runViewer(const ViewerProgram& viewer, int argc, char** argv, Open open) {
    int exitCode = 0;
    // From here on these signals close the program as its window's close
    // does; until the watcher exists they wait, so the class is always
    // given back.
    SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});
    auto start = startViewer(viewer, argc, argv, exitCode);
    if (!start) return exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(viewer.className));
    BusNotifier bus(std::move(start->endpoint));
    SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    Window window(start->workDir);

    QObject::connect(&bus, &BusNotifier::closeRequested, &window, &QWidget::close);
    QObject::connect(&bus, &BusNotifier::exitProgramRequested, &window, &QWidget::close);
    QObject::connect(&bus, &BusNotifier::activateRequested, &window, &Window::bringToFront);
    QObject::connect(&bus, &BusNotifier::registeredMessage, &window,
                     [&window](const QString& name, qint64, qint64, const QByteArray& payload) {
                         window.takeMessage(name, payload);
                     });
    QObject::connect(&watcher, &SignalWatcher::signalReceived, &window, &QWidget::close);

    if (start->file.empty()) {
        window.openNewest();
    } else {
        open(window, start->file);
    }
    showMainWindow(&window);
    return QApplication::exec();
}

}  // namespace zeb::ui
