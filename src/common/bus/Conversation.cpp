// Conversations over a Unix stream socket at <bus>/dde/<SERVICE>.
//
// Every frame is: type (u8), payload length (u32, little-endian), payload of
// at most kMaxFrameBytes bytes. A conversation runs:
//
//   client                              server
//   Connect  "SERVICE\0TOPIC"      ->   Connected | Refused (then hangs up)
//   Poke     format u32 + data     ->   Ack | Nack
//   Request  format u32            ->   Data (the bytes, unchanged) | NoData
//
// Service and topic are compared exactly. Any other frame, a transaction
// before Connect, or a length over the limit is a protocol error: the server
// hangs up on that client and goes on with the others; the client reports
// BusError::Malformed and the conversation is over. The client bounds every
// transaction by its time limit; after a failure the connection is closed,
// since an answer that arrives late would be taken for the next one.
#include "common/bus/Conversation.h"
#include "common/bus/BusInternal.h"
#include "common/bus/ConversationWire.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <map>
#include <thread>

namespace zeb::bus {

namespace fs = std::filesystem;
using detail::Fd;
using detail::inQuotes;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::vector<std::uint8_t> encodeFrame(FrameType type, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> out;
    out.reserve(kFrameHeaderBytes + payload.size());
    detail::ByteWriter w(out);
    w.u8(static_cast<std::uint8_t>(type));
    w.u32(static_cast<std::uint32_t>(payload.size()));
    w.bytes(payload);
    return out;
}

namespace {

constexpr std::size_t kMaxTopicBytes = 255;
constexpr std::size_t kMaxConnections = 32;

struct Frame {
    FrameType type{};
    std::vector<std::uint8_t> payload;
};

bool isValidTopic(std::string_view topic) {
    if (topic.empty() || topic.size() > kMaxTopicBytes) return false;
    for (unsigned char c : topic)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

Result<fs::path> servicePath(std::string_view service) {
    if (!detail::isValidName(service) || service.ends_with(".lock"))
        return Error{BusError::BadName, "The service name " + inQuotes(service) +
                                            " cannot be used: it must have 1 to " +
                                            std::to_string(kMaxNameBytes) +
                                            " bytes without '/' or control characters."};
    auto dir = ensureDirectory();
    if (!dir) return dir.error();
    return *dir / "dde" / std::string(service);
}

fs::path lockPathOf(const fs::path& socketPath) {
    fs::path p = socketPath;
    p += ".lock";
    return p;
}

std::span<const std::uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<std::uint8_t> formatBytes(std::uint32_t format) {
    std::vector<std::uint8_t> out;
    detail::ByteWriter(out).u32(format);
    return out;
}

// Waits until `fd` is ready for `events` or the deadline passes.
Result<void> waitFor(int fd, short events, Clock::time_point deadline, const std::string& service) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Error{BusError::Timeout, "The service " + inQuotes(service) +
                                                " did not answer within the time limit."};
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n > 0) return success();
        if (n < 0 && errno != EINTR)
            return detail::systemError(errno, "Cannot wait for the service");
    }
}

Error hungUp(const std::string& service) {
    return Error{ECONNRESET, "The service " + inQuotes(service) + " ended the conversation."};
}

Result<void> sendAll(int fd, std::span<const std::uint8_t> bytes, Clock::time_point deadline,
                     const std::string& service) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (auto r = waitFor(fd, POLLOUT, deadline, service); !r) return r;
        } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            return hungUp(service);
        } else {
            return detail::systemError(errno, "Cannot send to the service " + inQuotes(service));
        }
    }
    return success();
}

Result<void> receiveAll(int fd, std::span<std::uint8_t> bytes, Clock::time_point deadline,
                        const std::string& service) {
    while (!bytes.empty()) {
        const ssize_t n = ::recv(fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        } else if (n == 0 || errno == ECONNRESET) {
            return hungUp(service);
        } else if (errno == EAGAIN || errno == EINTR) {
            if (auto r = waitFor(fd, POLLIN, deadline, service); !r) return r;
        } else {
            return detail::systemError(errno, "Cannot read from the service " + inQuotes(service));
        }
    }
    return success();
}

