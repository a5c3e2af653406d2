#include "common/AtomicFile.h"
#include "common/ReceivedFile.h"
#include "support/TestEnv.h"

#include <atomic>
#include <cerrno>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace zeb {
namespace {

TEST(ReceivedFile, NamesAreBuiltWithTheirDirectories) {
    const NameTime t{2004, 6, 3, 14, 5, 0};
    EXPECT_EQ(fileName(ReceivedKind::Fax, t), "FAX_2004-06-03_14-05.BMP");
    EXPECT_EQ(fileName(ReceivedKind::FaxThumbnail, t), "FAX_2004-06-03_14-05.BMM");
    EXPECT_EQ(fileName(ReceivedKind::FaxWork, t), "FAX_2004-06-03_14-05.BMX");
    EXPECT_EQ(fileName(ReceivedKind::Warning, t), "WARN_2004-06-03_14-05.RTF");
    EXPECT_EQ(fileName(ReceivedKind::Information, t), "INFO_2004-06-03_14-05.RTF");
    EXPECT_EQ(fileName(ReceivedKind::Audio, t), "AUDIO_2004-06-03_14-05.WAV");
    EXPECT_EQ(fileName(ReceivedKind::AudioGsm, t), "AUDIO_2004-06-03_14-05.GSM");
    EXPECT_EQ(relativePath(ReceivedKind::Fax, t), "FAX/FAX_2004-06-03_14-05.BMP");
    EXPECT_EQ(relativePath(ReceivedKind::Information, t), "SYNOP/INFO_2004-06-03_14-05.RTF");
}

TEST(ReceivedFile, EveryKindParsesBackToItsName) {
    for (ReceivedKind kind : {ReceivedKind::Fax, ReceivedKind::FaxThumbnail, ReceivedKind::FaxWork,
                              ReceivedKind::Warning, ReceivedKind::Information, ReceivedKind::Audio,
                              ReceivedKind::AudioGsm}) {
        for (const NameTime& t : {NameTime{1970, 1, 1, 0, 0, 0}, NameTime{2004, 2, 29, 23, 59, 0},
                                  NameTime{2099, 12, 31, 12, 30, 0}}) {
            const std::string name = fileName(kind, t);
            EXPECT_EQ(parseFileName(name), (ReceivedName{kind, t})) << name;
            EXPECT_EQ(parseFileName(kind, name), t) << name;
        }
    }
    // Copies from Windows may come in lower case.
    EXPECT_EQ(parseFileName("fax_2004-06-03_14-05.bmp"),
              (ReceivedName{ReceivedKind::Fax, {2004, 6, 3, 14, 5, 0}}));
}

TEST(ReceivedFile, NamesThatAreNotExactlyReceivedNamesAreRejected) {
    for (const char* name : {
             "FAX_old.BMP",                   // a user's own file
             "FAX_2004-06-03_14-05 (2).BMP",  // a copy
             "FAX_2004-06-03_14-05.BMP.bak",
             "FAX_2004-6-3_14-5.BMP",     // fields without leading zeros
             "FAX_04-06-03_14-05.BMP",    // two-digit year
             "FAX_2004-13-03_14-05.BMP",  // month 13
             "FAX_2004-02-30_14-05.BMP",  // no such day
             "FAX_2005-02-29_14-05.BMP",  // no leap year
             "FAX_2004-06-03_24-00.BMP",  // hour 24
             "FAX_2004-06-03_14-60.BMP",  // minute 60
             "FAX_1969-12-31_23-59.BMP",  // before the epoch
             "FAX_2004-06-03_14-05.RTF",  // wrong extension for the prefix
             "WARN_2004-06-03_14-05.BMP",
             "FAX-2004-06-03_14-05.BMP",
             "FAX_2004-06-03-14-05.BMP",
             "FAX_+004-06-03_14-05.BMP",
             "FAX_2004-06-03_14-05",
             "",
             "FAX_2004-06-03_14-05.BM",
         }) {
        EXPECT_EQ(parseFileName(name), std::nullopt) << name;
    }
    EXPECT_EQ(parseFileName(ReceivedKind::Warning, "INFO_2004-06-03_14-05.RTF"), std::nullopt);
}

TEST(ReceivedFile, RecordingsAreKeyedInLocalTimeOthersInUtc) {
    test::ScopedEnv tz("TZ", "Europe/Berlin");
    tzset();
    const NameTime t{2004, 6, 3, 14, 5, 0};
    EXPECT_EQ(keyOf({ReceivedKind::Fax, t}), timeKey(t));
    EXPECT_EQ(keyOf({ReceivedKind::Audio, t}), timeKey(t) - 2 * 3600);
    EXPECT_EQ(keyOf({ReceivedKind::AudioGsm, t}), timeKey(t) - 2 * 3600);
    unsetenv("TZ");
    tzset();
}

TEST(ReceivedFile, ASecondItemInTheSameMinuteGetsTheNextFreeMinute) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "FAX");
    std::filesystem::create_directories(dir / "SYNOP");
    const NameTime t{2004, 12, 31, 23, 59, 30};
    const NameTime t0{2004, 12, 31, 23, 59, 0};
    EXPECT_EQ(firstFreeTime(dir.path(), ReceivedKind::FaxWork, t), t0);

    // Any member of a fax's family occupies the minute.
    test::writeFile(dir.path() / relativePath(ReceivedKind::FaxThumbnail, t0), "");
    EXPECT_EQ(firstFreeTime(dir.path(), ReceivedKind::FaxWork, t), (NameTime{2005, 1, 1, 0, 0, 0}));

    // Warnings and information bulletins do not block each other.
    test::writeFile(dir.path() / relativePath(ReceivedKind::Warning, t0), "");
    EXPECT_EQ(firstFreeTime(dir.path(), ReceivedKind::Information, t), t0);
    EXPECT_EQ(firstFreeTime(dir.path(), ReceivedKind::Warning, t), (NameTime{2005, 1, 1, 0, 0, 0}));
    EXPECT_EQ(firstFreeTime(dir.path(), ReceivedKind::Warning, t, 1), std::nullopt);
}

