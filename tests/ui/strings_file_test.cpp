// The strings file of a language bundle: what is read, and which faults are
// reported without losing the rest of the file.
#include "ui/StringsFile.h"

#include <gtest/gtest.h>

namespace zeb::ui {
namespace {

struct ReadCase {
    const char* name;
    std::string content;
    std::map<int, std::string> texts;
    std::vector<int> issueLines;  // lines of the issues, in order
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class StringsFileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(StringsFileRead, TextsAndIssues) {
    const ReadCase& c = GetParam();
    const ParsedStrings parsed = parseStrings(c.content);
    EXPECT_EQ(parsed.texts, c.texts);
    std::vector<int> lines;
    for (const StringsIssue& issue : parsed.issues) lines.push_back(issue.line);
    EXPECT_EQ(lines, c.issueLines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringsFileRead,
    ::testing::Values(
        ReadCase{"plain", "1\tOne\n2\tTwo\n", {{1, "One"}, {2, "Two"}}, {}},
        ReadCase{"no_final_newline", "7\tSeven", {{7, "Seven"}}, {}},
        ReadCase{"crlf", "1\tOne\r\n2\tTwo\r\n", {{1, "One"}, {2, "Two"}}, {}},
        ReadCase{"bom",
                 "\xEF\xBB\xBF"
                 "1\tOne\n",
                 {{1, "One"}},
                 {}},
        ReadCase{"comments_and_blanks", "# head\n\n  \t\n1\tOne\n#2\tnot\n", {{1, "One"}}, {}},
        ReadCase{"escapes", "1\ta\\nb\\tc\\\\d\n", {{1, "a\nb\tc\\d"}}, {}},
        ReadCase{"literal_tab_in_text", "1\ta\tb\n", {{1, "a\tb"}}, {}},
        ReadCase{"empty_text", "1\t\n", {{1, ""}}, {}},
        ReadCase{"placeholders_kept", "67\t%d-%02d %s 100%%\n", {{67, "%d-%02d %s 100%%"}}, {}},
        ReadCase{"leading_zeros", "007\tBond\n", {{7, "Bond"}}, {}},
        ReadCase{"largest_id", "65535\tlast\n", {{65535, "last"}}, {}},
        ReadCase{"id_too_large", "65536\tno\n1\tyes\n", {{1, "yes"}}, {1}},
        ReadCase{"huge_id", "99999999999999999999\tno\n", {}, {1}},
        ReadCase{"no_tab", "1 One\n2\tTwo\n", {{2, "Two"}}, {1}},
        ReadCase{"no_number", "\tOne\nabc\tTwo\n-1\tThree\n", {}, {1, 2, 3}},
        ReadCase{"space_before_number", " 1\tOne\n", {}, {1}},
        ReadCase{
            "duplicate_first_wins", "5\tfirst\n6\tx\n5\tsecond\n", {{5, "first"}, {6, "x"}}, {3}},
        ReadCase{"unknown_escape_kept", "1\ta\\qb\n", {{1, "a\\qb"}}, {1}},
        ReadCase{"lone_backslash_kept", "1\tab\\\n", {{1, "ab\\"}}, {1}},
        ReadCase{"invalid_utf8_replaced",
                 "1\ta\xFF"
                 "b\n",
                 {{1,
                   "a\xEF\xBF\xBD"
                   "b"}},
                 {1}},
        ReadCase{"line_numbers_count_comments", "# c\n\n1\tOne\nbad\n", {{1, "One"}}, {4}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(StringsFile, IssueTextNamesLineAndNumber) {
    const ParsedStrings parsed = parseStrings("1\ta\n1\tb\n");
    ASSERT_EQ(parsed.issues.size(), 1u);
    EXPECT_EQ(describe(parsed.issues[0]), "line 2: duplicate string number 1");
    EXPECT_EQ(describe(StringsIssue{0, "whole file"}), "whole file");
}

struct TruncateCase {
    std::string text;
    std::size_t max;
    std::string expected;
};

void PrintTo(const TruncateCase& c, std::ostream* os) { *os << c.text; }

class Utf8Truncate : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(Utf8Truncate, CutsWholeCharacters) {
    EXPECT_EQ(truncateUtf8(GetParam().text, GetParam().max), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Truncate,
    ::testing::Values(TruncateCase{"abc", 5, "abc"}, TruncateCase{"abcdef", 3, "abc"},
                      TruncateCase{"\xC3\xA4\xC3\xB6\xC3\xBC", 2, "\xC3\xA4\xC3\xB6"},
                      TruncateCase{"a\xE2\x82\xAC"
                                   "b",
                                   2, "a\xE2\x82\xAC"},
                      TruncateCase{"\xF0\x9F\x93\xBB"
                                   "x",
                                   1, "\xF0\x9F\x93\xBB"},
                      TruncateCase{"", 3, ""}, TruncateCase{"abc", 0, ""}));

struct SanitizeCase {
    const char* name;
    std::string text;
    std::string expected;
    bool changed;
};

void PrintTo(const SanitizeCase& c, std::ostream* os) { *os << c.name; }

class Utf8Sanitize : public ::testing::TestWithParam<SanitizeCase> {};

TEST_P(Utf8Sanitize, ReplacesWhatIsNotUtf8) {
    bool changed = !GetParam().changed;
    EXPECT_EQ(sanitizeUtf8(GetParam().text, &changed), GetParam().expected);
    EXPECT_EQ(changed, GetParam().changed);
}

const std::string kFffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Sanitize,
    ::testing::Values(SanitizeCase{"ascii", "abc", "abc", false},
                      SanitizeCase{"umlauts", "\xC3\xA4", "\xC3\xA4", false},
                      SanitizeCase{"latin1_byte",
                                   "a\xE4"
                                   "b",
                                   "a" + kFffd + "b", true},
                      SanitizeCase{"overlong_slash", "\xC0\xAF", kFffd + kFffd, true},
                      SanitizeCase{"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd, true},
                      SanitizeCase{"beyond_unicode", "\xF4\x90\x80\x80",
                                   kFffd + kFffd + kFffd + kFffd, true},
                      SanitizeCase{"cut_at_end", "a\xE2\x82", "a" + kFffd + kFffd, true}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zeb::ui
