// NmeaLineAssembler: collects the bytes the reader thread receives into lines
// and passes on those that look like NMEA sentences.
//
// A line ends at a line feed. It is accepted when it begins with "$", the byte
// before the line feed is a carriage return, it is at most 80 characters long
// with the line feed, every character between "$" and the carriage return is
// printable ASCII, and a "*hh" checksum, when present, matches. Anything else
// is dropped. The buffer holds 256 bytes; a stream without line feeds starts
// again at the beginning every 255 bytes, and a line that wrapped is dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeb::rig {

// The part of a sentence between its start character and the CR LF: every
// character printable ASCII, and a "*", when present, followed by exactly two
// hex digits that end the text and match the XOR of the characters before it.
bool sentenceBodyAcceptable(std::string_view body);

class NmeaLineAssembler {
public:
    static constexpr std::size_t kBufferSize = 256;
    static constexpr std::size_t kMaxLine = 80;  // line feed included

    // Feeds one byte; returns the accepted sentence (with its CR LF) when the
    // byte completed one.
    std::optional<std::string> push(std::uint8_t byte);
    void reset();
    // Lines that ended but were not sentences, since construction.
    std::size_t dropped() const { return dropped_; }

    // The acceptance test on its own.
    static bool acceptable(const std::string& line);

private:
    std::array<char, kBufferSize> buffer_{};
    std::size_t index_ = 0;
    bool wrapped_ = false;
    std::size_t dropped_ = 0;
};

}  // namespace zeb::rig
