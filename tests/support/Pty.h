// A pseudo-terminal for the serial tests: the program under test opens the
// slave by its name, the test reads and writes the master (the receiver's
// end of the line).
#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace zeb::test {

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) name_ = name;
    }
    ~Pty() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return !name_.empty(); }
    const std::string& name() const { return name_; }
    int master() const { return master_; }

    // What is waiting now, or arrives within `waitMs`; empty when nothing does.
    std::string readSome(int waitMs) const {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return {};
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    // Reads what arrives until `done` is set and nothing more comes.
    std::string readUntil(const std::atomic<bool>& done) const {
        std::string out;
        for (;;) {
            const std::string some = readSome(20);
            if (some.empty() && done) break;
            out += some;
        }
        return out;
    }

    void write(const std::string& bytes) const {
        [[maybe_unused]] const auto n = ::write(master_, bytes.data(), bytes.size());
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

}  // namespace zeb::test
