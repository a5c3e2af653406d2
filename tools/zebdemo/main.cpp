// zebdemo: writes a generated recording as a receiver would hear it, for a
// first look at the decoders without a receiver:
//   zebdemo rtty FILE   a weather RTTY broadcast (75 Bd, 425 Hz shift, lower
//                       tone 1275 Hz — the decoder's defaults) with SYNOP
//                       observations of the last full hour and a gale warning
//   zebdemo fax FILE    a weather-fax chart, 120 LPM, IOC 576, 1900 ± 400 Hz
//   zebdemo cw FILE     Morse at 20 words per minute on 1275 Hz
// The recordings carry a little noise and a tuning error, 11025 Hz mono PCM.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Version.h"
#include "support/Broadcasts.h"
#include "support/FaxGenerator.h"
#include "support/MorseGenerator.h"
#include "support/RttyGenerator.h"
#include "support/WavFile.h"

namespace {

// What each recording holds, as rtty(), fax() and cw() below generate it.
constexpr const char* kHelp =
    "Usage: zebdemo rtty|fax|cw FILE\n"
    "\n"
    "Writes a generated recording to FILE as a receiver would hear it, to try the\n"
    "decoders without a receiver: nimba --input FILE --mode rtty|fax|cw, or\n"
    "zebdecode rtty|fax|cw FILE. Every recording is a WAV file, 16-bit PCM, mono,\n"
    "11025 Hz, with some white noise and a small tuning error.\n"
    "\n"
    "recordings:\n"
    "  rtty  weather RTTY, about 64 s: ITA2 at 75 Bd with 1.5 stop bits, mark\n"
    "        1275 Hz and space 1700 Hz (425 Hz shift, the decoder's defaults)\n"
    "        received 9 Hz high, Eb/N0 22 dB. Three ZCZC ... NNNN messages from\n"
    "        EDZW between RYRY lines: SYNOP land reports (AAXX, three stations and\n"
    "        a NIL), a gale warning for the German Bight and a ship report (BBXX),\n"
    "        all dated the hour before the current one (UTC), so that the decoder\n"
    "        stores them.\n"
    "  fax   weather fax, 202 s: 120 lines per minute, IOC 576, 1900 Hz centre\n"
    "        (black 1500 Hz, white 2300 Hz) received 6 Hz high, 25 dB SNR. 1 s of\n"
    "        noise, 5 s start tone (300 Hz), 20 phasing lines, a 1810 x 360 test\n"
    "        chart (black band at the left, white band at the right, a 16-step\n"
    "        grey wedge, bars and a checkerboard), 5 s stop tone (450 Hz), 1 s of\n"
    "        noise.\n"
    "  cw    Morse, about 39 s: 20 words per minute on 1275 Hz received 5 Hz high,\n"
    "        20 dB SNR in 3 kHz, the text \"CQ CQ DE DDK9 DDK9 = WX FOR GERMAN BIGHT\n"
    "        WEST 8 LATER NW 9 = SEA 3M AR\".\n"
    "\n"
    "options:\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "\n"
    "Exit status: 0 written, 1 FILE could not be written, 2 bad usage.\n";

std::string rttyText() {
    // Observations of the last full hour, so that the decoder accepts them.
    const std::string yygg = zeb::test::lastHourDayHour();
    std::string text =
        "RYRYRYRYRYRYRYRY\n"
        "ZCZC 101\n"
        "SMDL01 EDZW " +
        yygg +
        "00\n"
        "AAXX " +
        yygg +
        "1\n"
        "10637 32966 82005 10102 20058 30108 40158 52012 69901 76166 8453/ 333 "
        "10152 20045 55300 81630=\n"
        "10384 12570 71212 10054 21003 30133 40170 57006 60001 70282 84501=\n"
        "10865 11460 80508 10078 20041 30121 40165 58003 70511 82530=\n"
        "10147 NIL=\n"
        "NNNN\n"
        "\n"
        "ZCZC 102\n"
        "FQDL01 EDZW " +
        yygg +
        "00\n"
        "GALE WARNING GERMAN BIGHT WEST 8 BEAUFORT, LATER VEERING NORTHWEST 9.\n"
        "FISHER: SOUTHWEST 7 TO 8.\n"
        "NNNN\n"
        "\n"
        "ZCZC 103\n"
        "SMVD01 EDZW " +
        yygg +
        "00\n"
        "BBXX\n"
        "DBBH " +
        yygg +
        "1 99543 70123 41/98 82005 10102 20058 40158 52012 22200 00123 "
        "10304=\n"
        "NNNN\n"
        "RYRYRYRYRYRYRYRY\n";
    return text;
}

std::vector<float> rtty() {
    zeb::test::FskSignal signal;
    signal.baud = 75;
    signal.markHz = 1275 + 9;  // a receiver tuned 9 Hz off
    signal.spaceHz = 1700 + 9;
    signal.ebN0Db = 22;
    return zeb::test::fskAudio(zeb::test::ita2Frames(zeb::test::ita2Codes(rttyText()), 1.5, 0, 100),
                               signal);
}

std::vector<float> fax() {
    zeb::test::FaxSignal signal;
    signal.snrDb = 25;
    signal.offsetHz = 6;
    signal.leadSeconds = 1.0;
    return zeb::test::faxAudio(zeb::test::testChart(1810, 360), signal);
}

std::vector<float> cw() {
    zeb::test::MorseSignal signal;
    signal.wpm = 20;
    signal.snrDb = 20;
    signal.offsetHz = 5;
    return zeb::test::generateMorse(
        "CQ CQ DE DDK9 DDK9 = WX FOR GERMAN BIGHT WEST 8 LATER NW 9 = SEA 3M AR", signal);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc == 2 ? argv[1] : "";
    if (only == "--help" || only == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (only == "--version" || only == "-V") {
        std::puts(zeb::versionLine("zebdemo").c_str());
        return 0;
    }
    if (argc != 3) {
        std::fputs("Usage: zebdemo rtty|fax|cw FILE\nTry 'zebdemo --help'.\n", stderr);
        return 2;
    }
    const std::string kind = argv[1];
    std::vector<float> samples;
    if (kind == "rtty")
        samples = rtty();
    else if (kind == "fax")
        samples = fax();
    else if (kind == "cw")
        samples = cw();
    else {
        std::fprintf(stderr, "zebdemo: unknown kind \"%s\" (rtty, fax or cw)\n", kind.c_str());
        return 2;
    }
    if (auto r = zeb::writeFileAtomically(argv[2], zeb::test::wavBytes(samples)); !r) {
        std::fprintf(stderr, "zebdemo: %s\n", r.error().message.c_str());
        return 1;
    }
    return 0;
}
