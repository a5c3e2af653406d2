// The network ports against real clients: Hamlib's own rigctl (model 2,
// which reads \dump_state and drives the port as fldigi and WSJT-X do), plain
// sockets for the protocol's corners and for clients that misbehave, and the
// NMEA feed's readers, one of which never reads.
#include "rig/NmeaTcpServer.h"
#include "rig/ReceiverProfile.h"
#include "rig/RigctlServer.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace zeb::rig {
namespace {

using namespace std::chrono_literals;

class FakeRadio : public RigctlTarget {
public:
    double hz = 7000000;
    unsigned current = ModeFlag::Usb;
    std::optional<int> strength = -7;
    double frequencyHz() const override { return hz; }
    bool setFrequencyHz(double value) override {
        if (value < lowHz() || value > highHz()) return false;
        hz = value;
        return true;
    }
    unsigned mode() const override { return current; }
    bool setMode(unsigned flag) override {
        current = flag;
        return true;
    }
    std::uint32_t features() const override {
        return ModeFlag::Lsb | ModeFlag::Usb | ModeFlag::Cw | ModeFlag::CwNarrow | ModeFlag::Am |
               ModeFlag::AmNarrow | ModeFlag::Fm;
    }
    double lowHz() const override { return 100e3; }
    double highHz() const override { return 30e6; }
    std::optional<int> strengthDb() const override { return strength; }
};

// Runs a server's process() on its descriptor until `done` holds; false when
// it never does (a bound against hanging, not a timing check).
template <class Server>
bool pumpUntil(Server& server, const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        pollfd p{server.fd(), POLLIN, 0};
        ::poll(&p, 1, 10);
        server.process();
    }
    return done();
}

class Client {
public:
    explicit Client(std::uint16_t port, int receiveBuffer = 0)
        : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~Client() { ::close(fd_); }
    void send(std::string_view text) {
        (void)::send(fd_, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    void stopSending(std::string_view last) {
        send(last);
        ::shutdown(fd_, SHUT_WR);
    }
    // Reads what waits; false once the server has hung up.
    bool read() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) != 0;) {
            if (n < 0) return errno == EAGAIN;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return false;
    }
    std::string got;

private:
    int fd_;
};

struct Bench {
    FakeRadio radio;
    RigctlServer server = std::move(RigctlServer::listen(0, radio).value());
};

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "";
    while (!dirs.empty()) {
        const auto colon = std::min(dirs.find(':'), dirs.size());
        const auto candidate = std::filesystem::path(dirs.substr(0, colon)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        dirs.remove_prefix(std::min(colon + 1, dirs.size()));
    }
    return {};
}

struct RigctlCase {
    std::vector<std::string> commands;
    unsigned modeBefore;
    std::string output;
    double hzAfter;
    unsigned modeAfter;
};

TEST(RigctlServer, HamlibRigctlReadsAndSetsFrequencyAndMode) {
    const std::string rigctl = onPath("rigctl");
    if (rigctl.empty()) GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
    using namespace ModeFlag;
    const RigctlCase cases[] = {
        {{"f"}, Usb, "7000000\n", 7e6, Usb},
        {{"F", "14100000"}, Usb, "", 14.1e6, Usb},
        {{"M", "USB", "0"}, Lsb, "", 7e6, Usb},
        {{"M", "CW", "500"}, Usb, "", 7e6, CwNarrow},
        {{"M", "PKTLSB", "0"}, Usb, "", 7e6, Lsb},
        {{"m"}, AmNarrow, "AM\n6000\n", 7e6, AmNarrow},
        {{"v", "l", "STRENGTH"}, Usb, "VFOA\n-7\n", 7e6, Usb},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands.front());
        Bench bench;
        bench.radio.current = c.modeBefore;
        std::vector<std::string> argv = {rigctl, "-m", "2", "-r",
                                         "127.0.0.1:" + std::to_string(bench.server.port())};
        argv.insert(argv.end(), c.commands.begin(), c.commands.end());
        test::ChildProcess child(argv);
        ASSERT_TRUE(pumpUntil(bench.server, [&] { return child.waitExit(0ms).has_value(); }));
        EXPECT_EQ(child.readOutput(), c.output);
        EXPECT_EQ(bench.radio.hz, c.hzAfter);
        EXPECT_EQ(bench.radio.current, c.modeAfter);
        // rigctl's "q" on leaving closes the connection.
        EXPECT_TRUE(pumpUntil(bench.server, [&] { return bench.server.clientCount() == 0; }));
    }
}

// Sends `input` and collects the answer until it is as long as `expected`
// or the server hangs up.
std::string exchange(Bench& bench, Client& client, std::string_view input, std::size_t expected) {
    client.got.clear();
    client.send(input);
    pumpUntil(bench.server, [&] { return !client.read() || client.got.size() >= expected; });
    return client.got;
}

