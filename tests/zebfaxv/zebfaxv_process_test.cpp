// The viewer program as the suite's launchers see it: it owns the class
// "ZEB-FAX Viewer", ends on a close request and on "ZEB_EXIT_PROG" giving the
// class back, runs once per desktop, and a file it cannot show does not end it.
#include "FaxViewer.h"
#include "FaxViewerTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

namespace zeb::zebfaxv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FaxViewerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = zeb::test::suiteProgram("zebfaxv").string();
        ASSERT_TRUE(fs::exists(exe_)) << exe_;
        receivePicture(work_.path(), at(1, 12, 0), 400, 120);
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
            << "zebfaxv did not claim its class";
        return child;
    }

    bool socketLeft() const { return fs::exists(busDir_.path() / "class" / kClassName); }

    TempDir work_;
    TempDir busDir_;
    zeb::test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.path().string()};
    zeb::test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    std::string exe_;
};

TEST_F(FaxViewerProgram, OwnsItsClassAndEndsOnACloseRequest) {
    auto child = startRunning();
    EXPECT_EQ(bus::listClasses(), std::vector<std::string>{kClassName});
    // closeByClass waits at most 2 s for the class to go.
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(FaxViewerProgram, EndsOnTheExitBroadcastAndOnSignals) {
    auto child = startRunning({"FAX_2024-03-01_12-00.BMP"});
    EXPECT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(child->waitExit(5s), 0);
    EXPECT_FALSE(bus::classExists(kClassName));

    auto next = startRunning();
    next->signal(SIGTERM);
    EXPECT_EQ(next->waitExit(5s), 0);
    EXPECT_FALSE(socketLeft());
}

TEST_F(FaxViewerProgram, ASecondStartHandsItsPictureOverAndEnds) {
    auto first = startRunning();
    auto second = start({"FAX_2024-03-01_12-00.BMP"});
    EXPECT_EQ(second->waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    EXPECT_TRUE(bus::classExists(kClassName));
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
}

TEST_F(FaxViewerProgram, AFileItCannotShowLeavesItRunning) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"FAX_2024-03-01_13-00.BMP", "a text file, not a picture, with a picture's name\n"},
        {"FAX_2024-03-01_13-01.BMP", "BM\x10"},
        {"FAX_2024-03-01_13-02.BMP", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zeb::test::writeFile(work_.path() / "FAX" / c.name, c.content);
        auto child = startRunning({c.name});
        EXPECT_FALSE(child->waitExit(300ms).has_value());
        EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
        EXPECT_EQ(child->waitExit(5s), 0);
    }
}

TEST_F(FaxViewerProgram, AnswersHelpAndVersionWithoutADisplayOrTheBus) {
    zeb::test::ScopedEnv noDisplay("QT_QPA_PLATFORM", "none-such");
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        zeb::test::ChildProcess child({exe_, option});
        const std::string out = child.readOutput(10s);
        EXPECT_EQ(child.waitExit(5s), 0);
        EXPECT_NE(out.find("zebfaxv"), std::string::npos) << out;
        EXPECT_FALSE(bus::classExists(kClassName));
    }
}

}  // namespace
}  // namespace zeb::zebfaxv::test
