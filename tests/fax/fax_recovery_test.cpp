// Pictures a killed program left in the received-file store, finished when
// the next reception starts: work files of a reception killed with SIGKILL,
// pictures without their thumbnail, and files a running reception holds.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "common/ReceivedFile.h"
#include "fax/PictureFile.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

namespace fs = std::filesystem;

const NameTime kTen{2026, 12, 7, 10, 0, 0};

// Writes `rows` rows of stripes in bands, as the decoder does.
bool receive(PictureFile& file, int rows) {
    static PictureBuffer stripes;
    if (!stripes.valid() && stripes.create(905, 140))
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 905; ++x) stripes.writePixel(x, y, (x / 40 + y) % 16);
    file.setClock([] { return kTen; });
    if (!file.begin(905)) return false;
    for (int first = 0; first < rows; first += kBandRows)
        if (!file.appendBand(stripes, first, std::min(kBandRows, rows - first))) return false;
    return true;
}

// A reception of `rows` rows in a child process that is then killed.
void killedReception(const fs::path& workDir, int rows) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        PictureFile file(workDir);
        if (receive(file, rows)) ::kill(::getpid(), SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the reception failed before the kill";
}

// The picture and thumbnail of the same rows ended normally.
std::pair<std::string, std::string> endedNormally(int rows) {
    test::TempDir dir;
    PictureFile file(dir.path());
    EXPECT_TRUE(receive(file, rows));
    const PictureOutcome out = file.end();
    return {test::readFile(out.picture), test::readFile(out.thumbnail)};
}

fs::path named(const test::TempDir& dir, ReceivedKind kind, int minute = 0) {
    return dir.path() / relativePath(kind, NameTime{2026, 12, 7, 10, minute, 0});
}

// Work files of 100 rows or more become the picture a normal end gives (at
// the next minute when a picture took the name meanwhile); shorter ones go.
TEST(FaxRecovery, a_killed_reception_is_finished_as_at_its_end_or_removed_when_short) {
    for (const auto& [rows, taken] :
         {std::pair{0, false}, std::pair{99, false}, std::pair{100, false}, std::pair{137, true}}) {
        test::TempDir dir;
        killedReception(dir.path(), rows);
        if (taken) test::writeFile(named(dir, ReceivedKind::Fax), "not ours");
        const Recovery done = recoverPictures(dir.path());
        EXPECT_TRUE(done.problems.empty()) << done.summary();
        EXPECT_FALSE(fs::exists(named(dir, ReceivedKind::FaxWork))) << rows;
        if (rows < 100) {
            EXPECT_EQ(done.removed.size(), 1u) << rows;
            EXPECT_TRUE(fs::is_empty(dir / "FAX")) << rows;
            continue;
        }
        const int minute = taken ? 1 : 0;
        EXPECT_EQ(done.summary(),
                  "recovered 1 picture: FAX/FAX_2026-12-07_10-0" + std::to_string(minute) + ".BMP");
        const auto [picture, thumbnail] = endedNormally(rows);
        EXPECT_EQ(test::readFile(named(dir, ReceivedKind::Fax, minute)), picture) << rows;
        EXPECT_EQ(test::readFile(named(dir, ReceivedKind::FaxThumbnail, minute)), thumbnail);
        if (taken) {
            EXPECT_EQ(test::readFile(named(dir, ReceivedKind::Fax)), "not ours");
        }
    }
}

TEST(FaxRecovery, a_work_file_being_received_is_left_alone) {
    test::TempDir dir;
    PictureFile running(dir.path());
    ASSERT_TRUE(receive(running, 120));
    const std::string before = test::readFile(running.workPath());
    EXPECT_EQ(recoverPictures(dir.path()).busy, std::vector<fs::path>{running.workPath()});
    EXPECT_EQ(test::readFile(running.workPath()), before);
    const PictureOutcome out = running.end();
    EXPECT_EQ(out.kind, PictureOutcome::Kind::Saved);
    EXPECT_TRUE(out.problem.empty()) << out.problem;
}

// A picture whose finishing was cut off: after the rename (still the
// uncompressed work file), or after the compression (thumbnail missing).
TEST(FaxRecovery, a_picture_without_its_thumbnail_is_completed) {
    const auto [picture, thumbnail] = endedNormally(110);
    for (const bool renamedOnly : {true, false}) {
        test::TempDir dir;
        if (renamedOnly) {
            killedReception(dir.path(), 110);
            fs::rename(named(dir, ReceivedKind::FaxWork), named(dir, ReceivedKind::Fax));
        } else {
            fs::create_directories(dir / "FAX");
            test::writeFile(named(dir, ReceivedKind::Fax), picture);
        }
        const Recovery done = recoverPictures(dir.path());
        EXPECT_EQ(done.thumbnails.size(), 1u) << done.summary();
        EXPECT_EQ(test::readFile(named(dir, ReceivedKind::Fax)), picture) << renamedOnly;
        EXPECT_EQ(test::readFile(named(dir, ReceivedKind::FaxThumbnail)), thumbnail);
        EXPECT_TRUE(recoverPictures(dir.path()).empty()) << "done twice";
    }
}

}  // namespace
}  // namespace zeb::fax
