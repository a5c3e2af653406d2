// The user's program list on EXTENS.LST, offscreen: the file read and written
// back byte for byte, files dropped on the list, Ctrl + double click
// removing an entry, a double click starting a stand-in program, and a list
// that cannot be read never written over.
#include "common/AtomicFile.h"
#include "support/BoxRecorder.h"
#include "support/TestEnv.h"
#include "ui/ProgramList.h"

#include <QApplication>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <gtest/gtest.h>

#include "EventLoop.h"

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;

struct ListCase {
    const char* name;
    const char* fileName;  // null: no list yet
    std::string bytes;
    std::vector<std::string> lines;  // as read
    QStringList shown;               // the items' texts
};

class ProgramListFile : public ::testing::TestWithParam<ListCase> {};

TEST_P(ProgramListFile, ReadsEntriesAndWritesThemBackUnchanged) {
    const ListCase& c = GetParam();
    zeb::test::TempDir dir;
    if (c.fileName) zeb::test::writeFile(dir / c.fileName, c.bytes);
    QListWidget view;
    ProgramList list(view, dir.path(), nullptr, {});
    EXPECT_EQ(list.file(), dir / (c.fileName ? c.fileName : "EXTENS.LST"));
    EXPECT_EQ(list.lines(), c.lines);
    ASSERT_EQ(view.count(), c.shown.size());
    for (int i = 0; i < view.count(); ++i) EXPECT_EQ(view.item(i)->text(), c.shown[i]) << i;

    // Written again, the lines read back as they were.
    ASSERT_TRUE(writeProgramList(list.file(), list.lines()));
    const auto again = readProgramList(list.file());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProgramListFile,
    ::testing::Values(
        ListCase{"CaptionsWithBlanks",
                 "EXTENS.LST",
                 "/usr/bin/xterm A terminal window\r\n/opt/wx/bin/wxfax Fax  viewer  2\r\n",
                 {"/usr/bin/xterm A terminal window", "/opt/wx/bin/wxfax Fax  viewer  2"},
                 {"A terminal window", "Fax  viewer  2"}},
        // Line feeds alone, empty lines, no caption, no line end at the end.
        ListCase{"LooseLines",
                 "EXTENS.LST",
                 "\n/bin/true\n\n/bin/false Never\r\n\r\n/usr/bin/gedit Edit",
                 {"/bin/true", "/bin/false Never", "/usr/bin/gedit Edit"},
                 {"/bin/true", "Never", "Edit"}},
        // A list copied from Windows: its name in lower case, a caption in
        // Windows-1252.
        ListCase{"OlderInstallation",
                 "extens.lst",
                 "/usr/bin/wetter Wetter f\xFCr S\xFC"
                 "d\r\n",
                 {"/usr/bin/wetter Wetter f\xFCr S\xFC"
                  "d"},
                 {QStringLiteral("Wetter f\u00FCr S\u00FCd")}},
        ListCase{"Missing", nullptr, "", {}, {}}),
    [](const auto& param) { return std::string(param.param.name); });

// A list on screen, with its boxes recorded and its captions answered.
class ProgramListPanel : public ::testing::Test {
protected:
    void SetUp() override {
        zeb::test::writeFile(dir / "EXTENS.LST",
                             "/usr/bin/xterm A terminal\r\n/usr/bin/gedit The editor\r\n");
        list = std::make_unique<ProgramList>(view, dir.path(), &messages, ProgramList::Texts{});
        list->askCaption = [this](const QString& title) -> std::optional<QString> {
            titles.push_back(title);
            if (answers.empty()) return std::nullopt;
            QString a = answers.takeFirst();
            return a == QLatin1String("<cancel>") ? std::nullopt : std::optional(a);
        };
        view.resize(300, 200);
        view.show();
        QApplication::processEvents();
    }

    std::string file() const { return zeb::test::readFile(dir / "EXTENS.LST"); }

    void drop(const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& p : paths) urls.push_back(QUrl::fromLocalFile(p));
        QMimeData data;
        data.setUrls(urls);
        // A drop reaches the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }

