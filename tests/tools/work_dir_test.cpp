// The command-line programs agree on the suite's working directory: what
// zebdecode stores, zebobs reads and zebstations changes lies in the same
// folder, chosen by --dir, else the current directory when it is a suite
// directory, else $ZEB_HOME (seeded with the shipped reference data).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/Broadcasts.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace zeb {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status;
    std::string out;
};

Ran run(std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
    test::ChildProcess child(args);
    Ran r;
    r.out = child.readOutput(std::chrono::seconds(20));
    r.status = child.waitExit(std::chrono::seconds(20)).value_or(-1);
    return r;
}

TEST(SuiteWorkDir, DecoderStationListAndObservationsShareOneFolder) {
    const fs::path suite = test::testSetting("ZEB_TEST_SUITE_DIR");
    for (const char* needed : {"zebdecode", "zebobs", "zebstations", "DATA/RCFRQ.DAT"})
        if (!fs::exists(suite / needed)) GTEST_SKIP() << needed << " not built";

    enum class Where { Home, SuiteCwd, Given };
    for (const Where where : {Where::Home, Where::SuiteCwd, Where::Given}) {
        SCOPED_TRACE(static_cast<int>(where));
        test::TempDir root;
        fs::create_directories(root / "cwd");
        test::writeFile(root / "bulletins.txt", test::dwdBroadcastText());
        test::ScopedCwd cwd(root / "cwd");
        test::ScopedEnv home{"ZEB_HOME", (root / "home").string()};
        std::vector<std::string> dir;
        fs::path expected = root / "home";
        if (where == Where::SuiteCwd) {
            test::writeFile(root / "cwd" / "NIMBA.INI", "");
            expected = root / "cwd";
        } else if (where == Where::Given) {
            dir = {"--dir", (root / "given").string()};
            expected = root / "given";
        }
        auto with = [&](std::vector<std::string> args) {
            args.insert(args.begin() + 2, dir.begin(), dir.end());
            return run(args);
        };

        const Ran decoded =
            with({(suite / "zebdecode").string(), "text", (root / "bulletins.txt").string()});
        ASSERT_EQ(decoded.status, 0) << decoded.out;
        EXPECT_TRUE(fs::exists(expected / "SYNOP" / "STATION.DAT")) << decoded.out;
        // A saved file below the current directory is named relative to it,
        // elsewhere in full.
        const std::string saved =
            where == Where::SuiteCwd ? "saved SYNOP/" : "saved " + expected.string();
        EXPECT_NE(decoded.out.find(saved), std::string::npos) << decoded.out;

        const Ran listed = with({(suite / "zebobs").string(), "list"});
        EXPECT_EQ(listed.status, 0) << listed.out;
        EXPECT_NE(listed.out.find("10637"), std::string::npos) << listed.out;

        // The frequency list is the seeded copy of the shipped one.
        const auto before = fs::file_size(suite / "DATA" / "RCFRQ.DAT");
        const Ran added = with({(suite / "zebstations").string(), "add",
                                "7880;DDK3;Test;Germany;Weather fax;Fax F1C;USB;120;850;1900;576;"
                                "300;450;;0;normal;"});
        EXPECT_EQ(added.status, 0) << added.out;
        EXPECT_EQ(fs::file_size(expected / "DATA" / "RCFRQ.DAT"), before + 256);
        EXPECT_EQ(fs::exists(root / "home"), where == Where::Home);
    }
}

}  // namespace
}  // namespace zeb
