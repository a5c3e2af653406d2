// RIGMAN: the receiver-control program of the suite. Tunes the receiver over
// its serial line (or any radio Hamlib supports), serves the other programs'
// tuning commands and passes NMEA sentences between a GPS and the programs.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "Rigman.h"
#include "RigmanWindow.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "ui/MessageBoxes.h"
#include "ui/SignalWatcher.h"

namespace {

void usage() {
    std::puts(
        "Usage: rigman [--dir DIR]\n"
        "\n"
        "Controls the receiver named by RECEIVER in RIGMAN.INI of the working directory\n"
        "on the first serial port that opens (COM1 ... COM16, mapped to devices by the\n"
        "section [PORTS] of ZEBSYS.INI, else /dev/ttyS0 ...). RECEIVER=40 drives a radio\n"
        "through Hamlib: HAMLIB_MODEL (2 = a rigctld on the network), HAMLIB_PORT\n"
        "(device or host:port) and HAMLIB_SPEED. RIGCTLPORT (e.g. 4532) offers the\n"
        "receiver to fldigi, WSJT-X or gpredict as a rigctld on 127.0.0.1, NMEATCPPORT\n"
        "(e.g. 10110) serves the GPS's sentences to gpsd; 0 = off.\n"
        "\n"
        "  --dir DIR      the working directory\n"
        "  -h, --help     show this text\n"
        "  -V, --version  print the version\n"
        "\n"
        "The working directory holds the settings: DIR, else the current directory when\n"
        "it holds settings or DATA/, else $ZEB_HOME, else $XDG_DATA_HOME/zeb\n"
        "(~/.local/share/zeb).");
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
            std::puts(zeb::versionLine("rigman").c_str());
            return 0;
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else {
            std::fprintf(stderr, "rigman: unknown argument \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }
    auto workDir = zeb::suiteWorkDir(dir);
    if (!workDir) {
        std::fprintf(stderr, "rigman: %s\n", workDir.error().message.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RIGMAN"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        zeb::ui::MessageBoxes::setPresenter([](QMessageBox& box) {
            std::fprintf(stderr, "rigman: %s\n", box.text().toLocal8Bit().constData());
            return QMessageBox::Ok;
        });
    }
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::rigman::Rigman rigman({*workDir, true});
    // The session's end and signals close without the question.
    bool quit = false;
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &rigman, [&] {
        quit = true;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible()) box->reject();
        if (rigman.window()) rigman.window()->closeWithoutQuestion();
    });
    if (auto ended = rigman.startUp()) return *ended;
    if (!quit) QApplication::exec();
    rigman.shutdown();
    return 0;
}