    void doubleClick(int row, Qt::KeyboardModifiers modifiers) {
        const QPointF at = view.visualItemRect(view.item(row)).center();
        QMouseEvent event(QEvent::MouseButtonDblClick, at, view.viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }

    zeb::test::TempDir dir;
    zeb::test::BoxRecorder boxes;
    MessageBoxes messages{QStringLiteral("Test")};
    QListWidget view;
    std::unique_ptr<ProgramList> list;
    QStringList titles;
    QStringList answers;
};

TEST_F(ProgramListPanel, DroppedFilesAreAskedACaptionAndAppended) {
    const fs::path tool = dir / "wxtool";
    const fs::path other = dir / "other";
    const fs::path blank = dir / "my tool";
    for (const fs::path& p : {tool, other, blank}) zeb::test::writeFile(p, "");
    answers = {QStringLiteral("  Weather\ntool  "), QStringLiteral("<cancel>")};
    drop({QString::fromStdString(tool.string()), QString::fromStdString(blank.string()),
          QString::fromStdString(other.string())});

    // The caption is asked with the title and the file's name; one line, trimmed.
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Description of wxtool"),
                                   QStringLiteral("Description of other")}));
    EXPECT_EQ(file(), "/usr/bin/xterm A terminal\r\n/usr/bin/gedit The editor\r\n" + tool.string() +
                          " Weather tool\r\n");
    ASSERT_EQ(view.count(), 3);
    EXPECT_EQ(view.item(2)->text(), QStringLiteral("Weather tool"));
    EXPECT_EQ(view.item(2)->toolTip(), QString::fromStdString(tool.string()));
    // The path with a blank is refused, not stored cut at the blank.
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].endsWith(QString::fromStdString(blank.string())));
}

TEST_F(ProgramListPanel, CtrlDoubleClickRemovesTheEntryAndRewritesTheFile) {
    doubleClick(0, Qt::ControlModifier);
    EXPECT_EQ(file(), "/usr/bin/gedit The editor\r\n");
    ASSERT_EQ(view.count(), 1);
    EXPECT_EQ(view.item(0)->text(), QStringLiteral("The editor"));
    doubleClick(0, Qt::ControlModifier);
    EXPECT_EQ(file(), "");
    EXPECT_EQ(view.count(), 0);
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(ProgramListPanel, DoubleClickStartsTheProgramWithoutArgumentsInTheListsDirectory) {
    const fs::path program = dir / "stand-in";
    zeb::test::writeFile(
        program, "#!/bin/sh\n{ pwd; echo \"$#\"; } > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.out\"\n");
    fs::permissions(program, fs::perms::owner_all);
    zeb::test::writeFile(dir / "EXTENS.LST", program.string() + " Stand-in; rm -rf $HOME\r\n");
    list->reload();
    doubleClick(0, Qt::NoModifier);
    const fs::path out = dir / "stand-in.out";
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return fs::exists(out); }));
    // No shell: the caption is no argument and nothing of it runs.
    EXPECT_EQ(zeb::test::readFile(out), fs::canonical(dir.path()).string() + "\n0\n");
    // A program that is not there is said.
    zeb::test::writeFile(dir / "EXTENS.LST", (dir / "gone").string() + " Gone\r\n");
    list->reload();
    doubleClick(0, Qt::NoModifier);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("gone")));
}

TEST_F(ProgramListPanel, AListThatCannotBeReadIsNeverWrittenOver) {
    fs::remove(dir / "EXTENS.LST");
    fs::create_directory(dir / "EXTENS.LST");  // reads fail
    list->reload();
    EXPECT_EQ(view.count(), 0);
    ASSERT_EQ(boxes.texts.size(), 1);
    const fs::path tool = dir / "tool";
    zeb::test::writeFile(tool, "");
    answers = {QStringLiteral("Tool")};
    EXPECT_EQ(list->addFiles({QString::fromStdString(tool.string())}), 0);
    EXPECT_TRUE(titles.isEmpty());
    EXPECT_TRUE(fs::is_directory(dir / "EXTENS.LST"));
    EXPECT_EQ(boxes.texts.size(), 2);
}

}  // namespace
}  // namespace zeb::ui