Result<Frame> receiveFrame(int fd, Clock::time_point deadline, const std::string& service) {
    std::uint8_t header[kFrameHeaderBytes];
    if (auto r = receiveAll(fd, header, deadline, service); !r) return r.error();
    detail::ByteReader reader(header);
    Frame frame;
    frame.type = static_cast<FrameType>(reader.u8());
    const std::uint32_t length = reader.u32();
    if (length > kMaxFrameBytes)
        return Error{BusError::Malformed, "The service " + inQuotes(service) + " sent a frame of " +
                                              std::to_string(length) +
                                              " bytes, more than the limit."};
    frame.payload.resize(length);
    if (auto r = receiveAll(fd, frame.payload, deadline, service); !r) return r.error();
    return frame;
}

Error unexpectedAnswer(const std::string& service) {
    return Error{BusError::Malformed, "The service " + inQuotes(service) +
                                          " gave an answer that does "
                                          "not fit the question."};
}

}  // namespace

// ---------------------------------------------------------------------------
// Client

Result<ConversationClient> ConversationClient::connect(std::string_view service,
                                                       std::string_view topic,
                                                       std::chrono::milliseconds timeout) {
    const std::string name(service);
    auto path = servicePath(service);
    if (!path) return path.error();
    if (!isValidTopic(topic))
        return Error{BusError::BadName, "The topic " + inQuotes(topic) + " cannot be used."};
    auto address = detail::socketAddress(*path);
    if (!address) return address.error();

    const auto deadline = Clock::now() + timeout;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) return detail::systemError(errno, "Cannot create a socket");
    const Error notFound{BusError::NotFound,
                         "No program offers the service " + inQuotes(service) + "."};
    while (::connect(fd.get(), address->get(), address->length) != 0) {
        if (errno == EINTR) continue;
        if (errno == ENOENT) return notFound;
        if (errno == ECONNREFUSED) {
            detail::removeIfStale(*path, lockPathOf(*path));
            return notFound;
        }
        if (errno != EAGAIN)  // EAGAIN: the server's queue of new connections is full
            return detail::systemError(errno, "Cannot connect to the service " + inQuotes(service));
        if (Clock::now() >= deadline)
            return Error{BusError::Timeout,
                         "The service " + inQuotes(service) + " does not take calls."};
        std::this_thread::sleep_for(10ms);
    }

    std::string hello = name;
    hello.push_back('\0');
    hello.append(topic);
    if (auto r = sendAll(fd.get(), encodeFrame(FrameType::Connect, asBytes(hello)), deadline, name);
        !r)
        return r.error();
    auto answer = receiveFrame(fd.get(), deadline, name);
    if (!answer) return answer.error();
    if (answer->type == FrameType::Refused)
        return Error{BusError::Refused, "The service " + inQuotes(service) + " refused the topic " +
                                            inQuotes(topic) + "."};
    if (answer->type != FrameType::Connected || !answer->payload.empty())
        return unexpectedAnswer(name);

    ConversationClient client;
    client.fd_ = fd.release();
    client.timeout_ = timeout;
    client.service_ = name;
    return client;
}

ConversationClient::ConversationClient(ConversationClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      timeout_(other.timeout_),
      service_(std::move(other.service_)) {}

ConversationClient& ConversationClient::operator=(ConversationClient&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        timeout_ = other.timeout_;
        service_ = std::move(other.service_);
    }
    return *this;
}

ConversationClient::~ConversationClient() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// One transaction within the time limit. After any failure the connection is
// closed: an answer that arrived late would otherwise be taken for the next one.
Result<Frame> transact(int& fd, std::chrono::milliseconds timeout, const std::string& service,
                       FrameType type, std::span<const std::uint8_t> payload) {
    if (fd < 0)
        return Error{ENOTCONN, "The conversation with the service " + inQuotes(service) +
                                   " has ended; connect again."};
    const auto deadline = Clock::now() + timeout;
    auto answer = [&]() -> Result<Frame> {
        if (auto r = sendAll(fd, encodeFrame(type, payload), deadline, service); !r)
            return r.error();
        return receiveFrame(fd, deadline, service);
    }();
    if (!answer) ::close(std::exchange(fd, -1));
    return answer;
}

}  // namespace

