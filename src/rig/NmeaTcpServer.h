// The NMEA feed on the network: the GPS sentences the receiver-control
// program reads from its serial line, passed on to programs such as gpsd
// ("gpsd -N -b tcp://127.0.0.1:PORT") over TCP on 127.0.0.1.
//
// Each sentence goes to every client as one line ending in CR LF. What
// clients send is read and discarded. Publishing never blocks: a client that
// falls behind by more than kMaxPendingBytes is dropped and counted.
#pragma once

#include "common/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zeb::rig {

class NmeaTcpServer {
public:
    static constexpr std::size_t kMaxClients = 8;
    static constexpr std::size_t kMaxPendingBytes = 65536;

    // Listens on 127.0.0.1:port; port 0 picks a free port (see port()).
    static Result<NmeaTcpServer> listen(std::uint16_t port);

    NmeaTcpServer(NmeaTcpServer&&) noexcept;
    NmeaTcpServer& operator=(NmeaTcpServer&&) noexcept;
    NmeaTcpServer(const NmeaTcpServer&) = delete;
    NmeaTcpServer& operator=(const NmeaTcpServer&) = delete;
    ~NmeaTcpServer();

    std::uint16_t port() const;
    // One descriptor, readable whenever something waits for process().
    int fd() const;
    // Accepts clients, reads and discards what they send, without blocking.
    void process();
    // Sends the sentence (its own line end, if any, replaced by CR LF) to every client.
    void publish(std::string_view sentence);
    std::size_t clientCount() const;
    // Clients dropped so far because they fell behind.
    std::size_t droppedCount() const;

private:
    NmeaTcpServer() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zeb::rig
