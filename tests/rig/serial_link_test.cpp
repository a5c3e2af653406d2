// The link's sequences against a recording port: line settings, drain rounds
// and waits, control lines, break, write styles, the unusable link, the
// wrapping of operations while the NMEA reader runs.
#include "rig_fakes.h"

#include "common/ProfileFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zeb::rig {
namespace {

using Log = std::vector<std::string>;
using test::FakePort;
using test::RecordingReporter;

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest()
        : shared_(std::make_shared<FakePort::Shared>()),
          link_(std::make_unique<FakePort>(shared_), reporter_,
                [this](std::chrono::milliseconds d) {
                    shared_->add("sleep " + std::to_string(d.count()));
                }) {}

    void openWith(int model) {
        const ReceiverProfile& p = receiverProfile(model);
        link_.setReceiverSettings(p.line, p.handshake, p.writeStyle);
        ASSERT_TRUE(link_.open_device("/dev/fake"));
        shared_->take();
    }

    static Log settingsSequence(const std::string& configure) {
        return {"sleep 20", "queue", "sleep 20", "discard", "sleep 50", configure};
    }

    std::shared_ptr<FakePort::Shared> shared_;
    RecordingReporter reporter_;
    SerialLink link_;
};

TEST_F(SerialLinkTest, OpenSetsIdleLinesThenTheReceiverSettings) {
    const ReceiverProfile& p = receiverProfile(15);
    link_.setReceiverSettings(p.line, p.handshake, p.writeStyle);
    ASSERT_TRUE(link_.open_device("/dev/fake"));
    Log expected = {"open /dev/fake", "rts off", "dtr on"};
    for (auto& e : settingsSequence("configure 9600 7 2 0 hardware")) expected.push_back(e);
    EXPECT_EQ(shared_->take(), expected);
    EXPECT_TRUE(link_.usable());
}

TEST_F(SerialLinkTest, EachModelsLineSettingsReachThePort) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        link_.setReceiverSettings(p.line, p.handshake, p.writeStyle);
        ASSERT_TRUE(link_.open_device("/dev/fake"));
        const Log log = shared_->take();
        const std::string expected =
            "configure " + std::to_string(p.line.baud) + " " + std::to_string(p.line.dataBits) +
            " " + std::to_string(p.line.parity) + " " + std::to_string(p.line.stopBits) +
            (p.model == 15 ? " hardware" : " none");
        EXPECT_EQ(log.back(), expected) << p.model;
    }
}

TEST_F(SerialLinkTest, OpenFailureReturnsFailure) {
    EXPECT_FALSE(link_.open_device("/missing"));
    EXPECT_FALSE(link_.is_open());
    EXPECT_EQ(link_.open_error(), "no such device");
    const std::uint8_t bytes[] = {1};
    EXPECT_FALSE(link_.write_bytes(bytes));
}

TEST_F(SerialLinkTest, DrainGivesUpAfterTenRounds) {
    openWith(9);
    shared_->busyQueueRounds = 3;
    EXPECT_TRUE(link_.apply_line_settings(kNmeaLineSettings));
    EXPECT_EQ(shared_->take(),
              (Log{"sleep 20", "queue", "sleep 100", "queue", "sleep 100", "queue", "sleep 100",
                   "queue", "sleep 20", "discard", "sleep 50", "configure 4800 8 0 2 none"}));
    shared_->busyQueueRounds = 100;
    EXPECT_TRUE(link_.apply_line_settings(kNmeaLineSettings));
    const Log log = shared_->take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "queue"), 10);
    EXPECT_EQ(std::count(log.begin(), log.end(), "sleep 100"), 10);
    EXPECT_EQ(log.back(), "configure 4800 8 0 2 none");
}

TEST_F(SerialLinkTest, ControlLinesAndBreakInTheirOrder) {
    openWith(9);
    link_.set_control_lines(ControlLines::Idle);
    link_.set_control_lines(ControlLines::RtsOnly);
    link_.set_control_lines(ControlLines::BothOff);
    link_.set_control_lines(ControlLines::BothOn);
    link_.set_break(true);
    link_.set_break(false);
    EXPECT_EQ(shared_->take(),
              (Log{"rts off", "dtr on", "rts on", "dtr off", "rts off", "dtr off", "rts on",
                   "dtr on", "rts on", "dtr on", "break on", "rts off", "dtr on", "break off"}));
}

TEST_F(SerialLinkTest, DrakeWritesOneBytePerCall) {
    openWith(15);
    LinkCommandSink sink(link_, nullptr, [](std::chrono::milliseconds) {});
    Receiver receiver(receiverProfile(15), sink);
    ASSERT_TRUE(receiver.setMode(ModeFlag::Am));
    EXPECT_EQ(shared_->take(), (Log{"write 4D", "write 36", "write 0D"}));
    openWith(9);
    Receiver kenwood(receiverProfile(9), sink);
    ASSERT_TRUE(kenwood.setMode(ModeFlag::Am));
    EXPECT_EQ(shared_->take(), (Log{"write 4D 44 35 3B"}));
}

