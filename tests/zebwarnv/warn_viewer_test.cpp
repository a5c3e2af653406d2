// The bulletin viewer's window on received bulletins: the text a reception
// wrote, the newest of the store, the list with its marked warnings and
// filter, copying, printing without a printer, and files that cannot be shown.
#include "WarnViewer.h"
#include "WarnViewerTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QListWidget>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace zeb::zebwarnv::test {
namespace {

namespace fs = std::filesystem;

QString utf8(const char* text) { return QString::fromUtf8(text); }

class WarnViewerWindow : public ::testing::Test {
protected:
    fs::path synop() const { return dir_.path() / "SYNOP"; }
    // Two warnings and an information bulletin, written out of order; the
    // newest is the information bulletin of 3 March 09:31.
    void receiveThree() {
        older_ = receiveBulletin(dir_.path(), ReceivedKind::Warning, at(2, 23, 59), kGaleWarning);
        newest_ = receiveBulletin(dir_.path(), ReceivedKind::Information, at(3, 9, 31), kNavInfo);
        middle_ = receiveBulletin(dir_.path(), ReceivedKind::Warning, at(3, 9, 30), kGaleWarning);
    }
    QListWidget* list(WarnViewer& viewer) const { return viewer.findChild<QListWidget*>(); }
    QTextEdit* textArea(WarnViewer& viewer) const { return viewer.findChild<QTextEdit*>(); }

