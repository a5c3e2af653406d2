#include "weather/StationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

#include "support/TestEnv.h"

namespace zeb::weather {
namespace {

using test::TempDir;

// A record that tells which writer made it and carries its number in
// several places, so that a torn or shifted record is noticed on decode.
SynopRecord makeRecord(std::uint32_t writer, std::uint32_t number, bool doomed = false) {
    SynopRecord r;
    r.presence = writer;
    r.reportTime = number;
    r.bulletinTime = doomed ? 0xDEADu : 0u;
    r.serial = static_cast<std::int16_t>(number);
    r.station.number = static_cast<std::int32_t>(number);
    r.station.name = "W" + std::to_string(writer) + "-" + std::to_string(number);
    r.headingTypeText = std::string(79, static_cast<char>('a' + number % 26));
    r.a1bw = static_cast<std::uint8_t>(number);
    return r;
}

bool isDoomed(std::span<const std::uint8_t, kSynopRecordSize> b) {
    return decode(b).bulletinTime == 0xDEADu;
}

TEST(StationFile, AppendsWholeRecordsAndReadsThemBack) {
    TempDir dir;
    const auto file = dir / kStationFileName;
    auto none = readStationRecords(file);
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->empty());  // missing file: no records

    ASSERT_TRUE(appendStationRecord(file, makeRecord(1, 1)).ok());
    ASSERT_TRUE(appendStationRecord(file, makeRecord(1, 2)).ok());
    EXPECT_EQ(std::filesystem::file_size(file), 974u);
    EXPECT_TRUE(std::filesystem::exists(dir / "STATION.DAT.lock"));

