// The main program's IC-PCR1000 control: the reply parser, the settings in
// NIMBA.INI, a whole session against a pseudo-terminal, the port search and
// the write failures against the recording port.
#include "rig/PcrControl.h"
#include "rig/TermiosPort.h"
#include "rig_fakes.h"
#include "support/Pty.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <condition_variable>

namespace zeb::rig {
namespace {

using namespace std::chrono_literals;
using Log = std::vector<std::string>;
using test::FakePort;
using test::FakeTimer;
using test::T;
using zeb::test::Pty;
using zeb::test::TempDir;
using zeb::test::writeFile;

std::string describe(const PcrReply& r) {
    switch (r.kind) {
        case PcrReply::Kind::Squelch: return r.squelchClosed ? "closed" : "open";
        case PcrReply::Kind::Strength: return "strength " + std::to_string(r.strength);
        case PcrReply::Kind::Other: return "other";
    }
    return {};
}

TEST(PcrReplyParserTest, LinesEndAtTheFirstByteThatIsNoHexDigit) {
    const struct {
        std::string bytes;
        Log replies;
    } cases[] = {
        {"I004\r\n", {"closed"}},
        {"I007\r\n", {"open"}},
        {"I00A\r", {"open"}},
        {"I1FF\r\n", {"strength 255"}},
        {"I1a0b\n", {"strength 160"}},
        {"I0\r", {}},
        {"I1F\r", {}},
        {"I0045\r", {}},
        {"I004", {}},  // not ended yet
        {"H101\r\nI005I1FF\r", {"other", "closed", "strength 255"}},
        {"I1" + std::string(254, 'F') + "\r", {"strength 255"}},
        {"I1" + std::string(300, 'F') + "\r", {}},
        {std::string("\0\xffI1G0\r x!I004", 14) + "\r", {"closed"}},
    };
    for (const auto& c : cases) {
        PcrReplyParser parser;
        Log got;
        for (char b : c.bytes) {
            if (auto reply = parser.push(static_cast<std::uint8_t>(b)))
                got.push_back(describe(*reply));
        }
        EXPECT_EQ(got, c.replies) << c.bytes.substr(0, 20);
    }
}

TEST(PcrSettingsTest, DamagedValuesFallBackAndTheRestRoundTrips) {
    TempDir dir;
    writeFile(dir / "NIMBA.INI",
              "[IPCRPARAM]\r\nFREQ=5\r\nSTEP=7\r\nMODE=4\r\nVOLUME=300\r\nSQUELCH=abc\r\n"
              "PORT=COMX\r\nFILTER=5\r\nIFSHIFT=-1\r\nATT=2\r\nAGC=on\r\nNB=1\r\n");
    ProfileFile profile(dir / "NIMBA.INI");
    Log problems;
    // The unreadable PORT is kept for writing back; it counts as none.
    EXPECT_EQ(readPcrSettings(profile, &problems),
              (PcrSettings{.port = "COMX", .noiseBlanker = true}));
    EXPECT_EQ(problems.size(), 10u);
    const PcrSettings written{7050.5, 5000, 3, 200, 20, "none", 2, 100, true, false, true};
    ASSERT_TRUE(writePcrSettings(profile, written));
    problems.clear();
    EXPECT_EQ(readPcrSettings(profile, &problems), written);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(readPcrSettings(ProfileFile(dir / "MISSING.INI"), &problems), PcrSettings{});
}

TEST(PcrSettingsTest, PortValues) {
    EXPECT_EQ(parsePcrPort("AUTO")->kind, PcrPort::Kind::Auto);
    EXPECT_EQ(parsePcrPort(" 16 ")->number, 16);
    EXPECT_EQ(parsePcrPort("/dev/ttyUSB0")->device, "/dev/ttyUSB0");
    for (const char* bad : {"0", "17", "3x", "", "COM3"}) EXPECT_FALSE(parsePcrPort(bad)) << bad;
}

// Records what the control reports, for the test thread to wait on.
class Listener : public PcrListener {
public:
    void squelchChanged(bool closed) override { add(closed ? "closed" : "open"); }
    void strengthChanged(int s) override { add("strength " + std::to_string(s)); }
    void answeringChanged(bool a) override { add(a ? "answering" : "silent"); }
    void linkFailed(const std::string& text) override { add("failed " + text); }

