// ZEB-Warn-View: shows the received weather warnings and information
// (NAVTEX) bulletins of the suite. One instance per desktop: a second start
// hands its bulletin to the first over the bus and ends. It closes on a close request from the bus,
// on the registered message "ZEB_EXIT_PROG", and on SIGTERM, SIGINT or SIGHUP, always releasing its
// window class.
#include "WarnFiles.h"
#include "WarnViewer.h"

#include "common/Version.h"
#include "common/bus/Bus.h"
#include "ui/BusNotifier.h"
#include "ui/ShowState.h"
#include "ui/SignalWatcher.h"

#include <QApplication>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using zeb::zebwarnv::kClassName;

constexpr const char* kHelp =
    "Usage: zebwarnv [--dir DIR] [WARN_yyyy-mm-dd_hh-mi.RTF | INFO_yyyy-mm-dd_hh-mi.RTF | PATH]\n"
    "                [QT OPTIONS]\n"
    "\n"
    "Shows a received weather warning or information (NAVTEX) bulletin: a plain\n"
    "name from the SYNOP folder of the working directory, a PATH as given, or\n"
    "without an argument the newest bulletin there. The list beside the text holds\n"
    "the folder's bulletins, newest first, warnings in bold (\"Warnings only\" hides\n"
    "the others); Ctrl+C copies the selection or the whole text, Ctrl+P prints and\n"
    "Ctrl+O opens another file.\n"
    "\n"
    "One instance runs per desktop: a second start hands its bulletin to the first\n"
    "window and ends. The window closes on a close request from the suite bus\n"
    "(zebctl close \"ZEB-Warn-View\"), on the broadcast ZEB_EXIT_PROG and on\n"
    "SIGTERM, SIGINT or SIGHUP.\n"
    "\n"
    "options:\n"
    "  --dir DIR      the working directory\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "Other options beginning with '-' go to Qt (-platform, -style, ...).\n"
    "\n"
    "The working directory is DIR, else the current directory when it holds SYNOP/,\n"
    "settings or DATA/, else $ZEB_HOME, else $XDG_DATA_HOME/zeb (~/.local/share/zeb).\n"
    "\n"
    "environment:\n"
    "  ZEB_SHOW=min   start with the window minimised\n"
    "  ZEB_BUS_DIR    the suite bus directory\n";

// Qt's options that take a value: the value is no bulletin name.
constexpr std::array<std::string_view, 13> kQtValueOptions{"-platform",
                                                           "-platformpluginpath",
                                                           "-platformtheme",
                                                           "-plugin",
                                                           "-qwindowgeometry",
                                                           "-qwindowicon",
                                                           "-qwindowtitle",
                                                           "-style",
                                                           "-stylesheet",
                                                           "-display",
                                                           "-geometry",
                                                           "-session",
                                                           "-name"};

struct Arguments {
    std::optional<fs::path> dir;
    std::optional<std::string> bulletin;
};

// nullopt after --help or --version (printed), or a wrong argument (said).
std::optional<Arguments> parseArguments(int argc, char** argv, int& exitCode) {
    Arguments args;
    exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return std::nullopt;
        }
        if (arg == "--version" || arg == "-V") {
            std::puts(zeb::versionLine("zebwarnv").c_str());
            return std::nullopt;
        }
        if (arg == "--dir") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zebwarnv: --dir needs a directory\n");
                exitCode = 2;
                return std::nullopt;
            }
            args.dir = argv[++i];
        } else if (arg.starts_with('-')) {
            for (std::string_view option : kQtValueOptions)
                if (arg == option) ++i;
        } else if (!args.bulletin) {
            args.bulletin = std::string(arg);
        } else {
            std::fprintf(stderr, "zebwarnv: one bulletin at a time (see --help)\n");
            exitCode = 2;
            return std::nullopt;
        }
    }
    return args;
}

// Hands the bulletin (empty: the newest) to the viewer that owns the class.
bool handOver(const fs::path& bulletin) {
    zeb::bus::Message open;
    open.kind = zeb::bus::MessageKind::Registered;
    open.name = zeb::zebwarnv::kOpenMessage;
    const std::string bytes = bulletin.string();
    if (bytes.size() > zeb::bus::kMaxPayloadBytes) return false;
    open.payload.assign(bytes.begin(), bytes.end());
    return zeb::bus::post(kClassName, open).ok();
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto args = parseArguments(argc, argv, exitCode);
    if (!args) return exitCode;
    auto workDir = zeb::zebwarnv::viewerWorkDir(args->dir);
    if (!workDir) {
        std::fprintf(stderr, "zebwarnv: %s\n", workDir.error().message.c_str());
        return 1;
    }
    const fs::path bulletin =
        args->bulletin ? zeb::zebwarnv::resolveBulletin(*workDir, *args->bulletin) : fs::path();

    // From here on these signals close the program as its window's close does;
    // until the watcher exists they wait, so the class is always given back.
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});

    auto endpoint = zeb::bus::ClassEndpoint::claim(kClassName);
    if (!endpoint && endpoint.error().code == zeb::bus::BusError::AlreadyRunning) {
        if (handOver(bulletin)) return 0;
        // The running viewer cannot take it (its name is too long for a
        // message, or it is just ending): this one replaces it.
        (void)zeb::bus::closeByClass(kClassName);
        endpoint = zeb::bus::ClassEndpoint::claim(kClassName);
    }
    if (!endpoint) {
        std::fprintf(stderr, "zebwarnv: %s\n", endpoint.error().message.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEB-Warn-View"));

    zeb::ui::BusNotifier bus(std::move(*endpoint));
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::zebwarnv::WarnViewer window(*workDir);

    using zeb::ui::BusNotifier;
    QObject::connect(&bus, &BusNotifier::closeRequested, &window, &QWidget::close);
    QObject::connect(&bus, &BusNotifier::exitProgramRequested, &window, &QWidget::close);
    QObject::connect(&bus, &BusNotifier::activateRequested, &window,
                     &zeb::zebwarnv::WarnViewer::bringToFront);
    QObject::connect(&bus, &BusNotifier::registeredMessage, &window,
                     [&window](const QString& name, qint64, qint64, const QByteArray& payload) {
                         window.takeMessage(name, payload);
                     });
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &window, &QWidget::close);

    if (bulletin.empty())
        window.openNewest();
    else
        window.openBulletin(bulletin);
    zeb::ui::showMainWindow(&window);
    return QApplication::exec();
}
