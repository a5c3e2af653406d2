// The decoders' way of writing letters: exactly one space between words,
// none before the first word and none doubled, whatever the letter texts
// (prosigns carry blanks of their own) and the word-space decisions say.
#pragma once

#include <string_view>

#include "common/TextSink.h"

namespace zeb::cw {

class SpacedText {
public:
    explicit SpacedText(TextSink& sink) : sink_(&sink) {}

    void write(std::string_view text) {
        if (lastWasSpace_ || !wroteAny_) {
            while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        }
        if (text.empty()) return;
        sink_->text(text);
        wroteAny_ = true;
        lastWasSpace_ = text.back() == ' ';
    }

    void writeSpace() {
        if (!wroteAny_ || lastWasSpace_) return;
        sink_->text(" ");
        lastWasSpace_ = true;
    }

private:
    TextSink* sink_;
    bool wroteAny_ = false;
    bool lastWasSpace_ = false;
};

}  // namespace zeb::cw
