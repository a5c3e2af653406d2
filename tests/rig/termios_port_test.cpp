// The real port against a pseudo-terminal. A pty carries bytes and speeds,
// not parity, data bits or control lines, so those are checked with the
// recording port instead.
#include "rig/TermiosPort.h"
#include "rig_fakes.h"
#include "support/Pty.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace zeb::rig {
namespace {

using namespace std::chrono_literals;

void noSleep(std::chrono::milliseconds) {}

using zeb::test::Pty;

// Sends what the recording sink saw into the link as well.
class TeeSink : public test::RecordingSink {
public:
    explicit TeeSink(LinkCommandSink& link) : link_(link) {}
    std::string bytes;
    bool send(std::span<const std::uint8_t> b) override {
        bytes.append(b.begin(), b.end());
        return link_.send(b);
    }

private:
    LinkCommandSink& link_;
};

TEST(TermiosPortTest, EveryModelsBytesAndSpeedCrossThePty) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        auto port = std::make_unique<TermiosPort>();
        TermiosPort* raw = port.get();
        test::RecordingReporter reporter;
        SerialLink link(std::move(port), reporter, noSleep);
        link.setReceiverSettings(p.line, p.handshake, p.writeStyle);
        ASSERT_TRUE(link.open_device(pty.name())) << p.model;
        auto baud = raw->currentBaud();
        ASSERT_TRUE(baud.ok()) << p.model;
        EXPECT_EQ(*baud, p.line.baud) << p.model;

        LinkCommandSink linkSink(link, nullptr, noSleep);
        TeeSink sink(linkSink);
        Receiver receiver(p, sink, Receiver::initialState(p));
        std::string received;
        std::atomic<bool> done{false};
        std::thread far([&] { received = pty.readUntil(done); });
        receiver.power(true);
        receiver.setFrequency(p.model == 30 ? 145500.0 : 7050.5);
        for (unsigned bit = 1; bit <= ModeFlag::Wfm; bit <<= 1) {
            if ((p.features & bit) != 0) {
                receiver.setMode(bit);
                break;
            }
        }
        receiver.setVolume(200);
        receiver.setSquelch(20);
        receiver.setAttenuator(true);
        done = true;
        far.join();
        EXPECT_FALSE(sink.bytes.empty() && p.model != 0) << p.model;
        EXPECT_EQ(received, sink.bytes) << p.model;
        EXPECT_TRUE(link.usable()) << p.model;
        EXPECT_TRUE(reporter.warnings.empty()) << p.model;
    }
}

TEST(TermiosPortTest, NmeaSentencesArriveThroughTheReader) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    test::RecordingReporter reporter;
    SerialLink link(std::make_unique<TermiosPort>(), reporter, noSleep);
    link.setReceiverSettings(receiverProfile(8).line, Handshake::None, WriteStyle::Whole);
    ASSERT_TRUE(link.open_device(pty.name()));
    std::mutex mutex;
    std::vector<std::string> lines;
    ASSERT_TRUE(link.start_reader([&](const std::string& s) {
        std::lock_guard lock(mutex);
        lines.push_back(s);
    }));
    const std::string stream =
        "$GPGGA,1\r\n$" + std::string(100, 'x') + "\r\n\x01\xFF\r\n$GPRMC\r\n";
    ASSERT_EQ(::write(pty.master(), stream.data(), stream.size()),
              static_cast<ssize_t>(stream.size()));
    for (int i = 0; i < 400; ++i) {
        {
            std::lock_guard lock(mutex);
            if (lines.size() >= 2) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    link.stop_reader();
    EXPECT_EQ(lines, (std::vector<std::string>{"$GPGGA,1\r\n", "$GPRMC\r\n"}));
}

TEST(TermiosPortTest, WriteThatCannotFinishMakesTheLinkUnusable) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    test::RecordingReporter reporter;
    SerialLink link(std::make_unique<TermiosPort>(), reporter, noSleep);
    const ReceiverProfile& p = receiverProfile(7);
    link.setReceiverSettings(p.line, p.handshake, p.writeStyle);
    ASSERT_TRUE(link.open_device(pty.name()));
    // Far end not reading: the pty's buffer fills and the write times out.
    const std::vector<std::uint8_t> lots(1 << 20, 0x55);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.write_bytes(lots));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 2900ms);
    EXPECT_FALSE(link.usable());
    ASSERT_EQ(reporter.warnings.size(), 1u);
    EXPECT_EQ(reporter.warnings[0], kWriteTimeoutText);
    EXPECT_EQ(reporter.quitRequests, 1);
    // Later writes fail at once; closing sends no power-off.
    const std::uint8_t one[] = {1};
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.write_bytes(one));
    EXPECT_LT(std::chrono::steady_clock::now() - again, 500ms);
    int powerOffs = 0;
    link.close_port([&] { ++powerOffs; });
    EXPECT_EQ(powerOffs, 0);
}

TEST(TermiosPortTest, WhatIsNoSerialPortFailsToOpenAndSaysWhy) {
    const struct {
        const char* device;
        int code;
        const char* says;
    } cases[] = {
        {"/dev/zeb-no-such-port", ENOENT, "No such file"},
        {"/dev/null", ENOTTY, "is not a serial port"},
    };
    for (const auto& c : cases) {
        TermiosPort port;
        auto r = port.open(c.device);
        ASSERT_FALSE(r.ok()) << c.device;
        EXPECT_EQ(r.error().systemError(), c.code) << c.device;
        EXPECT_NE(r.error().message.find(c.says), std::string::npos) << r.error().message;
    }
}

}  // namespace
}  // namespace zeb::rig
