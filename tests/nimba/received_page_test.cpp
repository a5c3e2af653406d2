// The received-files page of the running program on a working directory with
// faxes, a warning, a recording and observations: the list and its labels,
// the previews, the selection kept while the page comes and goes, a viewer
// started in the working directory, deletion and the age limit.
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ui/EventLoop.h"
#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "ReceivedPage.h"
#include "common/ReceivedFile.h"
#include "fax/Bmp.h"
#include "ui/DialogLoader.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

namespace zeb::nimba {
namespace {

namespace fs = std::filesystem;

const TimeKey kNow = timeKey({2026, 12, 8, 9, 0});
// Oldest first. The recording's name is local time: more than 14 hours from
// its neighbours and from the clean-up's limit (kNow − 48 h), it keeps its
// place in every time zone.
const NameTime kOldFax{2026, 12, 4, 8, 0};
const NameTime kWarning{2026, 12, 5, 0, 0};
const NameTime kRecording{2026, 12, 5, 16, 0};
const NameTime kObsTwo{2026, 12, 7, 6, 0};  // two records
const NameTime kObsOne{2026, 12, 7, 12, 0};
const NameTime kNewFax{2026, 12, 8, 6, 0};

void put(const fs::path& dir, const fs::path& relative, const std::string& bytes) {
    fs::create_directories((dir / relative).parent_path());
    zeb::test::writeFile(dir / relative, bytes);
}

void putFax(const fs::path& dir, const NameTime& t) {
    put(dir, relativePath(ReceivedKind::Fax, t), fax::encodeBmp(fax::makeGreyBitmap(64, 48), true));
    put(dir, relativePath(ReceivedKind::FaxThumbnail, t),
        fax::encodeBmp(fax::makeGreyBitmap(16, 12), false));
}

void putRecord(const fs::path& dir, const NameTime& t, std::int32_t station) {
    weather::SynopRecord r;
    r.reportTime = static_cast<std::uint32_t>(timeKey(t));
    r.station.number = station;
    r.presence = weather::presence::kAirTemperature;
    r.airTemperature = 125;
    fs::create_directories(dir / "SYNOP");
    ASSERT_TRUE(weather::appendStationRecord(dir / "SYNOP" / weather::kStationFileName, r));
}

void fillStore(const fs::path& dir) {
    putFax(dir, kOldFax);
    putFax(dir, kNewFax);
    weather::RtfDocument warning;
    warning.runs.push_back({{},
                            "ZCZC WA01\nSTURM S\xDC"
                            "DWEST 9\nNNNN\n"});
    put(dir, relativePath(ReceivedKind::Warning, kWarning), weather::writeRtf(warning));
    put(dir, relativePath(ReceivedKind::Audio, kRecording), "RIFF");
    putRecord(dir, kObsTwo, 10001);
    putRecord(dir, kObsOne, 10002);
    putRecord(dir, kObsTwo, 10003);
}

StartOptions options(const fs::path& dir) {
    StartOptions o;
    o.workDir = dir;
    o.receiver = [] { return makeNoReceiver(); };
    o.input = "null";
    o.output = "null";
    o.show = false;
    o.clock = [] { return kNow; };
    o.mixer = [] { return std::unique_ptr<audio::MixerDevice>(); };
    return o;
}

void key(QWidget* target, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

class ReceivedPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        fillStore(box.dir.path());
    }
    ReceivedPage& start() {
        nimba = std::make_unique<Nimba>(options(box.dir.path()));
        EXPECT_FALSE(nimba->startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        nimba->window()->selectTab(kReceivedTab);
        return *nimba->window()->receivedPage();
    }
    QString label(int i) const {
        return nimba->window()->receivedPage()->list()->topLevelItem(i)->text(0);
    }

    test::Sandbox box;
    std::unique_ptr<Nimba> nimba;
};

TEST_F(ReceivedPageTest, ListsTheStoreOldestFirstWithTheBundlesLabels) {
    ReceivedPage& page = start();
    const ui::LanguageBundle& b = *nimba->bundle();
    auto time = [&b](int id, const NameTime& t) {
        return b.format(id, {t.year, t.month, t.day, t.hour, t.minute});
    };
    const QStringList expected{time(67, kOldFax),
                               b.format(68, {"STURM S\xC3\x9C"
                                             "DWEST 9"}),  // shown as UTF-8
                               b.format(68, {"Audio"}),
                               QStringLiteral("[2] ") + time(69, kObsTwo),
                               QStringLiteral("[1] ") + time(69, kObsOne),
                               time(67, kNewFax)};
    ASSERT_EQ(page.list()->topLevelItemCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) EXPECT_EQ(label(i), expected[i]) << i;
    // A new page selects the newest entry and previews it.
    EXPECT_EQ(page.currentIndex(), 5);
    EXPECT_EQ(page.previewImage().size(), QSize(16, 12));

    // Space previews each kind; a click clears the preview.
    struct Case {
        int index;
        bool picture;
        const char* text;
    };
    for (const Case& c :
         {Case{0, true, ""}, Case{1, false, "NNNN"}, Case{2, false, ""}, Case{3, false, "12.5"}}) {
        page.setCurrentIndex(c.index);
        key(page.list(), Qt::Key_Space);
        EXPECT_EQ(!page.previewImage().isNull(), c.picture) << c.index;
        EXPECT_TRUE(page.previewText().contains(QString::fromLatin1(c.text))) << c.index;
        EXPECT_EQ(page.previewText().isEmpty(), *c.text == 0) << c.index;
    }
    emit page.list()->itemClicked(page.list()->currentItem(), 0);
    EXPECT_TRUE(page.previewText().isEmpty());
    // A damaged companion shows nothing.
    put(box.dir.path(), relativePath(ReceivedKind::FaxThumbnail, kOldFax), "BM\x10garbage");
    page.setCurrentIndex(0);
    key(page.list(), Qt::Key_Space);
    EXPECT_TRUE(page.previewImage().isNull());
}

TEST_F(ReceivedPageTest, TheSelectionOutlivesThePage) {
    start().setCurrentIndex(2);
    MainWindow& w = *nimba->window();
    w.selectTab(kFrequencyTab);
    EXPECT_EQ(w.receivedPage(), nullptr);
    w.selectTab(kReceivedTab);
    EXPECT_EQ(w.receivedPage()->currentIndex(), 2);
    // One past the end: the newest entry.
    w.selectTab(kFrequencyTab);
    nimba->receivedSelection() = 6;
    w.selectTab(kReceivedTab);
    EXPECT_EQ(w.receivedPage()->currentIndex(), 5);
    // A refresh keeps the entries, not the indexes, when the list grows before them.
    QTreeWidget& list = *w.receivedPage()->list();
    w.receivedPage()->setCurrentIndex(1);
    list.topLevelItem(3)->setSelected(true);
    putFax(box.dir.path(), {2026, 12, 1, 0, 0});
    w.housekeeping().refreshBrowser();
    EXPECT_EQ(w.receivedPage()->currentIndex(), 2);
    EXPECT_EQ(nimba->receivedSelection(), 2);
    EXPECT_EQ(list.selectedItems(), (QList{list.topLevelItem(2), list.topLevelItem(4)}));
}

TEST_F(ReceivedPageTest, EnterStartsTheViewerInTheWorkingDirectoryWithTheFileName) {
    zeb::test::TempDir bin;
    const fs::path viewer = bin.path() / "zebfaxv";
    zeb::test::writeFile(viewer,
                         "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$0.tmp\"\n"
                         "mv \"$0.tmp\" \"$0.out\"\n");
    fs::permissions(viewer, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    zeb::test::ScopedEnv onPath("PATH", bin.path().string() + ":" + (path ? path : "/usr/bin"));
    ReceivedPage& page = start();
    page.setCurrentIndex(0);
    key(page.list(), Qt::Key_Return);
    const fs::path out = bin.path() / "zebfaxv.out";
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return fs::exists(out); }));
    EXPECT_EQ(zeb::test::readFile(out),
              fs::canonical(box.dir.path()).string() + "\nFAX_2026-12-04_08-00.BMP\n");
    // A viewer that is nowhere is said in the status field.
    page.setCurrentIndex(1);
    page.openCurrent();
    EXPECT_TRUE(nimba->window()->statusText().contains(QStringLiteral("zebwarnv")));
    EXPECT_TRUE(box.boxes.texts.isEmpty());
}

