// The rigctld-compatible port: a loopback TCP server whose clients each have
// their own protocol session.
#include "rig/RigctlServer.h"

#include "rig/LoopbackServer.h"

#include <map>
#include <optional>

namespace zeb::rig {

struct RigctlServer::Impl final : LoopbackServer::Handler {
    RigctlTarget* target = nullptr;
    std::optional<LoopbackServer> server;
    std::map<int, RigctlSession> sessions;
    std::string answers;  // reused for every chunk a client sends

    void received(int client, std::string_view bytes) override {
        auto it = sessions.try_emplace(client, *target).first;
        answers.clear();
        const bool goOn = it->second.receive(bytes, answers);
        // The answers so far go out even when the connection ends.
        if (!answers.empty() && !server->send(client, answers)) return;
        if (!goOn) server->hangUp(client);
    }

    void ended(int client) override {
        const auto it = sessions.find(client);
        if (it == sessions.end()) return;
        answers.clear();
        it->second.finish(answers);
        if (!answers.empty()) (void)server->send(client, answers);
    }

    void closed(int client) override { sessions.erase(client); }
};

Result<RigctlServer> RigctlServer::listen(std::uint16_t port, RigctlTarget& target) {
    auto impl = std::make_unique<Impl>();
    impl->target = &target;
    auto server =
        LoopbackServer::listen(port, {kMaxClients, kMaxPendingBytes}, *impl, "The rigctl port");
    if (!server) return server.error();
    impl->server.emplace(std::move(*server));
    RigctlServer result;
    result.impl_ = std::move(impl);
    return result;
}

RigctlServer::RigctlServer(RigctlServer&&) noexcept = default;
RigctlServer& RigctlServer::operator=(RigctlServer&&) noexcept = default;
RigctlServer::~RigctlServer() = default;

std::uint16_t RigctlServer::port() const { return impl_ ? impl_->server->port() : 0; }
int RigctlServer::fd() const { return impl_ ? impl_->server->fd() : -1; }
std::size_t RigctlServer::clientCount() const { return impl_ ? impl_->server->clientCount() : 0; }

void RigctlServer::process() {
    if (impl_) impl_->server->process();
}

}  // namespace zeb::rig
