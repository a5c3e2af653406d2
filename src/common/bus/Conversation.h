// Conversations: request/answer transactions between a client and a named
// service on the bus, the transport of the receiver-control link.
//
// One stream connection is one conversation. The client opens it by naming the
// service and a topic; then it pokes bytes (answered "acknowledged" or "not
// processed") and requests bytes (answered with data or "no data"). Every
// transaction has a time limit. Each datum carries the clipboard-format number
// that the programs agreed on; the transport does not interpret it.
#pragma once

#include "common/Result.h"
#include "common/bus/Bus.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::bus {

inline constexpr std::chrono::milliseconds kTransactionTimeout{10000};
inline constexpr std::size_t kMaxFrameBytes = 65536;  // payload of one frame

// A poke's answer.
enum class PokeAnswer { Acknowledged, NotProcessed };

class ConversationClient {
public:
    // Connects to SERVICE and opens TOPIC. BusError::NotFound when no server offers the
    // service, BusError::Refused when the server refuses the topic, BusError::Timeout.
    static Result<ConversationClient> connect(
        std::string_view service, std::string_view topic,
        std::chrono::milliseconds timeout = kTransactionTimeout);

    ConversationClient(ConversationClient&&) noexcept;
    ConversationClient& operator=(ConversationClient&&) noexcept;
    ConversationClient(const ConversationClient&) = delete;
    ConversationClient& operator=(const ConversationClient&) = delete;
    ~ConversationClient();

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    Result<PokeAnswer> poke(std::uint32_t format, std::span<const std::uint8_t> data);

    // The data, or nullopt when the server has none.
    Result<std::optional<std::vector<std::uint8_t>>> request(std::uint32_t format);

private:
    ConversationClient() = default;
    int fd_ = -1;
    std::chrono::milliseconds timeout_ = kTransactionTimeout;
    std::string service_;  // for messages
};

// What a server does with the transactions of its clients. Called on the
// thread that calls ConversationServer::process().
class ConversationHandler {
public:
    virtual ~ConversationHandler() = default;
    // The service name has already matched; true accepts the topic.
    virtual bool acceptTopic(std::string_view topic) = 0;
    virtual PokeAnswer poke(std::string_view topic, std::uint32_t format,
                            std::span<const std::uint8_t> data) = 0;
    virtual std::optional<std::vector<std::uint8_t>> request(std::string_view topic,
                                                             std::uint32_t format) = 0;
};

class ConversationServer {
public:
    // Offers SERVICE on the bus; BusError::AlreadyRunning when a live server offers it.
    static Result<ConversationServer> create(std::string_view service,
                                             ConversationHandler& handler);

    ConversationServer(ConversationServer&&) noexcept;
    ConversationServer& operator=(ConversationServer&&) noexcept;
    ConversationServer(const ConversationServer&) = delete;
    ConversationServer& operator=(const ConversationServer&) = delete;
    ~ConversationServer();

    // One descriptor, readable whenever a client connects or sends.
    int fd() const;

    // Accepts, reads and answers whatever is waiting, without blocking. A client
    // that sends a malformed or oversized frame is disconnected; others go on.
    void process();

    std::size_t connectionCount() const;

private:
    ConversationServer() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zeb::bus
