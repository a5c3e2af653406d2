#include "rig/SerialLink.h"

#include <array>
#include <cerrno>
#include <future>
#include <system_error>

#include "common/ThreadPriority.h"

namespace zeb::rig {

using std::chrono::milliseconds;

void realSleep(milliseconds duration) { std::this_thread::sleep_for(duration); }

std::string portDevice(int portNumber, const ProfileFile& systemSettings) {
    ProfileFile settings = systemSettings;
    settings.setSection("PORTS");
    const std::string key = "COM" + std::to_string(portNumber);
    std::string device = settings.readText(key);
    if (!device.empty()) return device;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

SerialLink::SerialLink(std::unique_ptr<SerialPort> port, LinkReporter& reporter, Sleeper sleeper)
    : port_(std::move(port)), reporter_(reporter), sleep_(std::move(sleeper)) {}

SerialLink::~SerialLink() {
    stop_reader();
    port_->close();
}

void SerialLink::setReceiverSettings(const LineSettings& settings, Handshake handshake,
                                     WriteStyle style) {
    receiver_ = settings;
    handshake_ = handshake;
    style_ = style;
}

bool SerialLink::open_port(int portNumber, const ProfileFile& systemSettings) {
    if (portNumber < 1) return false;
    return open_device(portDevice(portNumber, systemSettings));
}

bool SerialLink::open_device(const std::string& device) {
    stop_reader();
    port_->close();
    usable_ = false;
    openError_.clear();
    if (auto opened = port_->open(device); !opened) {
        openError_ = opened.error().message;
        return false;
    }
    usable_ = true;
    set_control_lines(ControlLines::Idle);
    return apply_line_settings(receiver_);
}

void SerialLink::close_port(const std::function<void()>& powerOff) {
    stop_reader();
    if (!port_->isOpen()) return;
    if (usable_ && powerOff) {
        powerOff();
        if (usable_) powerOff();
    }
    port_->flush();
    sleep_(milliseconds(100));
    port_->close();
}

bool SerialLink::apply_line_settings(const LineSettings& settings) {
    sleep_(milliseconds(20));
    if (!port_->isOpen() || !usable_) return false;
    for (int round = 0; round < 10; ++round) {
        auto status = port_->queueStatus();
        if (status && status->input == 0 && status->output == 0) break;
        sleep_(milliseconds(100));
    }
    sleep_(milliseconds(20));
    port_->discardInput();
    sleep_(milliseconds(50));
    auto result = port_->configure(settings, handshake_);
    if (!result) {
        reporter_.showWarning(result.error().message);
        return false;
    }
    return true;
}

void SerialLink::set_control_lines(ControlLines state) {
    if (!port_->isOpen()) return;
    bool rts = false;
    bool dtr = true;
    switch (state) {
        case ControlLines::Idle:
            rts = false;
            dtr = true;
            break;
        case ControlLines::RtsOnly:
            rts = true;
            dtr = false;
            break;
        case ControlLines::BothOff:
            rts = false;
            dtr = false;
            break;
        case ControlLines::BothOn:
            rts = true;
            dtr = true;
            break;
    }
    // RTS first, then DTR. A port without modem lines (a pseudo-terminal)
    // refuses both; that is no reason to stop.
    (void)port_->setRts(rts);
    (void)port_->setDtr(dtr);
}

void SerialLink::set_break(bool on) {
    if (!port_->isOpen()) return;
    if (on) {
        set_control_lines(ControlLines::BothOn);
        (void)port_->setBreak(true);
    } else {
        set_control_lines(ControlLines::Idle);
        (void)port_->setBreak(false);
    }
}

void SerialLink::fail(const std::string& text) {
    usable_ = false;
    reporter_.showWarning(text);
    reporter_.requestQuit();
}

bool SerialLink::write_bytes(std::span<const std::uint8_t> bytes) {
    if (!usable_ || !port_->isOpen()) return false;
    auto result = port_->write(bytes, kWriteLimit);
    if (result) return true;
    if (result.error().systemError() == ETIMEDOUT) {
        fail(std::string(kWriteTimeoutText));
    } else {
        fail(result.error().message);
    }
    return false;
}

bool SerialLink::send_command(std::span<const std::uint8_t> bytes) {
    if (style_ == WriteStyle::Whole) return write_bytes(bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!write_bytes(bytes.subspan(i, 1))) return false;
    }
    return true;
}

Result<void> startReaderThread(std::thread& thread, std::function<void()> loop) {
    std::promise<void> started;
    std::future<void> running = started.get_future();
    try {
        thread = std::thread([started = std::move(started), loop = std::move(loop)]() mutable {
            started.set_value();
            loop();
        });
    } catch (const std::system_error& e) {
        return Error(e.code(), std::string("The serial reader did not start: ") + e.what() + ".",
                     e.code().value());
    }
    if (running.wait_for(kReaderStartWait) != std::future_status::ready)
        return Error(ETIMEDOUT, "The serial reader did not start within 3 s.");
    // Replies and sentences arrive at the line's pace; a busy desktop must not delay them.
    (void)raiseThreadPriority(thread, kReaderPriority);
    return success();
}

bool SerialLink::start_reader(LineHandler handler) {
    if (reader_.joinable() || !port_->isOpen()) return false;
    if (!apply_line_settings(kNmeaLineSettings)) return false;
    handler_ = std::move(handler);
    assembler_.reset();
    forwarding_ = true;
    if (auto started = startReaderThread(reader_, [this] { readerLoop(); }); !started) {
        // A thread that came late ends as soon as it runs: forwarding is off again.
        const bool late = started.error().code == std::errc::timed_out;
        if (late) stop_reader();
        forwarding_ = false;
        reporter_.showWarning(late ? std::string(kReaderStartText) : started.error().message);
        if (!late) apply_line_settings(receiver_);
        return false;
    }
    return true;
}

void SerialLink::stop_reader() {
    if (!reader_.joinable()) return;
    forwarding_ = false;
    reader_.join();  // the loop looks at the flag at least every 100 ms
    apply_line_settings(receiver_);
}

void SerialLink::readerLoop() {
    std::array<std::uint8_t, 64> chunk{};
    while (forwarding_) {
        auto got = port_->read(chunk, milliseconds(100));
        if (!got) {
            reporter_.showWarning(got.error().message);
            return;
        }
        for (std::size_t i = 0; i < *got; ++i) {
            if (auto line = assembler_.push(chunk[i]); line && handler_) handler_(*line);
        }
        droppedLines_.store(assembler_.dropped(), std::memory_order_relaxed);
    }
}

void SerialLink::begin_operation() {
    if (reader_.joinable()) apply_line_settings(receiver_);
}

void SerialLink::end_operation() {
    if (reader_.joinable()) apply_line_settings(kNmeaLineSettings);
}

}  // namespace zeb::rig
