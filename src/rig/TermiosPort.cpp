#include "rig/TermiosPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace zeb::rig {

namespace {

Error systemError(const std::string& what) {
    const int code = errno;
    return Error{code, what + ": " + std::strerror(code)};
}

// The speeds termios names; anything else goes through termios2.
bool namedSpeed(int baud, speed_t& out) {
    switch (baud) {
        case 300: out = B300; return true;
        case 600: out = B600; return true;
        case 1200: out = B1200; return true;
        case 2400: out = B2400; return true;
        case 4800: out = B4800; return true;
        case 9600: out = B9600; return true;
        case 19200: out = B19200; return true;
        case 38400: out = B38400; return true;
        case 57600: out = B57600; return true;
        case 115200: out = B115200; return true;
        default: return false;
    }
}

Result<void> modemBits(int fd, int request, int bits) {
    if (ioctl(fd, static_cast<unsigned long>(request), &bits) != 0) {
        return systemError("Cannot drive the control lines");
    }
    return success();
}

}  // namespace

TermiosPort::~TermiosPort() { close(); }

Result<void> TermiosPort::open(const std::string& device) {
    close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return systemError("Cannot open " + device);
    // Only a terminal device can be a serial port (/dev/null, a file or a
    // FIFO opens just as well).
    if (!::isatty(fd)) {
        ::close(fd);
        return Error{ENOTTY, device + " is not a serial port"};
    }
    // No sharing: other programs that honour the convention stay out.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Error error = systemError(device + " is in use");
        ::close(fd);
        return error;
    }
    fd_ = fd;
    return success();
}

void TermiosPort::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Result<QueueStatus> TermiosPort::queueStatus() {
    int in = 0;
    int out = 0;
    if (ioctl(fd_, FIONREAD, &in) != 0 || ioctl(fd_, TIOCOUTQ, &out) != 0) {
        return systemError("Cannot read the queue status");
    }
    return QueueStatus{static_cast<std::size_t>(in < 0 ? 0 : in),
                       static_cast<std::size_t>(out < 0 ? 0 : out)};
}

void TermiosPort::discardInput() {
    if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

void TermiosPort::flush() {
    // tcdrain could wait forever on a line held by hardware flow control.
    for (int round = 0; round < 10 && fd_ >= 0; ++round) {
        int out = 0;
        if (ioctl(fd_, TIOCOUTQ, &out) != 0 || out <= 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

Result<void> TermiosPort::configure(const LineSettings& settings, Handshake handshake) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return systemError("Cannot read the port state");
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag |= settings.dataBits == 7 ? CS7 : CS8;
    if (settings.parity == 1) tio.c_cflag |= PARENB | PARODD;
    if (settings.parity == 2) tio.c_cflag |= PARENB;
    // termios has no 1.5 stop bits; code 1 gets two (no receiver uses it).
    if (settings.stopBits != 0) tio.c_cflag |= CSTOPB;
    // Hardware handshake is RTS/CTS; without it the lines stay under the
    // program's control (DTR on, RTS off, set at open).
    if (handshake == Handshake::Hardware) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed = B9600;
    const bool named = namedSpeed(settings.baud, speed);
    if (named) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return systemError("Cannot program the port");
    if (!named) {
        if (settings.baud <= 0) return Error{EINVAL, "Invalid port speed"};
        return setSpeedTermios2(fd_, settings.baud);
    }
    return success();
}

Result<void> TermiosPort::setRts(bool on) {
    return modemBits(fd_, on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
}

Result<void> TermiosPort::setDtr(bool on) {
    return modemBits(fd_, on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR);
}

Result<void> TermiosPort::setBreak(bool on) {
    if (ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) return systemError("Cannot set the break");
    return success();
}

Result<void> TermiosPort::write(std::span<const std::uint8_t> bytes,
                                std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return systemError("Cannot write to the port");
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Error{ETIMEDOUT, "Write time-out"};
        pollfd p{fd_, POLLOUT, 0};
        const int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR) return systemError("Cannot write to the port");
    }
    return success();
}

Result<std::size_t> TermiosPort::read(std::span<std::uint8_t> buffer,
                                      std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(limit.count()));
    if (r < 0) {
        if (errno == EINTR) return std::size_t{0};
        return systemError("Cannot read from the port");
    }
    if (r == 0) return std::size_t{0};
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return std::size_t{0};
        return systemError("Cannot read from the port");
    }
    if (n == 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
        return Error{EIO, "The port was closed at the far end"};
    }
    return static_cast<std::size_t>(n);
}

Result<int> TermiosPort::currentBaud() const { return readSpeedTermios2(fd_); }

}  // namespace zeb::rig
