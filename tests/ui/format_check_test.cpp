// The placeholder check of bundle formats: it must agree with what
// zeb::formatPrintf does with a format, so that a translation that passes the
// check prints every argument it is given.
#include "common/Format.h"
#include "ui/FormatCheck.h"

#include <gtest/gtest.h>

namespace zeb::ui {
namespace {

struct SignatureCase {
    const char* name;
    std::string format;
    std::string signature;  // "!" = rejected
};

void PrintTo(const SignatureCase& c, std::ostream* os) { *os << c.name; }

class FormatSignature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(FormatSignature, LettersPerArgument) {
    const auto signature = formatSignature(GetParam().format);
    if (GetParam().signature == "!") {
        ASSERT_FALSE(signature.ok()) << *signature;
        EXPECT_FALSE(signature.error().message.empty());
    } else {
        ASSERT_TRUE(signature.ok()) << signature.error().message;
        EXPECT_EQ(*signature, GetParam().signature);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatSignature,
    ::testing::Values(
        SignatureCase{"none", "plain text", ""}, SignatureCase{"percent_literal", "100%% sure", ""},
        SignatureCase{"file_name_fields", "FAX_%d-%02d-%02d_%02d-%02d.BMP", "iiiii"},
        SignatureCase{"mixed", "%s: %5.1f dB at %u Hz", "sfi"},
        SignatureCase{"length_modifiers", "%ld %lld %hd %zu %Lf", "iiiif"},
        SignatureCase{"flags", "%-8s|%+d|% d|%#x|%08.3f", "siiif"},
        SignatureCase{"star_width_and_precision", "%*.*f", "iif"}, SignatureCase{"char", "%c", "i"},
        SignatureCase{"largest_width", "%512d", "i"}, SignatureCase{"write_back", "%n", "!"},
        SignatureCase{"pointer", "%p", "!"}, SignatureCase{"hex_float", "%a", "!"},
        SignatureCase{"grouping_flag", "%'d", "!"}, SignatureCase{"positional", "%1$d", "!"},
        SignatureCase{"trailing_percent", "50%", "!"}, SignatureCase{"cut_placeholder", "%02", "!"},
        SignatureCase{"width_capped", "%513d", "!"},
        SignatureCase{"huge_width", "%99999999999d", "!"},
        SignatureCase{"precision_capped", "%.65f", "!"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FormatCheck, SignatureFitsAllowsOnlyUnusedTrailingArguments) {
    EXPECT_TRUE(signatureFits("iiiii", "iiiii"));
    EXPECT_TRUE(signatureFits("ii", "iiiii"));
    EXPECT_TRUE(signatureFits("", "s"));
    EXPECT_FALSE(signatureFits("iiiiii", "iiiii"));
    EXPECT_FALSE(signatureFits("s", "i"));
    EXPECT_FALSE(signatureFits("if", "ii"));
}

// A format that passes the check prints what printf would: each argument where
// its placeholder stands.
struct AgreementCase {
    std::string format;
    std::string expected;
};

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.format; }

class CheckedFormatsPrint : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(CheckedFormatsPrint, LikePrintf) {
    const auto signature = formatSignature(GetParam().format);
    ASSERT_TRUE(signature.ok());
    ASSERT_TRUE(signatureFits(*signature, "iiiii"));
    EXPECT_EQ(formatPrintf(GetParam().format, {2004, 6, 3, 14, 5}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckedFormatsPrint,
    ::testing::Values(AgreementCase{"Fax %d-%02d-%02d %02d:%02d", "Fax 2004-06-03 14:05"},
                      AgreementCase{"%ld/%lu/%hd %02lld:%02zu", "2004/6/3 14:05"},
                      AgreementCase{"%#x %o %X", "0x7d4 6 3"},
                      AgreementCase{"year %d", "year 2004"}));

}  // namespace
}  // namespace zeb::ui
