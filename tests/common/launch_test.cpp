// Starting programs: Windows program names find Linux executables, file names
// reach the program as one untouched argument, the show state travels in the
// environment, failures are reported and no child is left a zombie.
#include "common/Launch.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace zeb::launch {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A program that writes its arguments, one per line, and its ZEB_SHOW value
// into "out" beside itself. It is started by exec, so the arguments it sees
// are exactly the argv it was given; its own expansions are all quoted.
constexpr const char* kRecorder =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/out\"\n"
    "{ printf 'argc=%s\\n' \"$#\"\n"
    "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
    "  printf 'show=%s\\n' \"${ZEB_SHOW-unset}\"; } > \"$out.tmp\"\n"
    "mv \"$out.tmp\" \"$out\"\n";

fs::path makeProgram(const fs::path& path, const std::string& text = kRecorder,
                     mode_t mode = 0755) {
    test::writeFile(path, text);
    ::chmod(path.c_str(), mode);
    return path;
}

// Waits for the child (started with detach = false) and returns what it recorded.
std::vector<std::string> recorded(pid_t pid, const fs::path& dir) {
    int status = -1;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return test::readLines(dir / "out");
}

Options inDir(const fs::path& dir, Show show = Show::Normal) {
    Options o;
    o.searchDirs = {dir};
    o.detach = false;
    o.show = show;
    return o;
}

TEST(Launch, ExecutableNamesAreLowerCaseWithoutDirectoryAndExe) {
    const std::pair<const char*, const char*> cases[] = {
        {"ZEBFAXV.EXE", "zebfaxv"},
        {"zebtime", "zebtime"},
        {"RIGMAN.exe", "rigman"},
        {"ZebPlay.Exe", "zebplay"},
        {"C:\\ZEB\\ZEBCW.EXE", "zebcw"},
        {"/opt/zeb/ZEBREC", "zebrec"},
        {"TOOL.EXE.BAK", "tool.exe.bak"},
        {".EXE", ""},
        {"", ""},
    };
    for (const auto& [program, expected] : cases)
        EXPECT_EQ(executableName(program), expected) << program;
}

TEST(Launch, ProgramsAreFoundInTheSearchDirectoriesInOrder) {
    TempDir a, b;
    ASSERT_EQ(resolveProgram("ZEBFAXV.EXE", {a.path(), b.path()}), std::nullopt);

    makeProgram(b / "zebfaxv");
    EXPECT_EQ(resolveProgram("ZEBFAXV.EXE", {a.path(), b.path()}), b / "zebfaxv");

    makeProgram(a / "ZebFaxV");  // copied from Windows: any case is found
    EXPECT_EQ(resolveProgram("ZEBFAXV.EXE", {a.path(), b.path()}), a / "ZebFaxV");

    makeProgram(a / "zebfaxv");  // the exact executable name comes first
    EXPECT_EQ(resolveProgram("ZEBFAXV.EXE", {a.path(), b.path()}), a / "zebfaxv");

    makeProgram(b / "My Tool.sh");  // a program outside the suite, by its own name
    EXPECT_EQ(resolveProgram("My Tool.sh", {a.path(), b.path()}), b / "My Tool.sh");
}

TEST(Launch, OnlyRegularExecutableFilesCount) {
    TempDir dir;
    makeProgram(dir / "zebwarnv", "#!/bin/sh\n", 0644);
    fs::create_directory(dir / "zebsynv");
    EXPECT_EQ(resolveProgram("ZEBWARNV.EXE", {dir.path()}), std::nullopt);
    EXPECT_EQ(resolveProgram("ZEBSYNV.EXE", {dir.path()}), std::nullopt);
    EXPECT_EQ(resolveProgram("", {dir.path()}), std::nullopt);
    EXPECT_EQ(resolveProgram("..", {dir.path()}), std::nullopt);
    makeProgram(dir / "tool");
    EXPECT_EQ(resolveProgram((dir / "tool").string()), dir / "tool") << "a path is taken as given";
    EXPECT_EQ(resolveProgram((dir / "zebwarnv").string()), std::nullopt);
}

TEST(Launch, WithoutSearchDirectoriesTheWorkingDirectoryIsSearched) {
    TempDir dir;
    makeProgram(dir / "zebtestprog");
    test::ScopedCwd cwd(dir.path());
    EXPECT_EQ(resolveProgram("ZEBTESTPROG.EXE"), fs::current_path() / "zebtestprog");
}

