#include "Companion.h"

#include <QApplication>
#include <QDialog>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "MainWindow.h"
#include "Nimba.h"
#include "audioio/Backends.h"
#include "common/AtomicFile.h"
#include "common/FindFile.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "common/bus/ReceiverLink.h"
#include "ui/MessageBoxes.h"
#include "ui/SignalWatcher.h"

namespace zeb::nimba {
namespace {

constexpr const char* kNimbaSettings = "NIMBA.INI";

bool sameLetters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void usage(const Companion& c) {
    const std::string plain = c.unattendedArgument.empty() ? "" : "[" + c.unattendedArgument + "] ";
    std::printf(
        "Usage: %s %s[--input DEVICE|FILE] [--output DEVICE] [--fast] [--quit-at-end]\n"
        "       [--dir DIR]\n"
        "\n"
        "%s\n"
        "\n",
        c.program.c_str(), plain.c_str(), c.summary.c_str());
    if (c.unattendedArgument == "TIMER")
        std::puts(
            "  TIMER                a scheduled reception: every stop tone starts a new\n"
            "                       picture");
    else if (c.unattendedArgument == "SAVE")
        std::puts(
            "  SAVE                 a scheduled reception: the decoded text is saved as\n"
            "                       SYNOP/WARN_....RTF when the program closes");
    std::printf(
        "  --input DEVICE|FILE  sound input: an ALSA device (\"default\", \"hw:1\"), \"null\",\n"
        "                       or a recording (any format libsndfile reads, any rate)\n"
        "  --output DEVICE      sound output for the monitor\n"
        "  --fast               read a recording as fast as the decoder takes it\n"
        "  --quit-at-end        end the program when the recording ends; messages go to\n"
        "                       standard error instead of a window\n"
        "  --dir DIR            the working directory (made and given the reference data\n"
        "                       when new)\n"
        "  -h, --help           show this text\n"
        "  -V, --version        print the version\n"
        "\n"
        "Window class \"%s\": a second start brings the running program to the front;\n"
        "it closes on a close request (zebctl close \"%s\") and on ZEB_EXIT_PROG.\n"
        "The settings are %s in the working directory, with the keys of NIMBA.INI\n"
        "(copied from NIMBA.INI when absent). The receiver is tuned by RIGMAN.\n",
        c.className.c_str(), c.className.c_str(), c.settingsFile.c_str());
}

// The command line; an exit status when the program ends there.
struct Arguments {
    StartOptions options;
    std::optional<std::filesystem::path> dir;
    std::optional<int> exit;
};

Arguments parseArguments(Companion companion, int argc, char** argv) {
    Arguments a;
    const char* name = companion.program.c_str();
    for (int i = 1; i < argc && !a.exit; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 < argc) return std::string(argv[++i]);
            std::fprintf(stderr, "%s: %s needs a value\n", name, arg.c_str());
            a.exit = 2;
            return std::nullopt;
        };
        if (arg == "--help" || arg == "-h") {
            usage(companion);
            a.exit = 0;
        } else if (arg == "--version" || arg == "-V") {
            std::puts(versionLine(companion.program).c_str());
            a.exit = 0;
        } else if (arg == "--input") {
            if (auto v = value()) a.options.input = audio::inputFromArgument(*v);
        } else if (arg == "--output") {
            if (auto v = value()) a.options.output = *v;
        } else if (arg == "--fast") {
            a.options.fast = true;
        } else if (arg == "--quit-at-end") {
            a.options.quitAtEnd = true;
        } else if (arg == "--dir") {
            if (auto v = value()) a.dir = *v;
        } else if (!companion.unattendedArgument.empty() &&
                   sameLetters(arg, companion.unattendedArgument)) {
            companion.unattended = true;
        } else {
            std::fprintf(stderr, "%s: unknown argument \"%s\" (see --help)\n", name, arg.c_str());
            a.exit = 2;
        }
    }
    a.options.companion = std::move(companion);
    return a;
}

}  // namespace