TEST_F(SerialLinkTest, TimeOutMakesTheLinkUnusable) {
    openWith(7);
    shared_->writeError = ETIMEDOUT;
    const std::uint8_t bytes[] = {1, 2};
    EXPECT_FALSE(link_.write_bytes(bytes));
    ASSERT_EQ(reporter_.warnings.size(), 1u);
    EXPECT_EQ(reporter_.warnings[0], kWriteTimeoutText);
    EXPECT_EQ(reporter_.quitRequests, 1);
    EXPECT_FALSE(link_.usable());
    shared_->take();
    // Later writes and settings changes fail without touching the port.
    EXPECT_FALSE(link_.write_bytes(bytes));
    EXPECT_FALSE(link_.apply_line_settings(kNmeaLineSettings));
    EXPECT_EQ(shared_->take(), Log{"sleep 20"});
    int powerOffs = 0;
    link_.close_port([&] { ++powerOffs; });
    EXPECT_EQ(powerOffs, 0);
    EXPECT_EQ(shared_->take(), (Log{"flush", "sleep 100", "close"}));
}

TEST_F(SerialLinkTest, OtherWriteErrorShowsTheSystemText) {
    openWith(7);
    shared_->writeError = EIO;
    const std::uint8_t bytes[] = {1};
    EXPECT_FALSE(link_.write_bytes(bytes));
    ASSERT_EQ(reporter_.warnings.size(), 1u);
    EXPECT_EQ(reporter_.warnings[0], "write failed");
    EXPECT_FALSE(link_.usable());
}

TEST_F(SerialLinkTest, CloseSendsPowerOffTwice) {
    openWith(7);
    LinkCommandSink sink(link_, nullptr, [](std::chrono::milliseconds) {});
    Receiver receiver(receiverProfile(7), sink);
    link_.close_port([&] { receiver.power(false); });
    EXPECT_EQ(shared_->take(),
              (Log{"write 00 00 00 00 20", "write 00 00 00 00 20", "flush", "sleep 100", "close"}));
}

TEST_F(SerialLinkTest, ReaderForwardsSentencesAndOperationsSwitchSettings) {
    openWith(8);
    std::mutex mutex;
    Log sentences;
    ASSERT_TRUE(link_.start_reader([&](const std::string& s) {
        std::lock_guard lock(mutex);
        sentences.push_back(s);
    }));
    EXPECT_FALSE(link_.start_reader([](const std::string&) {}));  // one reader only
    {
        std::lock_guard lock(shared_->mutex);
        shared_->incoming = {"$GPGLL,1*", "4D\r\njunk\r\n$GPGLL,1*3E\r\n$GPX", "\r\n",
                             "no dollar\r\n"};
    }
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard lock(mutex);
            if (sentences.size() == 2) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    {
        std::lock_guard lock(mutex);
        // "$GPGLL,1*3E" carries a checksum that does not match; it is dropped.
        EXPECT_EQ(sentences, (Log{"$GPGLL,1*4D\r\n", "$GPX\r\n"}));
    }
    shared_->take();
    LinkCommandSink sink(link_, nullptr, [](std::chrono::milliseconds) {});
    Receiver receiver(receiverProfile(8), sink);
    ASSERT_TRUE(receiver.setFrequency(7050.5));
    Log expected = settingsSequence("configure 4800 8 0 2 none");
    expected.push_back("write " + test::T("H1\rF07050500\r"));
    for (auto& e : settingsSequence("configure 4800 8 0 2 none")) expected.push_back(e);
    EXPECT_EQ(shared_->take(), expected);
    link_.stop_reader();
    EXPECT_FALSE(link_.reader_running());
    EXPECT_EQ(shared_->take(), settingsSequence("configure 4800 8 0 2 none"));
}

TEST_F(SerialLinkTest, PcrStatusPollRunsFromPowerOnToPowerOff) {
    openWith(12);
    test::FakeTimer timer;
    LinkCommandSink sink(link_, &timer, [](std::chrono::milliseconds) {});
    Receiver receiver(receiverProfile(12), sink);
    receiver.power(true);
    receiver.power(true);
    EXPECT_EQ(timer.starts, 1);
    EXPECT_EQ(timer.period, std::chrono::milliseconds(10000));
    shared_->take();
    timer.tick();
    EXPECT_EQ(shared_->take(), Log{"write " + test::T("H1?\r\n")});
    receiver.power(false);
    EXPECT_FALSE(timer.running());
    EXPECT_EQ(shared_->take(), Log{"write " + test::T("H100\r\n")});
}

TEST(PortDeviceTest, ComNumbersMapThroughTheSystemSettings) {
    const auto dir = std::filesystem::temp_directory_path() / "zeb_rig_port_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream ini(dir / "ZEBSYS.INI");
        ini << "[PORTS]\r\nCOM3=/dev/ttyUSB0\r\n";
    }
    ProfileFile settings(dir / "ZEBSYS.INI");
    EXPECT_EQ(portDevice(3, settings), "/dev/ttyUSB0");
    EXPECT_EQ(portDevice(1, settings), "/dev/ttyS0");
    EXPECT_EQ(portDevice(16, ProfileFile(dir / "MISSING.INI")), "/dev/ttyS15");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zeb::rig
