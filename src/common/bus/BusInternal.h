// Helpers shared by the bus sources: descriptors, socket addresses, lock files
// and the claim of a socket name. Not part of the bus interface.
#pragma once

#include "common/Result.h"
#include "common/UniqueFd.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zeb::bus::detail {

using Fd = UniqueFd;

// "what: <system text>" with errno as the code.
Error systemError(int err, const std::string& what);

// A name as it appears in messages: inQuotes, control bytes shown as \xNN.
std::string inQuotes(std::string_view name);

// Class, service and mailslot-component names: 1..kMaxNameBytes bytes, no '/',
// no control byte, not "." or "..". Blanks are allowed ("ZEB-FAX Viewer").
bool isValidName(std::string_view name);

// A Unix socket address for a path; BusError::BadName when the path does not fit.
struct SocketAddress {
    sockaddr_un addr{};
    socklen_t length = 0;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&addr); }
};
Result<SocketAddress> socketAddress(const std::filesystem::path& path);

// Whether a socket at `path` has a live owner.
enum class Probe { Alive, Absent, Refused, Failed };
Probe probeSocket(const std::filesystem::path& path, int type);

// Removes a socket whose owner is gone: only when its lock can be taken, so a
// live owner (which holds the lock for its lifetime) is never touched.
void removeIfStale(const std::filesystem::path& socketPath, const std::filesystem::path& lockPath);

// The lock and the bound socket of a claimed name.
struct Claim {
    Fd lock;
    Fd socket;
};

// How long a starter waits for a lock held by somebody whose socket does not
// answer yet: another starter between lock and bind, or a presence check that
// holds the lock for a moment while it removes a stale socket.
inline constexpr std::chrono::milliseconds kClaimPatience{250};

// Takes the lock at `lockPath` for good, removes a stale socket at
// `socketPath`, runs `beforeBind` (if any) and binds a non-blocking socket of
// `type` there (stream sockets also listen). `what` names the object in
// messages, e.g. `the class "ZEB-MENU"`. BusError::AlreadyRunning when a live owner
// holds it.
Result<Claim> claimSocket(const std::filesystem::path& lockPath,
                          const std::filesystem::path& socketPath, int type,
                          const std::string& what,
                          const std::function<Result<void>()>& beforeBind = {});

// Creates `dir` and its missing parents below `base` with mode 0700.
Result<void> makeDirectories(const std::filesystem::path& base, const std::filesystem::path& dir);

// Little-endian writing and bounds-checked reading of the wire forms.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) { putLe(v, 2); }
    void u32(std::uint32_t v) { putLe(v, 4); }
    void i64(std::int64_t v) { putLe(static_cast<std::uint64_t>(v), 8); }
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

private:
    void putLe(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t>& out_;
};

// Every read past the end yields zeros and clears ok(); callers check ok() once.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> in) : in_(in) {}
    bool ok() const { return ok_; }
    std::size_t remaining() const { return in_.size() - pos_; }
    std::uint8_t u8() { return static_cast<std::uint8_t>(getLe(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(getLe(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(getLe(4)); }
    std::int64_t i64() { return static_cast<std::int64_t>(getLe(8)); }
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (!take(n)) return {};
        return in_.subspan(pos_ - n, n);
    }

private:
    bool take(std::size_t n) {
        if (!ok_ || n > remaining()) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    std::uint64_t getLe(int n) {
        if (!take(static_cast<std::size_t>(n))) return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= std::uint64_t{in_[pos_ - n + i]} << (8 * i);
        return v;
    }
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace zeb::bus::detail
