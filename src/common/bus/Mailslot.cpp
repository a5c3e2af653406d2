// Mailslots: one-way message queues with a size limit. The creator binds a
// datagram socket (datagrams keep the message boundaries) and writes its limit
// into the sidecar file "<socket>.max" before it binds, so a writer can refuse
// an oversized message without sending it. The creator also drops anything
// larger that reaches it by other means.
#include "common/AtomicFile.h"
#include "common/Text.h"
#include "common/bus/Bus.h"
#include "common/bus/BusInternal.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>

namespace zeb::bus {

namespace fs = std::filesystem;
using detail::Fd;
using detail::inQuotes;

namespace {

// Larger messages do not fit a Unix datagram with the default socket buffers.
constexpr std::size_t kMaxMailslotBytes = 65536;
constexpr std::string_view kPrefix = "\\\\.\\mailslot\\";  // \\.\mailslot\ (any case)

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

fs::path withSuffix(const fs::path& path, const char* suffix) {
    fs::path p = path;
    p += suffix;
    return p;
}

Error badMailslotName(std::string_view name, const std::string& why) {
    return Error{BusError::BadName,
                 "The mailslot name " + inQuotes(name) + " cannot be used: " + why + "."};
}

// The limit a mailslot's creator published; BusError::NotFound when there is none.
Result<std::size_t> publishedLimit(const fs::path& socketPath, std::string_view name) {
    const fs::path limitPath = withSuffix(socketPath, ".max");
    Fd fd(::open(limitPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return Error{BusError::NotFound,
                         "No program has created the mailslot " + inQuotes(name) + "."};
        return detail::systemError(errno,
                                   "Cannot read the size limit of the mailslot " + inQuotes(name));
    }
    char text[32];
    ssize_t n;
    do {
        n = ::read(fd.get(), text, sizeof text);
    } while (n < 0 && errno == EINTR);
    std::size_t limit = 0;
    const char* end = n > 0 ? text + n : text;
    const auto parsed = std::from_chars(text, end, limit);
    const bool onlyNewline = parsed.ptr == end || (parsed.ptr + 1 == end && *parsed.ptr == '\n');
    if (n <= 0 || parsed.ec != std::errc() || !onlyNewline || limit == 0 ||
        limit > kMaxMailslotBytes)
        return Error{BusError::Malformed, "The size limit of the mailslot " + inQuotes(name) +
                                              " in " + limitPath.string() + " is not readable."};
    return limit;
}

}  // namespace

Result<fs::path> mailslotPath(std::string_view name) {
    std::string_view rest = name;
    if (equalsNoCase(rest.substr(0, kPrefix.size()), kPrefix)) rest.remove_prefix(kPrefix.size());
    if (rest.empty()) return badMailslotName(name, "it is empty");

    fs::path path = directory() / "mailslot";
    std::string_view last;
    while (true) {
        const std::size_t cut = rest.find_first_of("\\/");
        const std::string_view part = rest.substr(0, cut);
        if (!detail::isValidName(part))
            return badMailslotName(name, "each part must have 1 to " +
                                             std::to_string(kMaxNameBytes) +
                                             " bytes without control characters and must "
                                             "not be \".\" or \"..\"");
        path /= std::string(part);
        last = part;
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    // The lock and limit files lie beside the socket under these suffixes.
    if (endsWith(last, ".lock") || endsWith(last, ".max"))
        return badMailslotName(name, "its last part must not end in \".lock\" or \".max\"");
    if (auto address = detail::socketAddress(path); !address) return address.error();
    return path;
}

Result<MailslotServer> MailslotServer::create(std::string_view name, std::size_t maxMessageBytes) {
    if (maxMessageBytes == 0 || maxMessageBytes > kMaxMailslotBytes)
        return Error{EINVAL, "A mailslot takes messages of 1 to " +
                                 std::to_string(kMaxMailslotBytes) + " bytes, not " +
                                 std::to_string(maxMessageBytes) + "."};
    auto path = mailslotPath(name);
    if (!path) return path.error();
    auto dir = ensureDirectory();
    if (!dir) return dir.error();
    if (auto r = detail::makeDirectories(*dir / "mailslot", path->parent_path()); !r)
        return r.error();

    const fs::path limitPath = withSuffix(*path, ".max");
    auto claimed = detail::claimSocket(
        withSuffix(*path, ".lock"), *path, SOCK_DGRAM, "the mailslot " + inQuotes(name),
        [&] { return writeFileAtomically(limitPath, std::to_string(maxMessageBytes) + "\n"); });
    if (!claimed) return claimed.error();

    MailslotServer server;
    server.socketPath_ = *path;
    server.limitPath_ = limitPath;
    server.socketFd_ = claimed->socket.release();
    server.lockFd_ = claimed->lock.release();
    server.maxMessage_ = maxMessageBytes;
    return server;
}

MailslotServer::MailslotServer(MailslotServer&& other) noexcept
    : socketPath_(std::move(other.socketPath_)),
      limitPath_(std::move(other.limitPath_)),
      socketFd_(std::exchange(other.socketFd_, -1)),
      lockFd_(std::exchange(other.lockFd_, -1)),
      maxMessage_(other.maxMessage_),
      rejected_(other.rejected_) {}

MailslotServer& MailslotServer::operator=(MailslotServer&& other) noexcept {
    if (this != &other) {
        release();
        socketPath_ = std::move(other.socketPath_);
        limitPath_ = std::move(other.limitPath_);
        socketFd_ = std::exchange(other.socketFd_, -1);
        lockFd_ = std::exchange(other.lockFd_, -1);
        maxMessage_ = other.maxMessage_;
        rejected_ = other.rejected_;
    }
    return *this;
}

MailslotServer::~MailslotServer() { release(); }

void MailslotServer::release() {
    if (socketFd_ >= 0) {
        ::unlink(socketPath_.c_str());
        ::unlink(limitPath_.c_str());
        ::close(std::exchange(socketFd_, -1));
    }
    if (lockFd_ >= 0) ::close(std::exchange(lockFd_, -1));
}

std::optional<std::vector<std::uint8_t>> MailslotServer::read() {
    if (socketFd_ < 0) return std::nullopt;
    std::vector<std::uint8_t> buffer(maxMessage_ + 1);
    for (;;) {
        const ssize_t n = ::recv(socketFd_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) > maxMessage_) {
            ++rejected_;
            continue;
        }
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
    }
}

Result<void> writeMailslot(std::string_view name, std::span<const std::uint8_t> message) {
    auto path = mailslotPath(name);
    if (!path) return path.error();
    if (auto dir = ensureDirectory(); !dir) return dir.error();
    auto limit = publishedLimit(*path, name);
    if (!limit) return limit.error();
    if (message.size() > *limit)
        return Error{BusError::TooLarge, "The mailslot " + inQuotes(name) + " takes at most " +
                                             std::to_string(*limit) + " bytes; a message of " +
                                             std::to_string(message.size()) +
                                             " bytes was not sent."};
    auto address = detail::socketAddress(*path);
    if (!address) return address.error();
    Fd s(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return detail::systemError(errno, "Cannot create a socket");
    for (;;) {
        const ssize_t n = ::sendto(s.get(), message.data(), message.size(),
                                   MSG_DONTWAIT | MSG_NOSIGNAL, address->get(), address->length);
        if (n >= 0) return success();
        switch (errno) {
            case EINTR: continue;
            case ECONNREFUSED:
                detail::removeIfStale(*path, withSuffix(*path, ".lock"));
                [[fallthrough]];
            case ENOENT:
                return Error{BusError::NotFound,
                             "No program has created the mailslot " + inQuotes(name) + "."};
            case EAGAIN:
                return Error{EAGAIN, "The mailslot " + inQuotes(name) +
                                         " is full; the message was not written."};
            case EMSGSIZE:
                return Error{BusError::TooLarge,
                             "The message is too large for the mailslot " + inQuotes(name) + "."};
            default:
                return detail::systemError(errno, "Cannot write to the mailslot " + inQuotes(name));
        }
    }
}

}  // namespace zeb::bus
