// zebdecode: decodes a recording — any format libsndfile reads, at any sample
// rate — with the suite's decoders and prints the decoded text on stdout.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "common/Version.h"

namespace {

constexpr const char* kHelp =
    "Usage: zebdecode MODE [OPTIONS] FILE|-\n"
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
    "options:\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "\n"
    "exit status: 0 something was decoded, 1 nothing was (no characters, no\n"
    "tone, no picture), 2 bad usage or an input that cannot be read, 3 something\n"
    "received could not be saved\n";

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
    if (all[0] == "--version" || all[0] == "-V") {
        std::puts(zeb::versionLine("zebdecode").c_str());
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
