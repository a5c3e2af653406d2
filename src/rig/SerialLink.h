// SerialLink: the receiver-control program's path to the hardware. One port
// carries receiver commands (at the receiver's line settings) and, while NMEA
// forwarding is on, GPS sentences read by a reader thread at the NMEA line
// settings.
//
// Threads: the user-interface thread does every write and settings change;
// the reader thread only reads. A write that fails or cannot finish within
// 3000 ms makes the link unusable for good: later writes and settings changes
// fail at once and closing sends no power-off.
#pragma once

#include "common/ProfileFile.h"
#include "rig/LineSettings.h"
#include "rig/NmeaLineAssembler.h"
#include "rig/SerialPort.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace zeb::rig {

// Where the link's errors go; the program shell shows them in a message box.
// `requestQuit` asks the program to end after a write failure. Both may be
// called from the reader thread (read failures) as well.
class LinkReporter {
public:
    virtual ~LinkReporter() = default;
    virtual void showWarning(const std::string& text) = 0;
    virtual void requestQuit() = 0;
};

using Sleeper = std::function<void(std::chrono::milliseconds)>;
void realSleep(std::chrono::milliseconds duration);

// The text shown when a write times out.
inline constexpr std::string_view kWriteTimeoutText =
    "The receiver does not take commands: the write timed out (rigman 1003)";

// The reader thread must be running within this time, else the link says
// so and forwarding stays off.
inline constexpr std::chrono::milliseconds kReaderStartWait{3000};
inline constexpr std::string_view kReaderStartText =
    "The serial reader did not start: NMEA forwarding is off (rigman 1)";
// Real-time priority of the reader, below the sound card's service thread.
inline constexpr int kReaderPriority = 5;

// Starts `loop` on `thread` (which must be empty) and waits up to
// kReaderStartWait for it to run, then raises it to kReaderPriority where
// permitted. A thread that could not be made is an error with the system's
// text; one that did not run in time is an error of code ETIMEDOUT, and its
// thread exists: the caller clears its run flag and joins it.
Result<void> startReaderThread(std::thread& thread, std::function<void()> loop);

// Device of port COMn: key "COMn" in section "PORTS" of the system settings
// file, else /dev/ttyS(n-1).
std::string portDevice(int portNumber, const ProfileFile& systemSettings);

class SerialLink {
public:
    using LineHandler = std::function<void(const std::string& sentence)>;

    static constexpr std::chrono::milliseconds kWriteLimit{3000};

    SerialLink(std::unique_ptr<SerialPort> port, LinkReporter& reporter,
               Sleeper sleeper = realSleep);
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The selected receiver's settings; set before the port is opened.
    void setReceiverSettings(const LineSettings& settings, Handshake handshake, WriteStyle style);
    const LineSettings& receiverSettings() const { return receiver_; }

    bool open_port(int portNumber, const ProfileFile& systemSettings);
    bool open_device(const std::string& device);
    // Powers the receiver off (twice, only while the link is usable), flushes
    // and closes.
    void close_port(const std::function<void()>& powerOff);
    bool is_open() const { return port_->isOpen(); }
    // Why the last open failed (the start-up quietly tries the next port).
    const std::string& open_error() const { return openError_; }
    bool usable() const { return usable_; }

    bool apply_line_settings(const LineSettings& settings);
    void set_control_lines(ControlLines state);
    void set_break(bool on);
    bool write_bytes(std::span<const std::uint8_t> bytes);
    // A command in the receiver's write style: one write, or one per byte.
    bool send_command(std::span<const std::uint8_t> bytes);

    // Reader thread. `start_reader` applies the NMEA settings and refuses
    // while a reader exists; `stop_reader` ends and joins it, then applies
    // the receiver's settings.
    bool start_reader(LineHandler handler);
    void stop_reader();
    bool reader_running() const { return reader_.joinable(); }
    // Lines the reader received that were not sentences (junk, a wrong
    // checksum, too long, no CR).
    std::size_t dropped_lines() const { return droppedLines_.load(std::memory_order_relaxed); }

    // Held around every receiver operation and the periodic status poll.
    std::mutex& lock() { return lock_; }
    // Receiver settings before an operation, NMEA settings after it, while
    // the reader runs.
    void begin_operation();
    void end_operation();

private:
    void readerLoop();
    void fail(const std::string& text);

    std::unique_ptr<SerialPort> port_;
    LinkReporter& reporter_;
    Sleeper sleep_;
    LineSettings receiver_{};
    Handshake handshake_ = Handshake::None;
    WriteStyle style_ = WriteStyle::Whole;
    std::string openError_;
    std::atomic<bool> usable_{false};
    std::atomic<bool> forwarding_{false};
    std::thread reader_;
    LineHandler handler_;
    NmeaLineAssembler assembler_;
    std::atomic<std::size_t> droppedLines_{0};
    std::mutex lock_;
};

}  // namespace zeb::rig