    auto records = readStationRecords(file);
    ASSERT_TRUE(records.ok());
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ(decode((*records)[0]), makeRecord(1, 1));
    EXPECT_EQ(decode((*records)[1]), makeRecord(1, 2));
}

TEST(StationFile, PartialTailIsIgnoredAndCutBeforeTheNextAppend) {
    TempDir dir;
    const auto file = dir / kStationFileName;
    std::string content;
    for (std::uint32_t i = 1; i <= 2; ++i) {
        const auto b = encode(makeRecord(7, i));
        content.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    content += std::string(100, '\x55');  // an append interrupted by a crash
    test::writeFile(file, content);

    auto before = readStationRecords(file);
    ASSERT_TRUE(before.ok());
    EXPECT_EQ(before->size(), 2u);

    ASSERT_TRUE(appendStationRecord(file, makeRecord(7, 3)).ok());
    EXPECT_EQ(std::filesystem::file_size(file), 3 * kSynopRecordSize);
    auto after = readStationRecords(file);
    ASSERT_TRUE(after.ok());
    ASSERT_EQ(after->size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(decode((*after)[i]), makeRecord(7, i + 1));
}

TEST(StationFile, RemovalKeepsOrderAndPermissions) {
    TempDir dir;
    const auto file = dir / kStationFileName;
    for (std::uint32_t i = 0; i < 6; ++i) {
        ASSERT_TRUE(appendStationRecord(file, makeRecord(2, i, i % 2 == 1)).ok());
    }
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    // Nothing to remove: the file is left alone (same inode).
    struct stat st1 {};
    ASSERT_EQ(::stat(file.c_str(), &st1), 0);
    auto zero = removeStationRecords(file, [](auto) { return false; });
    ASSERT_TRUE(zero.ok());
    EXPECT_EQ(*zero, 0u);
    struct stat st2 {};
    ASSERT_EQ(::stat(file.c_str(), &st2), 0);
    EXPECT_EQ(st1.st_ino, st2.st_ino);

    auto removed = removeStationRecords(file, isDoomed);
    ASSERT_TRUE(removed.ok()) << removed.error().message;
    EXPECT_EQ(*removed, 3u);
    auto left = readStationRecords(file);
    ASSERT_TRUE(left.ok());
    ASSERT_EQ(left->size(), 3u);
    EXPECT_EQ(decode((*left)[0]), makeRecord(2, 0));
    EXPECT_EQ(decode((*left)[1]), makeRecord(2, 2));
    EXPECT_EQ(decode((*left)[2]), makeRecord(2, 4));
    ASSERT_EQ(::stat(file.c_str(), &st2), 0);
    EXPECT_EQ(st2.st_mode & 07777, 0640u);

    // No temporary files stay behind.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2u);  // STATION.DAT and its lock file

    auto missing = removeStationRecords(dir / "OTHER.DAT", [](auto) { return true; });
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(*missing, 0u);
}

TEST(StationFile, MissingDirectoryIsAnError) {
    TempDir dir;
    const auto file = dir / "nowhere" / kStationFileName;
    const auto appended = appendStationRecord(file, makeRecord(1, 1));
    ASSERT_FALSE(appended.ok());
    EXPECT_EQ(appended.error().systemError(), ENOENT);
    EXPECT_NE(appended.error().message.find("nowhere"), std::string::npos);
    EXPECT_FALSE(readStationRecords(file).ok());
    EXPECT_FALSE(removeStationRecords(file, [](auto) { return true; }).ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
}

// Another process and a thread append while a third party keeps removing
// records: every appended record that is not removed must be there exactly
// once, whole and aligned.
TEST(StationFile, ConcurrentAppendsSurviveRemovals) {
    TempDir dir;
    const auto file = dir / kStationFileName;
    constexpr std::uint32_t kCount = 200;
    for (std::uint32_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(appendStationRecord(file, makeRecord(9, i, true)).ok());
    }

    // Writer 1 runs in a child process (forked before any thread starts).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int failures = 0;
        for (std::uint32_t i = 0; i < kCount; ++i) {
            if (!appendStationRecord(file, makeRecord(1, i, i % 5 == 0)).ok()) ++failures;
        }
        ::_exit(failures == 0 ? 0 : 1);
    }

    std::atomic<bool> writersDone{false};
    std::atomic<int> removeFailures{0};
    std::size_t removals = 0;
    std::thread remover([&] {
        // Keeps rewriting until both writers have finished, then once more.
        do {
            if (!removeStationRecords(file, isDoomed).ok()) ++removeFailures;
            ++removals;
        } while (!writersDone.load() || removals < 10);
    });
    int appendFailures = 0;
    std::thread writer2([&] {
        for (std::uint32_t i = 0; i < kCount; ++i) {
            if (!appendStationRecord(file, makeRecord(2, i, i % 5 == 0)).ok()) ++appendFailures;
        }
    });
    writer2.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    writersDone = true;
    remover.join();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(appendFailures, 0);
    EXPECT_EQ(removeFailures.load(), 0);

    auto removed = removeStationRecords(file, isDoomed);
    ASSERT_TRUE(removed.ok());
    EXPECT_EQ(std::filesystem::file_size(file) % kSynopRecordSize, 0u);
    auto records = readStationRecords(file);
    ASSERT_TRUE(records.ok());

    std::map<std::pair<std::uint32_t, std::uint32_t>, int> seen;
    std::map<std::uint32_t, std::uint32_t> lastNumber;
    for (const auto& bytes : *records) {
        const SynopRecord r = decode(bytes);
        ASSERT_TRUE(r.presence == 1 || r.presence == 2) << "foreign or torn record";
        ASSERT_EQ(r, makeRecord(r.presence, r.reportTime)) << "torn record";
        ++seen[{r.presence, r.reportTime}];
        // Each writer's records keep their order.
        if (lastNumber.count(r.presence)) {
            EXPECT_LT(lastNumber[r.presence], r.reportTime);
        }
        lastNumber[r.presence] = r.reportTime;
    }
    for (const std::uint32_t writer : {1u, 2u}) {
        for (std::uint32_t i = 0; i < kCount; ++i) {
            const auto it = seen.find({writer, i});
            if (i % 5 == 0) {
                EXPECT_TRUE(it == seen.end()) << writer << "/" << i;
            } else {
                ASSERT_TRUE(it != seen.end()) << "lost " << writer << "/" << i;
                EXPECT_EQ(it->second, 1) << writer << "/" << i;
            }
        }
    }
    EXPECT_EQ(records->size(), 2 * (kCount - kCount / 5));
}

}  // namespace
}  // namespace zeb::weather
