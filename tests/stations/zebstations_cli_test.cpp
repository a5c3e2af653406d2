// zebstations on the frequency list the build ships: listing, the hand-over
// record of a fax station, adding and removing in a copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace zeb::stations {
namespace {

struct CliRun {
    int status;
    std::string out;
};

class ZebstationsCli : public ::testing::Test {
protected:
    void SetUp() override {
        suite_ = test::testSetting("ZEB_TEST_SUITE_DIR");
        if (!std::filesystem::exists(suite_ / "zebstations") ||
            !std::filesystem::exists(suite_ / "DATA" / "RCFRQ.DAT"))
            GTEST_SKIP() << "zebstations or the frequency list not built";
    }

    CliRun run(std::vector<std::string> args) {
        args.insert(args.begin(), (suite_ / "zebstations").string());
        test::ChildProcess child(args);
        CliRun r;
        r.out = child.readOutput(std::chrono::seconds(10));
        r.status = child.waitExit().value_or(-1);
        return r;
    }

    std::filesystem::path suite_;
};

TEST_F(ZebstationsCli, ListsTheShippedStationsWithTheirDialFrequencies) {
    const CliRun list = run({"list", (suite_ / "DATA" / "RCFRQ.DAT").string()});
    ASSERT_EQ(list.status, 0);
    // The German fax service on 7880 kHz is dialled 1.9 kHz lower.
    EXPECT_NE(list.out.find("7880.000     7878.100"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("DDK3"), std::string::npos);
    EXPECT_GE(std::count(list.out.begin(), list.out.end(), '\n'), 100);
}

TEST_F(ZebstationsCli, RemovingFromACopyLeavesTheOthers) {
    test::TempDir dir;
    const auto copy = dir / "RCFRQ.DAT";
    std::filesystem::copy_file(suite_ / "DATA" / "RCFRQ.DAT", copy);
    const auto before = std::filesystem::file_size(copy);
    EXPECT_EQ(run({"remove", "--file", copy.string(), "2"}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(copy), before - 256);
    EXPECT_EQ(run({"list", copy.string()}).out.find("7880.000"), std::string::npos);
    EXPECT_NE(run({"list", "/nonexistent/RCFRQ.DAT"}).status, 0);
}

TEST_F(ZebstationsCli, AnOffsetThatIsNoReceiverOffsetIsRefused) {
    const auto list = (suite_ / "DATA" / "RCFRQ.DAT").string();
    for (const char* offset : {"nan", "inf", "1e30", "-200000"}) {
        const CliRun r = run({"handover", "--file", list, "--offset", offset, "2"});
        EXPECT_NE(r.status, 0) << offset;
        EXPECT_EQ(r.out.find("dial"), std::string::npos) << offset << ": " << r.out;
    }
    EXPECT_EQ(run({"handover", "--file", list, "--offset", "1900", "2"}).status, 0);
}

TEST_F(ZebstationsCli, WritersAtTheSameTimeEachGetTheirOwnStation) {
    test::TempDir dir;
    const auto list = dir / "RCFRQ.DAT";
    std::filesystem::copy_file(suite_ / "DATA" / "RCFRQ.DAT", list);
    // A save killed between its temporary and the rename left this behind.
    const auto leftover = dir / ".RCFRQ.DAT.Ab12Cd";
    { std::ofstream(leftover) << "half a list"; }
    const auto before = std::filesystem::file_size(list);

    constexpr int kWriters = 3, kRounds = 10;
    std::set<std::string> ids;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<test::ChildProcess>> writers;
        for (int w = 0; w < kWriters; ++w)
            writers.push_back(std::make_unique<test::ChildProcess>(std::vector<std::string>{
                (suite_ / "zebstations").string(), "add", "--file", list.string(),
                "14000;T" + std::to_string(round * kWriters + w) +
                    ";Test;Germany;Weather fax;Fax F1C;USB;120;850;1900;576;300;450;;0;normal;"}));
        for (auto& writer : writers) {
            ids.insert(writer->readOutput(std::chrono::seconds(20)));
            EXPECT_EQ(writer->waitExit(std::chrono::seconds(20)), 0);
        }
    }
    EXPECT_EQ(ids.size(), std::size_t{kWriters * kRounds});
    EXPECT_EQ(std::filesystem::file_size(list), before + 256 * kWriters * kRounds);
    EXPECT_FALSE(std::filesystem::exists(leftover));
}

}  // namespace
}  // namespace zeb::stations
