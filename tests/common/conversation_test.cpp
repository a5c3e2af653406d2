// Conversations: pokes and requests carry bytes unchanged, every transaction
// keeps its time limit, refusals are explicit, and a broken client or server
// harms nobody but itself.
#include "common/bus/Conversation.h"
#include "common/bus/ConversationWire.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <csignal>
#include <map>
#include <mutex>
#include <thread>

namespace zeb::bus {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kService = "RECEIVER CONTROL";
constexpr const char* kTopic = "COMMAND";
constexpr std::uint32_t kFormat = 2;

// Accepts topic "COMMAND"; keeps the last poke per format; format 99 is not processed.
class RecordingHandler : public ConversationHandler {
public:
    bool acceptTopic(std::string_view topic) override { return topic == kTopic; }
    PokeAnswer poke(std::string_view topic, std::uint32_t format,
                    std::span<const std::uint8_t> data) override {
        std::lock_guard lock(mutex_);
        topics_.emplace_back(topic);
        if (format == 99) return PokeAnswer::NotProcessed;
        stored_[format].assign(data.begin(), data.end());
        return PokeAnswer::Acknowledged;
    }
    std::optional<std::vector<std::uint8_t>> request(std::string_view,
                                                     std::uint32_t format) override {
        std::lock_guard lock(mutex_);
        auto it = stored_.find(format);
        if (it == stored_.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> topics() {
        std::lock_guard lock(mutex_);
        return topics_;
    }

private:
    std::mutex mutex_;
    std::map<std::uint32_t, std::vector<std::uint8_t>> stored_;
    std::vector<std::string> topics_;
};

// Runs a server's process() whenever its descriptor is readable, as a
// program's event loop would, until destroyed.
class ServerLoop {
public:
    explicit ServerLoop(ConversationServer& server)
        : server_(server), stop_(::eventfd(0, EFD_CLOEXEC)), thread_([this] { run(); }) {}
    ~ServerLoop() {
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        thread_.join();
        ::close(stop_);
    }

private:
    void run() {
        for (;;) {
            pollfd p[2] = {{server_.fd(), POLLIN, 0}, {stop_, POLLIN, 0}};
            ::poll(p, 2, -1);
            if (p[1].revents) return;
            server_.process();
        }
    }
    ConversationServer& server_;
    int stop_;
    std::thread thread_;
};

std::vector<std::uint8_t> frame(FrameType type, const std::vector<std::uint8_t>& payload = {}) {
    return encodeFrame(type, payload);
}

std::vector<std::uint8_t> allByteValues() {
    std::vector<std::uint8_t> v(256);
    for (int i = 0; i < 256; ++i) v[i] = static_cast<std::uint8_t>(i);
    return v;
}

// A 512-byte command record: code 100, length, then a payload with every
// kind of byte in it.
std::vector<std::uint8_t> record512() {
    std::vector<std::uint8_t> v(512);
    v[0] = 100;
    v[2] = 0xFA;
    v[3] = 0x01;
    for (std::size_t i = 6; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return v;
}

// A raw connection to the service socket, for speaking the protocol badly.
class RawClient {
public:
    explicit RawClient(const fs::path& socket)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", socket.c_str());
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    void connect(std::string_view service = kService, std::string_view topic = kTopic) {
        std::string hello(service);
        hello.push_back('\0');
        hello.append(topic);
        send(encodeFrame(FrameType::Connect,
                         {reinterpret_cast<const std::uint8_t*>(hello.data()), hello.size()}));
    }
    // True when the other side hangs up within the time (answers are skipped).
    bool hungUpWithin(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[256];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return true;
        }
        return false;
    }

private:
    int fd_;
    bool connected_ = false;
};

class Conversation : public ::testing::Test {
protected:
    fs::path socketPath() const { return dir_ / "dde" / kService; }

    test::TempDir dir_;
    test::ScopedEnv bus_{"ZEB_BUS_DIR", dir_.path().string()};
};

class ConversationInProcess : public Conversation {
protected:
    void SetUp() override {
        auto s = ConversationServer::create(kService, handler_);
        ASSERT_TRUE(s.ok()) << s.error().message;
        server_.emplace(std::move(s).value());
        loop_.emplace(*server_);
    }
    void TearDown() override { loop_.reset(); }

    ConversationClient connect() {
        auto c = ConversationClient::connect(kService, kTopic, 5s);
        EXPECT_TRUE(c.ok()) << c.error().message;
        return std::move(c).value();
    }

    RecordingHandler handler_;
    std::optional<ConversationServer> server_;
    std::optional<ServerLoop> loop_;
};

TEST_F(ConversationInProcess, PokesAndRequestsCarryBytesUnchanged) {
    auto client = connect();
    EXPECT_EQ(client.request(kFormat).value(), std::nullopt) << "nothing poked yet";
    for (const auto& data : {allByteValues(), record512(), std::vector<std::uint8_t>{},
                             std::vector<std::uint8_t>(kMaxFrameBytes - 4, 0x5A)}) {
        auto poked = client.poke(kFormat, data);
        ASSERT_TRUE(poked.ok()) << poked.error().message;
        EXPECT_EQ(*poked, PokeAnswer::Acknowledged);
        auto answer = client.request(kFormat);
        ASSERT_TRUE(answer.ok()) << answer.error().message;
        ASSERT_TRUE(answer->has_value()) << "empty data is data, not \"no data\"";
        EXPECT_EQ(**answer, data);
    }
    EXPECT_EQ(client.poke(99, allByteValues()).value(), PokeAnswer::NotProcessed);
    EXPECT_EQ(client.request(7).value(), std::nullopt);
    EXPECT_EQ(handler_.topics().front(), kTopic);
}

TEST_F(ConversationInProcess, ATooLargePokeIsRefusedBeforeSendingAndTheConversationGoesOn) {
    auto client = connect();
    auto r = client.poke(kFormat, std::vector<std::uint8_t>(kMaxFrameBytes - 3, 0));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, BusError::TooLarge);
    EXPECT_EQ(client.poke(kFormat, allByteValues()).value(), PokeAnswer::Acknowledged);
}

TEST_F(ConversationInProcess, WrongTopicOrServiceAndBadNamesAreRefused) {
    auto wrongTopic = ConversationClient::connect(kService, "command", 5s);
    ASSERT_FALSE(wrongTopic.ok());
    EXPECT_EQ(wrongTopic.error().code, BusError::Refused);

    // Somebody who asks for another service on this socket is refused as well.
    RawClient raw(socketPath());
    raw.connect("RECEIVER CONTROL2", kTopic);
    EXPECT_TRUE(raw.hungUpWithin(5s));

    EXPECT_EQ(ConversationClient::connect("A/B", kTopic).error().code, BusError::BadName);
    EXPECT_EQ(ConversationClient::connect(kService, "").error().code, BusError::BadName);
    EXPECT_EQ(ConversationClient::connect(kService, "TOPIC\nX").error().code, BusError::BadName);
    connect();  // the server is unharmed
}

TEST_F(ConversationInProcess, ABrokenClientIsDisconnectedWhileAnotherGoesOn) {
    auto good = connect();
    ASSERT_EQ(good.poke(kFormat, record512()).value(), PokeAnswer::Acknowledged);

    struct Breakage {
        const char* what;
        bool handshake;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Breakage> cases = {
        {"poke before connect", false, frame(FrameType::Poke, std::vector<std::uint8_t>(8))},
        {"length over the limit", true, {4, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"limit plus one", true, {4, 0x01, 0x00, 0x01, 0x00}},
        {"unknown type", true, frame(static_cast<FrameType>(200), {})},
        {"second connect", true, frame(FrameType::Connect, {})},
        {"request without format", true, frame(FrameType::Request, {})},
        {"request with extra bytes", true, frame(FrameType::Request, std::vector<std::uint8_t>(5))},
        {"poke without format", true, frame(FrameType::Poke, {1, 2})},
        {"an answer frame", true, frame(FrameType::Ack, {})},
        {"connect without NUL", false, frame(FrameType::Connect, {'R', 'C'})},
    };
    for (const auto& c : cases) {
        RawClient bad(socketPath());
        ASSERT_TRUE(bad.connected());
        if (c.handshake) bad.connect();
        bad.send(c.bytes);
        EXPECT_TRUE(bad.hungUpWithin(5s)) << c.what;
        auto answer = good.request(kFormat);
        ASSERT_TRUE(answer.ok()) << c.what << ": " << answer.error().message;
        EXPECT_EQ(answer->value(), record512()) << c.what;
    }
}

TEST_F(ConversationInProcess, AFrameArrivingInPiecesIsAssembled) {
    RawClient raw(socketPath());
    const std::string text = std::string(kService) + '\0' + kTopic;
    const auto connectFrame = encodeFrame(
        FrameType::Connect, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    for (std::uint8_t b : connectFrame) {
        raw.send({b});
        std::this_thread::sleep_for(1ms);
    }
    auto poke = frame(FrameType::Poke, {2, 0, 0, 0, 'h', 'i'});
    raw.send(poke);
    EXPECT_TRUE(test::eventually([&] { return handler_.topics().size() == 1; }));
}

TEST_F(ConversationInProcess, ClientsOverTheConnectionLimitAreTurnedAway) {
    std::vector<ConversationClient> clients;
    for (int i = 0; i < 32; ++i) clients.push_back(connect());
    auto extra = ConversationClient::connect(kService, kTopic, 5s);
    ASSERT_FALSE(extra.ok());
    EXPECT_NE(extra.error().code, BusError::Timeout) << "turned away at once, not left waiting";
    clients.pop_back();
    EXPECT_TRUE(
        test::eventually([&] { return ConversationClient::connect(kService, kTopic, 5s).ok(); }));
}

TEST_F(Conversation, NoServerIsNotFoundAndAStaleSocketIsCleared) {
    auto none = ConversationClient::connect(kService, kTopic, 1s);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().code, BusError::NotFound);

    RecordingHandler handler;
    {
        auto s = ConversationServer::create(kService, handler);
        ASSERT_TRUE(s.ok());
    }
    EXPECT_EQ(ConversationClient::connect(kService, kTopic, 1s).error().code, BusError::NotFound);
    auto s1 = ConversationServer::create(kService, handler);
    ASSERT_TRUE(s1.ok());
    auto s2 = ConversationServer::create(kService, handler);
    ASSERT_FALSE(s2.ok());
    EXPECT_EQ(s2.error().code, BusError::AlreadyRunning);
    EXPECT_EQ(ConversationServer::create("X.lock", handler).error().code, BusError::BadName);
}

TEST_F(Conversation, AServerThatNeverProcessesLetsConnectTimeOut) {
    RecordingHandler handler;
    auto server = ConversationServer::create(kService, handler);
    ASSERT_TRUE(server.ok());
    const auto t0 = Clock::now();
    auto c = ConversationClient::connect(kService, kTopic, 300ms);
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.error().code, BusError::Timeout);
    EXPECT_GE(Clock::now() - t0, 250ms);
    EXPECT_LT(Clock::now() - t0, 5s);
}

// A server that answers with whatever the test hands it.
class FakeServer {
public:
    FakeServer(const fs::path& socket, std::vector<std::uint8_t> reply)
        : listener_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", socket.c_str());
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listener_, 4), 0);
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0) return;
            char buf[256];
            (void)::recv(c, buf, sizeof buf, 0);  // the client's Connect
            if (!reply.empty()) {
                (void)::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
                pollfd p{c, POLLIN, 0};
                ::poll(&p, 1, 3000);  // until the client hangs up
            }
            ::close(c);
        });
    }
    ~FakeServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

