// The viewer's files: where a named bulletin lies, the store's bulletins
// newest first with their labels, and reading bulletins whole, damaged, cut
// off or too large.
#include "WarnFiles.h"
#include "WarnViewerTestSupport.h"

#include <gtest/gtest.h>

namespace zeb::zebwarnv::test {
namespace {

namespace fs = std::filesystem;

TEST(WarnViewerFiles, APlainNameIsLookedUpInTheSynopFolder) {
    TempDir work;
    TempDir elsewhere;
    zeb::test::ScopedCwd cwd(elsewhere.path());
    zeb::test::writeFile(elsewhere.path() / "mine.rtf", "x");
    const struct {
        std::string argument;
        fs::path expected;
    } cases[] = {
        {"WARN_2024-03-01_12-00.RTF", work.path() / "SYNOP" / "WARN_2024-03-01_12-00.RTF"},
        {"mine.rtf", elsewhere.path() / "mine.rtf"},
        {"nowhere.rtf", work.path() / "SYNOP" / "nowhere.rtf"},
        {"sub/INFO_2024-03-01_12-00.RTF", elsewhere.path() / "sub" / "INFO_2024-03-01_12-00.RTF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(resolveBulletin(work.path(), c.argument), c.expected);
    }
}

TEST(WarnViewerFiles, ListsTheBulletinsNewestFirstWithTheirLabels) {
    TempDir work;
    const fs::path synop = work.path() / "SYNOP";
    receiveBulletin(work.path(), ReceivedKind::Information, at(3, 9, 30), kNavInfo);
    receiveBulletin(work.path(), ReceivedKind::Warning, at(3, 9, 30), kGaleWarning);
    receiveBulletin(work.path(), ReceivedKind::Warning, at(2, 23, 59), "ZCZC\n");
    receiveBulletin(work.path(), ReceivedKind::Information, at(4, 0, 0), kNavInfo);
    fs::create_directories(synop / "WARN_2024-12-31_23-59.RTF");  // a folder, not a bulletin
    for (const char* other :
         {"AUDIO_2024-03-05_10-00.WAV", "WARN_old.RTF", "STATION.DAT", "INFO_2024-13-01_00-00.RTF"})
        zeb::test::writeFile(synop / other, "");

    const auto list = listBulletins(synop);
    const struct {
        const char* name;
        ReceivedKind kind;
        const char* label;
    } expected[] = {
        {"INFO_2024-03-04_00-00.RTF", ReceivedKind::Information,
         "NAV WARNING 123/24 LIGHT BUOY OFF STATION"},
        {"WARN_2024-03-03_09-30.RTF", ReceivedKind::Warning, "GALE WARNING GERMAN BIGHT"},
        {"INFO_2024-03-03_09-30.RTF", ReceivedKind::Information,
         "NAV WARNING 123/24 LIGHT BUOY OFF STATION"},
        {"WARN_2024-03-02_23-59.RTF", ReceivedKind::Warning, ""},  // no second line
    };
    ASSERT_EQ(list.size(), std::size(expected));
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(list[i].path, synop / expected[i].name);
        EXPECT_EQ(list[i].kind, expected[i].kind);
        EXPECT_EQ(list[i].label, expected[i].label);
    }
    EXPECT_EQ(list[1].time, (NameTime{2024, 3, 3, 9, 30}));
    EXPECT_TRUE(listBulletins(work.path() / "missing").empty());
}

TEST(WarnViewerFiles, ReadsTheTextOfABulletinAsWritten) {
    TempDir work;
    for (const auto& text : {kGaleWarning, kNavInfo, std::string("{braces} and \\ backslash\n")}) {
        const fs::path file = work.path() / "b.rtf";
        zeb::test::writeFile(file, rtfOf(text));
        const auto read = loadBulletin(file);
        ASSERT_TRUE(read.ok()) << read.error().message;
        EXPECT_EQ(*read, text);
    }
}

TEST(WarnViewerFiles, RefusesDamagedFilesWithTheReason) {
    TempDir work;
    const std::string good = rtfOf(kGaleWarning);
    const struct {
        const char* what;
        std::string content;
        const char* reason;
    } cases[] = {
        {"empty", "", "the file is empty"},
        {"plain text", kGaleWarning, "not in RTF format"},
        {"cut in half", good.substr(0, good.size() / 2), "cut off"},
        {"last brace lost", good.substr(0, good.rfind('}')), "cut off"},
        {"nested too deep", "{\\rtf1 " + std::string(100, '{') + "x" + std::string(100, '}') + "}",
         "deeper than 64"},
        {"binary data running past the end", "{\\rtf1 \\bin99 ab}", "cut off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = work.path() / "bad.rtf";
        zeb::test::writeFile(file, c.content);
        const auto read = loadBulletin(file);
        ASSERT_FALSE(read.ok());
        EXPECT_NE(read.error().message.find(c.reason), std::string::npos) << read.error().message;
    }
    EXPECT_NE(loadBulletin(work.path() / "missing.rtf").error().message.find("does not exist"),
              std::string::npos);
    EXPECT_NE(loadBulletin(work.path()).error().message.find("not a file"), std::string::npos);

    // Too large: refused before it is read (sparse, it takes no disk space).
    const fs::path big = work.path() / "big.rtf";
    zeb::test::writeFile(big, good);
    fs::resize_file(big, kMaxBulletinFileBytes + 1);
    EXPECT_NE(loadBulletin(big).error().message.find("more than the 4 MiB"), std::string::npos);
}

TEST(WarnViewerFiles, ACompleteDocumentClosesEveryGroupItOpens) {
    const struct {
        const char* rtf;
        bool complete;
    } cases[] = {
        {"{\\rtf1 a}", true},
        {"{\\rtf1 {\\b a} b}\r\n", true},
        {"{\\rtf1 a", false},
        {"{\\rtf1 \\{ a}", true},       // an escaped brace opens nothing
        {"{\\rtf1 \\} a", false},       // nor closes anything
        {"{\\rtf1 a\\\\}", true},       // an escaped backslash escapes nothing
        {"{\\rtf1 \\bin3 }}}}", true},  // binary data holds no braces
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rtf);
        EXPECT_EQ(rtfIsComplete(c.rtf), c.complete);
    }
}

}  // namespace
}  // namespace zeb::zebwarnv::test
