// The rigctld-compatible network port: programs that speak Hamlib's network
// protocol (Hamlib's "NET rigctl" model 2 as used by fldigi, WSJT-X and
// rigctl, and gpredict's own client) read and set the receiver's frequency
// and mode through it.
//
// The protocol is line based: a command is one letter ("f", "F 14100000") or
// a backslash and a long name ("\get_freq"), with its arguments separated by
// blanks; several commands may share a line. A get command answers its values
// one per line, a set command "RPRT 0"; a failure answers "RPRT -n" with
// Hamlib's error code. A command prefixed with '+' gets the extended answer
// (the command echoed, "Key: value" records, "RPRT n"); another punctuation
// prefix (';', '|', ',') gets the same with that character between the
// records. "\chk_vfo" and "\dump_state" (protocol 0: the receive range and
// modes of the radio) are what Hamlib's client asks when it connects. A long
// name may also be sent as the one byte Hamlib gives it (0x8B: \get_dcd).
//
// Input that cannot be a command ends the connection: a line longer than
// kMaxLineBytes, or a control byte other than tab, CR and LF. A last line
// without its line end still runs when the client stops sending (old
// gpredict sends "F %10.0f" and shuts the connection down).
#pragma once

#include "common/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zeb::rig {

// The radio the port controls; the program implements it over its receiver
// driver. Called on the thread that calls RigctlServer::process().
class RigctlTarget {
public:
    virtual ~RigctlTarget() = default;
    virtual double frequencyHz() const = 0;
    // False when the radio refused the frequency.
    virtual bool setFrequencyHz(double hz) = 0;
    virtual unsigned mode() const = 0;  // a ModeFlag bit
    virtual bool setMode(unsigned modeFlag) = 0;
    virtual std::uint32_t features() const = 0;  // ModeFlag bits of the radio's modes
    // The receive range announced by \dump_state.
    virtual double lowHz() const = 0;
    virtual double highHz() const = 0;
    // Signal strength in dB over S9 (Hamlib's STRENGTH level); nullopt when unknown.
    virtual std::optional<int> strengthDb() const = 0;
};

// One client's side of the protocol, without the socket: it assembles lines
// from the bytes as they come and answers each.
class RigctlSession {
public:
    static constexpr std::size_t kMaxLineBytes = 256;

    explicit RigctlSession(RigctlTarget& target) : target_(&target) {}

    // Takes bytes as the client sent them and appends the answers to the
    // complete lines to `out`. False when the connection is to end: the client
    // quit ("q", answered first) or sent input that cannot be a command.
    bool receive(std::string_view bytes, std::string& out);

    // The client sends no more: answers a last line that had no line end.
    void finish(std::string& out);

    // Answers one line (without its line end) into `out`; false when the
    // line asks to quit.
    bool handleLine(std::string_view line, std::string& out);

private:
    RigctlTarget* target_;
    std::string partial_;   // the line being received
    bool vfoMode_ = false;  // "\set_vfo_opt 1": commands name their VFO first
};

class RigctlServer {
public:
    static constexpr std::size_t kMaxClients = 8;
    // Answers waiting for a client that does not read; past this it is dropped.
    static constexpr std::size_t kMaxPendingBytes = 65536;

    // Listens on 127.0.0.1:port; port 0 picks a free port (see port()).
    static Result<RigctlServer> listen(std::uint16_t port, RigctlTarget& target);

    RigctlServer(RigctlServer&&) noexcept;
    RigctlServer& operator=(RigctlServer&&) noexcept;
    RigctlServer(const RigctlServer&) = delete;
    RigctlServer& operator=(const RigctlServer&) = delete;
    ~RigctlServer();

    std::uint16_t port() const;
    // One descriptor, readable whenever something waits for process().
    int fd() const;
    // Accepts clients, reads and answers their commands, without blocking.
    void process();
    std::size_t clientCount() const;

private:
    RigctlServer() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zeb::rig
