// Finding, loading and reading language bundles.
#include "BundleTestSupport.h"
#include "ui/DialogLoader.h"
#include "ui/LanguageBundle.h"

#include <QFile>
#include <QFrame>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;
using zeb::test::TempDir;

// Which file of a directory is taken as the bundle.
struct FindCase {
    const char* name;
    Program program;
    std::vector<std::string> files;
    std::string found;  // "" = none
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindBundle : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindBundle, FirstMatchInByteOrder) {
    TempDir dir;
    for (const std::string& file : GetParam().files) zeb::test::writeFile(dir / file, "x");
    const auto found = findBundle(programInfo(GetParam().program).bundlePattern, dir.path());
    if (GetParam().found.empty()) {
        EXPECT_FALSE(found.has_value()) << *found;
    } else {
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->filename(), GetParam().found);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindBundle,
    ::testing::Values(
        FindCase{"exact", Program::Nimba, {"NIMBAEN.DLL"}, "NIMBAEN.DLL"},
        FindCase{"lower_case", Program::Nimba, {"nimbaen.dll"}, "nimbaen.dll"},
        FindCase{"mixed_case", Program::Nimba, {"NimbaDe.Dll"}, "NimbaDe.Dll"},
        FindCase{
            "sorted", Program::Nimba, {"NIMBAEN.DLL", "NIMBADE.DLL", "NIMBAFR.DLL"}, "NIMBADE.DLL"},
        FindCase{
            "upper_before_lower", Program::Nimba, {"nimbaaa.dll", "NIMBAZZ.DLL"}, "NIMBAZZ.DLL"},
        FindCase{"one_character_code", Program::Nimba, {"NIMBAE.DLL"}, ""},
        FindCase{"three_character_code", Program::Nimba, {"NIMBAENG.DLL"}, ""},
        FindCase{"no_code", Program::Nimba, {"NIMBA.DLL"}, ""},
        FindCase{"suffix", Program::Nimba, {"NIMBAEN.DLL.bak", "NIMBAEN.DL"}, ""},
        FindCase{"prefix", Program::Nimba, {"XNIMBAEN.DLL"}, ""},
        FindCase{"other_program", Program::Nimba, {"RTTYEN.DLL", "MENUEN.DLL"}, ""},
        FindCase{"rtty", Program::ZebRtty, {"ZEBRTTYEN.DLL", "RTTYEN.DLL"}, "RTTYEN.DLL"},
        FindCase{"menu", Program::ZebMenu, {"MENUFR.DLL"}, "MENUFR.DLL"},
        FindCase{"rigman", Program::Rigman, {"RIGMAN.DLL", "RIGMANEN.DLL"}, "RIGMANEN.DLL"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FindBundleDir, MissingDirectoryFindsNothing) {
    EXPECT_FALSE(findBundle("NIMBA??.DLL", "/nonexistent/zeb").has_value());
}

class BundleDir : public ::testing::Test {
protected:
    void copyBundle(const std::string& name) const {
        fs::copy_file(zeb::test::suiteDir() / "NIMBAEN.DLL", dir_ / name);
    }

    TempDir dir_;
};

TEST_F(BundleDir, NoBundleIsAnError) {
    zeb::test::writeFile(dir_ / "NIMBA.DLL", "x");
    const auto bundle = LanguageBundle::load(Program::Nimba, dir_.path());
    ASSERT_FALSE(bundle.ok());
    EXPECT_NE(bundle.error().message.find("NIMBA??.DLL"), std::string::npos);
}

TEST_F(BundleDir, FirstInByteOrderIsUsed) {
    copyBundle("NIMBAEN.DLL");
    copyBundle("NIMBADE.DLL");
    copyBundle("nimbaaa.dll");  // lower case sorts after upper case
    const auto bundle = LanguageBundle::load(Program::Nimba, dir_.path());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    EXPECT_EQ((*bundle)->path().filename(), "NIMBADE.DLL");
}

TEST_F(BundleDir, DirectoriesAreSkipped) {
    fs::create_directory(dir_ / "NIMBAAA.DLL");
    copyBundle("NIMBAEN.DLL");
    const auto bundle = LanguageBundle::load(Program::Nimba, dir_.path());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    EXPECT_EQ((*bundle)->path().filename(), "NIMBAEN.DLL");
}

TEST_F(BundleDir, BrokenFirstMatchFailsWithoutTryingTheNext) {
    zeb::test::writeFile(dir_ / "NIMBAAA.DLL", "this is not a resource bundle");
    copyBundle("NIMBAEN.DLL");
    const auto bundle = LanguageBundle::load(Program::Nimba, dir_.path());
    ASSERT_FALSE(bundle.ok());
    EXPECT_NE(bundle.error().message.find("NIMBAAA.DLL"), std::string::npos);
    // Nothing stays registered: the next program start can load a good bundle.
    EXPECT_FALSE(QFile::exists(QStringLiteral(":/lang/strings.txt")));
}

TEST_F(BundleDir, EmptyFileIsNoBundle) {
    zeb::test::writeFile(dir_ / "RIGMANEN.DLL", "");
    EXPECT_FALSE(LanguageBundle::load(Program::Rigman, dir_.path()).ok());
}

TEST_F(BundleDir, DefaultDirectoryIsTheWorkingDirectory) {
    copyBundle("NIMBAXY.DLL");
    zeb::test::ScopedCwd cwd(dir_.path());
    const auto bundle = LanguageBundle::load(Program::Nimba);
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    EXPECT_EQ((*bundle)->path().filename(), "NIMBAXY.DLL");
}

TEST(LanguageBundleLifetime, UnregistersOnDestruction) {
    {
        auto bundle = LanguageBundle::load(Program::Nimba, zeb::test::suiteDir());
        ASSERT_TRUE(bundle.ok()) << bundle.error().message;
        EXPECT_TRUE(QFile::exists(QStringLiteral(":/lang/strings.txt")));
        // A second bundle under the same root would shadow the first.
        const auto second = LanguageBundle::load(Program::Rigman, zeb::test::suiteDir());
        EXPECT_FALSE(second.ok());
        // Reading entries leaves no file open that would keep the bundle registered.
        (void)(*bundle)->icon(103);
        delete (*bundle)->dialog(101);
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral(":/lang/strings.txt")));
    const auto again = LanguageBundle::load(Program::Rigman, zeb::test::suiteDir());
    EXPECT_TRUE(again.ok());
}

TEST(LanguageBundleLifetime, OtherRootsCoexist) {
    auto nimba = LanguageBundle::load(Program::Nimba, zeb::test::suiteDir());
    auto rigman =
        LanguageBundle::load("RIGMAN??.DLL", zeb::test::suiteDir(), QStringLiteral("/rigman"));
    ASSERT_TRUE(nimba.ok() && rigman.ok());
    EXPECT_EQ((*rigman)->resourcePath(QStringLiteral("strings.txt")),
              QStringLiteral(":/rigman/strings.txt"));
    EXPECT_NE((*nimba)->string(1), (*rigman)->string(1));
}

// The test bundle: ZTESTXX.DLL with known strings, dialogs and pictures.
class TestBundle : public ::testing::Test {
protected:
    void SetUp() override {
        auto loaded =
            LanguageBundle::load(zeb::test::kTestBundlePattern, zeb::test::testBundleDir());
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        bundle_ = std::move(*loaded);
    }

    std::unique_ptr<LanguageBundle> bundle_;
};

TEST_F(TestBundle, Strings) {
    EXPECT_EQ(bundle_->string(1), QStringLiteral("Hello"));
    EXPECT_EQ(bundle_->string(4), QStringLiteral("Line one\nLine two\tend \\ done"));
    EXPECT_EQ(bundle_->string(5), QStringLiteral("first"));  // the duplicate is ignored
    EXPECT_EQ(bundle_->string(9), QStringLiteral("50%% done"));
}

TEST_F(TestBundle, MissingStringIsEmpty) {
    EXPECT_TRUE(bundle_->string(12345).isEmpty());
    EXPECT_FALSE(bundle_->hasString(12345));
    EXPECT_EQ(bundle_->strings().text(12345), "");
}

TEST_F(TestBundle, LongStringsAreCutTo255Characters) {
    const QString ascii = bundle_->string(2);
    EXPECT_EQ(ascii.size(), 255);
    EXPECT_EQ(ascii, QString(100, QLatin1Char('A')) + QString(100, QLatin1Char('B')) +
                         QString(55, QLatin1Char('C')));
    // Characters, not bytes: 255 umlauts are 510 bytes of UTF-8.
    EXPECT_EQ(bundle_->string(8), QString(255, QChar(0xE4)));
    EXPECT_EQ(bundle_->strings().text(8).size(), 510u);
}

TEST_F(TestBundle, PlaceholdersSurvive) {
    EXPECT_EQ(bundle_->string(3), QStringLiteral("Fax %d-%02d-%02d %02d:%02d UTC"));
    EXPECT_EQ(bundle_->format(3, {2004, 6, 3, 14, 5}), QStringLiteral("Fax 2004-06-03 14:05 UTC"));
}

TEST_F(TestBundle, FormatThatDoesNotFitIsHarmless) {
    // String 6 is "%s is not a number %d"; the program passes text and nothing more.
    EXPECT_EQ(bundle_->format(6, {"Audio"}), QStringLiteral("Audio is not a number "));
    EXPECT_EQ(bundle_->format(12345, {"Audio"}), QString());
}

TEST_F(TestBundle, StringTableGivesUtf8) {
    const StringTable& table = bundle_->strings();
    EXPECT_EQ(table.text(7),
              "Gr\xC3\xB6\xC3\x9F"
              "e \xC3\xA4\xC3\xB6\xC3\xBC");
    EXPECT_EQ(QString::fromStdString(table.text(7)), bundle_->string(7));
}

TEST_F(TestBundle, IssuesAreRecordedButTolerated) {
    std::vector<std::string> texts;
    for (const StringsIssue& issue : bundle_->stringIssues()) texts.push_back(describe(issue));
    const auto has = [&](const std::string& part) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& t) { return t.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("duplicate string number 5"));
    EXPECT_TRUE(has("line 11: not"));
    EXPECT_TRUE(has("string 2 is longer than 255"));
    EXPECT_TRUE(has("string 8 is longer than 255"));
}

