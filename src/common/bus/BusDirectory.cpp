// The bus directory and the machinery every bus object shares: checked
// directories, socket addresses, lock files and the claim of a socket name.
#include "common/bus/Bus.h"
#include "common/bus/BusInternal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zeb::bus {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path directory() {
    if (const char* dir = std::getenv("ZEB_BUS_DIR"); dir && *dir) return fs::path(dir);
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return fs::path(run) / "zeb";
    return fs::path("/tmp/zeb-" + std::to_string(::getuid()));
}

namespace {

// Creates `path` (mode 0700) when it is missing and checks that it is a real
// directory of ours that nobody else can enter. A symbolic link is refused:
// in /tmp anybody can plant one pointing at a directory they control.
Result<void> makePrivateDirectory(const fs::path& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return detail::systemError(errno, "Cannot create the bus directory " + path.string());
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return detail::systemError(errno, "Cannot examine the bus directory " + path.string());
    if (!S_ISDIR(st.st_mode))
        return Error{ENOTDIR, "The bus directory " + path.string() +
                                  " is not a directory (a link or a file is in its place)."};
    if (st.st_uid != ::geteuid())
        return Error{EPERM, "The bus directory " + path.string() +
                                " belongs to another user; it is not used."};
    if ((st.st_mode & 077) != 0)
        return Error{EPERM, "The bus directory " + path.string() +
                                " is open to other users (its mode must be 0700); it is not used."};
    return success();
}

}  // namespace

Result<fs::path> ensureDirectory() {
    const fs::path dir = directory();
    if (auto r = makePrivateDirectory(dir); !r) return r.error();
    for (const char* sub : {"class", "lock", "mailslot", "dde"}) {
        const fs::path p = dir / sub;
        if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST)
            return detail::systemError(errno, "Cannot create the bus directory " + p.string());
    }
    return dir;
}

namespace detail {

Error systemError(int err, const std::string& what) {
    return Error{err, what + ": " + std::strerror(err) + "."};
}

std::string inQuotes(std::string_view name) {
    std::string out = "\"";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool isValidName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/') return false;
    return true;
}

Result<SocketAddress> socketAddress(const fs::path& path) {
    SocketAddress a;
    const std::string& s = path.native();
    if (s.size() >= sizeof(a.addr.sun_path))
        return Error{BusError::BadName, "The bus path " + s + " is too long for a socket (" +
                                            std::to_string(s.size()) + " bytes, at most " +
                                            std::to_string(sizeof(a.addr.sun_path) - 1) +
                                            "); choose a shorter bus directory (ZEB_BUS_DIR)."};
    a.addr.sun_family = AF_UNIX;
    std::memcpy(a.addr.sun_path, s.c_str(), s.size() + 1);
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + s.size() + 1);
    return a;
}

Probe probeSocket(const fs::path& path, int type) {
    auto address = socketAddress(path);
    if (!address) return Probe::Failed;
    Fd s(::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.valid()) return Probe::Failed;
    if (::connect(s.get(), address->get(), address->length) == 0) return Probe::Alive;
    switch (errno) {
        case EAGAIN:  // a listening stream socket with a full backlog is alive
        case EINPROGRESS: return Probe::Alive;
        case ENOENT: return Probe::Absent;
        case ECONNREFUSED: return Probe::Refused;
        default: return Probe::Failed;
    }
}

void removeIfStale(const fs::path& socketPath, const fs::path& lockPath) {
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!lock.valid()) {
        // No lock file at all: nobody can be the owner.
        if (errno == ENOENT) ::unlink(socketPath.c_str());
        return;
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
        ::unlink(socketPath.c_str());
        ::flock(lock.get(), LOCK_UN);
    }
}

Result<Claim> claimSocket(const fs::path& lockPath, const fs::path& socketPath, int type,
                          const std::string& what,
                          const std::function<Result<void>()>& beforeBind) {
    auto address = socketAddress(socketPath);
    if (!address) return address.error();

    Claim claim;
    claim.lock.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!claim.lock.valid())
        return systemError(errno, "Cannot open the lock file " + lockPath.string());

    const auto deadline = std::chrono::steady_clock::now() + kClaimPatience;
    while (::flock(claim.lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return systemError(errno, "Cannot lock " + lockPath.string());
        if (probeSocket(socketPath, type) == Probe::Alive ||
            std::chrono::steady_clock::now() >= deadline)
            return Error{BusError::AlreadyRunning,
                         "Another running program already owns " + what + "."};
        std::this_thread::sleep_for(10ms);
    }

    // The lock is ours for good, so whatever socket is there has no owner.
    if (::unlink(socketPath.c_str()) != 0 && errno != ENOENT)
        return systemError(errno, "Cannot remove the old socket " + socketPath.string());
    if (beforeBind) {
        if (auto r = beforeBind(); !r) return r.error();
    }
    claim.socket.reset(::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!claim.socket.valid()) return systemError(errno, "Cannot create a socket for " + what);
    if (::bind(claim.socket.get(), address->get(), address->length) != 0)
        return systemError(errno, "Cannot bind the socket " + socketPath.string());
    if (type == SOCK_STREAM && ::listen(claim.socket.get(), 16) != 0) {
        const int err = errno;
        ::unlink(socketPath.c_str());
        return systemError(err, "Cannot listen on the socket " + socketPath.string());
    }
    return claim;
}

Result<void> makeDirectories(const fs::path& base, const fs::path& dir) {
    fs::path p = base;
    for (const auto& part : dir.lexically_relative(base)) {
        if (part.empty() || part == ".") continue;
        p /= part;
        if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST)
            return systemError(errno, "Cannot create the directory " + p.string());
    }
    return success();
}

}  // namespace detail
}  // namespace zeb::bus
