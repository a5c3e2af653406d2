// ZEB-WorldMap: the received weather observations on a world map. One
// instance per desktop: a second start hands its observation time to the
// first over the bus and ends. It closes on a close request from the bus, on
// the registered message "ZEB_EXIT_PROG", and on SIGTERM, SIGINT or SIGHUP,
// always releasing its window class.
#include "SynopViewer.h"

#include "common/ReceivedFile.h"
#include "ui/ViewerProgram.h"

#include <filesystem>

namespace {

constexpr const char* kHelp =
    "Usage: zebsynv [--dir DIR] [KEY] [QT OPTIONS]\n"
    "\n"
    "Shows the weather observations of SYNOP/STATION.DAT on a world map as\n"
    "station plots: temperature (degrees C) upper left, sea-level pressure (hPa)\n"
    "upper right, the present weather left, the wind as a barb (a full barb 10 kt,\n"
    "a half barb 5 kt, a pennant 50 kt; a double circle for calm) and the cloud\n"
    "cover filling the circle. KEY is an observation time in decimal seconds since\n"
    "1970 UTC; without it the newest time is shown. The list beside the map holds\n"
    "the file's observation times, newest first, with their number of reports.\n"
    "\n"
    "Drag or use the arrow keys to pan, the wheel or +/- to zoom; F fits the view\n"
    "to the stations, W shows the whole world, F5 rereads the file. A click on a\n"
    "station shows its whole report in plain language. Land stations are placed by\n"
    "the station table of DATA/, ships and buoys by their reported position;\n"
    "reports that cannot be placed are listed under \"Not placed\".\n"
    "\n"
    "One instance runs per desktop: a second start hands its time to the first\n"
    "window and ends. The window closes on a close request from the suite bus\n"
    "(zebctl close \"ZEB-WorldMap\"), on the broadcast ZEB_EXIT_PROG and on\n"
    "SIGTERM, SIGINT or SIGHUP.\n"
    "\n"
    "options:\n"
    "  --dir DIR      the working directory\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n";

}  // namespace

int main(int argc, char** argv) {
    const zeb::ui::ViewerProgram viewer{
        "zebsynv",      zeb::zebsynv::kClassName, zeb::zebsynv::kOpenMessage,
        zeb::kSynopDir, "observation time",       kHelp};
    return zeb::ui::runViewer<zeb::zebsynv::SynopViewer>(
        viewer, argc, argv,
        [](zeb::zebsynv::SynopViewer& window, const std::filesystem::path& argument) {
            window.openArgument(argument);
        });
}