class TestLamp : public QFrame {
public:
    using QFrame::QFrame;
};

TEST_F(TestBundle, CustomControlIsCreatedWithItsRealClass) {
    int created = 0;
    DialogLoader::registerWidget(QStringLiteral("ZebTestLamp"), [&](QWidget* parent) {
        ++created;
        return new TestLamp(parent);
    });
    std::unique_ptr<QWidget> dialog(bundle_->dialog(201));
    DialogLoader::unregisterWidget(QStringLiteral("ZebTestLamp"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(created, 1);
    EXPECT_NE(dynamic_cast<TestLamp*>(control(dialog.get(), 1001)), nullptr);
    EXPECT_EQ(control(dialog.get(), 1001)->objectName(), QStringLiteral("c1001"));
    EXPECT_NE(controlAs<QPushButton>(dialog.get(), 1002), nullptr);
    EXPECT_EQ(controlAs<QFrame>(dialog.get(), 1002), nullptr);
    EXPECT_EQ(control(dialog.get(), 9999), nullptr);
}

TEST_F(TestBundle, UnregisteredCustomControlIsNotItsClass) {
    // Without the factory QUiLoader puts a stand-in in its place: code that
    // looks controls up by class notices.
    ASSERT_FALSE(DialogLoader::isRegistered(QStringLiteral("ZebTestLamp")));
    std::unique_ptr<QWidget> dialog(bundle_->dialog(201));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dynamic_cast<TestLamp*>(control(dialog.get(), 1001)), nullptr);
}

TEST_F(TestBundle, DialogParentOwnsIt) {
    QWidget parent;
    QWidget* dialog = bundle_->dialog(201, &parent);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), &parent);
}

