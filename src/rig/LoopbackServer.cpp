#include "rig/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace zeb::rig {

namespace {

constexpr int kBacklog = 16;
constexpr std::size_t kReadChunk = 4096;
constexpr int kReadsPerEvent = 4;  // the rest is reported by the next epoll_wait
constexpr int kRounds = 8;         // bounds the time a chatty client keeps process() busy
constexpr int kEventsPerRound = 32;

Error systemError(int err, std::string_view what, const std::string& action) {
    return Error{err, std::string(what) + " " + action + ": " + std::strerror(err) + "."};
}

}  // namespace

Result<LoopbackServer> LoopbackServer::listen(std::uint16_t port, Limits limits, Handler& handler,
                                              std::string_view what) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    LoopbackServer server;
    server.handler_ = &handler;
    server.limits_ = limits;
    server.listener_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!server.listener_.valid()) return systemError(errno, what, "cannot have a socket");
    const int one = 1;
    ::setsockopt(server.listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(server.listener_.get(), reinterpret_cast<const sockaddr*>(&address),
               sizeof address) != 0)
        return systemError(errno, what, "cannot listen on " + where);
    if (::listen(server.listener_.get(), kBacklog) != 0)
        return systemError(errno, what, "cannot listen on " + where);
    socklen_t length = sizeof address;
    if (::getsockname(server.listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return systemError(errno, what, "cannot tell its port number");
    server.port_ = ntohs(address.sin_port);

    server.epoll_ = Fd(::epoll_create1(EPOLL_CLOEXEC));
    if (!server.epoll_.valid()) return systemError(errno, what, "cannot have an event queue");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = server.listener_.get();
    if (::epoll_ctl(server.epoll_.get(), EPOLL_CTL_ADD, server.listener_.get(), &ev) != 0)
        return systemError(errno, what, "cannot watch its socket");
    return server;
}

void LoopbackServer::process() {
    for (int round = 0; round < kRounds; ++round) {
        epoll_event events[kEventsPerRound];
        const int n = ::epoll_wait(epoll_.get(), events, kEventsPerRound, 0);
        if (n <= 0) return;
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener_.get()) {
                acceptAll();
                continue;
            }
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) readFrom(fd);
            if (events[i].events & EPOLLOUT) {
                const auto it = clients_.find(fd);
                if (it == clients_.end()) continue;
                if (flush(it->second))
                    watchOutput(fd, it->second, !it->second.pending.empty());
                else
                    drop(fd);
            }
        }
    }
}

void LoopbackServer::acceptAll() {
    for (;;) {
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // EAGAIN: none waits; EMFILE and the like: try again next time
        }
        Fd owned(fd);
        if (clients_.size() >= limits_.maxClients) continue;  // refused: closed at once
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &ev) != 0) continue;
        clients_[fd].socket = std::move(owned);
    }
}

void LoopbackServer::readFrom(int client) {
    char buffer[kReadChunk];
    for (int reads = 0; reads < kReadsPerEvent; ++reads) {
        // The handler may have hung up on the client while taking the last chunk.
        const auto it = clients_.find(client);
        if (it == clients_.end()) return;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            handler_->received(client, {buffer, static_cast<std::size_t>(n)});
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else if (n == 0) {
            handler_->ended(client);
            hangUp(client);
            return;
        } else {
            drop(client);  // the connection failed
            return;
        }
    }
}

bool LoopbackServer::send(int client, std::string_view bytes) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) return false;
    Client& c = it->second;
    if (c.pending.size() + bytes.size() > limits_.maxPending) {
        ++overflows_;
        drop(client);
        return false;
    }
    c.pending.append(bytes);
    if (!flush(c)) {
        drop(client);
        return false;
    }
    watchOutput(client, c, !c.pending.empty());
    return true;
}

std::size_t LoopbackServer::broadcast(std::string_view bytes) {
    std::size_t dropped = 0;
    for (auto it = clients_.begin(); it != clients_.end();) {
        const int client = it->first;
        ++it;  // send() may erase this client, never the next one
        if (!send(client, bytes)) ++dropped;
    }
    return dropped;
}

void LoopbackServer::hangUp(int client) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) return;
    (void)flush(it->second);
    drop(client);
}

// Sends what the client takes now; false when its connection failed.
bool LoopbackServer::flush(Client& c) {
    std::size_t sent = 0;
    while (sent < c.pending.size()) {
        const ssize_t n = ::send(c.socket.get(), c.pending.data() + sent, c.pending.size() - sent,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            return false;
        }
    }
    c.pending.erase(0, sent);
    return true;
}

void LoopbackServer::watchOutput(int client, Client& c, bool on) {
    if (c.watchingOutput == on) return;
    epoll_event ev{};
    ev.events = on ? EPOLLIN | EPOLLOUT : EPOLLIN;
    ev.data.fd = client;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, client, &ev) == 0) c.watchingOutput = on;
}

void LoopbackServer::drop(int client) {
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, client, nullptr);
    clients_.erase(client);
    handler_->closed(client);
}

}  // namespace zeb::rig
