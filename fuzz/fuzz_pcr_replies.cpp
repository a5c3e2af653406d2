// The IC-PCR1000's status replies come from the serial line: any bytes must
// leave the parser consistent, and every reply it passes on must carry a
// squelch state or a strength in range. Each input is also fed again as one
// line, and its first bytes as a PORT value of the settings.
#include "rig/PcrControl.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using zeb::rig::PcrReply;

void check(const std::optional<PcrReply>& reply) {
    if (reply && reply->kind == PcrReply::Kind::Strength &&
        (reply->strength < 0 || reply->strength > 255)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zeb::rig::PcrReplyParser parser;
    for (std::size_t i = 0; i < size; ++i) check(parser.push(data[i]));
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(zeb::rig::PcrReplyParser::interpret(text));
    if (const auto port = zeb::rig::parsePcrPort(text.substr(0, 64))) {
        if (port->kind == zeb::rig::PcrPort::Kind::Number &&
            (port->number < 1 || port->number > 16))
            std::abort();
    }
    return 0;
}
