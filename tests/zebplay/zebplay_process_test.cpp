// The player as the suite's launchers see it: it owns the class
// "ZEB-Audioplayer", a second start hands its recording over and ends, and
// it ends on a close request and on SIGTERM, giving the class back.
#include "PlayerTestSupport.h"
#include "PlayerWindow.h"

#include <gtest/gtest.h>

#include <csignal>

#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

namespace zeb::zebplay::test {
namespace {

namespace fs = std::filesystem;

TEST(PlayerProgram, OwnsItsClassAndEndsOnACloseRequestOrSigterm) {
    TempDir work, busDir;
    zeb::test::ScopedEnv bus("ZEB_BUS_DIR", busDir.path().string());
    zeb::test::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    const std::string exe = zeb::test::suiteProgram("zebplay").string();
    ASSERT_TRUE(fs::exists(exe)) << exe;
    const std::string file = record(work.path(), audio::kTagGsm610, toneSamples(1.0)).filename();
    const auto start = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {exe, "--dir", work.path().string()});
        return std::make_unique<zeb::test::ChildProcess>(args);
    };
    const auto owned = [] {
        return zeb::test::eventually([] { return bus::classExists(kClassName); }, 15s);
    };

    auto first = start({"--output=null", file});
    ASSERT_TRUE(owned()) << "zebplay did not claim its class";
    EXPECT_EQ(bus::listClasses(), std::vector<std::string>{kClassName});
    auto second = start({"--output", "null", file});
    EXPECT_EQ(second->waitExit(10s), 0);
    EXPECT_FALSE(first->waitExit(300ms).has_value());
    // closeByClass waits at most 2 s for the class to go.
    EXPECT_EQ(bus::closeByClass(kClassName).value(), bus::CloseResult::Closed);
    EXPECT_EQ(first->waitExit(10s), 0);

    auto next = start({"--output", "null"});
    ASSERT_TRUE(owned());
    next->signal(SIGTERM);
    EXPECT_EQ(next->waitExit(10s), 0);
    EXPECT_FALSE(fs::exists(busDir.path() / "class" / kClassName));
}

}  // namespace
}  // namespace zeb::zebplay::test
