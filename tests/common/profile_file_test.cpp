#include "common/AtomicFile.h"
#include "common/ProfileFile.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <clocale>

namespace zeb {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// ---------------------------------------------------------------------------
// Lookup rules

TEST(IniDocument, LookupFollowsThePrivateProfileRules) {
    const IniDocument doc(
        "; comment = not a key\r\n"
        "orphan=before any section\r\n"
        "[Param]\r\n"
        "  LineVol  =   42   \r\n"
        "linevol=99\r\n"
        "NAME=\"  quoted  \"\r\n"
        "SINGLE='x'\r\n"
        "HALF=\"open\r\n"
        "EMPTY=\r\n"
        "EQ=a=b\r\n"
        "[ param ]\r\n"
        "LATE=in the second section of the same name\r\n"
        "[Other]\n"
        "LINEVOL=7\n");
    EXPECT_EQ(doc.get("PARAM", "LINEVOL"), "42");  // case-insensitive, trimmed, first wins
    EXPECT_EQ(doc.get("param", "linevol"), "42");
    EXPECT_EQ(doc.get("PARAM", "NAME"), "  quoted  ");  // quotes removed, inner blanks kept
    EXPECT_EQ(doc.get("PARAM", "SINGLE"), "x");
    EXPECT_EQ(doc.get("PARAM", "HALF"), "\"open");
    EXPECT_EQ(doc.get("PARAM", "EMPTY"), "");
    EXPECT_EQ(doc.get("PARAM", "EQ"), "a=b");
    EXPECT_EQ(doc.get("PARAM", "LATE"), std::nullopt);  // only the first section counts
    EXPECT_EQ(doc.get("OTHER", "LINEVOL"), "7");        // LF line ends too
    EXPECT_EQ(doc.get("PARAM", "orphan"), std::nullopt);
    EXPECT_EQ(doc.get("PARAM", "; comment"), std::nullopt);
    EXPECT_EQ(doc.get("MISSING", "LINEVOL"), std::nullopt);
    EXPECT_EQ(doc.keys("PARAM"),
              (std::vector<std::string>{"LineVol", "NAME", "SINGLE", "HALF", "EMPTY", "EQ"}));
}

TEST(IniDocument, EditsTouchOnlyTheirOwnLines) {
    const std::string original =
        "; settings of the main program\r\n"
        "[PARAM]\r\n"
        "LINEVOL=50   ; trailing text\r\n"
        "weird line without equals\r\n"
        "\r\n"
        "[MIXER]\n"  // a line end of another kind, kept as it is
        "LINEID=-1\r\n"
        "\r\n"
        "[TAIL]\r\n"
        "X=1";  // no line end at the very end
    IniDocument doc(original);
    ASSERT_TRUE(doc.set("param", "LINEVOL", "60"));
    ASSERT_TRUE(doc.set("PARAM", "WAVEVOL", "70"));
    ASSERT_TRUE(doc.set("TAIL", "Y", "2"));
    ASSERT_TRUE(doc.set("NEW", "KEY", "v"));
    EXPECT_EQ(doc.text(),
              "; settings of the main program\r\n"
              "[PARAM]\r\n"
              "LINEVOL=60\r\n"
              "weird line without equals\r\n"
              "WAVEVOL=70\r\n"
              "\r\n"
              "[MIXER]\n"
              "LINEID=-1\r\n"
              "\r\n"
              "[TAIL]\r\n"
              "X=1\r\n"
              "Y=2\r\n"
              "\r\n"
              "[NEW]\r\n"
              "KEY=v\r\n");

    EXPECT_TRUE(doc.removeKey("PARAM", "wavevol"));
    EXPECT_FALSE(doc.removeKey("PARAM", "wavevol"));
    EXPECT_TRUE(doc.removeSection("tail"));
    EXPECT_EQ(doc.sections(), (std::vector<std::string>{"PARAM", "MIXER", "NEW"}));
    EXPECT_EQ(doc.get("NEW", "KEY"), "v");
}

TEST(IniDocument, RefusesNamesAndValuesThatWouldBreakTheFile) {
    IniDocument doc("[A]\nK=1\n");
    const std::string before = doc.text();
    EXPECT_FALSE(doc.set("A", "K", "two\nlines"));
    EXPECT_FALSE(doc.set("A", "K", std::string("nul\0byte", 8)));
    EXPECT_FALSE(doc.set("A", "K=V", "x"));
    EXPECT_FALSE(doc.set("A", "", "x"));
    EXPECT_FALSE(doc.set("A", ";K", "x"));
    EXPECT_FALSE(doc.set("A]", "K", "x"));
    EXPECT_FALSE(doc.set("", "K", "x"));
    EXPECT_EQ(doc.text(), before);
    // A Windows-1252 byte passes through unchanged.
    ASSERT_TRUE(doc.set("A", "NAME", "K\xF6ln"));
    EXPECT_EQ(doc.get("A", "NAME"), "K\xF6ln");
}

TEST(IniDocument, ArbitraryBytesRoundTripUnchanged) {
    std::string junk;
    for (int i = 0; i < 2000; ++i) junk += static_cast<char>((i * 7919) % 256);
    EXPECT_EQ(IniDocument(junk).text(), junk);
}

// ---------------------------------------------------------------------------
// Typed access through the file

class ProfileFileTest : public ::testing::Test {
protected:
    TempDir dir;
    ProfileFile ini{dir / "NIMBA.INI"};
    void SetUp() override { ini.setSection("PARAM"); }
};

TEST_F(ProfileFileTest, MissingFileOrKeyGivesTheDefaults) {
    EXPECT_EQ(ini.readInt("LINEVOL", 50), 50);
    EXPECT_EQ(ini.readReal("RECOFFSET", 0.5), 0.5);
    EXPECT_EQ(ini.readText("NAME", "dflt"), "dflt");
    EXPECT_FALSE(std::filesystem::exists(ini.path()));  // reading creates nothing

    writeFile(ini.path(), "[PARAM]\r\nOTHER=1\r\n");
    EXPECT_EQ(ini.readInt("LINEVOL", 50), 50);
    ini.setSection("TIMER");
    EXPECT_EQ(ini.readInt("ACTIVE", 0), 0);
}

TEST_F(ProfileFileTest, EveryWayTheFileChangesIsSeenByTheNextRead) {
    // The file is parsed once for many reads; these changes must still show.
    ProfileFile other{ini.path()};
    other.setSection("PARAM");
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"rewritten in place, same size", [&] { writeFile(ini.path(), "[PARAM]\r\nV=2\r\n"); }},
        {"written by another accessor", [&] { ASSERT_TRUE(other.writeInt("V", 3)); }},
        {"replaced by a rename",
         [&] {
             writeFile(dir / "new.ini", "[PARAM]\r\nV=4\r\n");
             std::filesystem::rename(dir / "new.ini", ini.path());
         }},
        {"removed", [&] { std::filesystem::remove(ini.path()); }},
    };
    // A file changed within the last second is always read again; an older
    // one is kept parsed.
    const auto age = [&] {
        std::error_code ec;
        std::filesystem::last_write_time(
            ini.path(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1), ec);
    };
    writeFile(ini.path(), "[PARAM]\r\nV=1\r\n");
    age();
    ASSERT_EQ(ini.readInt("V", 0), 1);
    int expected = 2;
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        EXPECT_EQ(ini.readInt("V", 0), expected == 5 ? 0 : expected);
        age();
        ++expected;
    }
}