TEST_F(ReceivedPageTest, DeleteAsksThenRemovesTheFaxWithItsCompanionAndTheRecords) {
    ReceivedPage& page = start();
    page.setCurrentIndex(0);
    page.list()->topLevelItem(3)->setSelected(true);  // the time with two records
    ui::controlAs<QPushButton>(page.dialog(), receivedid::kDelete)->click();
    ASSERT_EQ(box.boxes.texts, QStringList{nimba->bundle()->string(70)});
    EXPECT_FALSE(fs::exists(box.dir.path() / relativePath(ReceivedKind::Fax, kOldFax)));
    EXPECT_FALSE(fs::exists(box.dir.path() / relativePath(ReceivedKind::FaxThumbnail, kOldFax)));
    EXPECT_EQ(fs::file_size(box.dir.path() / "SYNOP" / weather::kStationFileName),
              weather::kSynopRecordSize);
    ASSERT_EQ(page.list()->topLevelItemCount(), 4);
    EXPECT_EQ(page.entries().front().kind, store::EntryKind::Warning);
}

TEST_F(ReceivedPageTest, CleanupDeletesWhatIsOlderThanDeltimeAndRefreshesThePage) {
    zeb::test::writeFile(box.dir.path() / "NIMBA.INI", "[PARAM]\r\nDELTIME=48\r\n");
    const NameTime old{2026, 12, 6, 8, 0}, young{2026, 12, 6, 10, 0};  // 49 h and 47 h ago
    putFax(box.dir.path(), old);
    putFax(box.dir.path(), young);
    ReceivedPage& page = start();
    EXPECT_EQ(page.list()->topLevelItemCount(), 8);
    nimba->window()->housekeeping().cleanup();
    EXPECT_FALSE(fs::exists(box.dir.path() / relativePath(ReceivedKind::Fax, old)));
    EXPECT_FALSE(fs::exists(box.dir.path() / relativePath(ReceivedKind::FaxThumbnail, old)));
    EXPECT_TRUE(fs::exists(box.dir.path() / relativePath(ReceivedKind::Fax, young)));
    EXPECT_TRUE(fs::exists(box.dir.path() / relativePath(ReceivedKind::FaxThumbnail, young)));
    // Everything before kNow − 48 h went, the recording by its local time.
    EXPECT_EQ(page.list()->topLevelItemCount(), 4);
    EXPECT_EQ(page.entries().front().time, young);
}

}  // namespace
}  // namespace zeb::nimba
