// The viewer program as the suite's launchers see it: it owns the class
// "ZEB-Warn-View", ends on a close request and on "ZEB_EXIT_PROG" giving the
// class back, runs once per desktop, and a file it cannot show does not end it.
#include "WarnViewer.h"
#include "WarnViewerTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

namespace zeb::zebwarnv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WarnViewerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = zeb::test::suiteProgram("zebwarnv").string();
        ASSERT_TRUE(fs::exists(exe_)) << exe_;
        receiveBulletin(work_.path(), ReceivedKind::Warning, at(1, 12, 0), kGaleWarning);
    }

    std::unique_ptr<zeb::test::ChildProcess> start(std::vector<std::string> args = {}) const {
        args.insert(args.begin(), {exe_, "--dir", work_.path().string()});
        return std::make_unique<zeb::test::ChildProcess>(args);
    }

    // Starts the program and waits until it owns its class.
    std::unique_ptr<zeb::test::ChildProcess> startRunning(
        std::vector<std::string> args = {}) const {
        auto child = start(std::move(args));
        EXPECT_TRUE(zeb::test::eventually([] { return bus::classExists(kClassName); }, 15s))
            << "zebwarnv did not claim its class";
        return child;
    }

    bool socketLeft() const { return fs::exists(busDir_.path() / "class" / kClassName); }

    TempDir work_;
    TempDir busDir_;
    zeb::test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.path().string()};
    zeb::test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    std::string exe_;
};

TEST_F(WarnViewerProgram, OwnsItsClassAndEndsOnACloseRequest) {
    auto child = startRunning();
    EXPECT_EQ(bus::listClasses(), std::vector<std::string>{kClassName});
    // closeByClass waits at most 2 s for the class to go.
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(WarnViewerProgram, EndsOnTheExitBroadcastAndOnSignals) {
    auto child = startRunning({"WARN_2024-03-01_12-00.RTF"});
    EXPECT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(bus::classExists(kClassName));

    auto next = startRunning();
    next->signal(SIGTERM);
    EXPECT_EQ(next->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(WarnViewerProgram, ASecondStartHandsItsBulletinOverAndEnds) {
    auto first = startRunning();
    auto second = start({"WARN_2024-03-01_12-00.RTF"});
    EXPECT_EQ(second->waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    EXPECT_TRUE(bus::classExists(kClassName));
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
}

TEST_F(WarnViewerProgram, AFileItCannotShowLeavesItRunning) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"WARN_2024-03-01_13-00.RTF", "a text file, not RTF, with a bulletin's name\n"},
        {"INFO_2024-03-01_13-01.RTF", "{\\rtf1 cut off"},
        {"WARN_2024-03-01_13-02.RTF", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zeb::test::writeFile(work_.path() / "SYNOP" / c.name, c.content);
        auto child = startRunning({c.name});
        EXPECT_FALSE(child->waitExit(300ms).has_value());
        EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
        EXPECT_EQ(child->waitExit(5s), 0);
    }
}

TEST_F(WarnViewerProgram, AnswersHelpAndVersionWithoutADisplayOrTheBus) {
    zeb::test::ScopedEnv noDisplay("QT_QPA_PLATFORM", "none-such");
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        zeb::test::ChildProcess child({exe_, option});
        const std::string out = child.readOutput(10s);
        EXPECT_EQ(child.waitExit(5s), 0);
        EXPECT_NE(out.find("zebwarnv"), std::string::npos) << out;
        EXPECT_FALSE(bus::classExists(kClassName));
    }
}

}  // namespace
}  // namespace zeb::zebwarnv::test
