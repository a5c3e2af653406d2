// zebrig as a user runs it: --dry-run prints the bytes of exactly the
// commands given; usage errors are one line on stderr and exit status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace zeb::rig {
namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun zebrig(std::vector<std::string> args) {
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebrig";
    args.insert(args.begin(), program.string());
    test::ChildProcess child(args);
    CliRun run;
    run.out = child.readOutput(std::chrono::seconds(10));
    run.status = child.waitExit().value_or(-1);
    return run;
}

class ZebrigCli : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path suite = test::testSetting("ZEB_TEST_SUITE_DIR");
        if (!std::filesystem::exists(suite / "zebrig")) GTEST_SKIP() << "zebrig not built";
    }
};

TEST_F(ZebrigCli, DryRunPrintsTheCommandsInOrder) {
    // Kenwood text: "FA%011d;" with the frequency in Hz, then "MD2;" for USB.
    const CliRun run = zebrig({"--model", "9", "--dry-run", "freq", "7880", "mode", "USB"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "46 41 30 30 30 30 37 38 38 30 30 30 30 3B\n"
              "4D 44 32 3B\n");
    // Nothing is sent that was not asked for (no power-on).
    EXPECT_EQ(zebrig({"--model", "9", "--dry-run"}).out, "");
}

TEST_F(ZebrigCli, UsageErrorsExitWithStatusTwo) {
    EXPECT_EQ(zebrig({"--model", "99", "--dry-run", "freq", "100"}).status, 2);
    EXPECT_EQ(zebrig({"--model", "5", "--dry-run", "freq", "14.2"}).status, 2);
    EXPECT_EQ(zebrig({"--model", "9", "--dry-run", "mode", "XYZ"}).status, 2);
    // A bad command later on the line stops everything before the first write.
    const CliRun run = zebrig({"--model", "9", "--dry-run", "freq", "7880", "volume", "x"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace zeb::rig
