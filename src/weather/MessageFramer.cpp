#include "weather/MessageFramer.h"

#include <cstring>

namespace zeb::weather {

bool MessageFramer::windowReads(const char* text) const {
    return std::memcmp(window_.data(), text, window_.size()) == 0;
}

void MessageFramer::reset() {
    window_.fill(0);
    inMessage_ = false;
    info_ = false;
}

void MessageFramer::frameChar(std::uint8_t ch) {
    for (std::size_t i = 0; i + 1 < window_.size(); ++i) window_[i] = window_[i + 1];
    window_.back() = ch;
    if (!inMessage_) {
        if (windowReads("ZCZC")) {
            inMessage_ = true;
            info_ = true;
            output_.markStart(Collected::Information);
            output_.playWarningTone();
        }
        return;
    }
    if (windowReads("ZCZC")) {
        if (info_) output_.saveCollected(Collected::Information, true);
        info_ = true;
        output_.markStart(Collected::Information);
        output_.playWarningTone();
    } else if (windowReads("NNNN")) {
        if (info_) output_.saveCollected(Collected::Information);
        info_ = false;
        inMessage_ = false;
    }
}

}  // namespace zeb::weather
