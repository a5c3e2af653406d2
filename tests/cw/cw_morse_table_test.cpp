// The decoder's Morse table against the international code of the test
// generator, and the element register.
#include "cw/MorseTable.h"
#include "support/MorseGenerator.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zeb::cw {
namespace {

TEST(CwMorseTableTest, HasFiftySevenDistinctSequencesOfAtMostEightElements) {
    const auto table = morseTable();
    EXPECT_EQ(table.size(), 57u);
    std::set<std::string_view> seen;
    for (const auto& e : table) {
        EXPECT_TRUE(seen.insert(e.elements).second) << e.elements;
        EXPECT_GE(e.elements.size(), 1u);
        EXPECT_LE(e.elements.size(), 8u);
        EXPECT_EQ(e.elements.find_first_not_of(".-"), std::string_view::npos);
    }
}

// Letters, digits and the common punctuation agree with the international
// code; '&' is absent because the table gives .-... as the prosign AS.
TEST(CwMorseTableTest, AgreesWithTheInternationalCode) {
    const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,:?'-/()\"=+_";
    for (char c : chars) {
        const auto pattern = test::morsePattern(c);
        ASSERT_FALSE(pattern.empty()) << c;
        const auto out = lookupMorse(pattern);
        ASSERT_TRUE(out.has_value()) << c;
        EXPECT_EQ(*out, std::string(1, c));
    }
}

struct ProsignCase {
    const char* elements;
    const char* output;
};
class CwProsignTest : public ::testing::TestWithParam<ProsignCase> {};

TEST_P(CwProsignTest, GivesTheTextWithItsSpaces) {
    const auto out = lookupMorse(GetParam().elements);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, GetParam().output);
}
INSTANTIATE_TEST_SUITE_P(
    cwTable, CwProsignTest,
    ::testing::Values(ProsignCase{"-.-.-", " <KA> "}, ProsignCase{".-...", " <AS> "},
                      ProsignCase{"...-.", " <VE> "}, ProsignCase{"...-.-", " <SK> "},
                      ProsignCase{"-.-..-.", " <CL> "}, ProsignCase{"-...-.-", " <BK> "},
                      ProsignCase{"........", " <I> "}, ProsignCase{".-..-", "^"}));

TEST(CwMorseTableTest, UnknownSequencesGiveNothing) {
    for (const char* s : {"", "------", ".......", "--..-", "........-", ".-.-"}) {
        EXPECT_FALSE(lookupMorse(s).has_value()) << s;
    }
}

TEST(CwElementRegisterTest, KeepsTheLastEightOldestFirst) {
    ElementRegister r;
    EXPECT_TRUE(r.empty());
    r.append(Element::Dash);
    for (int i = 0; i < 7; ++i) r.append(Element::Dot);
    EXPECT_EQ(r.elements(), "-.......");
    r.append(Element::Dash);
    EXPECT_EQ(r.size(), 8);
    EXPECT_EQ(r.elements(), ".......-");
    r.clear();
    EXPECT_EQ(r.elements(), "");
}

}  // namespace
}  // namespace zeb::cw
