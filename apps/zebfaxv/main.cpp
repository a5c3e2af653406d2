// ZEB-FAX Viewer: shows the received weather-fax pictures of the suite. One
// instance per desktop: a second start hands its picture to the first over
// the bus and ends. It closes on a close request from the bus, on the
// registered message "ZEB_EXIT_PROG", and on SIGTERM, SIGINT or SIGHUP,
// always releasing its window class.
#include "FaxViewer.h"

#include "common/ReceivedFile.h"
#include "ui/ViewerProgram.h"

#include <filesystem>

namespace {

constexpr const char* kHelp =
    "Usage: zebfaxv [--dir DIR] [FAX_yyyy-mm-dd_hh-mi.BMP | PATH] [QT OPTIONS]\n"
    "\n"
    "Shows a received weather-fax picture: a plain name from the FAX folder of the\n"
    "working directory, a PATH as given, or without an argument the newest picture\n"
    "there. The thumbnails of the folder's pictures step through them (also Page Up\n"
    "and Page Down); the picture zooms (Ctrl+wheel, + and -, F fits it to the\n"
    "window, 1 shows it at 100 %), turns (L and R), scrolls with the keys and by\n"
    "dragging, and is exported as PNG (Ctrl+E).\n"
    "\n"
    "One instance runs per desktop: a second start hands its picture to the first\n"
    "window and ends. The window closes on a close request from the suite bus\n"
    "(zebctl close \"ZEB-FAX Viewer\"), on the broadcast ZEB_EXIT_PROG and on\n"
    "SIGTERM, SIGINT or SIGHUP.\n"
    "\n"
    "options:\n"
    "  --dir DIR      the working directory\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n";

}  // namespace

int main(int argc, char** argv) {
    const zeb::ui::ViewerProgram viewer{
        "zebfaxv", zeb::zebfaxv::kClassName, zeb::zebfaxv::kOpenMessage, zeb::kFaxDir, "picture",
        kHelp};
    return zeb::ui::runViewer<zeb::zebfaxv::FaxViewer>(
        viewer, argc, argv, [](zeb::zebfaxv::FaxViewer& window, const std::filesystem::path& file) {
            window.openPicture(file);
        });
}
