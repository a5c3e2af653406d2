// NIMBA: the main decoder program of the suite. Decodes weather fax, RTTY
// (Baudot, synchronous Baudot, SITOR-B) and Morse from the sound card, or
// from a recording given with --input.
#include <QApplication>
#include <QDialog>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "MainWindow.h"
#include "Nimba.h"
#include "audioio/Backends.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "ui/MessageBoxes.h"
#include "ui/SignalWatcher.h"

namespace {

void usage() {
    std::puts(
        "Usage: nimba [--input DEVICE|FILE] [--output DEVICE] [--mode fax|rtty|cw|record]\n"
        "             [--page N] [--fast] [--quit-at-end] [--dir DIR]\n"
        "\n"
        "  --input DEVICE|FILE  sound input: an ALSA device (\"default\", \"hw:1\"), \"null\",\n"
        "                       or a recording (any format libsndfile reads, any rate)\n"
        "  --output DEVICE      sound output for the monitor and the warning tone\n"
        "  --mode M             switch the decoder on after start: fax, rtty or cw, or\n"
        "                       record (the receiver's audio into SYNOP/AUDIO_....WAV)\n"
        "  --page N             show page N (0 frequencies, 1 schedule, 2 received files,\n"
        "                       3 audio, 4 fax, 5 RTTY, 6 CW)\n"
        "  --fast               read a recording as fast as the decoders take it\n"
        "  --quit-at-end        end the program when the recording ends; messages go to\n"
        "                       standard error instead of a window\n"
        "  --dir DIR            the working directory (made and given the reference data\n"
        "                       when new)\n"
        "  -h, --help           show this text\n"
        "  -V, --version        print the version\n"
        "\n"
        "The working directory holds the settings, DATA/, SYNOP/ and FAX/: DIR, else the\n"
        "current directory when it holds NIMBA.INI or DATA/, else $ZEB_HOME, else\n"
        "$XDG_DATA_HOME/zeb (~/.local/share/zeb).");
}

}  // namespace

int main(int argc, char** argv) {
    zeb::ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});
    zeb::nimba::StartOptions options;
    std::optional<std::filesystem::path> dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "nimba: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--version" || arg == "-V") {
            std::puts(zeb::versionLine("nimba").c_str());
            return 0;
        } else if (arg == "--input") {
            options.input = zeb::audio::inputFromArgument(value("--input"));
        } else if (arg == "--output") {
            options.output = value("--output");
        } else if (arg == "--mode") {
            const std::string m = value("--mode");
            if (m == "fax")
                options.mode = zeb::audio::DecoderMode::Fax;
            else if (m == "rtty")
                options.mode = zeb::audio::DecoderMode::Rtty;
            else if (m == "cw")
                options.mode = zeb::audio::DecoderMode::Cw;
            else if (m == "record")
                options.mode = zeb::audio::DecoderMode::Recorder;
            else {
                std::fprintf(stderr, "nimba: unknown mode \"%s\" (fax, rtty, cw or record)\n",
                             m.c_str());
                return 2;
            }
        } else if (arg == "--page") {
            const std::string p = value("--page");
            if (p.size() != 1 || p[0] < '0' || p[0] > '6') {
                std::fprintf(stderr, "nimba: --page takes 0 to 6\n");
                return 2;
            }
            options.page = p[0] - '0';
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--quit-at-end") {
            options.quitAtEnd = true;
        } else if (arg == "--dir") {
            dir = value("--dir");
        } else {
            std::fprintf(stderr, "nimba: unknown argument \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }

    auto workDir = zeb::suiteWorkDir(dir);
    if (!workDir) {
        std::fprintf(stderr, "nimba: %s\n", workDir.error().message.c_str());
        return 1;
    }
    options.workDir = *workDir;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NIMBA"));
    // A run that nobody watches never waits on a box: its text goes to
    // standard error and the program goes on (or ends, at a failed start).
    if (options.quitAtEnd || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        zeb::ui::MessageBoxes::setPresenter([](QMessageBox& box) {
            std::fprintf(stderr, "nimba: %s\n", box.text().toLocal8Bit().constData());
            return QMessageBox::Ok;
        });
    }
    zeb::ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    zeb::nimba::Nimba nimba(options);
    // SIGTERM, SIGINT and SIGHUP close the program as the window's close does;
    // during the start a box waiting for the user is closed and the start
    // ends there.
    bool quit = false;
    QObject::connect(&watcher, &zeb::ui::SignalWatcher::signalReceived, &nimba, [&] {
        quit = true;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible()) box->reject();
        }
        if (nimba.started() && nimba.window()) nimba.window()->close();
    });
    if (auto ended = nimba.startUp()) return *ended;
    if (quit) {
        nimba.shutdown();
        return 0;
    }
    QApplication::exec();
    nimba.shutdown();
    return 0;
}
