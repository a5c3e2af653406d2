// Mailslots: their names, the size limit on both sides, writers that find
// nobody, and a reader in another program that survives oversized datagrams.
#include "common/bus/Bus.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zeb::bus {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class Mailslot : public ::testing::Test {
protected:
    TempDir dir_;
    test::ScopedEnv bus_{"ZEB_BUS_DIR", dir_.path().string()};
};

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string hex(const std::vector<std::uint8_t>& data) {
    std::string out;
    char buf[4];
    for (auto b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

ssize_t sendRaw(const fs::path& path, const std::vector<std::uint8_t>& data) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    const ssize_t n =
        ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(fd);
    return n;
}

TEST_F(Mailslot, TheWindowsNameAndItsShortFormsNameTheSameSocket) {
    const fs::path expected = dir_ / "mailslot" / "MAIL" / "NMEA" / "IN";
    for (const char* name : {"\\\\.\\mailslot\\MAIL\\NMEA\\IN", "\\\\.\\MAILSLOT\\MAIL\\NMEA\\IN",
                             "MAIL/NMEA/IN", "MAIL\\NMEA\\IN"}) {
        auto p = mailslotPath(name);
        ASSERT_TRUE(p.ok()) << name << ": " << p.error().message;
        EXPECT_EQ(*p, expected) << name;
    }
}

TEST_F(Mailslot, NamesThatLeaveTheMailslotDirectoryOrCollideAreRefused) {
    const std::string bad[] = {
        "",
        "\\\\.\\mailslot\\",
        "MAIL//IN",
        "MAIL/NMEA/",
        "/MAIL",
        "MAIL/../../class/Nimbarra",
        "..",
        "MAIL\\.\\IN",
        "MAIL/NMEA/IN.lock",
        "MAIL/NMEA/IN.max",
        "MAIL/\nIN",
        std::string(kMaxNameBytes + 1, 'M'),
        std::string(30, 'A') + "/" + std::string(30, 'B') + "/" + std::string(30, 'C')};
    for (const auto& name : bad) {
        auto p = mailslotPath(name);
        ASSERT_FALSE(p.ok()) << name;
        EXPECT_EQ(p.error().code, BusError::BadName) << name;
        EXPECT_FALSE(MailslotServer::create(name, 128).ok()) << name;
        EXPECT_EQ(writeMailslot(name, bytes("x")).error().code, BusError::BadName) << name;
    }
}

TEST_F(Mailslot, MessagesUpToTheLimitArriveWholeAndInOrder) {
    auto server = MailslotServer::create("\\\\.\\mailslot\\MAIL\\NMEA\\OUT", 128);
    ASSERT_TRUE(server.ok()) << server.error().message;
    EXPECT_EQ(server->maxMessageBytes(), 128u);
    const auto sentence = bytes("$GPGLL,5230.000,N,01325.000,E,120000,A*3C\r\n");
    const std::vector<std::uint8_t> full(128, 0xFF);
    for (const auto& m : {sentence, full, std::vector<std::uint8_t>{}})
        ASSERT_TRUE(writeMailslot("MAIL/NMEA/OUT", m).ok());
    EXPECT_EQ(server->read(), sentence);
    EXPECT_EQ(server->read(), full);
    EXPECT_EQ(server->read(), std::vector<std::uint8_t>{});
    EXPECT_FALSE(server->read().has_value());
}

TEST_F(Mailslot, AnOversizedMessageIsRefusedByTheWriterAndDroppedByTheReader) {
    auto server = MailslotServer::create("MAIL/NMEA/OUT", 128);
    ASSERT_TRUE(server.ok());
    auto r = writeMailslot("MAIL/NMEA/OUT", std::vector<std::uint8_t>(129, 'x'));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, BusError::TooLarge);
    EXPECT_FALSE(server->read().has_value()) << "nothing was sent";

    // Somebody who ignores the published limit gets nothing through either.
    const fs::path socket = dir_ / "mailslot" / "MAIL" / "NMEA" / "OUT";
    ASSERT_EQ(sendRaw(socket, std::vector<std::uint8_t>(129, 'y')), 129);
    ASSERT_EQ(sendRaw(socket, std::vector<std::uint8_t>(60000, 'z')), 60000);
    ASSERT_TRUE(writeMailslot("MAIL/NMEA/OUT", bytes("ok")).ok());
    EXPECT_EQ(server->read(), bytes("ok"));
    EXPECT_EQ(server->rejectedCount(), 2u);
}

