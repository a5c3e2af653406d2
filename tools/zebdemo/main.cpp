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
#include "support/Broadcasts.h"
#include "support/FaxGenerator.h"
#include "support/MorseGenerator.h"
#include "support/RttyGenerator.h"
#include "support/WavFile.h"

namespace {

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
    if (argc != 3) {
        std::fputs("usage: zebdemo rtty|fax|cw FILE\n", stderr);
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