TEST_F(TestBundle, MissingOrBrokenDialogFails) {
    const auto missing = bundle_->loadDialog(555);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("555"), std::string::npos);
    const auto broken = bundle_->loadDialog(202);
    ASSERT_FALSE(broken.ok());
    EXPECT_NE(broken.error().message.find("202"), std::string::npos);
    EXPECT_EQ(bundle_->dialog(202), nullptr);
}

TEST_F(TestBundle, IconsAndBitmaps) {
    EXPECT_FALSE(bundle_->icon(5).isNull());
    EXPECT_TRUE(bundle_->icon(6).isNull());

    const QImage bmp = bundle_->bitmapImage(7);
    ASSERT_FALSE(bmp.isNull());
    EXPECT_EQ(bmp.size(), QSize(4, 3));
    EXPECT_EQ(QColor(bmp.pixel(0, 0)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(bmp.pixel(3, 2)), QColor(255, 255, 255));

    EXPECT_FALSE(bundle_->bitmap(8).isNull());  // a .png bitmap
    EXPECT_TRUE(bundle_->bitmap(9).isNull());
}

TEST_F(TestBundle, ListsItsEntries) {
    EXPECT_EQ(bundle_->dialogIds(), (std::vector<int>{201, 202}));
    EXPECT_EQ(bundle_->iconIds(), (std::vector<int>{5}));
    EXPECT_EQ(bundle_->bitmapIds(), (std::vector<int>{7, 8}));
}

}  // namespace
}  // namespace zeb::ui