    TempDir dir_;
    fs::path older_, middle_, newest_;
};

TEST_F(WarnViewerWindow, ShowsAReceivedBulletinsTextInAFixedPitchFont) {
    const struct {
        ReceivedKind kind;
        std::string text;
        const char* name;
        QString shownLine;  // as the desktop shows it
        const char* status;
    } cases[] = {
        {ReceivedKind::Warning, kGaleWarning, "WARN_2024-03-05_14-05.RTF",
         utf8("POSITION 54°10'N 007°50'E"), "Warning    2024-03-05 14:05 UTC"},
        {ReceivedKind::Information, kNavInfo, "INFO_2024-03-05_14-05.RTF",
         QStringLiteral("ELBE APPROACH 53-59N 008-13E"), "Information    2024-03-05 14:05 UTC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = receiveBulletin(dir_.path(), c.kind, at(5, 14, 5), c.text);
        WarnViewer viewer(dir_.path());
        viewer.openBulletin(file);
        ASSERT_TRUE(viewer.hasBulletin()) << viewer.problem().toStdString();
        EXPECT_TRUE(viewer.shownText().split(QLatin1Char('\n')).contains(c.shownLine))
            << viewer.shownText().toStdString();
        EXPECT_TRUE(viewer.shownText().startsWith(QStringLiteral("ZCZC")));
        EXPECT_EQ(viewer.windowTitle(), QStringLiteral("ZEB-Warn-View — ") + QLatin1String(c.name));
        EXPECT_TRUE(viewer.statusText().startsWith(QLatin1String(c.status)))
            << viewer.statusText().toStdString();
        QTextEdit* text = textArea(viewer);
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_TRUE(QFontInfo(text->font()).fixedPitch());
    }
}

TEST_F(WarnViewerWindow, WithoutABulletinShowsTheNewestOfTheStore) {
    receiveThree();
    zeb::test::writeFile(synop() / "WARN_mine.RTF", rtfOf("not received\n"));
    WarnViewer viewer(dir_.path());
    viewer.openNewest();
    EXPECT_EQ(viewer.bulletinPath(), newest_);
    EXPECT_TRUE(viewer.shownText().contains(QStringLiteral("LIGHT BUOY OFF STATION")));

    WarnViewer empty(dir_.path() / "nothing");
    empty.openNewest();
    EXPECT_FALSE(empty.hasBulletin());
    EXPECT_TRUE(empty.problem().startsWith(QStringLiteral("No received warnings")));
    EXPECT_EQ(empty.windowTitle(), QStringLiteral("ZEB-Warn-View"));
}

TEST_F(WarnViewerWindow, ListsNewestFirstMarksWarningsAndFiltersThem) {
    receiveThree();
    WarnViewer viewer(dir_.path());
    viewer.openBulletin(middle_);
    QListWidget* rows = list(viewer);
    ASSERT_NE(rows, nullptr);
    const struct {
        fs::path file;
        bool warning;
        const char* text;
    } expected[] = {
        {newest_, false, "2024-03-03 09:31 UTC\nNAV WARNING 123/24 LIGHT BUOY OFF STATION"},
        {middle_, true, "2024-03-03 09:30 UTC\nGALE WARNING GERMAN BIGHT"},
        {older_, true, "2024-03-02 23:59 UTC\nGALE WARNING GERMAN BIGHT"},
    };
    ASSERT_EQ(rows->count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < rows->count(); ++i) {
        SCOPED_TRACE(i);
        const auto& e = expected[i];
        EXPECT_EQ(viewer.entries()[std::size_t(i)].path, e.file);
        EXPECT_EQ(rows->item(i)->text(), QLatin1String(e.text));
        EXPECT_EQ(rows->item(i)->font().bold(), e.warning);
        EXPECT_FALSE(rows->item(i)->isHidden());
    }
    EXPECT_EQ(viewer.currentIndex(), 1);
    EXPECT_EQ(rows->currentRow(), 1);

    // Warnings only: the information bulletin leaves the list, the shown
    // warning stays selected; choosing a row shows its bulletin.
    viewer.setWarningsOnly(true);
    EXPECT_TRUE(rows->item(0)->isHidden());
    EXPECT_FALSE(rows->item(1)->isHidden());
    EXPECT_FALSE(rows->item(2)->isHidden());
    EXPECT_EQ(rows->currentRow(), 1);
    rows->setCurrentRow(2);
    EXPECT_EQ(viewer.bulletinPath(), older_);
    viewer.setWarningsOnly(false);
    EXPECT_FALSE(rows->item(0)->isHidden());

    // A new bulletin joins the list when the folder is reread.
    const fs::path latest =
        receiveBulletin(dir_.path(), ReceivedKind::Warning, at(4, 0, 0), kGaleWarning);
    viewer.refreshList();
    ASSERT_EQ(rows->count(), 4);
    EXPECT_EQ(viewer.entries().front().path, latest);
    EXPECT_EQ(viewer.currentIndex(), 3);  // the shown bulletin stays marked
    EXPECT_EQ(rows->currentRow(), 3);
    if (const std::string shots = zeb::test::testSetting("ZEB_SCREENSHOT_DIR"); !shots.empty()) {
        viewer.resize(760, 400);
        viewer.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(viewer.grab().save(QString::fromStdString(shots + "/zebwarnv.png")));
    }
}

TEST_F(WarnViewerWindow, CopiesTheSelectionOrTheWholeText) {
    const fs::path file =
        receiveBulletin(dir_.path(), ReceivedKind::Warning, at(6, 6, 0), kGaleWarning);
    WarnViewer viewer(dir_.path());
    viewer.openBulletin(file);
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    viewer.copy();
    EXPECT_EQ(clipboard->text(), viewer.shownText());
    EXPECT_TRUE(clipboard->text().contains(utf8("54°10'N")));

    QTextEdit* text = textArea(viewer);
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(5);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    viewer.copy();
    EXPECT_EQ(clipboard->text(), QStringLiteral("GA41"));
}

TEST_F(WarnViewerWindow, PrintingWithoutAPrinterSaysSo) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is set up here; the dialog would open";
    const fs::path file = receiveBulletin(dir_.path(), ReceivedKind::Warning, at(6, 7, 0), "X\n");
    WarnViewer viewer(dir_.path());
    viewer.openBulletin(file);
    viewer.print();
    EXPECT_TRUE(viewer.statusBar()->currentMessage().contains(QStringLiteral("No printer")));
    EXPECT_TRUE(viewer.hasBulletin());
}

TEST_F(WarnViewerWindow, FilesThatCannotBeShownGiveTheReason) {
    const fs::path good =
        receiveBulletin(dir_.path(), ReceivedKind::Warning, at(8, 9, 0), kGaleWarning);
    const std::string bytes = zeb::test::readFile(good);
    const struct {
        const char* name;
        std::string content;
        const char* reason;
    } cases[] = {
        {"WARN_2024-03-08_10-00.RTF", bytes.substr(0, bytes.size() / 2), "cut off"},
        {"INFO_2024-03-08_10-01.RTF", "ZCZC a teleprinter text saved without RTF\nNNNN\n",
         "not in RTF format"},
        {"WARN_2024-03-08_10-02.RTF", "", "the file is empty"},
        {"INFO_2024-03-08_10-03.RTF", std::string(200, '{'), "not in RTF format"},
        {"WARN_2024-03-08_10-04.RTF", "{\\rtf1" + std::string(5000, '{'), "deeper than 64"},
    };
    WarnViewer viewer(dir_.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zeb::test::writeFile(synop() / c.name, c.content);
        viewer.openBulletin(synop() / c.name);
        EXPECT_FALSE(viewer.hasBulletin());
        EXPECT_TRUE(viewer.problem().startsWith(QLatin1String(c.name) +
                                                QStringLiteral(" cannot be read: ")))
            << viewer.problem().toStdString();
        EXPECT_TRUE(viewer.problem().contains(QLatin1String(c.reason)))
            << viewer.problem().toStdString();
        EXPECT_EQ(viewer.shownText(), viewer.problem());
        viewer.copy();  // copies the message; nothing breaks
    }
    // The bad files stand in the list like any other; a good one shows again.
    EXPECT_EQ(viewer.entries().size(), std::size(cases) + 1);
    viewer.openBulletin(good);
    EXPECT_TRUE(viewer.hasBulletin());
    EXPECT_TRUE(viewer.problem().isEmpty());

    const fs::path big = synop() / "WARN_2024-03-09_10-00.RTF";
    zeb::test::writeFile(big, bytes);
    fs::resize_file(big, kMaxBulletinFileBytes + 1);
    viewer.openNewest();
    EXPECT_EQ(viewer.bulletinPath(), big);
    EXPECT_TRUE(viewer.problem().contains(QStringLiteral("more than the 4 MiB")));
    viewer.openBulletin(synop() / "WARN_2024-01-01_00-00.RTF");
    EXPECT_TRUE(viewer.problem().contains(QStringLiteral("does not exist")));
}

TEST_F(WarnViewerWindow, TakesTheBulletinASecondStartHandsOver) {
    receiveThree();
    WarnViewer viewer(dir_.path());
    viewer.openBulletin(older_);
    EXPECT_TRUE(viewer.takeMessage(QLatin1String(kOpenMessage),
                                   QByteArray::fromStdString(middle_.string())));
    EXPECT_EQ(viewer.bulletinPath(), middle_);
    EXPECT_TRUE(viewer.takeMessage(QLatin1String(kOpenMessage), {}));  // no name: the newest
    EXPECT_EQ(viewer.bulletinPath(), newest_);
    EXPECT_FALSE(viewer.takeMessage(QStringLiteral("ZEB_FAXV_OPEN"),
                                    QByteArray::fromStdString(older_.string())));
    EXPECT_EQ(viewer.bulletinPath(), newest_);
}

}  // namespace
}  // namespace zeb::zebwarnv::test
