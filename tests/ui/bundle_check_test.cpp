// Every shipped bundle holds what its program needs, and the check finds the
// faults a translator could make.
#include "BundleTestSupport.h"
#include "ui/BundleCheck.h"
#include "ui/FormatCheck.h"
#include "ui/LanguageBundle.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace zeb::ui {

void PrintTo(Program program, std::ostream* os) { *os << programInfo(program).name; }

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += "  " + line + "\n";
    return out;
}

bool mentions(const std::vector<std::string>& problems, const std::string& part) {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

class ShippedBundle : public ::testing::TestWithParam<Program> {};

TEST_P(ShippedBundle, IsSound) {
    auto bundle = LanguageBundle::load(GetParam(), zeb::test::suiteDir());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    const auto problems = checkBundle(**bundle, bundleManifest(GetParam()));
    EXPECT_TRUE(problems.empty()) << (*bundle)->path() << ":\n" << joined(problems);
}

TEST_P(ShippedBundle, MainIconAndDialogLoad) {
    auto bundle = LanguageBundle::load(GetParam(), zeb::test::suiteDir());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    const BundleManifest& manifest = bundleManifest(GetParam());
    ASSERT_FALSE(manifest.icons.empty());
    const QIcon icon = (*bundle)->icon(manifest.icons.front());
    ASSERT_FALSE(icon.isNull());
    EXPECT_GE(icon.availableSizes().value(0).width(), 32);
    std::unique_ptr<QWidget> dialog((*bundle)->dialog(101));
    ASSERT_NE(dialog, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Programs, ShippedBundle, ::testing::ValuesIn(kAllPrograms),
                         [](const auto& p) { return std::string(programInfo(p.param).name); });

TEST(BundleManifest, FormatSignaturesAreValid) {
    for (Program program : kAllPrograms) {
        for (const StringRequirement& req : bundleManifest(program).strings) {
            if (!req.format) continue;
            EXPECT_TRUE(std::string(req.format).find_first_not_of("ifs") == std::string::npos)
                << programInfo(program).name << " string " << req.id;
        }
    }
}

TEST(BundleCheck, FindsTheFaultsOfTheTestBundle) {
    auto bundle = LanguageBundle::load(zeb::test::kTestBundlePattern, zeb::test::testBundleDir());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    BundleManifest manifest;
    manifest.strings = {{1}, {3, "iiiii"}, {6, "ii"}, {40}, {9, ""}};
    manifest.icons = {5, 99};
    manifest.bitmaps = {7, 98};
    manifest.dialogs = {{201, {{1002, "QPushButton"}, {1001, "QPushButton"}, {1003, "QWidget"}}},
                        {301, {}}};
    const auto problems = checkBundle(**bundle, manifest);

    EXPECT_TRUE(mentions(problems, "duplicate string number 5")) << joined(problems);
    EXPECT_TRUE(mentions(problems, "strings.txt: line 11"));
    EXPECT_TRUE(mentions(problems, "string 2 is longer than 255"));
    EXPECT_TRUE(mentions(problems, "string 6: placeholders \"si\""));
    EXPECT_TRUE(mentions(problems, "string 40 is missing"));
    EXPECT_TRUE(mentions(problems, "dialogs/202.ui"));
    EXPECT_TRUE(mentions(problems, "dialog 201 control 1001 is a"));
    EXPECT_TRUE(mentions(problems, "dialog 201 control 1003 is missing"));
    EXPECT_TRUE(mentions(problems, "dialog 301 is missing"));
    EXPECT_TRUE(mentions(problems, "icon 99 is missing"));
    EXPECT_TRUE(mentions(problems, "bitmap 98 is missing"));

    // Sound entries raise nothing.
    EXPECT_FALSE(mentions(problems, "string 1 "));
    EXPECT_FALSE(mentions(problems, "string 3"));
    EXPECT_FALSE(mentions(problems, "string 9"));  // "50%% done" has no placeholder
    EXPECT_FALSE(mentions(problems, "control 1002"));
    EXPECT_FALSE(mentions(problems, "icon 5"));
    EXPECT_FALSE(mentions(problems, "bitmap 7"));
}

}  // namespace
}  // namespace zeb::ui