TEST(Launch, AFileNameReachesTheProgramAsOneArgumentWithoutAShell) {
    TempDir dir;
    makeProgram(dir / "zebfaxv");
    test::ScopedCwd cwd(dir.path());
    const std::string nasty =
        "FAX 2004;touch INJECTED1 $(touch INJECTED2) `touch INJECTED3` 'q' \"d\" | > x & *.BMP";
    auto pid = startProgram("ZEBFAXV.EXE", {nasty, ""}, inDir(dir.path()));
    ASSERT_TRUE(pid.ok()) << pid.error().message;
    EXPECT_EQ(recorded(*pid, dir.path()),
              (std::vector<std::string>{"argc=2", "arg=" + nasty, "arg=", "show=unset"}));
    for (const char* f : {"INJECTED1", "INJECTED2", "INJECTED3", "x"})
        EXPECT_FALSE(fs::exists(dir / f)) << f << " was created: something interpreted the name";
}

TEST(Launch, ACommandLineIsSplitAtItsFirstBlankOnly) {
    TempDir dir;
    makeProgram(dir / "zebfaxv");
    test::ScopedCwd cwd(dir.path());
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"ZEBFAXV.EXE my file;rm -rf x.BMP", {"argc=1", "arg=my file;rm -rf x.BMP"}},
        {"  ZEBFAXV.EXE    FAX_2004-06-03_14-05.BMP  ", {"argc=1", "arg=FAX_2004-06-03_14-05.BMP"}},
        {"ZEBFAXV.EXE", {"argc=0"}},
        {"ZEBFAXV.EXE    ", {"argc=0"}},
        {"zebfaxv\tTIMER", {"argc=1", "arg=TIMER"}},
    };
    for (const auto& [line, expected] : cases) {
        fs::remove(dir / "out");
        auto pid = startCommandLine(line, inDir(dir.path()));
        ASSERT_TRUE(pid.ok()) << line << ": " << pid.error().message;
        auto lines = recorded(*pid, dir.path());
        ASSERT_FALSE(lines.empty()) << line;
        lines.pop_back();  // show=
        EXPECT_EQ(lines, expected) << line;
    }
    EXPECT_FALSE(startCommandLine("   ", inDir(dir.path())).ok());
}

TEST(Launch, TheShowStateTravelsInTheEnvironmentAndIsNotInherited) {
    TempDir dir;
    makeProgram(dir / "rigman");
    {
        auto pid = startProgram("RIGMAN.EXE", {}, inDir(dir.path(), Show::Minimised));
        ASSERT_TRUE(pid.ok());
        EXPECT_EQ(recorded(*pid, dir.path()).back(), "show=min");
    }
    // A program that was itself started minimised starts others normally.
    test::ScopedEnv inherited("ZEB_SHOW", "min");
    auto pid = startProgram("RIGMAN.EXE", {}, inDir(dir.path(), Show::Normal));
    ASSERT_TRUE(pid.ok());
    EXPECT_EQ(recorded(*pid, dir.path()).back(), "show=unset");
}

TEST(Launch, AProgramThatIsMissingOrCannotRunIsAnError) {
    TempDir dir;
    auto missing = startProgram("ZEBSYNV.EXE", {"1086271500"}, inDir(dir.path()));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("ZEBSYNV.EXE"), std::string::npos);
    EXPECT_FALSE(startCommandLine("ZEBSYNV.EXE 1086271500", inDir(dir.path())).ok());

    makeProgram(dir / "zebplay", std::string("\x7f"
                                             "ELF garbage",
                                             12));
    auto broken = startProgram("ZEBPLAY.EXE", {}, inDir(dir.path()));
    ASSERT_FALSE(broken.ok()) << "an exec failure is reported, not a running child";
    EXPECT_EQ(broken.error().systemError(), ENOEXEC);
}

TEST(Launch, ADetachedChildIsReapedAndLeavesNoZombie) {
    TempDir dir;
    makeProgram(dir / "zebtime", "#!/bin/sh\nexit 0\n");
    Options o;
    o.searchDirs = {dir.path()};
    auto pid = startProgram("ZEBTIME.EXE", {}, o);
    ASSERT_TRUE(pid.ok()) << pid.error().message;
    // A zombie still answers kill(pid, 0); a reaped child does not exist any more.
    EXPECT_TRUE(test::eventually([&] { return ::kill(*pid, 0) != 0 && errno == ESRCH; }));
}

TEST(Launch, AChildThatIsNotDetachedIsLeftToTheCallerToReap) {
    TempDir dir;
    makeProgram(dir / "zebtime", "#!/bin/sh\nexit 7\n");
    auto pid = startProgram("ZEBTIME.EXE", {}, inDir(dir.path()));
    ASSERT_TRUE(pid.ok());
    int status = 0;
    ASSERT_EQ(::waitpid(*pid, &status, 0), *pid);
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
}  // namespace zeb::launch