TEST_F(ProfileFileTest, NumbersAreReadLikeTheCLibraryWithoutItsFaults) {
    writeFile(ini.path(),
              "[PARAM]\n"
              "A=  -12abc\n"
              "B=abc\n"
              "C=+7\n"
              "D=99999999999999\n"
              "E=-99999999999999\n"
              "F=7050.125\n"
              "G=1e3\n"
              "H=nan\n"
              "I=inf\n"
              "J=-.5x\n"
              "K=1e999\n"
              "L=\n");
    EXPECT_EQ(ini.readInt("A", 1), -12);
    EXPECT_EQ(ini.readInt("B", 1), 0);
    EXPECT_EQ(ini.readInt("C", 1), 7);
    EXPECT_EQ(ini.readInt("D", 1), INT_MAX);
    EXPECT_EQ(ini.readInt("E", 1), INT_MIN);
    EXPECT_EQ(ini.readInt("L", 1), 0);  // present but empty is no number
    EXPECT_DOUBLE_EQ(ini.readReal("F", 1), 7050.125);
    EXPECT_DOUBLE_EQ(ini.readReal("G", 1), 1000.0);
    EXPECT_DOUBLE_EQ(ini.readReal("H", 1), 0.0);
    EXPECT_DOUBLE_EQ(ini.readReal("I", 1), 0.0);
    EXPECT_DOUBLE_EQ(ini.readReal("J", 1), -0.5);
    EXPECT_DOUBLE_EQ(ini.readReal("K", 1), 0.0);
    EXPECT_DOUBLE_EQ(ini.readReal("A", 1), -12.0);
}

