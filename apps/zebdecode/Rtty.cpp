// zebdecode rtty|sitor: the RTTY decoder over a recording. Prints what the
// receive window would show, with its line ends as newlines.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "Bulletins.h"
#include "Commands.h"
#include "common/TextSink.h"
#include "rtty/RttyDecoder.h"

namespace zeb::zebdecode {
namespace {

constexpr const char* kRttyHelp =
    "usage: zebdecode rtty [OPTIONS] FILE|-\n"
    "\n"
    "Decodes ITA2 (Baudot) radioteletype and prints the received text. Weather\n"
    "bulletins in it are read as the main program reads them: each accepted SYNOP\n"
    "report is described after its text and appended to SYNOP/STATION.DAT, and\n"
    "warnings are saved as SYNOP/WARN_....RTF below the working directory.\n"
    "\n"
    "  --dir DIR       working directory (default: the current directory); its\n"
    "                  DATA folder, or the one beside zebdecode, holds the\n"
    "                  station list and the report texts\n"
    "  --baud N        bit rate, 30 to 300 (default 75; 45.45 Bd signals: 45)\n"
    "  --shift HZ      distance between the tones, 50 to 1450 (default 425)\n"
    "  --center HZ     frequency of the lower tone, 500 to 1500 (default 1275)\n"
    "  --stop N        stop length in bit periods: 1, 1.5 or 2 (default 1.5);\n"
    "                  used by the synchronous slicer\n"
    "  --invert        the upper tone is mark (default: the lower tone is mark)\n"
    "  --letters       start in letters shift (default: figures, as after a\n"
    "                  FIGS code)\n"
    "  --sync          synchronous reception with a flywheel character clock\n"
    "  --variant V     demodulator design: main (default) or rtty (normalised\n"
    "                  filters with squelch)\n"
    "  --squelch X     with --variant rtty: skip blocks whose tone levels are both\n"
    "                  at or below X (0 to 1e6, default 0 = open)\n"
    "  --help          this text\n"
    "\n"
    "exit status: 0 decoded, 2 bad usage or a recording that cannot be read\n";

constexpr const char* kSitorHelp =
    "usage: zebdecode sitor [OPTIONS] FILE|-\n"
    "\n"
    "Decodes SITOR-B (CCIR 476 collective FEC, as NAVTEX sends it) and prints\n"
    "the received text. Each message from ZCZC to NNNN is saved as\n"
    "SYNOP/INFO_....RTF below the working directory.\n"
    "\n"
    "  --dir DIR       working directory (default: the current directory)\n"
    "  --baud N        bit rate, 30 to 300 (default 100)\n"
    "  --shift HZ      distance between the tones, 50 to 1450 (default 170)\n"
    "  --center HZ     frequency of the lower tone, 500 to 1500 (default 1275)\n"
    "  --invert        the upper tone is mark (default: the lower tone is mark)\n"
    "  --letters       start in letters shift (default: figures, as after a\n"
    "                  FIGS code)\n"
    "  --variant V     demodulator design: main (default) or rtty (normalised\n"
    "                  filters with squelch)\n"
    "  --squelch X     with --variant rtty: skip blocks whose tone levels are both\n"
    "                  at or below X (0 to 1e6, default 0 = open)\n"
    "  --help          this text\n"
    "\n"
    "exit status: 0 decoded, 2 bad usage or a recording that cannot be read\n";

int run(const std::vector<std::string>& args, bool sitor) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(sitor ? kSitorHelp : kRttyHelp, stdout);
            return kExitOk;
        }
    }
    std::vector<std::string_view> valued = {"baud", "shift", "center", "variant", "squelch", "dir"};
    std::vector<std::string_view> flags = {"invert", "letters"};
    if (!sitor) {
        valued.push_back("stop");
        flags.push_back("sync");
    }
    ParsedArgs parsed;
    if (auto error = parseArgs(args, valued, flags, parsed)) return fail(*error);

    rtty::RttyParams params;
    params.mode = static_cast<int>(sitor ? rtty::RttyMode::SitorB : rtty::RttyMode::Baudot);
    params.baud = sitor ? 100 : 75;
    params.shift = sitor ? 170 : 425;
    params.center = 1275;
    auto variant = rtty::DemodVariant::Main;
    bool letters = false;
    std::string workDir = ".";
    for (const auto& [name, value] : parsed.options) {
        auto integer = [&](double min, double max, int& field) {
            const auto v = parseNumber(value, min, max);
            if (!v || *v != std::floor(*v)) return false;
            field = static_cast<int>(*v);
            return true;
        };
        bool ok = true;
        if (name == "baud") {
            ok = integer(rtty::kMinBaud, rtty::kMaxBaud, params.baud);
        } else if (name == "shift") {
            ok = integer(rtty::kMinShift, rtty::kMaxShift, params.shift);
        } else if (name == "center") {
            ok = integer(rtty::kMinCenter, rtty::kMaxCenter, params.center);
        } else if (name == "stop") {
            const auto v = parseNumber(value, 1.0, 2.0);
            ok = v && (*v == 1.0 || *v == 1.5 || *v == 2.0);
            if (ok) params.stop = static_cast<float>(*v);
        } else if (name == "invert") {
            params.invert = 1;
        } else if (name == "letters") {
            letters = true;
        } else if (name == "sync") {
            params.mode = static_cast<int>(rtty::RttyMode::SyncBaudot);
        } else if (name == "variant") {
            ok = value == "main" || value == "rtty";
            variant = value == "rtty" ? rtty::DemodVariant::Rtty : rtty::DemodVariant::Main;
        } else if (name == "dir") {
            workDir = value;
        } else if (name == "squelch") {
            const auto v = parseNumber(value, 0.0, 1e6);
            ok = v.has_value();
            if (ok) params.squelch = static_cast<float>(*v);
        }
        if (!ok) return fail("invalid value '" + value + "' for --" + name);
    }

    std::unique_ptr<Bulletins> bulletins;
    if (auto error = Bulletins::open(workDir, sitor, false, bulletins)) return fail(*error);
    rtty::RttyDecoder decoder({&bulletins->display(), bulletins->scanner()}, variant);
    decoder.configure(params);
    if (letters) decoder.startInLetters();
    auto error = decodeRecording(
        parsed.input, [&](std::span<const float> block) { decoder.processBlock(block); });
    bulletins->summary();
    if (error) return fail(*error);
    return kExitOk;
}

}  // namespace

int runRtty(const std::vector<std::string>& args) { return run(args, false); }
int runSitor(const std::vector<std::string>& args) { return run(args, true); }

}  // namespace zeb::zebdecode