private:
    int listener_;
    std::thread thread_;
};

TEST_F(Conversation, AServerAnsweringNonsenseEndsTheConversationSafely) {
    ASSERT_TRUE(ensureDirectory().ok());
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> replies = {
        {"huge length", {2, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"answer of another question", frame(FrameType::Data, {1})},
        {"connected with payload", frame(FrameType::Connected, {1})},
        {"hang-up", {}},
    };
    for (const auto& [what, reply] : replies) {
        fs::remove(socketPath());
        FakeServer fake(socketPath(), reply);
        auto c = ConversationClient::connect(kService, kTopic, 2s);
        ASSERT_FALSE(c.ok()) << what;
        EXPECT_NE(c.error().code, BusError::Timeout) << what;
        EXPECT_FALSE(c.error().message.empty());
    }
}

class ConversationPeer : public Conversation {
protected:
    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{test::busPeerPath(), "serve", kService};
        argv.insert(argv.end(), extra.begin(), extra.end());
        peer_.emplace(argv);
        ASSERT_TRUE(peer_->waitReady());
    }
    std::optional<test::ChildProcess> peer_;
};

TEST_F(ConversationPeer, ARoundTripThroughAnotherProgramCarriesBytesUnchanged) {
    start();
    auto client = ConversationClient::connect(kService, kTopic);
    ASSERT_TRUE(client.ok()) << client.error().message;
    EXPECT_EQ(client->request(kFormat).value(), std::nullopt);
    for (const auto& data : {allByteValues(), record512()}) {
        ASSERT_EQ(client->poke(kFormat, data).value(), PokeAnswer::Acknowledged);
        EXPECT_EQ(client->request(kFormat).value(), data);
    }
    EXPECT_EQ(client->poke(99, {}).value(), PokeAnswer::NotProcessed);
    EXPECT_EQ(ConversationClient::connect(kService, "SYSTEM").error().code, BusError::Refused);
}