TEST_F(ProfileFileTest, WritesCreateTheFileAndReadBack) {
    ASSERT_TRUE(ini.writeInt("LINEVOL", 33));
    ASSERT_TRUE(ini.writeReal("RECOFFSET", -12.5));
    ASSERT_TRUE(ini.writeText("NAME", "DATA/TIMER/WEATHER.TIM"));
    EXPECT_EQ(readFile(ini.path()),
              "[PARAM]\r\nLINEVOL=33\r\nRECOFFSET=-12.500000\r\nNAME=DATA/TIMER/WEATHER.TIM\r\n");
    EXPECT_EQ(ini.readInt("LINEVOL", 0), 33);
    EXPECT_DOUBLE_EQ(ini.readReal("RECOFFSET", 0), -12.5);
    EXPECT_EQ(ini.readText("NAME"), "DATA/TIMER/WEATHER.TIM");
    EXPECT_EQ(ini.readText("NAME", "", 4), "DATA");
}

TEST_F(ProfileFileTest, RealsIgnoreTheDesktopLocale) {
    // A German desktop writes "7050,000000" with printf; nobody reads that back.
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ASSERT_TRUE(ini.writeReal("FREQ", 7050.0));
    EXPECT_NE(readFile(ini.path()).find("FREQ=7050.000000"), std::string::npos);
    EXPECT_DOUBLE_EQ(ini.readReal("FREQ", 0), 7050.0);
    std::setlocale(LC_ALL, "C");
    if (!german) GTEST_LOG_(INFO) << "de_DE locale not installed; checked in the C locale only";
}

TEST_F(ProfileFileTest, ByteRecords) {
    const std::array<std::uint8_t, 5> record{0x00, 0x31, 0xAB, 0xFF, 0x7F};
    ASSERT_TRUE(ini.writeBytes("ACODEC", record));
    EXPECT_NE(readFile(ini.path()).find("ACODEC=0031ABFF7F\r\n"), std::string::npos);

    std::array<std::uint8_t, 5> back{};
    EXPECT_EQ(ini.readBytes("ACODEC", back), 5u);
    EXPECT_EQ(back, record);

    // An absent key leaves the caller's buffer (its built-in default) untouched.
    std::array<std::uint8_t, 4> dflt{1, 2, 3, 4};
    EXPECT_EQ(ini.readBytes("MAINPOS", dflt), 0u);
    EXPECT_EQ(dflt, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));

    // A longer record fills only the buffer; a short or damaged one says how
    // many bytes it gave and leaves the rest zero.
    std::array<std::uint8_t, 2> small{};
    EXPECT_EQ(ini.readBytes("ACODEC", small), 2u);
    EXPECT_EQ(small, (std::array<std::uint8_t, 2>{0x00, 0x31}));
    writeFile(ini.path(), "[PARAM]\nSHORT=ab1\nBAD=12zz34\nLOWER=abcdef\n");
    std::array<std::uint8_t, 3> out{9, 9, 9};
    EXPECT_EQ(ini.readBytes("SHORT", out), 1u);
    EXPECT_EQ(out, (std::array<std::uint8_t, 3>{0xAB, 0, 0}));
    EXPECT_EQ(ini.readBytes("BAD", out), 1u);
    EXPECT_EQ(out, (std::array<std::uint8_t, 3>{0x12, 0, 0}));
    EXPECT_EQ(ini.readBytes("LOWER", out), 3u);
    EXPECT_EQ(out, (std::array<std::uint8_t, 3>{0xAB, 0xCD, 0xEF}));
}

