// Message boxes: titles, icons, buttons, owners and the texts of the
// composed messages, checked without showing a box.
#include "BundleTestSupport.h"
#include "ui/LanguageBundle.h"
#include "ui/MessageBoxes.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace zeb::ui {
namespace {

// What a shown box looked like.
struct Shown {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
};

// Records every box instead of showing it and answers with `answer`.
class BoxRecorder {
public:
    explicit BoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok) {
        MessageBoxes::setPresenter([this, answer](QMessageBox& box) {
            shown.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                             box.parentWidget()});
            return answer;
        });
    }
    ~BoxRecorder() { MessageBoxes::setPresenter({}); }

    std::vector<Shown> shown;
};

struct TitleCase {
    Program program;
    const char* title;
    const char* missingText;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.title; }

class ProgramTexts : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ProgramTexts, TitleAndMissingBundleText) {
    EXPECT_EQ(messageTitle(GetParam().program), QString::fromLatin1(GetParam().title));
    EXPECT_EQ(missingBundleText(GetParam().program), GetParam().missingText);
}

TEST_P(ProgramTexts, MissingBundleIsShownInABoxAndOnStderr) {
    BoxRecorder boxes;
    ::testing::internal::CaptureStderr();
    reportMissingBundle(GetParam().program, QStringLiteral("no file matching it"));
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QString::fromLatin1(GetParam().title));
    EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(GetParam().missingText));
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
    EXPECT_NE(err.find(GetParam().missingText), std::string::npos);
    EXPECT_NE(err.find("no file matching it"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramTexts,
    ::testing::Values(TitleCase{Program::Nimba, "Nimbarra", "unable to load resources"},
                      TitleCase{Program::ZebRtty, "ZEBRTTY", "unable to load resources"},
                      TitleCase{Program::ZebMenu, "ZEBMENU", "unable to load resources"},
                      TitleCase{Program::Rigman, "Receiver Control", "RIGMAN??.DLL not found"}));

TEST(MessageBoxes, DeviceErrorGetsTheLineSuffix) {
    EXPECT_EQ(withLineSuffix(QStringLiteral("The device is busy."), 185),
              QStringLiteral("The device is busy. (Line 185)"));
    BoxRecorder boxes;
    MessageBoxes(Program::Nimba).showDeviceError(QStringLiteral("No driver"), 186);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("No driver (Line 186)"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Nimbarra"));
}

TEST(MessageBoxes, SystemErrorIsTheTextOfErrno) {
    EXPECT_EQ(systemErrorText(ENOENT), QStringLiteral("No such file or directory"));
    EXPECT_FALSE(systemErrorText(99999).isEmpty());

    BoxRecorder boxes;
    MessageBoxes rigman(Program::Rigman);
    errno = 0;
    ASSERT_LT(::open("/nonexistent/zeb/file", O_RDONLY), 0);
    rigman.showSystemError();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, systemErrorText(ENOENT));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Receiver Control"));
}

TEST(MessageBoxes, WarningAndQuestionBoxes) {
    const auto warning = makeMessageBox(BoxKind::Warning, QStringLiteral("T"), QStringLiteral("x"));
    EXPECT_EQ(warning->icon(), QMessageBox::Warning);
    EXPECT_EQ(warning->standardButtons(), QMessageBox::Ok);
    const auto question =
        makeMessageBox(BoxKind::Question, QStringLiteral("T"), QStringLiteral("x"));
    EXPECT_EQ(question->icon(), QMessageBox::Question);
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(static_cast<QAbstractButton*>(question->defaultButton()),
              question->button(QMessageBox::No));
}

TEST(MessageBoxes, MarkupInTextsIsShownLiterally) {
    const auto box =
        makeMessageBox(BoxKind::Warning, QStringLiteral("T"), QStringLiteral("<b>bold</b>"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

TEST(MessageBoxes, AskReturnsTheAnswer) {
    MessageBoxes boxes(QStringLiteral("ZEBMENU"));
    {
        BoxRecorder yes(QMessageBox::Yes);
        EXPECT_TRUE(boxes.ask(QStringLiteral("End the program?")));
        ASSERT_EQ(yes.shown.size(), 1u);
        EXPECT_EQ(yes.shown[0].icon, QMessageBox::Question);
        EXPECT_EQ(yes.shown[0].title, QStringLiteral("ZEBMENU"));
    }
    {
        BoxRecorder no(QMessageBox::No);
        EXPECT_FALSE(boxes.ask(QStringLiteral("End the program?")));
    }
    {
        // A box closed without an answer is not a yes.
        BoxRecorder closed(QMessageBox::NoButton);
        EXPECT_FALSE(boxes.ask(QStringLiteral("End the program?")));
    }
}

TEST(MessageBoxes, OwnerIsTheMainWindowWhileItExists) {
    BoxRecorder boxes;
    MessageBoxes messages(Program::Nimba);
    messages.showText(QStringLiteral("before"));
    auto window = std::make_unique<QWidget>();
    messages.setOwner(window.get());
    messages.showText(QStringLiteral("during"));
    window.reset();
    messages.showText(QStringLiteral("after"));
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].owner, nullptr);
    EXPECT_NE(boxes.shown[1].owner, nullptr);
    EXPECT_EQ(boxes.shown[2].owner, nullptr);  // no dangling owner
}

TEST(MessageBoxes, MessagesComeFromTheBundle) {
    auto bundle = LanguageBundle::load(Program::Nimba, zeb::test::suiteDir());
    ASSERT_TRUE(bundle.ok()) << bundle.error().message;
    BoxRecorder boxes(QMessageBox::Yes);
    MessageBoxes messages(Program::Nimba, bundle->get());
    messages.showMessage(23);
    EXPECT_TRUE(messages.askMessage(70));
    messages.showMessage(12345);  // missing: an empty text, not a failure
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, (*bundle)->string(23));
    EXPECT_FALSE(boxes.shown[0].text.isEmpty());
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.shown[1].text, (*bundle)->string(70));
    EXPECT_EQ(boxes.shown[1].icon, QMessageBox::Question);
    EXPECT_TRUE(boxes.shown[2].text.isEmpty());
}

}  // namespace
}  // namespace zeb::ui
