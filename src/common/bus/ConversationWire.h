// The frames of a conversation on the wire (layout documented in
// Conversation.cpp). ConversationClient and ConversationServer are the normal
// way to talk; this header serves tests and tools that must speak the
// protocol byte by byte, e.g. to send a broken frame on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zeb::bus {

enum class FrameType : std::uint8_t {
    Connect = 1,    // client: service NUL topic
    Connected = 2,  // server: the topic is accepted
    Refused = 3,    // server: the service or topic is refused; the server hangs up
    Poke = 4,       // client: format (u32) + data
    Ack = 5,        // server: the poke was processed
    Nack = 6,       // server: the poke was not processed
    Request = 7,    // client: format (u32)
    Data = 8,       // server: the requested bytes
    NoData = 9,     // server: nothing to answer the request with
};

inline constexpr std::size_t kFrameHeaderBytes = 5;  // type u8 + payload length u32

// One frame: header and payload (the payload must not exceed kMaxFrameBytes).
std::vector<std::uint8_t> encodeFrame(FrameType type, std::span<const std::uint8_t> payload);

}  // namespace zeb::bus
