#include "common/bus/ReceiverLink.h"

#include "common/Format.h"
#include "common/Launch.h"
#include "common/LittleEndian.h"

#include <bit>
#include <thread>

namespace zeb::bus {

std::vector<std::uint8_t> encodeCommand(std::uint16_t code, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> out(kCommandHeaderBytes + payload.size());
    le::Writer w(out);
    w.u16(0, code);
    w.u32(2, static_cast<std::uint32_t>(payload.size()));
    w.bytes(kCommandHeaderBytes, payload.data(), payload.size());
    return out;
}

std::vector<std::uint8_t> encodeTextCommand(std::uint16_t code, std::string_view text) {
    std::vector<std::uint8_t> payload(text.begin(), text.end());
    payload.push_back(0);
    return encodeCommand(code, payload);
}

std::optional<ReceiverRecord> decodeRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kRecordABytes && bytes.size() != kRecordBBytes) return std::nullopt;
    ReceiverRecord record;
    record.frequencyKhz = std::bit_cast<double>(le::get64(bytes.data()));
    record.modeCode = static_cast<std::int32_t>(le::get32(bytes.data() + 8));
    record.clientBytes.assign(bytes.begin() + 12, bytes.end());
    return record;
}

namespace {

constexpr std::chrono::milliseconds kRetryStep{100};

Result<ConversationClient> connectOnce() {
    return ConversationClient::connect(kReceiverService, kReceiverTopic);
}

bool startServerProgram() {
    launch::Options options;
    options.show = launch::Show::Minimised;
    return static_cast<bool>(launch::startProgram(kReceiverProgram, {}, options));
}

// After starting the server: tries again until it answers or time is up.
Result<ConversationClient> connectAfterStart(const ReceiverConnectOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + options.giveUp;
    std::this_thread::sleep_for(options.firstRetry);
    for (;;) {
        auto client = connectOnce();
        if (client || client.error().code != BusError::NotFound ||
            std::chrono::steady_clock::now() + kRetryStep > deadline)
            return client;
        std::this_thread::sleep_for(kRetryStep);
    }
}

}  // namespace

Result<ReceiverClient> ReceiverClient::connect(const ReceiverConnectOptions& options) {
    auto client = connectOnce();
    if (!client && client.error().code == BusError::NotFound && options.startServer) {
        const bool started = options.start ? options.start() : startServerProgram();
        if (started) client = connectAfterStart(options);
    }
    if (!client) return client.error();
    ReceiverClient link(std::move(*client));
    if (auto poked = link.poke(ReceiverCode::Identify); !poked) return poked.error();
    auto answer = link.request();
    if (!answer) return answer.error();
    const std::string expected = std::string(kReceiverIdentity) + '\0';
    if (!*answer || std::string((*answer)->begin(), (*answer)->end()) != expected)
        return Error{make_error_code(BusError::Refused),
                     "the receiver-control service did not identify itself as \"" +
                         std::string(kReceiverIdentity) + "\""};
    return link;
}

Result<PokeAnswer> ReceiverClient::poke(std::uint16_t code, std::span<const std::uint8_t> payload) {
    const auto bytes = encodeCommand(code, payload);
    return client_.poke(kReceiverFormat, bytes);
}

Result<PokeAnswer> ReceiverClient::pokeText(std::uint16_t code, std::string_view text) {
    const auto bytes = encodeTextCommand(code, text);
    return client_.poke(kReceiverFormat, bytes);
}

Result<std::optional<std::vector<std::uint8_t>>> ReceiverClient::request() {
    return client_.request(kReceiverFormat);
}

Result<PokeAnswer> ReceiverClient::setFrequency(double khz) {
    return pokeText(ReceiverCode::SetFrequency, formatFixed(khz, 3));
}

}  // namespace zeb::bus