Companion companionOf(CompanionKind kind) {
    switch (kind) {
        case CompanionKind::Fax:
            return {.className = "ZEB-FAX",
                    .program = "zebfax",
                    .summary = "Decodes weather fax from the receiver's audio into FAX/.",
                    .mode = DecoderMode::Fax,
                    .page = kFaxTab,
                    .settingsFile = "ZEBFAX.INI",
                    .unattendedArgument = "TIMER",
                    .readFaxHandover = true};
        case CompanionKind::Cw:
            return {.className = "ZEB-CW",
                    .program = "zebcw",
                    .summary = "Decodes Morse from the receiver's audio.",
                    .mode = DecoderMode::Cw,
                    .page = kCwTab,
                    .settingsFile = "ZEBCW.INI",
                    .unattendedArgument = "SAVE"};
        case CompanionKind::Recorder: break;
    }
    return {.className = "ZEB-Audiorecorder",
            .program = "zebrec",
            .summary = "Records the receiver's audio into SYNOP/AUDIO_....WAV.",
            .mode = DecoderMode::Recorder,
            .page = kAudioTab,
            .settingsFile = "ZEBREC.INI",
            .unattendedArgument = {}};
}

Result<void> seedSettings(const std::filesystem::path& dir, const std::string& fileName) {
    // The names are found in any case, as the settings files are.
    std::error_code ec;
    if (std::filesystem::exists(findFileNoCase(dir, fileName), ec)) return success();
    auto nimba = readWholeFile(findFileNoCase(dir, kNimbaSettings));
    if (!nimba) {
        if (nimba.error().systemError() == ENOENT) return success();
        return Error{nimba.error().code,
                     "NIMBA.INI was not copied to " + fileName + ": " + nimba.error().message};
    }
    auto written = writeNewFileAtomically(dir / fileName, *nimba);
    // Another start may have made the file meanwhile: that one is kept.
    if (!written && written.error().systemError() != EEXIST)
        return Error{written.error().code,
                     "NIMBA.INI was not copied to " + fileName + ": " + written.error().message};
    return success();
}

std::optional<stations::FaxHandover> readHandedOverFax() {
    bus::ReceiverConnectOptions options;
    options.startServer = false;
    auto link = bus::ReceiverClient::connect(options);
    if (!link) return std::nullopt;
    auto poked = link->poke(bus::ReceiverCode::ReadRecordB);
    if (!poked || *poked != bus::PokeAnswer::Acknowledged) return std::nullopt;
    auto answer = link->request();
    if (!answer || !*answer) return std::nullopt;
    auto record = stations::decodeFaxHandover(**answer);
    // The control keeps a zero record until a station start leaves one.
    if (!record || record->linesPerMinute == 0 || record->ioc == 0) return std::nullopt;
    return *record;
}

int companionMain(CompanionKind kind, int argc, char** argv) {
    ui::SignalWatcher::holdSignals({SIGTERM, SIGINT, SIGHUP});
    Arguments args = parseArguments(companionOf(kind), argc, argv);
    if (args.exit) return *args.exit;
    const std::string name = args.options.companion->program;
    auto workDir = suiteWorkDir(args.dir);
    if (!workDir) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), workDir.error().message.c_str());
        return 1;
    }
    args.options.workDir = *workDir;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(args.options.companion->className));
    // A run that nobody watches never waits on a box.
    if (args.options.quitAtEnd || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        ui::MessageBoxes::setPresenter([name](QMessageBox& box) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), box.text().toLocal8Bit().constData());
            return QMessageBox::Ok;
        });
    }
    ui::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    Nimba program(args.options);
    // The signals close the program as the window's close does.
    bool quit = false;
    QObject::connect(&watcher, &ui::SignalWatcher::signalReceived, &program, [&] {
        quit = true;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible()) box->reject();
        }
        if (program.started() && program.window()) program.window()->close();
    });
    if (auto ended = program.startUp()) return *ended;
    if (!quit) QApplication::exec();
    program.shutdown();
    return 0;
}

}  // namespace zeb::nimba