Result<PokeAnswer> ConversationClient::poke(std::uint32_t format,
                                            std::span<const std::uint8_t> data) {
    if (data.size() > kMaxFrameBytes - 4)
        return Error{BusError::TooLarge, "A poke carries at most " +
                                             std::to_string(kMaxFrameBytes - 4) + " bytes, not " +
                                             std::to_string(data.size()) + "."};
    std::vector<std::uint8_t> payload = formatBytes(format);
    payload.insert(payload.end(), data.begin(), data.end());
    auto answer = transact(fd_, timeout_, service_, FrameType::Poke, payload);
    if (!answer) return answer.error();
    if (answer->type == FrameType::Ack && answer->payload.empty()) return PokeAnswer::Acknowledged;
    if (answer->type == FrameType::Nack && answer->payload.empty()) return PokeAnswer::NotProcessed;
    ::close(std::exchange(fd_, -1));
    return unexpectedAnswer(service_);
}

Result<std::optional<std::vector<std::uint8_t>>> ConversationClient::request(std::uint32_t format) {
    using Answer = std::optional<std::vector<std::uint8_t>>;
    auto answer = transact(fd_, timeout_, service_, FrameType::Request, formatBytes(format));
    if (!answer) return answer.error();
    if (answer->type == FrameType::Data) return Answer(std::move(answer->payload));
    if (answer->type == FrameType::NoData && answer->payload.empty()) return Answer();
    ::close(std::exchange(fd_, -1));
    return unexpectedAnswer(service_);
}

// ---------------------------------------------------------------------------
// Server

struct ConversationServer::Impl {
    struct Connection {
        Fd fd;
        std::vector<std::uint8_t> in;  // at most one frame
        bool connected = false;
        std::string topic;
    };

    std::string service;
    ConversationHandler* handler = nullptr;
    fs::path socketPath;
    Fd lock;
    Fd listener;
    Fd epoll;
    std::map<int, Connection> connections;

    ~Impl() {
        connections.clear();
        if (listener.valid()) ::unlink(socketPath.c_str());
        listener.reset();
        lock.reset();
    }

    void acceptAll();
    void serve(int fd);
    void drop(int fd);
    bool handleFrames(Connection& c);
    bool handleFrame(Connection& c, FrameType type, std::span<const std::uint8_t> payload);
    static bool answer(Connection& c, FrameType type, std::span<const std::uint8_t> payload = {});
};

void ConversationServer::Impl::acceptAll() {
    for (;;) {
        const int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // EAGAIN: none waits; EMFILE and the like: try again next time
        }
        Fd owned(fd);
        if (connections.size() >= kMaxConnections) continue;  // hang up at once
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &ev) != 0) continue;
        connections[fd].fd = std::move(owned);
    }
}

void ConversationServer::Impl::drop(int fd) {
    ::epoll_ctl(epoll.get(), EPOLL_CTL_DEL, fd, nullptr);
    connections.erase(fd);
}

void ConversationServer::Impl::serve(int fd) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    Connection& c = it->second;
    constexpr std::size_t kCapacity = kFrameHeaderBytes + kMaxFrameBytes;
    // A few reads per call; epoll reports the rest on the next call.
    for (int reads = 0; reads < 16; ++reads) {
        const std::size_t old = c.in.size();
        const std::size_t want = std::min<std::size_t>(kCapacity - old, 4096);
        c.in.resize(old + want);
        const ssize_t n = ::recv(fd, c.in.data() + old, want, MSG_DONTWAIT);
        c.in.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        if (n <= 0 || !handleFrames(c)) {
            drop(fd);
            return;
        }
    }
}

