// The receiver-control link: how the suite's programs tune the receiver
// through the receiver-control program's command service.
//
// A command is poked as a DdeCommand record: a 16-bit command code, a 32-bit
// payload length (both little-endian) and the payload. Codes 2 and 3 carry
// the frequency in kHz as decimal text with its NUL, 100 and 101 the client
// bytes of the two records the server keeps, 104 the break state as text.
// A request answers according to the code of the last poke: code 1 the
// identification text, 102 and 103 the two records with the current
// frequency and mode code filled in.
#pragma once

#include "common/Result.h"
#include "common/bus/Conversation.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zeb::bus {

inline constexpr std::string_view kReceiverService = "RECEIVER CONTROL";
inline constexpr std::string_view kReceiverTopic = "COMMAND";
// The answer to an identification request; a server that gives another is
// not the suite's receiver control.
inline constexpr std::string_view kReceiverIdentity = "VXQ receiver control";
// The clipboard format number every transaction of the link carries.
inline constexpr std::uint32_t kReceiverFormat = 2;
// The program that offers the service.
inline constexpr std::string_view kReceiverProgram = "RIGMAN.EXE";

namespace ReceiverCode {
inline constexpr std::uint16_t Identify = 1;
inline constexpr std::uint16_t AddFrequency = 2;
inline constexpr std::uint16_t SetFrequency = 3;
inline constexpr std::uint16_t Lsb = 4;
inline constexpr std::uint16_t Usb = 5;
inline constexpr std::uint16_t Am = 6;
inline constexpr std::uint16_t Fm = 7;
inline constexpr std::uint16_t StoreRecordA = 100;
inline constexpr std::uint16_t StoreRecordB = 101;
inline constexpr std::uint16_t ReadRecordA = 102;
inline constexpr std::uint16_t ReadRecordB = 103;
inline constexpr std::uint16_t SetBreak = 104;
}  // namespace ReceiverCode

inline constexpr std::size_t kCommandHeaderBytes = 6;
inline constexpr std::size_t kRecordABytes = 36;
inline constexpr std::size_t kRecordBBytes = 48;

// A DdeCommand record.
std::vector<std::uint8_t> encodeCommand(std::uint16_t code,
                                        std::span<const std::uint8_t> payload = {});
// A command whose payload is text with its terminating NUL.
std::vector<std::uint8_t> encodeTextCommand(std::uint16_t code, std::string_view text);

// A kept record as a request returns it.
struct ReceiverRecord {
    double frequencyKhz = 0.0;
    std::int32_t modeCode = 0;  // 4 LSB, 5 USB, 6 AM, 7 FM
    std::vector<std::uint8_t> clientBytes;
};
// Nullopt when the bytes are not a whole record A (36) or B (48).
std::optional<ReceiverRecord> decodeRecord(std::span<const std::uint8_t> bytes);

struct ReceiverConnectOptions {
    // When no server answers: start the receiver-control program minimised
    // and try again, first after `firstRetry`, then every 100 ms until
    // `giveUp` has passed since the start.
    bool startServer = true;
    std::chrono::milliseconds firstRetry{0};
    std::chrono::milliseconds giveUp{10000};
    // Starts the program; by default RIGMAN.EXE through the suite's launcher.
    std::function<bool()> start;
};

class ReceiverClient {
public:
    // Connects, starting the server when needed, and identifies: the link
    // counts only when the server answers with kReceiverIdentity.
    static Result<ReceiverClient> connect(const ReceiverConnectOptions& options = {});

    Result<PokeAnswer> poke(std::uint16_t code, std::span<const std::uint8_t> payload = {});
    Result<PokeAnswer> pokeText(std::uint16_t code, std::string_view text);
    // The answer to the last poke; nullopt when the server has none.
    Result<std::optional<std::vector<std::uint8_t>>> request();

    // Tunes to `khz` (code 3, "%.3f").
    Result<PokeAnswer> setFrequency(double khz);

    ConversationClient& conversation() { return client_; }

private:
    explicit ReceiverClient(ConversationClient client) : client_(std::move(client)) {}
    ConversationClient client_;
};

}  // namespace zeb::bus
