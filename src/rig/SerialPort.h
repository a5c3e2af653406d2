// SerialPort: the few operations the link needs from a serial device. The
// real one is TermiosPort; tests use a recording fake.
#pragma once

#include "common/Result.h"
#include "rig/LineSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zeb::rig {

struct QueueStatus {
    std::size_t input = 0;   // bytes received, not yet read
    std::size_t output = 0;  // bytes written, not yet sent
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual Result<void> open(const std::string& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual Result<QueueStatus> queueStatus() = 0;
    virtual void discardInput() = 0;
    // Waits (bounded) until the bytes written so far have left the port.
    virtual void flush() = 0;
    // Reads the current port state, applies the line settings and flow
    // control and writes the state back.
    virtual Result<void> configure(const LineSettings& settings, Handshake handshake) = 0;

    virtual Result<void> setRts(bool on) = 0;
    virtual Result<void> setDtr(bool on) = 0;
    virtual Result<void> setBreak(bool on) = 0;

    // Writes every byte or fails. When `limit` passes first the error code is
    // ETIMEDOUT.
    virtual Result<void> write(std::span<const std::uint8_t> bytes,
                               std::chrono::milliseconds limit) = 0;
    // Waits at most `limit` for input and returns what arrived (0 bytes on a
    // time-out). May run on another thread than the writes.
    virtual Result<std::size_t> read(std::span<std::uint8_t> buffer,
                                     std::chrono::milliseconds limit) = 0;
};

}  // namespace zeb::rig