TEST_F(ConversationPeer, ARequestToAServerThatNeverAnswersTimesOut) {
    start({"--mute"});
    auto client = ConversationClient::connect(kService, kTopic, 5s);
    ASSERT_TRUE(client.ok()) << client.error().message;
    client->setTimeout(300ms);
    const auto t0 = Clock::now();
    auto r = client->request(kFormat);
    const auto elapsed = Clock::now() - t0;
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, BusError::Timeout);
    EXPECT_GE(elapsed, 250ms);
    EXPECT_LT(elapsed, 3s);
    // A late answer must not be taken for the next one: the conversation is over.
    auto next = client->poke(kFormat, allByteValues());
    ASSERT_FALSE(next.ok());
    EXPECT_EQ(next.error().systemError(), ENOTCONN);
}

TEST_F(ConversationPeer, AServerThatDiesEndsTheConversationWithAnError) {
    start();
    auto client = ConversationClient::connect(kService, kTopic, 5s);
    ASSERT_TRUE(client.ok());
    peer_->signal(SIGKILL);
    peer_->waitExit();
    auto r = client->request(kFormat);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().code, BusError::Timeout);
    EXPECT_EQ(ConversationClient::connect(kService, kTopic, 1s).error().code, BusError::NotFound);
    RecordingHandler handler;
    EXPECT_TRUE(ConversationServer::create(kService, handler).ok())
        << "the service can be offered again";
}

}  // namespace
}  // namespace zeb::bus
