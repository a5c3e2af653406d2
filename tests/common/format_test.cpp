#include "common/Format.h"

#include <gtest/gtest.h>

#include <clocale>

namespace zeb {
namespace {

struct Case {
    const char* format;
    std::string expected;
};

TEST(FormatPrintf, WellFormedConversionsMatchPrintf) {
    EXPECT_EQ(formatPrintf("Fax %02d.%02d.%d %02d:%02d", {3, 6, 2004, 14, 5}),
              "Fax 03.06.2004 14:05");
    EXPECT_EQ(formatPrintf("[%d] %s", {12, "Synop"}), "[12] Synop");
    EXPECT_EQ(formatPrintf("%s %s %d Bytes/s", {"GSM 6.10", "11.025 kHz", 2239}),
              "GSM 6.10 11.025 kHz 2239 Bytes/s");
    EXPECT_EQ(formatPrintf("%.3f|%10.2f|%-6d|%+d|%x|%X|%o|%5s|%-5s|%.2s|%c|%%",
                           {7050.0, 3.14159, 42, 5, 255, 255, 8, "ab", "ab", "abc", 'Z'}),
              "7050.000|      3.14|42    |+5|ff|FF|10|   ab|ab   |ab|Z|%");
    EXPECT_EQ(formatPrintf("%*d|%-*d|%.*f", {4, 7, 3, 1, 2, 1.005}), "   7|1  |1.00");
    EXPECT_EQ(formatPrintf("%ld %lld %hd %zu %lf", {1L, 2LL, 3, 4UL, 0.5}), "1 2 3 4 0.500000");
    EXPECT_EQ(formatPrintf("%e %g", {12345.678, 0.0001}), "1.234568e+04 0.0001");
}

TEST(FormatPrintf, TranslationsThatDoNotFitTheirArgumentsAreHarmless) {
    EXPECT_EQ(formatPrintf("%s", {42}), "42");
    EXPECT_EQ(formatPrintf("%d", {"text"}), "text");
    EXPECT_EQ(formatPrintf("%d", {2.75}), "2");
    EXPECT_EQ(formatPrintf("%f", {3}), "3.000000");
    EXPECT_EQ(formatPrintf("%d %d %s.", {1}), "1  .");  // missing arguments print nothing
    EXPECT_EQ(formatPrintf("%n%p%q", {1, 2, 3}), "");   // unknown or dangerous conversions
    EXPECT_EQ(formatPrintf("ends with %", {1}), "ends with ");
    EXPECT_EQ(formatPrintf("%99999999999d", {1}).size(), 512u);  // width capped
    EXPECT_EQ(formatPrintf("%.99999f", {1.0}).size(), 66u);      // precision capped
    EXPECT_EQ(formatPrintf("no conversions", {1, 2}), "no conversions");
}

TEST(FormatPrintf, NumbersIgnoreTheDesktopLocale) {
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(formatPrintf("%.3f", {7050.125}), "7050.125");
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace zeb
