// Test doubles for the receiver-control tests: a sink that records what the
// operations send, a port that records what the link asks of it, a timer.
#pragma once

#include "rig/Receiver.h"
#include "rig/SerialLink.h"
#include "rig/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::rig::test {

// "46 41 3B": upper-case hex bytes separated by blanks.
inline std::string hexOf(std::span<const std::uint8_t> bytes) {
    std::string out;
    char cell[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X", b);
        if (!out.empty()) out += ' ';
        out += cell;
    }
    return out;
}

// The hex line of an ASCII command, for expectations written as text.
inline std::string T(std::string_view text) {
    return hexOf(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

class RecordingSink : public CommandSink {
public:
    std::vector<std::string> log;
    bool send(std::span<const std::uint8_t> bytes) override {
        log.push_back(hexOf(bytes));
        return true;
    }
    void wait(std::chrono::milliseconds d) override {
        log.push_back("wait " + std::to_string(d.count()));
    }
    void startStatusPoll() override { log.push_back("poll start"); }
    void stopStatusPoll() override { log.push_back("poll stop"); }
};

class RecordingReporter : public LinkReporter {
public:
    std::vector<std::string> warnings;
    int quitRequests = 0;
    void showWarning(const std::string& text) override { warnings.push_back(text); }
    void requestQuit() override { ++quitRequests; }
};

// A port that writes every request into a shared log. Reads are served from
// `incoming` a chunk at a time.
class FakePort : public SerialPort {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<std::string> log;
        std::deque<std::string> incoming;
        int busyQueueRounds = 0;  // queue status reports bytes this many times
        int writeError = 0;       // errno returned by every write when set
        std::chrono::milliseconds lastWriteLimit{0};
        void add(std::string entry) {
            std::lock_guard lock(mutex);
            log.push_back(std::move(entry));
        }
        std::vector<std::string> take() {
            std::lock_guard lock(mutex);
            return std::exchange(log, {});
        }
    };

    explicit FakePort(std::shared_ptr<Shared> shared) : s_(std::move(shared)) {}

    Result<void> open(const std::string& device) override {
        s_->add("open " + device);
        if (device == "/missing") return Error{ENOENT, "no such device"};
        open_ = true;
        return success();
    }
    void close() override {
        if (open_) s_->add("close");
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    Result<QueueStatus> queueStatus() override {
        s_->add("queue");
        if (s_->busyQueueRounds > 0) {
            --s_->busyQueueRounds;
            return QueueStatus{0, 10};
        }
        return QueueStatus{};
    }
    void discardInput() override { s_->add("discard"); }
    void flush() override { s_->add("flush"); }
    Result<void> configure(const LineSettings& l, Handshake h) override {
        s_->add("configure " + std::to_string(l.baud) + " " + std::to_string(l.dataBits) + " " +
                std::to_string(l.parity) + " " + std::to_string(l.stopBits) +
                (h == Handshake::Hardware ? " hardware" : " none"));
        return success();
    }
    Result<void> setRts(bool on) override {
        s_->add(on ? "rts on" : "rts off");
        return success();
    }
    Result<void> setDtr(bool on) override {
        s_->add(on ? "dtr on" : "dtr off");
        return success();
    }
    Result<void> setBreak(bool on) override {
        s_->add(on ? "break on" : "break off");
        return success();
    }
    Result<void> write(std::span<const std::uint8_t> bytes,
                       std::chrono::milliseconds limit) override {
        s_->add("write " + hexOf(bytes));
        s_->lastWriteLimit = limit;
        if (s_->writeError != 0) return Error{s_->writeError, "write failed"};
        return success();
    }
    Result<std::size_t> read(std::span<std::uint8_t> buffer, std::chrono::milliseconds) override {
        std::string chunk;
        {
            std::lock_guard lock(s_->mutex);
            if (!s_->incoming.empty()) {
                chunk = s_->incoming.front();
                s_->incoming.pop_front();
            }
        }
        if (chunk.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return std::size_t{0};
        }
        const std::size_t n = std::min(chunk.size(), buffer.size());
        std::copy_n(chunk.begin(), n, buffer.begin());
        return n;
    }

private:
    std::shared_ptr<Shared> s_;
    bool open_ = false;
};

class FakeTimer : public StatusTimer {
public:
    std::function<void()> tick;
    std::chrono::milliseconds period{0};
    int starts = 0;
    void start(std::chrono::milliseconds p, std::function<void()> t) override {
        period = p;
        tick = std::move(t);
        ++starts;
    }
    void stop() override { tick = nullptr; }
    bool running() const override { return static_cast<bool>(tick); }
};

}  // namespace zeb::rig::test