bool ConversationServer::Impl::handleFrames(Connection& c) {
    while (c.in.size() >= kFrameHeaderBytes) {
        detail::ByteReader header({c.in.data(), kFrameHeaderBytes});
        const auto type = static_cast<FrameType>(header.u8());
        const std::uint32_t length = header.u32();
        if (length > kMaxFrameBytes) return false;
        if (c.in.size() < kFrameHeaderBytes + length) return true;
        const std::vector<std::uint8_t> payload(c.in.begin() + kFrameHeaderBytes,
                                                c.in.begin() + kFrameHeaderBytes + length);
        c.in.erase(c.in.begin(), c.in.begin() + kFrameHeaderBytes + length);
        if (!handleFrame(c, type, payload)) return false;
    }
    return true;
}

bool ConversationServer::Impl::handleFrame(Connection& c, FrameType type,
                                           std::span<const std::uint8_t> payload) {
    if (!c.connected) {
        if (type != FrameType::Connect) return false;
        const std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
        const std::size_t nul = text.find('\0');
        if (nul == std::string_view::npos) return false;
        const std::string_view askedService = text.substr(0, nul);
        const std::string_view topic = text.substr(nul + 1);
        if (askedService != service || !isValidTopic(topic) || !handler->acceptTopic(topic)) {
            answer(c, FrameType::Refused);
            return false;
        }
        c.connected = true;
        c.topic = std::string(topic);
        return answer(c, FrameType::Connected);
    }
    detail::ByteReader reader(payload);
    const std::uint32_t format = reader.u32();
    if (!reader.ok()) return false;
    switch (type) {
        case FrameType::Poke: {
            const auto result = handler->poke(c.topic, format, payload.subspan(4));
            return answer(c, result == PokeAnswer::Acknowledged ? FrameType::Ack : FrameType::Nack);
        }
        case FrameType::Request: {
            if (payload.size() != 4) return false;
            const auto data = handler->request(c.topic, format);
            if (!data || data->size() > kMaxFrameBytes) return answer(c, FrameType::NoData);
            return answer(c, FrameType::Data, *data);
        }
        default: return false;
    }
}

bool ConversationServer::Impl::answer(Connection& c, FrameType type,
                                      std::span<const std::uint8_t> payload) {
    // A client that cannot take its whole answer at once is not waited for.
    const auto bytes = encodeFrame(type, payload);
    const ssize_t n = ::send(c.fd.get(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    return n == static_cast<ssize_t>(bytes.size());
}

Result<ConversationServer> ConversationServer::create(std::string_view service,
                                                      ConversationHandler& handler) {
    auto path = servicePath(service);
    if (!path) return path.error();
    auto claimed = detail::claimSocket(lockPathOf(*path), *path, SOCK_STREAM,
                                       "the service " + inQuotes(service));
    if (!claimed) return claimed.error();

    auto impl = std::make_unique<Impl>();
    impl->service = std::string(service);
    impl->handler = &handler;
    impl->socketPath = *path;
    impl->lock = std::move(claimed->lock);
    impl->listener = std::move(claimed->socket);
    impl->epoll.reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!impl->epoll.valid()) return detail::systemError(errno, "Cannot create an event queue");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = impl->listener.get();
    if (::epoll_ctl(impl->epoll.get(), EPOLL_CTL_ADD, impl->listener.get(), &ev) != 0)
        return detail::systemError(errno, "Cannot watch the socket of the service");

    ConversationServer server;
    server.impl_ = std::move(impl);
    return server;
}

ConversationServer::ConversationServer(ConversationServer&&) noexcept = default;
ConversationServer& ConversationServer::operator=(ConversationServer&&) noexcept = default;
ConversationServer::~ConversationServer() = default;

int ConversationServer::fd() const { return impl_ ? impl_->epoll.get() : -1; }

std::size_t ConversationServer::connectionCount() const {
    return impl_ ? impl_->connections.size() : 0;
}

void ConversationServer::process() {
    if (!impl_) return;
    // A bounded number of rounds, so a chatty client cannot keep the caller here.
    for (int round = 0; round < 8; ++round) {
        epoll_event events[32];
        const int n = ::epoll_wait(impl_->epoll.get(), events, 32, 0);
        if (n <= 0) return;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == impl_->listener.get())
                impl_->acceptAll();
            else
                impl_->serve(events[i].data.fd);
        }
    }
}

}  // namespace zeb::bus
