#include "rig/NmeaOutgoing.h"

#include "rig/NmeaLineAssembler.h"

#include <algorithm>
#include <string_view>

namespace zeb::rig {

std::optional<std::string> acceptOutgoing(std::span<const std::uint8_t> message) {
    if (message.size() > kMaxOutgoingMessage) return std::nullopt;
    const auto nul = std::find(message.begin(), message.end(), std::uint8_t{0});
    std::string_view text(reinterpret_cast<const char*>(message.data()),
                          static_cast<std::size_t>(nul - message.begin()));
    if (text.ends_with("\r\n")) text.remove_suffix(2);
    if (text.empty() || (text.front() != '$' && text.front() != '!')) return std::nullopt;
    if (text.size() + 2 > kMaxOutgoingSentence) return std::nullopt;
    if (!sentenceBodyAcceptable(text.substr(1))) return std::nullopt;
    std::string sentence(text);
    sentence += "\r\n";
    return sentence;
}

}  // namespace zeb::rig
