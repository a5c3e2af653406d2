// Serial line settings and the small enums the link and the receiver
// profiles share.
#pragma once

#include <cstdint>

namespace zeb::rig {

// One set of serial line settings. The codes follow the serial driver's own
// numbering, because the receiver table is written in those terms.
struct LineSettings {
    std::int32_t baud = 9600;
    std::uint8_t dataBits = 8;  // 7 or 8
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// A GPS on the receiver's line talks at these settings.
inline constexpr LineSettings kNmeaLineSettings{4800, 8, 0, 2};

enum class Handshake { None, Hardware };

// Whole command in one write, or every byte in a write of its own (for a
// receiver that loses bytes sent back to back).
enum class WriteStyle { Whole, ByteByByte };

// States of the RTS and DTR lines; each is applied as two line changes.
enum class ControlLines {
    Idle,     // RTS off, DTR on
    RtsOnly,  // RTS on, DTR off
    BothOff,  // RTS off, DTR off
    BothOn,   // RTS on, DTR on
};

}  // namespace zeb::rig