TEST_F(ProfileFileTest, UnrelatedSectionsAndCommentsSurviveAWrite) {
    const std::string before =
        "; written by hand\n"
        "[WINDOW]\n"
        "MAINX=1024 ; wide\n"
        "\n"
        "[PARAM]\n"
        "; volume in percent\n"
        "LINEVOL=50\n"
        "[UNKNOWN SECTION]\n"
        "whatever\n";
    writeFile(ini.path(), before);
    ASSERT_TRUE(ini.writeInt("LINEVOL", 80));
    std::string expected = before;
    expected.replace(expected.find("LINEVOL=50"), 10, "LINEVOL=80");
    EXPECT_EQ(readFile(ini.path()), expected);

    ASSERT_TRUE(ini.removeKey("NOSUCHKEY"));
    EXPECT_EQ(readFile(ini.path()), expected);
}

TEST_F(ProfileFileTest, BadValuesAreRefusedAndTheFileIsKept) {
    ASSERT_TRUE(ini.writeInt("LINEVOL", 1));
    const std::string before = readFile(ini.path());
    const auto result = ini.writeText("NAME", "a\r\nINJECTED=1");
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().message.find("line break"), std::string::npos);
    EXPECT_EQ(readFile(ini.path()), before);
}

TEST_F(ProfileFileTest, AWriteThatCannotBeDoneReportsTheFailure) {
    ProfileFile lost(dir / "no such directory" / "NIMBA.INI");
    lost.setSection("PARAM");
    const auto result = lost.writeInt("LINEVOL", 1);
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().message.find("NIMBA.INI"), std::string::npos);
}

TEST_F(ProfileFileTest, ACrashBetweenTemporaryWriteAndRenameKeepsTheOldFile) {
    ASSERT_TRUE(ini.writeInt("LINEVOL", 11));
    const std::string before = readFile(ini.path());

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        testing::setBeforeRenameHook([](const std::filesystem::path&) { _exit(42); });
        (void)ini.writeInt("LINEVOL", 99);
        _exit(0);  // not reached: the hook "crashed" the writer
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 42);

    EXPECT_EQ(readFile(ini.path()), before);
    EXPECT_EQ(ini.readInt("LINEVOL", 0), 11);
    // The next write works despite the temporary file left behind.
    ASSERT_TRUE(ini.writeInt("LINEVOL", 12));
    EXPECT_EQ(ini.readInt("LINEVOL", 0), 12);
}

TEST_F(ProfileFileTest, AWriteKeepsTheFilePermissions) {
    writeFile(ini.path(), "[PARAM]\n");
    std::filesystem::permissions(ini.path(), std::filesystem::perms(0600));
    ASSERT_TRUE(ini.writeInt("LINEVOL", 1));
    EXPECT_EQ(std::filesystem::status(ini.path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0600));
}

TEST(ProfileFilePath, OnlyTheFileNameIsUpperCased) {
    TempDir dir;
    const std::filesystem::path mixed = dir / "Mixed Case";
    std::filesystem::create_directory(mixed);
    ProfileFile ini;
    const std::size_t length = ini.buildPath(mixed.string(), "nimba.ini");
    EXPECT_EQ(ini.path(), mixed / "NIMBA.INI");
    EXPECT_EQ(length, (mixed / "NIMBA.INI").string().size());

    // Settings copied from Windows with a lower-case name are found.
    writeFile(mixed / "zebsys.ini", "[SYSTEM]\nRADIOERR=5\n");
    ini.buildPath(mixed.string(), "ZEBSYS.INI");
    EXPECT_EQ(ini.path(), mixed / "zebsys.ini");
    ini.setSection("system");
    EXPECT_EQ(ini.readInt("radioerr", 0), 5);

    // No directory: the current one.
    test::ScopedCwd cwd(mixed);
    ini.buildPath("", "rigman.ini");
    EXPECT_EQ(ini.path(), std::filesystem::current_path() / "RIGMAN.INI");
}

}  // namespace
}  // namespace zeb
