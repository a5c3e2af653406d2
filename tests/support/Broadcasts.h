// Texts of weather teleprinter broadcasts for the end-to-end tests, dated
// the last full hour so that the bulletin scanner accepts their reports.
#pragma once

#include <string>

#include "common/Format.h"
#include "common/TimeKey.h"

namespace zeb::test {

// "DDHH" of the last full hour (UTC), as in a bulletin's YYGGgg.
inline std::string lastHourDayHour() {
    const NameTime t = breakDown(zeb::now() - 3600);
    return formatPrintf("%02d%02d", {t.day, t.hour});
}

// A DWD-style broadcast: a land bulletin with two reports and a NIL, a ship
// bulletin with one report, and a gale warning, framed by ZCZC … NNNN.
inline std::string dwdBroadcastText(const std::string& yygg = lastHourDayHour()) {
    return "RYRYRYRYRY\n"
           "ZCZC 001\n"
           "SMDL01 EDZW " +
           yygg +
           "00\n"
           "AAXX " +
           yygg +
           "1\n"
           "10637 32966 82005 10102 20058 30108 40158 52012 69901 76166 8453/ 333 "
           "10152 20045 55300 81630=\n"
           "10384 12570 71212 10054 21003 30133 40170 57006 60001 70282 84501=\n"
           "10147 NIL=\n"
           "NNNN\n"
           "ZCZC 002\n"
           "SMVD01 EDZW " +
           yygg +
           "00\n"
           "BBXX\n"
           "DBBH " +
           yygg +
           "1 99543 70123 41/98 82005 10102 20058 40158 52012 22200 00123 "
           "10304=\n"
           "NNNN\n"
           "ZCZC 003\n"
           "FQDL01 EDZW " +
           yygg +
           "00\n"
           "GALE WARNING GERMAN BIGHT WEST 8 BEAUFORT\n"
           "NNNN\n"
           "RYRYRYRYRY\n";
}

}  // namespace zeb::test
