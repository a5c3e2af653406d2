#include "CommandService.h"

#include "common/LittleEndian.h"
#include "rig/ReceiverProfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace zeb::rigman {

namespace {

using bus::PokeAnswer;
namespace Code = bus::ReceiverCode;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::int32_t> recordModeCode(unsigned modeFlag) {
    switch (modeFlag) {
        case rig::ModeFlag::Lsb: return 4;
        case rig::ModeFlag::Usb: return 5;
        case rig::ModeFlag::AmNarrow:
        case rig::ModeFlag::Am: return 6;
        case rig::ModeFlag::Fm: return 7;
        default: return std::nullopt;
    }
}

std::optional<double> parseDecimal(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    std::string text(bytes.begin(), end);
    std::size_t first = 0, last = text.size();
    while (first < last && isBlank(text[first])) ++first;
    while (last > first && isBlank(text[last - 1])) --last;
    if (first < last && text[first] == '+') ++first;  // "+0.5" as a client may write it
    double value = 0.0;
    const char* begin = text.data() + first;
    const auto r = std::from_chars(begin, text.data() + last, value, std::chars_format::general);
    if (first == last || r.ec != std::errc() || r.ptr != text.data() + last ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool CommandService::acceptTopic(std::string_view topic) { return topic == bus::kReceiverTopic; }

PokeAnswer CommandService::poke(std::string_view topic, std::uint32_t /*format*/,
                                std::span<const std::uint8_t> data) {
    if (topic != bus::kReceiverTopic || data.size() < 2) return PokeAnswer::NotProcessed;
    data = data.first(std::min(data.size(), kMaxPokeBytes));
    const std::uint16_t code = le::get16(data.data());
    lastCode_ = code;
    const auto payload = data.size() > bus::kCommandHeaderBytes
                             ? data.subspan(bus::kCommandHeaderBytes)
                             : std::span<const std::uint8_t>{};
    auto store = [&](auto& record) {
        if (payload.size() < record.size()) return PokeAnswer::NotProcessed;
        std::copy_n(payload.begin(), record.size(), record.begin());
        return PokeAnswer::Acknowledged;
    };
    switch (code) {
        case Code::Identify:
        case Code::ReadRecordA:
        case Code::ReadRecordB: return PokeAnswer::Acknowledged;
        case Code::StoreRecordA: return store(recordA_);
        case Code::StoreRecordB: return store(recordB_);
        case Code::Lsb: actions_.selectMode(rig::ModeFlag::Lsb); break;
        case Code::Usb: actions_.selectMode(rig::ModeFlag::Usb); break;
        case Code::Am: actions_.selectMode(rig::ModeFlag::Am); break;
        case Code::Fm: actions_.selectMode(rig::ModeFlag::Fm); break;
        case Code::AddFrequency:
        case Code::SetFrequency:
        case Code::SetBreak: {
            const auto value = parseDecimal(payload);
            if (!value) return PokeAnswer::NotProcessed;
            if (code == Code::SetBreak)
                actions_.setBreak(*value != 0.0);
            else
                actions_.tune(code == Code::SetFrequency ? *value
                                                         : actions_.frequencyKhz() + *value);
            break;
        }
        default: return PokeAnswer::NotProcessed;
    }
    return PokeAnswer::Acknowledged;
}

template <std::size_t N>
std::vector<std::uint8_t> CommandService::answerRecord(std::array<std::uint8_t, N>& record) {
    le::Writer w(record);
    w.f64(0, actions_.frequencyKhz());
    if (const auto mode = recordModeCode(actions_.mode())) w.i32(8, *mode);
    return {record.begin(), record.end()};
}

std::optional<std::vector<std::uint8_t>> CommandService::request(std::string_view topic,
                                                                 std::uint32_t /*format*/) {
    if (topic != bus::kReceiverTopic || !lastCode_) return std::nullopt;
    switch (*lastCode_) {
        case Code::Identify: {
            std::vector<std::uint8_t> text(bus::kReceiverIdentity.begin(),
                                           bus::kReceiverIdentity.end());
            text.push_back(0);
            return text;
        }
        case Code::ReadRecordA: return answerRecord(recordA_);
        case Code::ReadRecordB: return answerRecord(recordB_);
        default: return std::nullopt;
    }
}

void CommandService::clearRecords() {
    recordA_.fill(0);
    recordB_.fill(0);
}

}  // namespace zeb::rigman
