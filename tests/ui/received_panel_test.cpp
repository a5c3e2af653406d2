// The received-files browser as the launcher runs it: its bundle's dialog
// 111 and strings label the files of a working directory, and the viewers are
// closed and started through the functions the owner hands in.
#include "BundleTestSupport.h"
#include "common/ReceivedFile.h"
#include "store/Viewer.h"
#include "support/TestEnv.h"
#include "ui/DialogLoader.h"
#include "ui/LanguageBundle.h"
#include "ui/ReceivedPanel.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;

const NameTime kFax{2026, 12, 4, 8, 0};
const NameTime kWarning{2026, 12, 5, 0, 0};
const NameTime kWav{2026, 12, 5, 16, 0};
const NameTime kGsm{2026, 12, 6, 16, 0};
const NameTime kObservations{2026, 12, 7, 6, 0};

void put(const fs::path& dir, const fs::path& relative, const std::string& bytes) {
    fs::create_directories((dir / relative).parent_path());
    zeb::test::writeFile(dir / relative, bytes);
}

void putRecord(const fs::path& dir, const NameTime& t, std::int32_t station) {
    weather::SynopRecord r;
    r.reportTime = static_cast<std::uint32_t>(timeKey(t));
    r.station.number = station;
    fs::create_directories(dir / "SYNOP");
    ASSERT_TRUE(weather::appendStationRecord(dir / "SYNOP" / weather::kStationFileName, r));
}

class LauncherReceivedPanel : public ::testing::Test {
protected:
    void SetUp() override {
        auto loaded = LanguageBundle::load(Program::ZebMenu, zeb::test::suiteDir());
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        bundle = std::move(*loaded);
        put(dir.path(), relativePath(ReceivedKind::Fax, kFax), "BM");
        weather::RtfDocument warning;
        warning.runs.push_back({{}, "ZCZC WA01\nSTURM 9\nNNNN\n"});
        put(dir.path(), relativePath(ReceivedKind::Warning, kWarning), weather::writeRtf(warning));
        put(dir.path(), relativePath(ReceivedKind::Audio, kWav), "RIFF");
        put(dir.path(), relativePath(ReceivedKind::AudioGsm, kGsm), "GSM");
        putRecord(dir.path(), kObservations, 10001);
        putRecord(dir.path(), kObservations, 10002);
    }

    std::unique_ptr<ReceivedPanel> makePanel() {
        ReceivedContext context;
        context.bundle = bundle.get();
        context.workDir = dir.path();
        context.texts = launcherReceivedTexts();
        context.setStatus = [this](const QString& text) { status = text; };
        context.closeByClass = [this](const std::string& windowClass) {
            calls.push_back("close " + windowClass);
        };
        context.start = [this](const std::string& program, const std::vector<std::string>& args,
                               const fs::path& workDir) -> Result<pid_t> {
            std::string call = "start " + program;
            for (const std::string& a : args) call += " " + a;
            calls.push_back(call + (workDir == dir.path() ? "" : " elsewhere"));
            if (program == "zebwarnv") return Error{ENOENT, "zebwarnv is nowhere"};
            return pid_t{4242};
        };
        return std::make_unique<ReceivedPanel>(std::move(context), nullptr, remembered);
    }

    // The row of the entry whose file is `file` (empty: the observations).
    int row(const ReceivedPanel& panel, const fs::path& file) const {
        const auto& entries = panel.entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].path == file) return static_cast<int>(i);
        return -1;
    }

    zeb::test::TempDir dir;
    std::unique_ptr<LanguageBundle> bundle;
    int remembered = -1;
    QString status;
    std::vector<std::string> calls;
};

TEST_F(LauncherReceivedPanel, LabelsComeFromTheLaunchersStringsInTheDialogOfItsBundle) {
    const auto panel = makePanel();
    ASSERT_EQ(controlAs<QTreeWidget>(panel->dialog(), receivedid::kList), panel->list());
    const LanguageBundle& b = *bundle;
    auto time = [&b](int id, const NameTime& t) {
        return b.format(id, {t.year, t.month, t.day, t.hour, t.minute});
    };
    struct Case {
        fs::path file;
        QString label;
        const char* date;  // the day as the label must show it: year first
    };
    const std::vector<Case> cases{
        {relativePath(ReceivedKind::Fax, kFax), time(45, kFax), "2026-12-04"},
        {relativePath(ReceivedKind::Warning, kWarning), b.format(46, {"STURM 9"}), ""},
        {relativePath(ReceivedKind::Audio, kWav), b.format(46, {"Audio"}), ""},
        {relativePath(ReceivedKind::AudioGsm, kGsm), b.format(46, {"Audio"}), ""},
        {{}, QStringLiteral("[2] ") + time(47, kObservations), "2026-12-07"},
    };
    ASSERT_EQ(panel->list()->topLevelItemCount(), static_cast<int>(cases.size()));
    for (const Case& c : cases) {
        const int i = row(*panel, c.file);
        ASSERT_GE(i, 0) << c.file;
        const QString shown = panel->list()->topLevelItem(i)->text(0);
        EXPECT_FALSE(c.label.trimmed().isEmpty()) << c.file;
        EXPECT_EQ(shown.toStdString(), c.label.toStdString()) << c.file;
        EXPECT_TRUE(shown.contains(QString::fromLatin1(c.date))) << shown.toStdString();
    }
}

TEST_F(LauncherReceivedPanel, OpeningClosesTheViewerOfTheKindAndStartsItThroughTheOwner) {
    const auto panel = makePanel();
    const fs::path fax = relativePath(ReceivedKind::Fax, kFax);
    panel->setCurrentIndex(row(*panel, fax));
    panel->openCurrent();
    const auto viewer = store::viewerFor(panel->entries()[std::size_t(row(*panel, fax))]);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(calls, (std::vector<std::string>{"close " + viewer->windowClass,
                                               "start zebfaxv " + fax.filename().string()}));
    // The bulletin viewer fails to start: the status field says why.
    calls.clear();
    panel->setCurrentIndex(row(*panel, relativePath(ReceivedKind::Warning, kWarning)));
    panel->openCurrent();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(status, QStringLiteral("zebwarnv is nowhere"));
}

}  // namespace
}  // namespace zeb::ui
