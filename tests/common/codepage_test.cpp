// Windows-1252 <-> UTF-8 at the edges of the suite: lossless both ways for
// every byte, '?' for what the code page cannot hold.
#include <gtest/gtest.h>

#include "common/Codepage.h"

namespace zeb {
namespace {

TEST(Codepage, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\xB0"), "\xC2\xB0");
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(cp1252ToUtf8("Flie\xDF"
                           "komma"),
              "Flie\xC3\x9F"
              "komma");
}

TEST(Codepage, ForeignAndMalformedUtf8BecomesQuestionMarks) {
    EXPECT_EQ(utf8ToCp1252("\xE2\x82\xAC 5"), "\x80 5");
    EXPECT_EQ(utf8ToCp1252("\xE4\xB8\xAD"), "?");        // a CJK character
    EXPECT_EQ(utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!");  // outside the BMP
    EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");              // cut short
    EXPECT_EQ(utf8ToCp1252("\xC3(x"), "?(x");            // bad continuation
    EXPECT_EQ(utf8ToCp1252("\xFF"), "?");
}

TEST(Codepage, ExactConversionRefusesWhatItCannotHold) {
    EXPECT_EQ(utf8ToCp1252Exact("Fl\xC3\xBC"
                                "gel \xC2\xB0"),
              "Fl\xFC"
              "gel \xB0");
    EXPECT_FALSE(utf8ToCp1252Exact("\xE4\xB8\xAD"));
    EXPECT_FALSE(utf8ToCp1252Exact("\xC0\xAF"));      // overlong "/"
    EXPECT_FALSE(utf8ToCp1252Exact("\xED\xA0\x80"));  // a surrogate
    EXPECT_TRUE(isUtf8("plain \xC2\xB0"));
    EXPECT_FALSE(isUtf8("Latin-1 \xB0"));
}

}  // namespace
}  // namespace zeb
