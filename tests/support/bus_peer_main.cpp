// bus_peer: a small program of the suite bus that the multi-process tests start.
//
//   bus_peer class CLASS [--ignore-close] [--log FILE]
//       owns window class CLASS; logs every message as a line; ends on a close
//       request (unless --ignore-close) and on the registered "ZEB_EXIT_PROG".
//   bus_peer mailslot NAME MAX [--log FILE]
//       creates mailslot NAME for messages of up to MAX bytes; logs each one.
//   bus_peer serve SERVICE [--mute]
//       offers a conversation service with topic "COMMAND": a poke stores its
//       bytes (format 99 is "not processed"), a request returns them. --mute:
//       connections are accepted but no transaction is ever answered.
//
// Prints "ready" on stdout once the object is claimed. Ends on SIGTERM.
// Exit status: 0 normal end, 2 usage or other error, 3 the name is taken.
#include "common/bus/Bus.h"
#include "common/bus/Conversation.h"

#include <poll.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zeb::bus;

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

struct Options {
    std::vector<std::string> words;
    std::string logFile;
    bool ignoreClose = false;
    bool mute = false;
};

class Log {
public:
    explicit Log(const std::string& path) {
        if (!path.empty()) file_ = std::fopen(path.c_str(), "a");
    }
    ~Log() {
        if (file_) std::fclose(file_);
    }
    void line(const std::string& text) {
        if (!file_) return;
        std::fprintf(file_, "%s\n", text.c_str());
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
};

void announceReady() {
    std::printf("ready\n");
    std::fflush(stdout);
}

int failure(const zeb::Error& error) {
    std::fprintf(stderr, "bus_peer: %s\n", error.message.c_str());
    return error.code == BusError::AlreadyRunning ? 3 : 2;
}

// Waits up to 100 ms for `fd`; false when the program should end.
bool waitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 100);
    return !stopRequested;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

int runClass(const Options& o) {
    auto endpoint = ClassEndpoint::claim(o.words[1]);
    if (!endpoint) return failure(endpoint.error());
    Log log(o.logFile);
    announceReady();
    std::size_t rejected = 0;
    while (waitReadable(endpoint->fd())) {
        while (auto m = endpoint->receive()) {
            switch (m->kind) {
                case MessageKind::Close:
                    log.line("close");
                    if (!o.ignoreClose) return 0;
                    break;
                case MessageKind::Activate: log.line("activate"); break;
                case MessageKind::Registered:
                    log.line("registered " + m->name + " " + std::to_string(m->wParam) + " " +
                             std::to_string(m->lParam));
                    if (m->name == "ZEB_EXIT_PROG") return 0;
                    break;
                case MessageKind::User:
                    log.line("user " + std::to_string(m->id) + " " + std::to_string(m->wParam) +
                             " " + std::to_string(m->lParam) + " " + hex(m->payload));
                    break;
            }
        }
        if (endpoint->rejectedCount() != rejected) {
            rejected = endpoint->rejectedCount();
            log.line("rejected " + std::to_string(rejected));
        }
    }
    return 0;
}

int runMailslot(const Options& o) {
    const long max = std::strtol(o.words[2].c_str(), nullptr, 10);
    auto server = MailslotServer::create(o.words[1], static_cast<std::size_t>(max < 0 ? 0 : max));
    if (!server) return failure(server.error());
    Log log(o.logFile);
    announceReady();
    std::size_t rejected = 0;
    while (waitReadable(server->fd())) {
        while (auto m = server->read())
            log.line("message " + std::to_string(m->size()) + " " + hex(*m));
        if (server->rejectedCount() != rejected) {
            rejected = server->rejectedCount();
            log.line("rejected " + std::to_string(rejected));
        }
    }
    return 0;
}

class StoreHandler : public ConversationHandler {
public:
    explicit StoreHandler(bool mute) : mute_(mute) {}
    bool acceptTopic(std::string_view topic) override { return topic == "COMMAND"; }
    PokeAnswer poke(std::string_view, std::uint32_t format,
                    std::span<const std::uint8_t> data) override {
        hangIfMute();
        if (format == 99) return PokeAnswer::NotProcessed;
        stored_.emplace(data.begin(), data.end());
        return PokeAnswer::Acknowledged;
    }
    std::optional<std::vector<std::uint8_t>> request(std::string_view, std::uint32_t) override {
        hangIfMute();
        return stored_;
    }

private:
    void hangIfMute() {
        if (!mute_) return;
        while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::exit(0);
    }
    bool mute_;
    std::optional<std::vector<std::uint8_t>> stored_;
};

int runServe(const Options& o) {
    StoreHandler handler(o.mute);
    auto server = ConversationServer::create(o.words[1], handler);
    if (!server) return failure(server.error());
    announceReady();
    while (waitReadable(server->fd())) server->process();
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: bus_peer class CLASS [--ignore-close] [--log FILE]\n"
                 "       bus_peer mailslot NAME MAX [--log FILE]\n"
                 "       bus_peer serve SERVICE [--mute]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ignore-close")
            o.ignoreClose = true;
        else if (arg == "--mute")
            o.mute = true;
        else if (arg == "--log" && i + 1 < argc)
            o.logFile = argv[++i];
        else
            o.words.push_back(arg);
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    if (o.words.size() == 2 && o.words[0] == "class") return runClass(o);
    if (o.words.size() == 3 && o.words[0] == "mailslot") return runMailslot(o);
    if (o.words.size() == 2 && o.words[0] == "serve") return runServe(o);
    return usage();
}