// Several writers saving in the same minute at once (threads here; other
// programs meet the same no-replace rename): every text gets its own file,
// none is replaced, and a busy day goes on past its 1440 minutes.
TEST(ReceivedFile, WritersInTheSameMinuteNeverReplaceEachOther) {
    test::TempDir dir;
    const std::filesystem::path synop = dir / "SYNOP";
    const NameTime t{2026, 12, 8, 23, 30, 10};
    std::filesystem::create_directories(synop);
    test::writeFile(synop / fileName(ReceivedKind::Warning, {2026, 12, 8, 23, 31, 0}), "earlier");
    constexpr int kWriters = 4, kEach = 400;
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kEach; ++i) {
                const std::string text = std::to_string(w) + "/" + std::to_string(i);
                if (!writeReceivedFile(synop, ReceivedKind::Warning, t, text)) ++failures;
            }
        });
    }
    for (auto& w : writers) w.join();
    EXPECT_EQ(failures.load(), 0);
    std::set<std::string> texts;
    int files = 0, temporaries = 0;
    for (const auto& e : std::filesystem::directory_iterator(synop)) {
        const std::string name = e.path().filename().string();
        if (name.front() == '.') {
            ++temporaries;
            continue;
        }
        ++files;
        texts.insert(test::readFile(e.path()));
    }
    EXPECT_EQ(files, kWriters * kEach + 1);
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kWriters * kEach + 1));
    EXPECT_EQ(temporaries, 0);
    EXPECT_EQ(test::readFile(synop / fileName(ReceivedKind::Warning, {2026, 12, 8, 23, 31, 0})),
              "earlier");
    // 1601 files from 23:30 on run into the next two days.
    EXPECT_TRUE(
        std::filesystem::exists(synop / fileName(ReceivedKind::Warning, {2026, 12, 10, 0, 10, 0})));
}

TEST(ReceivedFile, ANewFileIsNeverWrittenOverAnExistingOne) {
    test::TempDir dir;
    test::writeFile(dir / "A.RTF", "old");
    const auto refused = writeNewFileAtomically(dir / "A.RTF", "new");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().systemError(), EEXIST);
    EXPECT_EQ(test::readFile(dir / "A.RTF"), "old");
    ASSERT_TRUE(writeNewFileAtomically(dir / "B.RTF", "new"));
    EXPECT_EQ(test::readFile(dir / "B.RTF"), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace zeb
