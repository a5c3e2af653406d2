#include "rig/NmeaTcpServer.h"

#include "rig/LoopbackServer.h"

#include <optional>
#include <string>

namespace zeb::rig {

struct NmeaTcpServer::Impl final : LoopbackServer::Handler {
    std::optional<LoopbackServer> server;
    std::string line;  // reused for every sentence

    void received(int, std::string_view) override {}  // the feed only sends
    void closed(int) override {}
};

Result<NmeaTcpServer> NmeaTcpServer::listen(std::uint16_t port) {
    auto impl = std::make_unique<Impl>();
    auto server =
        LoopbackServer::listen(port, {kMaxClients, kMaxPendingBytes}, *impl, "The NMEA port");
    if (!server) return server.error();
    impl->server.emplace(std::move(*server));
    NmeaTcpServer result;
    result.impl_ = std::move(impl);
    return result;
}

NmeaTcpServer::NmeaTcpServer(NmeaTcpServer&&) noexcept = default;
NmeaTcpServer& NmeaTcpServer::operator=(NmeaTcpServer&&) noexcept = default;
NmeaTcpServer::~NmeaTcpServer() = default;

std::uint16_t NmeaTcpServer::port() const { return impl_ ? impl_->server->port() : 0; }
int NmeaTcpServer::fd() const { return impl_ ? impl_->server->fd() : -1; }
std::size_t NmeaTcpServer::clientCount() const { return impl_ ? impl_->server->clientCount() : 0; }

std::size_t NmeaTcpServer::droppedCount() const {
    return impl_ ? impl_->server->overflowCount() : 0;
}

void NmeaTcpServer::process() {
    if (impl_) impl_->server->process();
}

void NmeaTcpServer::publish(std::string_view sentence) {
    if (!impl_) return;
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r'))
        sentence.remove_suffix(1);
    impl_->line.assign(sentence);
    impl_->line += "\r\n";
    (void)impl_->server->broadcast(impl_->line);
}

}  // namespace zeb::rig