TEST_F(Mailslot, WritingWhereNobodyCreatedTheMailslotIsNotFound) {
    auto r = writeMailslot("\\\\.\\mailslot\\MAIL\\NMEA\\IN", bytes("$GPGGA\r\n"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, BusError::NotFound);
    {
        auto server = MailslotServer::create("MAIL/NMEA/IN", 128);
        ASSERT_TRUE(server.ok());
    }
    EXPECT_EQ(writeMailslot("MAIL/NMEA/IN", bytes("$")).error().code, BusError::NotFound)
        << "a mailslot that was closed is gone";
}

TEST_F(Mailslot, HasOneCreatorAtATime) {
    auto first = MailslotServer::create("MAIL/NMEA/OUT", 128);
    ASSERT_TRUE(first.ok());
    auto second = MailslotServer::create("\\\\.\\mailslot\\MAIL\\NMEA\\OUT", 256);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, BusError::AlreadyRunning);
    EXPECT_EQ(writeMailslot("MAIL/NMEA/OUT", std::vector<std::uint8_t>(129, 0)).error().code,
              BusError::TooLarge)
        << "the refused creator did not change the limit";
    first = MailslotServer::create("MAIL/OTHER", 16);  // the old one is released
    ASSERT_TRUE(first.ok());
    EXPECT_TRUE(MailslotServer::create("MAIL/NMEA/OUT", 256).ok());
}

TEST_F(Mailslot, UnusableLimitsAndADamagedLimitFileAreErrors) {
    EXPECT_FALSE(MailslotServer::create("MAIL/A", 0).ok());
    EXPECT_FALSE(MailslotServer::create("MAIL/A", 1 << 20).ok());
    auto server = MailslotServer::create("MAIL/A", 64);
    ASSERT_TRUE(server.ok());
    for (const char* damage : {"", "abc", "64x", "0", "-5", "999999999999999999999"}) {
        test::writeFile(dir_ / "mailslot" / "MAIL" / "A.max", damage);
        auto r = writeMailslot("MAIL/A", bytes("x"));
        ASSERT_FALSE(r.ok()) << damage;
        EXPECT_EQ(r.error().code, BusError::Malformed) << damage;
    }
    EXPECT_FALSE(server->read().has_value());
}

TEST_F(Mailslot, AFullQueueMakesTheWriterFailInsteadOfBlocking) {
    auto server = MailslotServer::create("MAIL/NMEA/IN", 128);
    ASSERT_TRUE(server.ok());
    Result<void> r = success();
    int written = 0;
    while (written < 100000 && (r = writeMailslot("MAIL/NMEA/IN", bytes("$GPGGA\r\n"))).ok())
        ++written;
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().systemError(), EAGAIN);
    EXPECT_GT(written, 0);
}

TEST_F(Mailslot, AReaderInAnotherProgramDropsOversizedDatagramsAndKeepsWorking) {
    const fs::path log = dir_ / "peer.log";
    test::ChildProcess peer({test::busPeerPath(), "mailslot", "\\\\.\\mailslot\\MAIL\\NMEA\\IN",
                             "128", "--log", log.string()});
    ASSERT_TRUE(peer.waitReady());

    const std::string sentence = "$GPGGA,120000,5230.000,N,01325.000,E,1,05,,34,M,,,,*00\r";
    std::vector<std::uint8_t> withNul = bytes(sentence);
    withNul.push_back(0);
    ASSERT_TRUE(writeMailslot("MAIL\\NMEA\\IN", withNul).ok());
    EXPECT_EQ(writeMailslot("MAIL/NMEA/IN", std::vector<std::uint8_t>(129, 'A')).error().code,
              BusError::TooLarge);
    ASSERT_EQ(
        sendRaw(dir_ / "mailslot" / "MAIL" / "NMEA" / "IN", std::vector<std::uint8_t>(4096, 'B')),
        4096);
    ASSERT_TRUE(writeMailslot("MAIL/NMEA/IN", bytes("after")).ok());

    ASSERT_TRUE(test::eventually([&] { return test::readLines(log).size() >= 3; }));
    auto lines = test::readLines(log);
    std::vector<std::string> expected{
        "message " + std::to_string(withNul.size()) + " " + hex(withNul),
        "message 5 6166746572",  // "after"
        "rejected 1"};
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace zeb::bus
