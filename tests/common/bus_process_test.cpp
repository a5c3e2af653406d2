// The bus between real, separate programs: single instance, closing by class
// within the 2 s rule, broadcasts, programs that die without cleaning up, and
// the zebctl tool.
#include "common/bus/Bus.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>

namespace zeb::bus {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::eventually;
using test::readLines;

bool hasLine(const fs::path& log, const std::string& line) {
    const auto lines = readLines(log);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class BusProcess : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> peer(const std::string& className,
                                       std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{test::busPeerPath(), "class", className};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return std::make_unique<ChildProcess>(argv);
    }
    std::unique_ptr<ChildProcess> readyPeer(const std::string& className,
                                            std::vector<std::string> extra = {}) {
        auto p = peer(className, std::move(extra));
        EXPECT_TRUE(p->waitReady()) << "peer for " << className << " did not start";
        return p;
    }

    test::TempDir dir_;
    test::TempDir logs_;
    test::ScopedEnv bus_{"ZEB_BUS_DIR", dir_.path().string()};
};

TEST_F(BusProcess, ASecondInstanceOfAClassIsRefused) {
    auto first = readyPeer("Nimbarra");
    auto second = peer("Nimbarra");
    EXPECT_EQ(second->waitExit(), 3);
    EXPECT_TRUE(classExists("Nimbarra"));
    auto inProcess = ClassEndpoint::claim("Nimbarra");
    ASSERT_FALSE(inProcess.ok());
    EXPECT_EQ(inProcess.error().code, BusError::AlreadyRunning);
}

TEST_F(BusProcess, OfProgramsStartingTogetherExactlyOneOwnsTheClass) {
    std::vector<std::unique_ptr<ChildProcess>> peers;
    for (int i = 0; i < 4; ++i) peers.push_back(peer("ZEB-MENU"));
    int owners = 0, refused = 0;
    for (auto& p : peers) {
        if (p->waitReady(10s))
            ++owners;
        else if (p->waitExit() == 3)
            ++refused;
    }
    EXPECT_EQ(owners, 1);
    EXPECT_EQ(refused, 3);
}

struct CloseCase {
    const char* name;
    bool start;
    bool ignoreClose;
    CloseResult expected;
    std::chrono::milliseconds atLeast;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class BusClose : public BusProcess, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(BusClose, ReportsWithinTheTwoSecondBoundWhetherTheProgramWentAway) {
    const CloseCase& c = GetParam();
    const fs::path log = logs_ / "log";
    std::unique_ptr<ChildProcess> p;
    if (c.start) {
        std::vector<std::string> extra{"--log", log.string()};
        if (c.ignoreClose) extra.push_back("--ignore-close");
        p = readyPeer("ZEB-FAX Viewer", extra);
    }
    const auto t0 = Clock::now();
    const CloseResult result = closeByClass("ZEB-FAX Viewer").value();
    const auto elapsed = Clock::now() - t0;
    EXPECT_EQ(result, c.expected);
    EXPECT_GE(elapsed, c.atLeast);
    EXPECT_LT(elapsed, 4s);  // 40 steps of 50 ms, with a generous margin for a busy machine
    if (!p) return;
    EXPECT_TRUE(hasLine(log, "close"));
    if (c.ignoreClose) {
        EXPECT_FALSE(p->waitExit(0ms).has_value()) << "a program that stays is left running";
        EXPECT_TRUE(classExists("ZEB-FAX Viewer"));
    } else {
        EXPECT_EQ(p->waitExit(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BusClose,
    ::testing::Values(CloseCase{"Closes", true, false, CloseResult::Closed, 0ms},
                      CloseCase{"Stays", true, true, CloseResult::StillRunning, 1900ms},
                      CloseCase{"Absent", false, false, CloseResult::NotRunning, 0ms}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(BusProcess, ACloseRequestWaitsForRoomInAFullInbox) {
    // A stopped program's inbox fills up; the request is sent again until it
    // fits, and when it never does the failure is said, not hidden.
    for (const bool resumes : {true, false}) {
        SCOPED_TRACE(resumes ? "resumes" : "stays stopped");
        auto p = readyPeer("ZEB-FAX Viewer");
        p->signal(SIGSTOP);
        bus::Message junk;
        junk.kind = MessageKind::User;
        junk.payload.assign(1000, 0);
        while (post("ZEB-FAX Viewer", junk)) {
        }
        std::thread resume([&] {
            std::this_thread::sleep_for(300ms);
            if (resumes) p->signal(SIGCONT);
        });
        const auto result = closeByClass("ZEB-FAX Viewer");
        resume.join();
        if (resumes) {
            ASSERT_TRUE(result.ok()) << result.error().message;
            EXPECT_EQ(*result, CloseResult::Closed);
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error().systemError(), EAGAIN);
            p->signal(SIGKILL);
        }
    }
}

TEST_F(BusProcess, ABroadcastReachesEveryProgramOnTheBus) {
    const std::vector<std::string> classes{"ZEB-RTTY", "ZEB-CW", "Receiver Control"};
    std::vector<std::unique_ptr<ChildProcess>> peers;
    for (std::size_t i = 0; i < classes.size(); ++i)
        peers.push_back(readyPeer(classes[i], {"--log", (logs_ / std::to_string(i)).string()}));
    // A program that was killed leaves a socket that must not count.
    auto dead = readyPeer("ZEB-FAX");
    dead->signal(SIGKILL);
    dead->waitExit();

    EXPECT_EQ(broadcast("RIGMAN_NMEA_IN", 43, 0), 3);
    for (std::size_t i = 0; i < classes.size(); ++i)
        EXPECT_TRUE(eventually([&] {
            return hasLine(logs_ / std::to_string(i), "registered RIGMAN_NMEA_IN 43 0");
        })) << classes[i];

    EXPECT_EQ(broadcast("ZEB_EXIT_PROG"), 3);
    for (auto& p : peers) EXPECT_EQ(p->waitExit(), 0);
    EXPECT_TRUE(listClasses().empty());
}

TEST_F(BusProcess, AKilledProgramDoesNotLookAliveAndItsClassCanBeClaimedAgain) {
    auto p = readyPeer("ZEB-Warn-View");
    p->signal(SIGKILL);
    EXPECT_EQ(p->waitExit(), 128 + SIGKILL);
    EXPECT_TRUE(fs::exists(dir_ / "class" / "ZEB-Warn-View")) << "the socket stays behind";

    // Claimed again at once, without anybody cleaning up first...
    auto again = readyPeer("ZEB-Warn-View");
    again->signal(SIGKILL);
    again->waitExit();

    // ...and found absent by a presence check, which removes the leftover.
    EXPECT_FALSE(classExists("ZEB-Warn-View"));
    EXPECT_FALSE(fs::exists(dir_ / "class" / "ZEB-Warn-View"));
    EXPECT_EQ(closeByClass("ZEB-Warn-View").value(), CloseResult::NotRunning);
    EXPECT_TRUE(ClassEndpoint::claim("ZEB-Warn-View").ok());
}

// zebctl is built beside the other programs of the suite.
class Zebctl : public BusProcess {
protected:
    void SetUp() override {
        tool_ = test::suiteProgram("zebctl");
        if (!fs::exists(tool_)) GTEST_SKIP() << "zebctl is not built";
    }
    // Runs zebctl; its exit status and what it printed on stdout.
    std::pair<int, std::string> run(std::vector<std::string> args) {
        args.insert(args.begin(), tool_.string());
        ChildProcess p(args);
        std::string out = p.readOutput();
        const auto status = p.waitExit();
        return {status.value_or(-1), out};
    }
    fs::path tool_;
};

TEST_F(Zebctl, ClosesListsAndBroadcastsWithTheDocumentedExitStatus) {
    auto stays = readyPeer("ZEB-MENU", {"--ignore-close"});
    auto closes = readyPeer("ZEB-FAX Viewer", {"--log", (logs_ / "log").string()});
    EXPECT_EQ(run({"list"}), std::make_pair(0, std::string("ZEB-FAX Viewer\nZEB-MENU\n")));
    EXPECT_EQ(run({"broadcast", "RIGMAN_NMEA_IN", "7", "-1"}),
              std::make_pair(0, std::string("2\n")));
    EXPECT_TRUE(
        eventually([&] { return hasLine(logs_ / "log", "registered RIGMAN_NMEA_IN 7 -1"); }));
    EXPECT_EQ(run({"close", "ZEB-FAX Viewer"}).first, 0);
    EXPECT_EQ(run({"close", "ZEB-FAX Viewer"}).first, 2);
    EXPECT_EQ(run({"close", "ZEB-MENU"}).first, 1);
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"close"},
                                               {"broadcast", "X", "1"},
                                               {"broadcast", "X", "a", "b"},
                                               {"broadcast", std::string(kMaxNameBytes + 1, 'X')}})
        EXPECT_EQ(run(bad).first, 64);
    EXPECT_EQ(run({"--help"}).first, 0);
}

}  // namespace
}  // namespace zeb::bus
