// ZEB-Audioplayer: plays the recordings of the suite (SYNOP/AUDIO_….WAV and
// .GSM) on the audio output. One instance per desktop: a second start hands
// its recording to the first over the bus and ends. It closes on a close
// request from the bus, on the registered message "ZEB_EXIT_PROG", and on
// SIGTERM, SIGINT or SIGHUP, always releasing its window class.
#include "PlayerWindow.h"

#include "common/ReceivedFile.h"
#include "ui/ViewerProgram.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kHelp =
    "Usage: zebplay [--dir DIR] [--output DEVICE] [AUDIO_yyyy-mm-dd_hh-mi.WAV | PATH] "
    "[QT OPTIONS]\n"
    "\n"
    "Plays a recording of the suite: a plain name from the SYNOP folder of the\n"
    "working directory, a PATH as given, or without an argument the newest\n"
    "recording there (AUDIO_*.WAV or AUDIO_*.GSM). PCM, GSM 6.10, A-law and mu-law\n"
    "WAV files play, and any other file libsndfile reads. Space plays and pauses,\n"
    "the arrow keys move by 5 seconds, Home goes back to the start and Ctrl+O\n"
    "opens another file (a file dropped on the window plays too).\n"
    "\n"
    "One instance runs per desktop: a second start hands its recording to the\n"
    "first window, which plays it, and ends. The window closes on a close request\n"
    "from the suite bus (zebctl close \"ZEB-Audioplayer\"), on the broadcast\n"
    "ZEB_EXIT_PROG and on SIGTERM, SIGINT or SIGHUP.\n"
    "\n"
    "options:\n"
    "  --dir DIR        the working directory\n"
    "  --output DEVICE  the audio output: an ALSA device (\"default\", \"hw:1\",\n"
    "                   \"plughw:1,0\") or \"null\" (no sound, played in real time);\n"
    "                   else OUTPUT in section [AUDIO] of ZEBSYS.INI, else \"default\"\n"
    "  -h, --help       show this text\n"
    "  -V, --version    print the version\n";

// Takes --output DEVICE (or --output=DEVICE) out of the arguments, which
// then go on to the shared start-up. False when the device is missing.
bool takeOutput(std::vector<char*>& args, std::optional<std::string>& output) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--") break;
        if (arg.starts_with("--output=")) {
            output = std::string(arg.substr(9));
        } else if (arg == "--output") {
            if (i + 1 >= args.size()) return false;
            output = std::string(args[i + 1]);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else {
            continue;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        --i;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::optional<std::string> output;
    if (!takeOutput(args, output)) {
        std::fputs("zebplay: --output needs a device (see --help)\n", stderr);
        return 2;
    }
    zeb::zebplay::setOutputOverride(output);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    const zeb::ui::ViewerProgram player{"zebplay",
                                        zeb::zebplay::kClassName,
                                        zeb::zebplay::kOpenMessage,
                                        zeb::kSynopDir,
                                        "recording",
                                        kHelp};
    return zeb::ui::runViewer<zeb::zebplay::PlayerWindow>(
        player, count, args.data(),
        [](zeb::zebplay::PlayerWindow& window, const std::filesystem::path& file) {
            window.openRecording(file);
        });
}