    // The events so far once `count` have come (a guard keeps a broken control from hanging).
    Log waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] { return events_.size() >= count; });
        return events_;
    }

private:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    Log events_;
};

// `count` bytes from the receiver's end of the line.
std::string receive(const Pty& pty, std::size_t count) {
    std::string got;
    while (got.size() < count) {
        const std::string some = pty.readSome(10000);
        if (some.empty()) break;
        got += some;
    }
    return got;
}

TEST(PcrControlTest, SessionOverAPseudoTerminal) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    Listener listener;
    FakeTimer timer;
    PcrControl pcr([] { return std::make_unique<TermiosPort>(); }, ProfileFile(), listener, &timer,
                   [](std::chrono::milliseconds) {});
    ASSERT_TRUE(pcr.start({7050.5, 10, 2, 128, 36, pty.name()}));
    EXPECT_EQ(pcr.device(), pty.name());
    // Power on (volume down last), frequency and mode, knobs × 17/18.
    const std::string startUp =
        "H101\r\nG301\r\nJ4101J5100J5000J4380J4500J4600J4700J4A80LD82000ME00001"
        "C8050000001000J8001J8100J8200J8300J4000K00007050500020000J4078J4122";
    EXPECT_EQ(receive(pty, startUp.size()), startUp);
    EXPECT_EQ(timer.period, 3000ms);

    pty.write("I004\r\nI007\r\nI1FF\r\n");
    EXPECT_EQ(listener.waitFor(3), (Log{"closed", "open", "strength 255"}));
    EXPECT_EQ(pcr.strength(), 255);
    EXPECT_EQ(pcr.squelchClosed(), false);
    timer.tick();
    timer.tick();  // two periods without a reply
    EXPECT_EQ(receive(pty, 10), "H1?\r\nH1?\r\n");
    EXPECT_EQ(listener.waitFor(4).back(), "silent");
    pty.write("H101\r\n");
    EXPECT_EQ(listener.waitFor(5).back(), "answering");

    EXPECT_TRUE(pcr.setFrequency(14100) && pcr.setFilter(4) && pcr.setMode(6));
    EXPECT_FALSE(pcr.setFrequency(5) || pcr.setMode(4) || pcr.setFilter(5));  // nothing sent
    EXPECT_TRUE(pcr.setAgc(true) && pcr.setNoiseBlanker(false) && pcr.setAttenuator(true) &&
                pcr.setIfShift(0x80) && pcr.setVolume(255));
    const std::string operations =
        "K00014100000020000K00014100000020400K00014100000060400J4501J4600J4701J4380J40F0";
    EXPECT_EQ(receive(pty, operations.size()), operations);

    const PcrSettings kept = pcr.stop();
    EXPECT_EQ(receive(pty, 6), "H100\r\n");
    EXPECT_FALSE(pcr.readerRunning());
    EXPECT_FALSE(timer.running());
    EXPECT_EQ(kept, (PcrSettings{14100, 10, 6, 255, 36, pty.name(), 4, 0x80, true, true, false}));
    EXPECT_FALSE(pcr.setVolume(10));

    // Started again with what it kept, the receiver comes back as it was left.
    ASSERT_TRUE(pcr.start(kept));
    const std::string again =
        startUp.substr(0, startUp.find('K')) + "K00014100000060400J40F0J4122J4701J4501";
    EXPECT_EQ(receive(pty, again.size()), again);
    (void)pcr.stop();
}

