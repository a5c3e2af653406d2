// Messages between the programs of the suite and the window classes they own.
//
// Wire form of a message: one datagram, little-endian, no padding.
//
//   offset  size  field
//   0       2     magic "ZB"
//   2       1     version, 1
//   3       1     kind: 1 close, 2 activate, 3 registered, 4 user
//   4       1     name length n: 1..64 for a registered message, 0 for the others
//   5       n     name (no control bytes)
//   5+n     4     id, unsigned
//   9+n     8     wParam, signed
//   17+n    8     lParam, signed
//   25+n    2     payload length p, 0..1024
//   27+n    p     payload
//
// A datagram is a message only when it is exactly 27 + n + p bytes long and
// every field is in range; anything else is dropped by the receiver and
// counted, so a stray or hostile sender can never harm a program.
#include "common/bus/Bus.h"
#include "common/bus/BusInternal.h"

#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

namespace zeb::bus {

namespace fs = std::filesystem;
using detail::Fd;

std::error_code make_error_code(BusError code) {
    static const ModuleErrorCategory category("bus", [](int value) -> std::string {
        switch (static_cast<BusError>(value)) {
            case BusError::NotFound: return "no program owns it";
            case BusError::AlreadyRunning: return "a running program owns it already";
            case BusError::TooLarge: return "the message is too large";
            case BusError::Malformed: return "not a bus message";
            case BusError::Timeout: return "no answer in time";
            case BusError::Refused: return "refused by the peer";
            case BusError::BadName: return "a name that cannot be used";
        }
        return "bus error " + std::to_string(value);
    });
    return {static_cast<int>(code), category};
}
using detail::inQuotes;

namespace {

constexpr std::uint8_t kMagic0 = 'Z';
constexpr std::uint8_t kMagic1 = 'B';
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kFixedBytes = 27;  // every field but the name and the payload

bool isKnownKind(std::uint8_t kind) {
    return kind >= static_cast<std::uint8_t>(MessageKind::Close) &&
           kind <= static_cast<std::uint8_t>(MessageKind::User);
}

bool isValidMessageName(MessageKind kind, std::string_view name) {
    if (kind != MessageKind::Registered) return name.empty();
    if (name.empty() || name.size() > kMaxNameBytes) return false;
    return std::none_of(name.begin(), name.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

struct ClassPaths {
    fs::path socket;
    fs::path lock;
};

Result<ClassPaths> classPaths(std::string_view className) {
    if (!detail::isValidName(className))
        return Error{BusError::BadName, "The class name " + inQuotes(className) +
                                            " cannot be used: it must have 1 to " +
                                            std::to_string(kMaxNameBytes) +
                                            " bytes without '/' or control characters."};
    auto dir = ensureDirectory();
    if (!dir) return dir.error();
    const std::string name(className);
    return ClassPaths{*dir / "class" / name, *dir / "lock" / name};
}

// Sends one datagram to the socket at `path` without waiting: a program whose
// inbox is full does not hold up the sender.
Result<void> sendDatagram(int fd, const ClassPaths& paths, std::string_view className,
                          std::span<const std::uint8_t> bytes) {
    auto address = detail::socketAddress(paths.socket);
    if (!address) return address.error();
    for (;;) {
        const ssize_t n = ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                   address->get(), address->length);
        if (n >= 0) return success();
        switch (errno) {
            case EINTR: continue;
            case ECONNREFUSED: detail::removeIfStale(paths.socket, paths.lock); [[fallthrough]];
            case ENOENT:
                return Error{BusError::NotFound,
                             "No program owns the class " + inQuotes(className) + "."};
            case EAGAIN:
                return Error{EAGAIN, "The program that owns the class " + inQuotes(className) +
                                         " does not take messages now (its inbox is full)."};
            default:
                return detail::systemError(errno,
                                           "Cannot send to the class " + inQuotes(className));
        }
    }
}

Fd datagramSocket() { return Fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)); }

// The names in <bus>/class that can be class names.
std::vector<std::string> classNamesOnBus(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir / "class", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (detail::isValidName(name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// Wire form

Result<std::vector<std::uint8_t>> encode(const Message& message) {
    const auto kind = static_cast<std::uint8_t>(message.kind);
    if (!isKnownKind(kind))
        return Error{BusError::Malformed,
                     "A bus message of unknown kind " + std::to_string(kind) + " cannot be sent."};
    if (!isValidMessageName(message.kind, message.name))
        return Error{BusError::BadName,
                     "The message name " + inQuotes(message.name) +
                         " cannot be sent: a registered message needs 1 to " +
                         std::to_string(kMaxNameBytes) +
                         " bytes without control characters, other messages none."};
    if (message.payload.size() > kMaxPayloadBytes)
        return Error{BusError::TooLarge, "A bus message carries at most " +
                                             std::to_string(kMaxPayloadBytes) + " bytes, not " +
                                             std::to_string(message.payload.size()) + "."};
    std::vector<std::uint8_t> out;
    out.reserve(kFixedBytes + message.name.size() + message.payload.size());
    detail::ByteWriter w(out);
    w.u8(kMagic0);
    w.u8(kMagic1);
    w.u8(kVersion);
    w.u8(kind);
    w.u8(static_cast<std::uint8_t>(message.name.size()));
    w.bytes({reinterpret_cast<const std::uint8_t*>(message.name.data()), message.name.size()});
    w.u32(message.id);
    w.i64(message.wParam);
    w.i64(message.lParam);
    w.u16(static_cast<std::uint16_t>(message.payload.size()));
    w.bytes(message.payload);
    return out;
}

Result<Message> decode(std::span<const std::uint8_t> bytes) {
    auto malformed = [](const std::string& why) {
        return Error{BusError::Malformed, "Not a bus message: " + why + "."};
    };
    if (bytes.size() > kMaxMessageBytes) return malformed("too long");
    detail::ByteReader r(bytes);
    const std::uint8_t m0 = r.u8();
    const std::uint8_t m1 = r.u8();
    if (!r.ok() || m0 != kMagic0 || m1 != kMagic1) return malformed("wrong magic");
    const std::uint8_t version = r.u8();
    if (r.ok() && version != kVersion)
        return malformed("version " + std::to_string(version) + " is not understood");
    const std::uint8_t kind = r.u8();
    if (r.ok() && !isKnownKind(kind)) return malformed("unknown kind " + std::to_string(kind));
    const std::uint8_t nameLength = r.u8();
    const auto name = r.bytes(nameLength);
    Message m;
    m.kind = static_cast<MessageKind>(kind);
    m.id = r.u32();
    m.wParam = r.i64();
    m.lParam = r.i64();
    const std::uint16_t payloadLength = r.u16();
    const auto payload = r.bytes(payloadLength);
    if (!r.ok()) return malformed("truncated");
    if (r.remaining() != 0) return malformed("bytes after the end");
    if (payloadLength > kMaxPayloadBytes) return malformed("payload too large");
    m.name.assign(name.begin(), name.end());
    if (!isValidMessageName(m.kind, m.name)) return malformed("bad name " + inQuotes(m.name));
    m.payload.assign(payload.begin(), payload.end());
    return m;
}

// ---------------------------------------------------------------------------
// Class ownership

Result<ClassEndpoint> ClassEndpoint::claim(std::string_view className) {
    auto paths = classPaths(className);
    if (!paths) return paths.error();
    auto claimed = detail::claimSocket(paths->lock, paths->socket, SOCK_DGRAM,
                                       "the class " + inQuotes(className));
    if (!claimed) return claimed.error();
    ClassEndpoint endpoint;
    endpoint.className_ = std::string(className);
    endpoint.socketPath_ = paths->socket;
    endpoint.socketFd_ = claimed->socket.release();
    endpoint.lockFd_ = claimed->lock.release();
    return endpoint;
}

ClassEndpoint::ClassEndpoint(ClassEndpoint&& other) noexcept
    : className_(std::move(other.className_)),
      socketPath_(std::move(other.socketPath_)),
      socketFd_(std::exchange(other.socketFd_, -1)),
      lockFd_(std::exchange(other.lockFd_, -1)),
      rejected_(other.rejected_) {}

ClassEndpoint& ClassEndpoint::operator=(ClassEndpoint&& other) noexcept {
    if (this != &other) {
        release();
        className_ = std::move(other.className_);
        socketPath_ = std::move(other.socketPath_);
        socketFd_ = std::exchange(other.socketFd_, -1);
        lockFd_ = std::exchange(other.lockFd_, -1);
        rejected_ = other.rejected_;
    }
    return *this;
}

ClassEndpoint::~ClassEndpoint() { release(); }

void ClassEndpoint::release() {
    // The socket goes first, while the lock still keeps others from claiming
    // the name; a waiting starter then finds the lock free and no socket.
    if (socketFd_ >= 0) {
        ::unlink(socketPath_.c_str());
        ::close(std::exchange(socketFd_, -1));
    }
    if (lockFd_ >= 0) ::close(std::exchange(lockFd_, -1));
}

std::optional<Message> ClassEndpoint::receive() {
    if (socketFd_ < 0) return std::nullopt;
    std::array<std::uint8_t, kMaxMessageBytes + 1> buffer;
    for (;;) {
        // MSG_TRUNC reports the real length of a datagram longer than the buffer.
        const ssize_t n = ::recv(socketFd_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) > kMaxMessageBytes) {
            ++rejected_;
            continue;
        }
        auto message = decode({buffer.data(), static_cast<std::size_t>(n)});
        if (!message) {
            ++rejected_;
            continue;
        }
        return std::move(message).value();
    }
}

bool classExists(std::string_view className) {
    auto paths = classPaths(className);
    if (!paths) return false;
    switch (detail::probeSocket(paths->socket, SOCK_DGRAM)) {
        case detail::Probe::Alive: return true;
        case detail::Probe::Refused:
            detail::removeIfStale(paths->socket, paths->lock);
            return false;
        default: return false;
    }
}

std::vector<std::string> listClasses() {
    auto dir = ensureDirectory();
    if (!dir) return {};
    std::vector<std::string> live;
    for (auto& name : classNamesOnBus(*dir))
        if (classExists(name)) live.push_back(std::move(name));
    return live;
}

Result<void> post(std::string_view className, const Message& message) {
    auto paths = classPaths(className);
    if (!paths) return paths.error();
    auto bytes = encode(message);
    if (!bytes) return bytes.error();
    Fd s = datagramSocket();
    if (!s.valid()) return detail::systemError(errno, "Cannot create a socket");
    return sendDatagram(s.get(), *paths, className, *bytes);
}

Result<CloseResult> closeByClass(std::string_view className, std::chrono::milliseconds step,
                                 int maxSteps) {
    auto paths = classPaths(className);
    if (!paths) return paths.error();
    switch (detail::probeSocket(paths->socket, SOCK_DGRAM)) {
        case detail::Probe::Alive: break;
        case detail::Probe::Refused:
            detail::removeIfStale(paths->socket, paths->lock);
            return CloseResult::NotRunning;
        case detail::Probe::Absent: return CloseResult::NotRunning;
        case detail::Probe::Failed:
            return detail::systemError(
                errno, "Cannot reach the program of the class " + inQuotes(className));
    }
    Message close;
    close.kind = MessageKind::Close;
    std::optional<Error> undelivered;
    for (int i = 0; i <= maxSteps; ++i) {
        if (i > 0) std::this_thread::sleep_for(step);
        if (i == 0 || undelivered) {
            auto r = post(className, close);
            if (r) {
                undelivered.reset();
            } else if (r.error().code == BusError::NotFound) {
                return CloseResult::Closed;  // it went away between the check and the post
            } else if (r.error().systemError() != EAGAIN) {
                return r.error();
            } else {
                undelivered = r.error();
            }
        }
        if (i > 0 && !classExists(className)) return CloseResult::Closed;
    }
    if (undelivered)
        return Error{EAGAIN, undelivered->message + " The close request did not arrive."};
    return CloseResult::StillRunning;
}

int broadcast(std::string_view name, std::int64_t wParam, std::int64_t lParam) {
    Message message;
    message.kind = MessageKind::Registered;
    message.name = std::string(name);
    message.wParam = wParam;
    message.lParam = lParam;
    auto bytes = encode(message);
    if (!bytes) return 0;
    auto dir = ensureDirectory();
    if (!dir) return 0;
    Fd s = datagramSocket();
    if (!s.valid()) return 0;
    int reached = 0;
    for (const auto& className : classNamesOnBus(*dir)) {
        const ClassPaths paths{*dir / "class" / className, *dir / "lock" / className};
        if (sendDatagram(s.get(), paths, className, *bytes)) ++reached;
    }
    return reached;
}

}  // namespace zeb::bus
