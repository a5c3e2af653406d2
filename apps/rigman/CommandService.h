// The command service of the receiver-control program: what the other
// programs of the suite poke and request (see common/bus/ReceiverLink.h).
//
// Pokes are read up to 512 bytes. Frequencies are parsed only inside the
// bytes received, in the "C" convention; text that is no finite number, and
// records shorter than their size, are answered "not processed". The code
// of the last poke is the service's, not the connection's: a request in a
// later conversation answers it.
#pragma once

#include "common/bus/Conversation.h"
#include "common/bus/ReceiverLink.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zeb::rigman {

// What a command does to the receiver; the program runs it as if the user
// had used the window.
class ReceiverActions {
public:
    virtual ~ReceiverActions() = default;
    virtual double frequencyKhz() const = 0;
    virtual unsigned mode() const = 0;
    virtual void tune(double khz) = 0;
    virtual void selectMode(unsigned modeFlag) = 0;
    virtual void setBreak(bool on) = 0;
};

inline constexpr std::size_t kMaxPokeBytes = 512;

// The mode code of the records for a mode flag (4 LSB, 5 USB, 6 AM and AM
// narrow, 7 FM); nullopt for the modes that leave the field as it was.
std::optional<std::int32_t> recordModeCode(unsigned modeFlag);

// A decimal number in the "C" convention that fills `text` up to its first
// NUL (blanks around it allowed); nullopt otherwise.
std::optional<double> parseDecimal(std::span<const std::uint8_t> text);

class CommandService final : public bus::ConversationHandler {
public:
    explicit CommandService(ReceiverActions& actions) : actions_(actions) {}

    bool acceptTopic(std::string_view topic) override;
    bus::PokeAnswer poke(std::string_view topic, std::uint32_t format,
                         std::span<const std::uint8_t> data) override;
    std::optional<std::vector<std::uint8_t>> request(std::string_view topic,
                                                     std::uint32_t format) override;

    // Both records back to zero (at start-up).
    void clearRecords();

private:
    template <std::size_t N>
    std::vector<std::uint8_t> answerRecord(std::array<std::uint8_t, N>& record);

    ReceiverActions& actions_;
    std::optional<std::uint16_t> lastCode_;
    std::array<std::uint8_t, bus::kRecordABytes> recordA_{};
    std::array<std::uint8_t, bus::kRecordBBytes> recordB_{};
};

}  // namespace zeb::rigman
