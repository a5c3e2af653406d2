#include "teleprinter/CharacterHandlers.h"

#include <algorithm>
#include <string_view>

#include "teleprinter/CodeTables.h"

namespace zeb::teleprinter {
namespace {

void show(const CharacterOutputs& out, std::uint8_t ch) {
    if (out.display != nullptr) {
        const char c = static_cast<char>(ch);
        out.display->text(std::string_view(&c, 1));
    }
}

void scan(const CharacterOutputs& out, std::uint8_t ch) {
    if (out.scanner != nullptr) out.scanner->character(ch);
}

}  // namespace

int BaudotHandler::handle(int frame) {
    const int code = (frame >> 1) & 31;
    if (code == kBaudotFigs) {
        shift_.set(false);
        return 1;
    }
    if (code == kBaudotLtrs) {
        shift_.set(true);
        return 1;
    }
    const std::uint8_t ch = shift_.letters() ? kBaudotLetters[code] : kBaudotFigures[code];
    if (ch == kBaudotNone) return 0;
    if (ch == 10) {
        // The window starts a new line on CR; the scanner keeps the LF.
        show(out_, 13);
        scan(out_, 10);
    } else if (ch == 13) {
        scan(out_, 13);
    } else {
        show(out_, ch);
        scan(out_, ch);
        if (ch == ' ' && usos_ && !shift_.letters()) shift_.set(true);
    }
    return 1;
}

int SitorHandler::handle(int word) {
    word &= 0x7F;
    std::rotate(history_.begin(), history_.begin() + 1, history_.end());
    const SlotRecord previous = history_[kHistory - 2];
    SlotRecord& slot = history_[kHistory - 1];
    slot.shift = previous.shift;
    slot.word = static_cast<std::uint8_t>(word);
    slot.ch = previous.shift != 0 ? kSitorLetters[word] : kSitorFigures[word];
    if (word == kSitorBetaWord) {
        // β is only ever sent in a first-transmission slot (the phasing pairs
        // put α in the repetition slot, and the end of emission sends α in
        // first-transmission slots), so β alone re-aligns the alternation.
        slot.first = 1;
    } else {
        slot.first = static_cast<std::uint8_t>(1 - previous.first);
    }
    const int valid = slot.ch != 0 ? 1 : 0;
    if (slot.first != 0) return valid;

    // A lost repetition is replaced by its first transmission five slots
    // earlier, looked up again in the shift in force now: a shift code sent
    // just before it had not been output yet when the first copy arrived.
    const std::uint8_t first =
        slot.shift != 0 ? kSitorLetters[history_[0].word] : kSitorFigures[history_[0].word];
    const std::uint8_t out = valid != 0 ? slot.ch : first;
    if (output(slot, out)) return valid;
    if (out_.scanner != nullptr) out_.scanner->characterLost();
    return 0;
}

void SitorHandler::decided(int word) {
    word &= 0x7F;
    SlotRecord& slot = history_[kHistory - 1];
    slot.word = static_cast<std::uint8_t>(word);
    slot.ch = slot.shift != 0 ? kSitorLetters[word] : kSitorFigures[word];
    output(slot, slot.ch);
}

bool SitorHandler::output(SlotRecord& slot, std::uint8_t out) {
    switch (out) {
        case 0: return false;
        case 10:
            show(out_, 13);
            scan(out_, 13);
            return true;
        case 13:
        case kSitorAlpha:
        case kSitorBeta:
        case kSitorRepetition: return true;
        case kSitorFigs:
            slot.shift = 0;
            shift_.set(false);
            return true;
        case kSitorLtrs:
            slot.shift = 1;
            shift_.set(true);
            return true;
        default:
            show(out_, out);
            scan(out_, out);
            return true;
    }
}

}  // namespace zeb::teleprinter
