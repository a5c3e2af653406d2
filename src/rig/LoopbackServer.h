// LoopbackServer: the TCP side of the receiver-control program's network
// ports (the rigctld-compatible port, the NMEA feed). It listens on 127.0.0.1
// only and runs from the program's event loop, without threads: one epoll
// descriptor is readable whenever a client connects, sends, hangs up or can
// take more of the output that waits for it, and process() handles all that
// without blocking.
//
// Writes never block either: what a client cannot take at once waits in that
// client's own buffer, and a client whose buffer would grow past the limit is
// dropped, so a client that stops reading cannot hold the program up.
#pragma once

#include "common/Result.h"
#include "common/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace zeb::rig {

class LoopbackServer {
public:
    struct Limits {
        std::size_t maxClients;  // further connections are closed at once
        std::size_t maxPending;  // bytes waiting for one client
    };

    // What the owner does with its clients. Called from process() and send(),
    // never after the server is gone.
    class Handler {
    public:
        virtual ~Handler() = default;
        // Bytes a client sent, in the order they came.
        virtual void received(int client, std::string_view bytes) = 0;
        // The client shut down its sending side; what is sent to it now still
        // goes out before the server hangs up.
        virtual void ended(int /*client*/) {}
        // The client is gone (it hung up, was hung up on or was dropped); its
        // number may be given to a new client afterwards.
        virtual void closed(int client) = 0;
    };

    // Listens on 127.0.0.1:port (port 0: a free port the system picks).
    // `what` names the port in messages ("The rigctl port").
    static Result<LoopbackServer> listen(std::uint16_t port, Limits limits, Handler& handler,
                                         std::string_view what);

    LoopbackServer(LoopbackServer&&) noexcept = default;
    LoopbackServer& operator=(LoopbackServer&&) noexcept = default;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer() = default;

    int fd() const { return epoll_.get(); }
    std::uint16_t port() const { return port_; }
    std::size_t clientCount() const { return clients_.size(); }
    // Clients dropped because their output backed up past the limit.
    std::size_t overflowCount() const { return overflows_; }

    // Accepts, reads and sends whatever waits, without blocking.
    void process();

    // Sends `bytes` to a client, keeping what it cannot take now. False when
    // the client is not (or no longer) there: a client whose backlog would
    // pass the limit is dropped.
    bool send(int client, std::string_view bytes);
    // send() to every client; returns how many were dropped.
    std::size_t broadcast(std::string_view bytes);
    // Sends what the client takes at once of its backlog, then hangs up.
    void hangUp(int client);

private:
    using Fd = UniqueFd;

    struct Client {
        Fd socket;
        std::string pending;  // output the client has not taken yet
        bool watchingOutput = false;
    };

    LoopbackServer() = default;
    void acceptAll();
    void readFrom(int client);
    bool flush(Client& c);
    void watchOutput(int client, Client& c, bool on);
    void drop(int client);

    Handler* handler_ = nullptr;
    Limits limits_{};
    std::uint16_t port_ = 0;
    Fd listener_;
    Fd epoll_;
    std::map<int, Client> clients_;
    std::size_t overflows_ = 0;
};

}  // namespace zeb::rig
