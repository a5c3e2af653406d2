#include "rig/NmeaLineAssembler.h"

#include "common/Text.h"

namespace zeb::rig {

std::optional<std::string> NmeaLineAssembler::push(std::uint8_t byte) {
    if (index_ > kBufferSize - 2) {
        index_ = 0;
        wrapped_ = true;
    }
    buffer_[index_] = static_cast<char>(byte);
    buffer_[index_ + 1] = '\0';
    ++index_;
    if (byte != '\n') return std::nullopt;
    std::string line(buffer_.data(), index_);
    const bool wrapped = wrapped_;
    reset();
    if (wrapped || !acceptable(line)) {
        ++dropped_;
        return std::nullopt;
    }
    return line;
}

void NmeaLineAssembler::reset() {
    index_ = 0;
    wrapped_ = false;
    buffer_[0] = '\0';
}

bool NmeaLineAssembler::acceptable(const std::string& line) {
    const std::size_t n = line.size();
    if (n < 3 || n > kMaxLine || line[0] != '$' || line[n - 1] != '\n' || line[n - 2] != '\r') {
        return false;
    }
    return sentenceBodyAcceptable(std::string_view(line).substr(1, n - 3));
}

bool sentenceBodyAcceptable(std::string_view body) {
    const std::size_t end = body.size();
    std::size_t star = end;
    unsigned sum = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(body[i]);
        if (c < 0x20 || c > 0x7E) return false;
        if (star == end) {
            if (c == '*') {
                star = i;
            } else {
                sum ^= c;
            }
        }
    }
    if (star == end) return true;
    // "*hh" must end the text and must match.
    if (star + 3 != end) return false;
    const int hi = hexDigit(body[star + 1]);
    const int lo = hexDigit(body[star + 2]);
    return hi >= 0 && lo >= 0 && static_cast<unsigned>(hi * 16 + lo) == sum;
}

}  // namespace zeb::rig
