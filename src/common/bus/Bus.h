// The suite bus: how the programs of the suite find, close and message each
// other on one desktop.
//
// All objects live in one per-user directory (see directory()):
//   <bus>/class/<CLASS>     datagram socket of the program that owns window class CLASS
//   <bus>/lock/<CLASS>      lock file held (flock) by that program for its lifetime
//   <bus>/mailslot/<A>/<B>  datagram socket of a mailslot ("\\.\mailslot\A\B")
//   <bus>/dde/<SERVICE>     stream socket of a conversation service
//
// "A window of class X exists" means: X's socket accepts a datagram. The lock
// makes claiming a class atomic between two programs starting at once, and a
// socket whose owner died (the kernel released its lock) is stale and removed.
#pragma once

#include "common/Result.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::bus {

// Error codes of the bus (Error::code, category "bus"); system failures
// carry errno instead.
enum class BusError {
    NotFound = 1,        // no program owns the class / mailslot / service
    AlreadyRunning = 2,  // the class or mailslot is owned by a live program
    TooLarge = 3,        // message over the size limit
    Malformed = 4,       // bytes that are not a bus message / frame
    Timeout = 5,         // no answer within the time limit
    Refused = 6,         // the peer refused (connect to a wrong topic)
    BadName = 7,         // a class, mailslot or service name that cannot be used
};
std::error_code make_error_code(BusError code);

// The bus directory: $ZEB_BUS_DIR, else $XDG_RUNTIME_DIR/zeb, else /tmp/zeb-<uid>.
std::filesystem::path directory();

// Creates the bus directory (mode 0700) and its subdirectories when missing;
// refuses a directory owned by another user or open to others.
Result<std::filesystem::path> ensureDirectory();

// ---------------------------------------------------------------------------
// Messages to a class

enum class MessageKind : std::uint8_t {
    Close = 1,       // "post WM_CLOSE": the owner closes as if the user closed it
    Activate = 2,    // a second start asks the first instance to come to the front
    Registered = 3,  // a registered (named) message, e.g. "ZEB_EXIT_PROG"
    User = 4,        // a numbered private message (WM_USER + id) between suite programs
};

inline constexpr std::size_t kMaxNameBytes = 64;       // class and message names
inline constexpr std::size_t kMaxPayloadBytes = 1024;  // bytes carried by a message
inline constexpr std::size_t kMaxMessageBytes = 1200;  // whole encoded datagram

struct Message {
    MessageKind kind = MessageKind::Close;
    std::string name;      // Registered: the message name; otherwise empty
    std::uint32_t id = 0;  // User: the private message number; otherwise 0
    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
    std::vector<std::uint8_t> payload;  // at most kMaxPayloadBytes

    bool operator==(const Message&) const = default;
};

// Explicit little-endian wire form of a message (see Bus.cpp for the layout).
Result<std::vector<std::uint8_t>> encode(const Message& message);
Result<Message> decode(std::span<const std::uint8_t> bytes);

// A program's ownership of a window class: single instance and its inbox.
class ClassEndpoint {
public:
    // Claims the class; BusError::AlreadyRunning when a live program owns it.
    static Result<ClassEndpoint> claim(std::string_view className);

    ClassEndpoint(ClassEndpoint&&) noexcept;
    ClassEndpoint& operator=(ClassEndpoint&&) noexcept;
    ClassEndpoint(const ClassEndpoint&) = delete;
    ClassEndpoint& operator=(const ClassEndpoint&) = delete;
    ~ClassEndpoint();  // removes the socket, then releases the lock

    const std::string& className() const { return className_; }

    // Readable (poll/QSocketNotifier) while messages wait.
    int fd() const { return socketFd_; }

    // The next waiting message, without blocking; nullopt when none waits.
    // Datagrams that are too large or malformed are dropped and counted.
    std::optional<Message> receive();
    std::size_t rejectedCount() const { return rejected_; }

private:
    ClassEndpoint() = default;
    void release();

    std::string className_;
    std::filesystem::path socketPath_;
    int socketFd_ = -1;
    int lockFd_ = -1;
    std::size_t rejected_ = 0;
};

// True when a live program owns the class. A stale socket is removed.
bool classExists(std::string_view className);

// The classes owned by live programs, sorted.
std::vector<std::string> listClasses();

// Sends one message to the owner of a class (BusError::NotFound when nobody owns it).
Result<void> post(std::string_view className, const Message& message);

enum class CloseResult { Closed, StillRunning, NotRunning };

// Posts a close request to the class and checks every `step` whether it is
// gone, at most `maxSteps` times (50 ms × 40 = 2 s by default). A program that
// stays is left running. A request that finds the program's inbox full is
// sent again at every step; an Error says why the request never arrived
// (the inbox stayed full, the bus belongs to another user).
Result<CloseResult> closeByClass(std::string_view className,
                                 std::chrono::milliseconds step = std::chrono::milliseconds(50),
                                 int maxSteps = 40);

// Sends a registered message to every class on the bus; returns how many
// programs it reached.
int broadcast(std::string_view name, std::int64_t wParam = 0, std::int64_t lParam = 0);

// ---------------------------------------------------------------------------
// Mailslots: one-way message queues with a size limit, created by one reader.

// "\\.\mailslot\MAIL\NMEA\IN" and "MAIL/NMEA/IN" name the same mailslot.
// Returns its socket path, or BusError::BadName.
Result<std::filesystem::path> mailslotPath(std::string_view name);

class MailslotServer {
public:
    // Creates the mailslot; BusError::AlreadyRunning when a live program created it.
    static Result<MailslotServer> create(std::string_view name, std::size_t maxMessageBytes);

    MailslotServer(MailslotServer&&) noexcept;
    MailslotServer& operator=(MailslotServer&&) noexcept;
    MailslotServer(const MailslotServer&) = delete;
    MailslotServer& operator=(const MailslotServer&) = delete;
    ~MailslotServer();

    int fd() const { return socketFd_; }
    std::size_t maxMessageBytes() const { return maxMessage_; }

    // The next waiting message, without blocking. Messages over the limit are
    // dropped and counted.
    std::optional<std::vector<std::uint8_t>> read();
    std::size_t rejectedCount() const { return rejected_; }

private:
    MailslotServer() = default;
    void release();

    std::filesystem::path socketPath_;
    std::filesystem::path limitPath_;
    int socketFd_ = -1;
    int lockFd_ = -1;
    std::size_t maxMessage_ = 0;
    std::size_t rejected_ = 0;
};

// Writes one message into an existing mailslot: BusError::NotFound when nobody created
// it, BusError::TooLarge when it is over the mailslot's limit (nothing is sent).
Result<void> writeMailslot(std::string_view name, std::span<const std::uint8_t> message);

}  // namespace zeb::bus

template <>
struct std::is_error_code_enum<zeb::bus::BusError> : std::true_type {};
