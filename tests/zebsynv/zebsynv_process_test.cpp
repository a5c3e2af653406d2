// The map program as the suite's launchers see it: it owns the class
// "ZEB-WorldMap", ends on a close request, on "ZEB_EXIT_PROG" and on signals
// giving the class back, and runs once per desktop.
#include "SynopTestSupport.h"
#include "SynopViewer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

namespace zeb::zebsynv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SynopViewerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = zeb::test::suiteProgram("zebsynv").string();
        ASSERT_TRUE(fs::exists(exe_)) << exe_;
        append(work_.path(), landReport(kNoon, 10637));
    }

    std::unique_ptr<zeb::test::ChildProcess> startRunning(
        std::vector<std::string> args = {}) const {
        args.insert(args.begin(), {exe_, "--dir", work_.path().string()});
        auto child = std::make_unique<zeb::test::ChildProcess>(args);
        EXPECT_TRUE(zeb::test::eventually([] { return bus::classExists(kClassName); }, 15s))
            << "zebsynv did not claim its class";
        return child;
    }

    bool socketLeft() const { return fs::exists(busDir_.path() / "class" / kClassName); }

    TempDir work_;
    TempDir busDir_;
    zeb::test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.path().string()};
    zeb::test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    std::string exe_;
};

TEST_F(SynopViewerProgram, OwnsItsClassAndEndsOnACloseRequest) {
    auto child = startRunning({std::to_string(kNoon)});
    EXPECT_EQ(bus::listClasses(), std::vector<std::string>{kClassName});
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(SynopViewerProgram, EndsOnTheExitBroadcastAndOnSignals) {
    auto child = startRunning();
    EXPECT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(child->waitExit(5s), 0);

    auto next = startRunning();
    next->signal(SIGTERM);
    EXPECT_EQ(next->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(SynopViewerProgram, ASecondStartHandsItsTimeOverAndEnds) {
    auto first = startRunning();
    zeb::test::ChildProcess second({exe_, "--dir", work_.path().string(), std::to_string(kNoon)});
    EXPECT_EQ(second.waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
    EXPECT_EQ(first->waitExit(5s), 0);
}

}  // namespace
}  // namespace zeb::zebsynv::test