class PcrFakePortTest : public ::testing::Test {
protected:
    PcrFakePortTest() {
        std::string ini = "[PORTS]\r\n";
        for (int n = 1; n <= 16; ++n) ini += "COM" + std::to_string(n) + "=/missing\r\n";
        writeFile(dir_ / "ZEBSYS.INI", ini);
    }
    PcrControl make(const ProfileFile& system) {
        return PcrControl(
            [this] {
                ++ports_;
                return std::make_unique<FakePort>(shared_);
            },
            system, listener_, &timer_,
            [this](std::chrono::milliseconds d) {
                shared_->add("sleep " + std::to_string(d.count()));
            });
    }
    TempDir dir_;
    std::shared_ptr<FakePort::Shared> shared_ = std::make_shared<FakePort::Shared>();
    Listener listener_;
    FakeTimer timer_;
    int ports_ = 0;
};

TEST_F(PcrFakePortTest, PortNoneOrUnreadableOpensNothing) {
    PcrControl pcr = make(ProfileFile());
    for (const char* port : {"none", "NONE", "COMX"}) {
        const auto started = pcr.start({.port = port});
        ASSERT_FALSE(started);
        EXPECT_EQ(started.error().code, PcrStartError::Off);
    }
    EXPECT_EQ(ports_, 0);
    EXPECT_FALSE(pcr.setVolume(1));
}

TEST_F(PcrFakePortTest, SearchTakesTheFirstPortThatOpens) {
    writeFile(dir_ / "ZEBSYS.INI",
              "[PORTS]\r\nCOM1=/missing\r\nCOM2=/missing\r\nCOM3=/dev/fake\r\n");
    PcrControl pcr = make(ProfileFile(dir_ / "ZEBSYS.INI"));
    ASSERT_TRUE(pcr.start({}));
    EXPECT_EQ(pcr.device(), "/dev/fake");
    ASSERT_FALSE(pcr.start({}));  // never a second reader
    const Log log = shared_->take();
    ASSERT_GE(log.size(), 6 + 36u);
    EXPECT_EQ(
        Log(log.begin(), log.begin() + 8),
        (Log{"open /missing", "open /missing", "open /dev/fake", "configure 9600 8 0 2 hardware",
             "dtr on", "discard", "sleep 50", "write " + T("H101\r\n")}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "sleep 50"), 18);
}

TEST_F(PcrFakePortTest, FailedSearchNamesWhatWasTried) {
    PcrControl pcr = make(ProfileFile(dir_ / "ZEBSYS.INI"));
    auto started = pcr.start({});
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().code, PcrStartError::NoPort);
    EXPECT_NE(started.error().message.find("COM1…COM16"), std::string::npos);
    EXPECT_NE(started.error().message.find("/missing: No such file"), std::string::npos);
    EXPECT_EQ(shared_->take().size(), 16u);
    started = pcr.start({.port = "2"});
    EXPECT_EQ(shared_->take(), Log{"open /missing"});
    EXPECT_NE(started.error().message.find("COM2"), std::string::npos);
}

TEST_F(PcrFakePortTest, FailedWriteDisablesTheLinkOnceATimeOutDoesNot) {
    PcrControl pcr = make(ProfileFile());
    ASSERT_TRUE(pcr.start({.port = "/dev/fake"}));
    shared_->take();
    shared_->writeError = ETIMEDOUT;
    EXPECT_TRUE(pcr.setVolume(10));
    EXPECT_EQ(shared_->lastWriteLimit, PcrControl::kWriteLimit);
    EXPECT_EQ(listener_.waitFor(1), Log{"silent"});  // a stalled line is a silent receiver
    shared_->writeError = EIO;
    EXPECT_FALSE(pcr.setVolume(20));
    EXPECT_EQ(shared_->lastWriteLimit, PcrControl::kStalledWriteLimit);
    EXPECT_FALSE(pcr.setFrequency(7000));
    timer_.tick();
    EXPECT_EQ(shared_->take(), (Log{"write " + T("J4009"), "write " + T("J4012")}));
    EXPECT_EQ(listener_.waitFor(2), (Log{"silent", "failed Input/output error"}));
    pcr.stop();
    EXPECT_EQ(shared_->take(), (Log{"flush", "close"}));  // no power-off on a failed link
    EXPECT_FALSE(pcr.readerRunning());
}

}  // namespace
}  // namespace zeb::rig