TEST(RigctlServer, AnswersCommandsAsRigctldDoes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"f\n", "7000000\n"},
        {"F 14100000.4\nf\n", "RPRT 0\n14100000\n"},
        {"\\set_freq 7100000\n\\get_freq\n", "RPRT 0\n7100000\n"},
        {"F -5\nF nan\nF inf\nF 1e999\nF 14,1\nF\n",
         "RPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\n"},
        {"F 40000000\nf\n", "RPRT -9\n7000000\n"},
        {"M CW 500\nm\nM CW -1\nm\n", "RPRT 0\nCW\n500\nRPRT 0\nCW\n500\n"},
        {"M AM 0\nm\n", "RPRT 0\nAM\n0\n"},
        {"M WFM 0\nM XYZ 0\nM USB\nM USB wide\n", "RPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\n"},
        {"\\chk_vfo\nv\nt\ns\n\\get_powerstat\n", "0\nVFOA\n0\n0\nVFOA\n1\n"},
        {"V VFOA\nV VFOB\nV Nowhere\n", "RPRT 0\nRPRT -11\nRPRT -1\n"},
        {"T 0\nT 1\nS 0 1\nS 1 VFOB\n", "RPRT 0\nRPRT -11\nRPRT 0\nRPRT -11\n"},
        {"\x88\n\x8b\n", "1\n0\n"},
        {"l STRENGTH\nl RFPOWER\n", "-7\nRPRT -11\n"},
        {"Y 1\n\\no_such_command\nhello\n\xC3\xA9 f\n", "RPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\n"},
        {"f m v\r\n# a comment f\n\n", "7000000\nUSB\n0\nVFOA\n"},
        {"+f\n", "get_freq:\nFrequency: 7000000\nRPRT 0\n"},
        {";\\get_mode\n", "get_mode:;Mode: USB;Passband: 0;RPRT 0\n"},
        {"|F 7100000\n", "set_freq: 7100000|RPRT 0\n"},
        {"+F -1\n+\\chk_vfo\n", "set_freq: -1\nRPRT -1\nChkVFO: 0\n"},
        {"\\set_vfo_opt 1\nf VFOA\nF VFOB 7100000\nf\n\\chk_vfo\n",
         "RPRT 0\n7000000\nRPRT -11\nRPRT -1\n1\n"},
    };
    for (const auto& [input, answer] : cases) {
        SCOPED_TRACE(input);
        Bench bench;
        Client client(bench.server.port());
        EXPECT_EQ(exchange(bench, client, input, answer.size()), answer);
    }
}

struct EndCase {
    std::string input;
    bool stopSending;  // the client shuts its side down after the input
    std::string_view answer;
    double hzAfter;
};

TEST(RigctlServer, EndsTheConnectionOnQuitOnBadInputAndAfterTheLastLine) {
    const std::string longest(RigctlSession::kMaxLineBytes, '#');
    const EndCase cases[] = {
        {"v\nq\nF 14100000\n", false, "VFOA\nRPRT 0\n", 7e6},
        {"v\n" + longest + "#", false, "VFOA\n", 7e6},
        {"v\nF 14100000\x01\n", false, "VFOA\n", 7e6},
        {"v\nF   14100000", true, "VFOA\nRPRT 0\n", 14.1e6},
    };
    for (const auto& c : cases) {
        Bench bench;
        Client client(bench.server.port());
        if (c.stopSending) client.stopSending(c.input);
        EXPECT_EQ(exchange(bench, client, c.stopSending ? "" : c.input, 1000), c.answer);
        EXPECT_EQ(bench.server.clientCount(), 0u);
        EXPECT_EQ(bench.radio.hz, c.hzAfter);
    }
    Bench bench;  // a line of the longest length is still read
    Client client(bench.server.port());
    EXPECT_EQ(exchange(bench, client, longest + "\nv\n", 5), "VFOA\n");
}

TEST(RigctlServer, RefusesClientsPastTheLimitAndDropsOneThatNeverReads) {
    Bench bench;
    std::vector<std::unique_ptr<Client>> clients;
    for (std::size_t i = 0; i < RigctlServer::kMaxClients + 1; ++i)
        clients.push_back(std::make_unique<Client>(bench.server.port(), 4096));
    Client& refused = *clients.back();
    EXPECT_TRUE(pumpUntil(bench.server, [&] { return !refused.read(); }));
    EXPECT_EQ(bench.server.clientCount(), RigctlServer::kMaxClients);

    // Client 0 asks for the state over and over and reads nothing.
    Client& deaf = *clients.front();
    const std::string burst = [] {
        std::string s;
        for (int i = 0; i < 100; ++i) s += "\\dump_state\n";
        return s;
    }();
    for (int i = 0; i < 10000 && bench.server.clientCount() == RigctlServer::kMaxClients; ++i) {
        deaf.send(burst);
        bench.server.process();
    }
    EXPECT_EQ(bench.server.clientCount(), RigctlServer::kMaxClients - 1);
    Client& other = *clients[1];
    EXPECT_EQ(exchange(bench, other, "f\n", 8), "7000000\n");
}

TEST(NmeaTcpServer, SendsEverySentenceToEveryClientAndDropsOneThatFallsBehind) {
    auto server = std::move(NmeaTcpServer::listen(0).value());
    Client a(server.port()), b(server.port());
    ASSERT_TRUE(pumpUntil(server, [&] { return server.clientCount() == 2; }));
    a.send("?WATCH={\"enable\":true}\n");  // what readers send is ignored
    server.process();
    server.publish("$GPGGA,1*00");
    server.publish("$GPRMC,2*00\r\n");
    const std::string lines = "$GPGGA,1*00\r\n$GPRMC,2*00\r\n";
    for (Client* c : {&a, &b}) {
        EXPECT_TRUE(pumpUntil(server, [&] { return !c->read() || c->got.size() >= lines.size(); }));
        EXPECT_EQ(c->got, lines);
    }

    Client deaf(server.port(), 4096);
    ASSERT_TRUE(pumpUntil(server, [&] { return server.clientCount() == 3; }));
    const std::string sentence = "$GPGSV," + std::string(70, '9') + "*00";
    std::size_t published = 0;
    for (; published < 100000 && server.droppedCount() == 0; ++published) {
        server.publish(sentence);
        a.read();
        b.read();
    }
    EXPECT_EQ(server.droppedCount(), 1u);
    EXPECT_EQ(server.clientCount(), 2u);
    a.got.clear();
    server.publish("$GPZDA,3*00");
    EXPECT_TRUE(pumpUntil(server, [&] { return !a.read() || a.got.ends_with("$GPZDA,3*00\r\n"); }));
}

}  // namespace
}  // namespace zeb::rig
