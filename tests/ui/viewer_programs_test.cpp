// The suite's viewers and player as the launchers see them, one table for
// all four: each owns its window class, a second start hands its argument to
// the first and ends, and it ends on a close request (within the 2 s bound),
// on the end-of-suite broadcast and on SIGTERM, giving its class back. Each
// answers --help and --version without a display or the bus.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/bus/Bus.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Viewer {
    const char* program;
    const char* windowClass;
    std::vector<std::string> options;  // what every start passes
    std::string argument;              // what a second start hands over
};

class ViewerProgram : public ::testing::TestWithParam<Viewer> {
protected:
    std::unique_ptr<test::ChildProcess> start(std::vector<std::string> args = {}) const {
        const Viewer& v = GetParam();
        std::vector<std::string> argv{test::suiteProgram(v.program).string(), "--dir",
                                      work_.path().string()};
        argv.insert(argv.end(), v.options.begin(), v.options.end());
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<test::ChildProcess>(argv);
    }
    std::unique_ptr<test::ChildProcess> startRunning(std::vector<std::string> args = {}) const {
        auto child = start(std::move(args));
        EXPECT_TRUE(test::eventually([] { return bus::classExists(GetParam().windowClass); }, 15s))
            << GetParam().program << " did not claim its class";
        return child;
    }
    bool socketLeft() const {
        return fs::exists(busDir_.path() / "class" / GetParam().windowClass);
    }

    test::TempDir work_;
    test::TempDir busDir_;
    test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.path().string()};
    test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
};

TEST_P(ViewerProgram, OwnsItsClassHandsOverAndEndsWhenAsked) {
    const Viewer& v = GetParam();
    ASSERT_TRUE(fs::exists(test::suiteProgram(v.program))) << v.program;

    auto first = startRunning();
    EXPECT_EQ(bus::listClasses(), std::vector<std::string>{v.windowClass});
    auto second = start({v.argument});
    EXPECT_EQ(second->waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    // closeByClass waits at most 2 s for the class to go.
    EXPECT_EQ(bus::closeByClass(v.windowClass).value(), bus::CloseResult::Closed);
    EXPECT_EQ(first->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());

    auto broadcastEnded = startRunning({v.argument});
    EXPECT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(broadcastEnded->waitExit(5s), 0);

    auto signalled = startRunning();
    signalled->signal(SIGTERM);
    EXPECT_EQ(signalled->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_P(ViewerProgram, AnswersHelpAndVersionWithoutADisplayOrTheBus) {
    const Viewer& v = GetParam();
    test::ScopedEnv noDisplay("QT_QPA_PLATFORM", "none-such");
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        test::ChildProcess child({test::suiteProgram(v.program).string(), option});
        const std::string out = child.readOutput(10s);
        EXPECT_EQ(child.waitExit(5s), 0);
        EXPECT_NE(out.find(v.program), std::string::npos) << out;
        EXPECT_FALSE(bus::classExists(v.windowClass));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Viewers, ViewerProgram,
    ::testing::Values(
        Viewer{"zebfaxv", "ZEB-FAX Viewer", {}, "FAX_2024-03-01_12-00.BMP"},
        Viewer{"zebwarnv", "ZEB-Warn-View", {}, "WARN_2024-03-01_12-00.RTF"},
        Viewer{"zebplay", "ZEB-Audioplayer", {"--output", "null"}, "AUDIO_2024-03-01_12-00.WAV"},
        Viewer{"zebsynv", "ZEB-WorldMap", {}, "1709294400"}),
    [](const auto& p) { return std::string(p.param.program); });

}  // namespace
}  // namespace zeb::ui
