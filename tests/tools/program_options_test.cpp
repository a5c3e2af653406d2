// Every program answers --help and --version by itself: usage or one version
// line on stdout and status 0, with no display (a Qt program that built its
// application object would fail), leaving the suite bus directory and the
// working directory as empty as it found them.
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> programs() {
    std::vector<std::string> names = {"zebctl", "zebdecode", "zebrig", "zebstations",
                                      "zebobs", "zebdemo",   "zebdata"};
#ifdef ZEB_TEST_WITH_GUI
    names.insert(names.end(), {"nimba", "zebtime", "zebmenu", "zebfax", "zebcw", "zebrec"});
#endif
    return names;
}

class ProgramOptions : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        fs::create_directory(bus_);
        fs::create_directory(work_);
    }

    // Runs the program with one argument from an empty working directory;
    // its exit status and standard output.
    std::pair<int, std::string> run(const std::string& option) {
        // zebdata is a build tool and stays in the build tree.
        const fs::path program = GetParam() == "zebdata" ? fs::path(ZEB_TEST_ZEBDATA)
                                                         : zeb::test::suiteProgram(GetParam());
        zeb::test::ScopedCwd cwd(work_);
        zeb::test::ChildProcess child({program.string(), option});
        std::string out = child.readOutput();
        return {child.waitExit().value_or(-1), out};
    }

    void expectNothingTouched() const {
        EXPECT_TRUE(fs::is_empty(bus_)) << "the suite bus was used";
        EXPECT_TRUE(fs::is_empty(work_)) << "a file was written";
    }

    zeb::test::TempDir root_;
    fs::path bus_ = root_ / "bus";
    fs::path work_ = root_ / "work";
    zeb::test::ScopedEnv busDir_{"ZEB_BUS_DIR", bus_.string()};
    zeb::test::ScopedEnv platform_{"QT_QPA_PLATFORM", std::nullopt};
    zeb::test::ScopedEnv display_{"DISPLAY", std::nullopt};
    zeb::test::ScopedEnv wayland_{"WAYLAND_DISPLAY", std::nullopt};
};

TEST_P(ProgramOptions, HelpIsUsageOnStdout) {
    for (const std::string option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        const auto [status, out] = run(option);
        EXPECT_EQ(status, 0);
        // help2man takes the synopsis of the manual page from these lines.
        EXPECT_EQ(out.rfind("Usage: " + GetParam() + " ", 0), 0u) << out;
        EXPECT_NE(out.find("--version"), std::string::npos) << out;
    }
    expectNothingTouched();
}

TEST_P(ProgramOptions, VersionIsOneLineWithTheProjectVersion) {
    const std::regex line(GetParam() + " " +
                          std::regex_replace(ZEB_TEST_PROJECT_VERSION, std::regex("\\."), "\\.") +
                          "( \\(git [0-9a-f]{4,}\\))?\n");
    for (const std::string option : {"--version", "-V"}) {
        SCOPED_TRACE(option);
        const auto [status, out] = run(option);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(std::regex_match(out, line)) << out;
    }
    expectNothingTouched();
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramOptions, ::testing::ValuesIn(programs()),
                         [](const auto& p) { return p.param; });

}  // namespace
