// zebdecode: decodes a recording — any format libsndfile reads, at any sample
// rate — with the suite's decoders and prints the decoded text on stdout.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"

namespace {

constexpr const char* kHelp =
    "usage: zebdecode MODE [OPTIONS] FILE|-\n"
    "\n"
    "Decodes a recording of a receiver's audio (WAV, FLAC, OGG, ... at any sample\n"
    "rate; - reads standard input) and prints the decoded text.\n"
    "\n"
    "modes (zebdecode MODE --help describes the options of each):\n"
    "  rtty    radioteletype, asynchronous or synchronous Baudot\n"
    "  sitor   SITOR-B (NAVTEX and HF navigational warnings)\n"
    "  cw      Morse telegraphy\n"
    "  fax     weather fax (HF radiofax) into FAX/FAX_....BMP pictures\n"
    "  text    a text file fed to the bulletin scanner as if received\n"
    "\n"
    "exit status: 0 decoded, 2 bad usage or a recording that cannot be read,\n"
    "3 something received could not be saved\n";

struct Mode {
    std::string_view name;
    zeb::zebdecode::Command run;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) return zeb::zebdecode::fail("no mode given; try 'zebdecode --help'");
    if (all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        std::fputs(kHelp, stdout);
        return zeb::zebdecode::kExitOk;
    }
    static constexpr Mode kModes[] = {
        {"rtty", zeb::zebdecode::runRtty}, {"sitor", zeb::zebdecode::runSitor},
        {"cw", zeb::zebdecode::runCw},     {"fax", zeb::zebdecode::runFax},
        {"text", zeb::zebdecode::runText},
    };
    const std::vector<std::string> args(all.begin() + 1, all.end());
    for (const Mode& mode : kModes)
        if (all[0] == mode.name) return mode.run(args);
    return zeb::zebdecode::fail("unknown mode '" + all[0] + "'; try 'zebdecode --help'");
}
