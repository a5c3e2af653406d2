// ZEB-Warn-View: shows the received weather warnings and information
// (NAVTEX) bulletins of the suite. One instance per desktop: a second start
// hands its bulletin to the first over the bus and ends. It closes on a close request from the bus,
// on the registered message "ZEB_EXIT_PROG", and on SIGTERM, SIGINT or SIGHUP, always releasing its
// window class.
#include "WarnViewer.h"

#include "common/ReceivedFile.h"
#include "ui/ViewerProgram.h"

#include <filesystem>

namespace {

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
    "  -V, --version  print the version\n";

}  // namespace

int main(int argc, char** argv) {
    const zeb::ui::ViewerProgram viewer{"zebwarnv",
                                        zeb::zebwarnv::kClassName,
                                        zeb::zebwarnv::kOpenMessage,
                                        zeb::kSynopDir,
                                        "bulletin",
                                        kHelp};
    return zeb::ui::runViewer<zeb::zebwarnv::WarnViewer>(
        viewer, argc, argv,
        [](zeb::zebwarnv::WarnViewer& window, const std::filesystem::path& file) {
            window.openBulletin(file);
        });
}
