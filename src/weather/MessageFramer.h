// The SITOR-B message framer: every message between "ZCZC" and "NNNN" of a
// NAVTEX or HF navigational-warning stream is collected into an INFO file.
// A second "ZCZC" without "NNNN" saves the first message and starts anew.
#pragma once

#include <array>
#include <cstdint>

#include "rtty/CharacterHandlers.h"
#include "weather/BulletinOutput.h"

namespace zeb::weather {

class MessageFramer : public rtty::CharacterSink {
public:
    explicit MessageFramer(BulletinOutput& output) : output_(output) {}

    void character(std::uint8_t ch) override { frameChar(ch); }
    void frameChar(std::uint8_t ch);
    // Closes any message without saving and clears the window (selecting an
    // RTTY mode does this).
    void reset();

    bool inMessage() const { return inMessage_; }

private:
    bool windowReads(const char* text) const;

    BulletinOutput& output_;
    std::array<std::uint8_t, 4> window_{};
    bool inMessage_ = false;
    bool info_ = false;
};

}  // namespace zeb::weather
