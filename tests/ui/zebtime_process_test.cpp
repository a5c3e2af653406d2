// The time-signal program as the launcher sees it: one instance, closed by a
// close request, by "ZEB_EXIT_PROG" and by the session's signals, each time
// giving its window class back.
#include "BundleTestSupport.h"
#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace zeb {
namespace {

using namespace std::chrono_literals;

class ZebTime : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = (zeb::test::suiteDir() / "zebtime").string();
        ASSERT_TRUE(std::filesystem::exists(exe_)) << exe_;
    }

    std::unique_ptr<zeb::test::ChildProcess> start() const {
        return std::make_unique<zeb::test::ChildProcess>(std::vector<std::string>{exe_});
    }

    // Starts the program and waits until it owns its class.
    std::unique_ptr<zeb::test::ChildProcess> startRunning() const {
        auto child = start();
        EXPECT_TRUE(zeb::test::eventually([] { return bus::classExists("ZEBTIME"); }, 15s))
            << "zebtime did not claim its class";
        return child;
    }

    bool socketLeft() const {
        return std::filesystem::exists(busDir_.path() / "class" / "ZEBTIME");
    }

    zeb::test::TempDir busDir_;
    zeb::test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.path().string()};
    zeb::test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    std::string exe_;
};

TEST_F(ZebTime, ClosesOnACloseRequest) {
    auto child = startRunning();
    EXPECT_EQ(bus::closeByClass("ZEBTIME").value(), bus::CloseResult::Closed);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(ZebTime, StartedMinimisedItStillCloses) {
    zeb::test::ScopedEnv show("ZEB_SHOW", "min");
    auto child = startRunning();
    EXPECT_EQ(bus::closeByClass("ZEBTIME").value(), bus::CloseResult::Closed);
    EXPECT_EQ(child->waitExit(5s), 0);
}

TEST_F(ZebTime, ExitsOnTheExitBroadcast) {
    auto child = startRunning();
    EXPECT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(bus::classExists("ZEBTIME"));
}

TEST_F(ZebTime, IgnoresOtherRegisteredMessages) {
    auto child = startRunning();
    EXPECT_EQ(bus::broadcast("RIGMAN_NMEA_IN", 1, 2), 1);
    EXPECT_FALSE(child->waitExit(500ms).has_value());
    EXPECT_TRUE(bus::classExists("ZEBTIME"));
}

TEST_F(ZebTime, SecondStartEndsAtOnceAndTheFirstStays) {
    auto first = startRunning();
    auto second = start();
    EXPECT_EQ(second->waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    EXPECT_TRUE(bus::classExists("ZEBTIME"));
}

class ZebTimeSignal : public ZebTime, public ::testing::WithParamInterface<int> {};

TEST_P(ZebTimeSignal, ClosesCleanly) {
    auto child = startRunning();
    child->signal(GetParam());
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
    // The class is free for the next start.
    auto next = startRunning();
    EXPECT_EQ(bus::closeByClass("ZEBTIME").value(), bus::CloseResult::Closed);
}

INSTANTIATE_TEST_SUITE_P(Signals, ZebTimeSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& p) { return std::string(sigabbrev_np(p.param)); });

}  // namespace
}  // namespace zeb
