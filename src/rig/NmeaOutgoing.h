// The check for sentences that other programs on the machine ask to have
// written to the receiver's serial line. Nothing reaches the line without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zeb::rig {

inline constexpr std::size_t kMaxOutgoingMessage = 255;  // bytes, NUL included
inline constexpr std::size_t kMaxOutgoingSentence = 82;  // characters, CR LF included

// A message is at most 255 bytes and may end in a NUL (it and everything after
// it are dropped). What is left must start with "$" or "!", be printable ASCII
// apart from an optional CR LF at the end, be at most 82 characters with the
// CR LF, and a "*hh" checksum, when present, must end the sentence and match.
// Returns the sentence with exactly one CR LF at the end, or nothing.
std::optional<std::string> acceptOutgoing(std::span<const std::uint8_t> message);

}  // namespace zeb::rig
