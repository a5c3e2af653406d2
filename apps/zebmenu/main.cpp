// ZEBMENU: the launcher of the suite. Starts the decoders, viewers and the
// receiver control, keeps the frequency list and the reception schedule,
// shows the received files and cleans up old ones, and ends the suite.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "MenuWindow.h"
#include "ZebMenu.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "ui/MessageBoxes.h"
#include "ui/SignalWatcher.h"

namespace {

void usage() {
    std::puts(
        "Usage: zebmenu [--dir DIR]\n"
        "\n"
        "  --dir DIR      the working directory\n"
        "  -h, --help     show this text\n"
        "  -V, --version  print the version\n"
        "\n"
        "The launcher starts the decoders (zebrtty, zebfax, zebcw, zebrec, zebtime), the\n"
        "viewers and the receiver control RIGMAN, which it starts when it is not running.\n"
        "It keeps the frequency list DATA/RCFRQ.DAT and the reception schedules of\n"
        "DATA/TIMER, runs the active schedule, and deletes received files older than\n"
        "DELTIME hours (ZEBSYS.INI). Ending it ends every program of the suite.\n"
        "The working directory holds ZEBMENU.INI, ZEBSYS.INI, DATA/, FAX/ and SYNOP/: DIR,\n"
        "else the current directory when it holds settings or DATA/, else $ZEB_HOME,\n"
        "else $XDG_DATA_HOME/zeb (~/.local/share/zeb).");
}

}  // namespace

int main(int argc, char** argv) {
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});
    std::optional<std::filesystem::path> dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--version" || arg == "-V") {
            std::puts(zeb::versionLine("zebmenu").c_str());
            return 0;
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else {
            // The launcher runs only without arguments; anything else ends it
            // at once and touches nothing.
            std::fprintf(stderr, "zebmenu: unknown argument \"%s\" (see --help)\n", arg.c_str());
            return 0;
        }
    }
    auto workDir = zeb::suiteWorkDir(dir);
    if (!workDir) {
        std::fprintf(stderr, "zebmenu: %s\n", workDir.error().message.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEBMENU"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        zeb::ui::MessageBoxes::setPresenter([](QMessageBox& box) {
            std::fprintf(stderr, "zebmenu: %s\n", box.text().toLocal8Bit().constData());
            return QMessageBox::Yes;
        });
    }
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::zebmenu::ZebMenuOptions options;
    options.workDir = *workDir;
    zeb::zebmenu::ZebMenu program(options);
    bool quit = false;
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &program, [&] {
        quit = true;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible()) box->reject();
        if (auto* w = program.window()) {
            w->closeWithoutAsking();
            w->close();
        }
    });
    if (auto ended = program.startUp()) return *ended;
    if (!quit) QApplication::exec();
    program.shutdown();
    return 0;
}
