// Text-table builder: output form and the faults it refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TextTable.h"

namespace zeb::data {
namespace {

TextTableBuilder build(std::size_t keyLength, const std::string& source) {
    TextTableBuilder builder(keyLength);
    std::istringstream in(source);
    builder.addSource(in, "src");
    return builder;
}

TEST(TextTableBuilder, WritesWindows1252WithCrLfAndAFinalLineFeed) {
    const auto b =
        build(4, "; comment\n\nPSTA Station pressure\r\nDDI1 Swell from 270\xC2\xB0  \nEND1 last");
    EXPECT_TRUE(b.errors().empty());
    EXPECT_EQ(b.entryCount(), 3u);
    EXPECT_EQ(b.output(),
              "; comment\r\nPSTA Station pressure\r\nDDI1 Swell from 270\xB0\r\nEND1 last\r\n");
}

TEST(TextTableBuilder, RefusesMalformedOverlongDuplicateAndUnmappableLines) {
    const std::string longLine = "SM " + std::string(252, 'x');  // 255 characters
    const auto b = build(2,
                         "SM Main synoptic\n"
                         "SM Again\n"                 // duplicate
                         "S Short key\n"              // separator not after two characters
                         "SMX No blank\n"             // third character is not the separator
                         "SN  Two blanks\n"           // text starting with a blank
                         "SI\n"                       // no text
                         "SA Arrow \xE2\x86\x92\n" +  // U+2192 has no Windows-1252 byte
                             longLine +
                             "\n" + "SB " + std::string(251, 'y') + "\n");
    ASSERT_EQ(b.errors().size(), 7u);
    EXPECT_NE(b.errors()[0].find("src:2:"), std::string::npos);
    EXPECT_NE(b.errors()[0].find("src:1"), std::string::npos);  // where it was defined first
    EXPECT_NE(b.errors()[6].find("src:8:"), std::string::npos);
    EXPECT_EQ(b.entryCount(), 2u);  // SM and the 254-character SB line
}

TEST(TextTableBuilder, KeepsBytesThatAreNotUtf8AsWindows1252) {
    const auto b = build(4,
                         "1005 M\xFC"
                         "nchen\n");
    EXPECT_TRUE(b.errors().empty());
    EXPECT_EQ(b.output(),
              "1005 M\xFC"
              "nchen\r\n");
}

}  // namespace
}  // namespace zeb::data
