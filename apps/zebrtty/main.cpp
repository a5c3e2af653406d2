// ZEBRTTY: the stand-alone RTTY decoder of the suite. Decodes Baudot,
// synchronous Baudot and SITOR-B from the sound card (or a recording given
// with --input), reads the weather bulletins in the text, and keeps its
// parameters in step with the receiver control RIGMAN.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "RttyWindow.h"
#include "ZebRtty.h"
#include "audioio/Backends.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "ui/MessageBoxes.h"
#include "ui/SignalWatcher.h"

namespace {

void usage() {
    std::puts(
        "Usage: zebrtty [--input DEVICE|FILE] [--output DEVICE] [--fast] [--dir DIR]\n"
        "\n"
        "  --input DEVICE|FILE  sound input: an ALSA device (\"default\", \"hw:1\"), \"null\",\n"
        "                       or a recording (any format libsndfile reads, any rate)\n"
        "  --output DEVICE      sound output for the warning tone\n"
        "  --fast               read a recording as fast as it is decoded\n"
        "  --dir DIR            the working directory\n"
        "  -h, --help           show this text\n"
        "  -V, --version        print the version\n"
        "\n"
        "The program tunes through the receiver control RIGMAN, which it starts when it\n"
        "is not running. The working directory holds ZEBRTTY.INI, DATA/ and SYNOP/: DIR,\n"
        "else the current directory when it holds settings or DATA/, else $ZEB_HOME,\n"
        "else $XDG_DATA_HOME/zeb (~/.local/share/zeb).");
}

}  // namespace

int main(int argc, char** argv) {
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});
    zeb::zebrtty::ZebRttyOptions options;
    std::optional<std::filesystem::path> dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--version" || arg == "-V") {
            std::puts(zeb::versionLine("zebrtty").c_str());
            return 0;
        } else if (arg == "--input" && hasValue) {
            options.input = zeb::audio::inputFromArgument(argv[++i]);
        } else if (arg == "--output" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--dir" && hasValue) {
            dir = argv[++i];
        } else {
            std::fprintf(stderr, "zebrtty: unknown argument \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }
    auto workDir = zeb::suiteWorkDir(dir);
    if (!workDir) {
        std::fprintf(stderr, "zebrtty: %s\n", workDir.error().message.c_str());
        return 1;
    }
    options.workDir = *workDir;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEBRTTY"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        zeb::ui::MessageBoxes::setPresenter([](QMessageBox& box) {
            std::fprintf(stderr, "zebrtty: %s\n", box.text().toLocal8Bit().constData());
            return QMessageBox::Ok;
        });
    }
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::zebrtty::ZebRtty program(options);
    bool quit = false;
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &program, [&] {
        quit = true;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible()) box->reject();
        if (program.window()) program.window()->close();
    });
    if (auto ended = program.startUp()) return *ended;
    if (!quit) QApplication::exec();
    program.shutdown();
    return 0;
}
