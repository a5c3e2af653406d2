// TermiosPort: a serial device on Linux. The port is opened exclusively and
// put in raw mode (tty defaults echo and translate CR/LF, which would corrupt
// binary commands). Speeds termios has no name for (33600 Bd) are set with
// termios2/BOTHER.
#pragma once

#include "rig/SerialPort.h"

namespace zeb::rig {

class TermiosPort final : public SerialPort {
public:
    TermiosPort() = default;
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    Result<void> open(const std::string& device) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }

    Result<QueueStatus> queueStatus() override;
    void discardInput() override;
    void flush() override;
    Result<void> configure(const LineSettings& settings, Handshake handshake) override;

    Result<void> setRts(bool on) override;
    Result<void> setDtr(bool on) override;
    Result<void> setBreak(bool on) override;

    Result<void> write(std::span<const std::uint8_t> bytes,
                       std::chrono::milliseconds limit) override;
    Result<std::size_t> read(std::span<std::uint8_t> buffer,
                             std::chrono::milliseconds limit) override;

    // The output speed the driver holds now, in bits per second.
    Result<int> currentBaud() const;

private:
    int fd_ = -1;
};

// Speed helpers on termios2 (they live in a file of their own because the
// kernel's termios header clashes with the C library's).
Result<void> setSpeedTermios2(int fd, int baud);
Result<int> readSpeedTermios2(int fd);

}  // namespace zeb::rig
