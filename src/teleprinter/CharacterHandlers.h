// The character handlers: teleprinter code words in, characters out to the
// display and to the text scanner.
#pragma once

#include <array>
#include <cstdint>

#include "common/TextSink.h"

namespace zeb::teleprinter {

// Receives every decoded character for the bulletin and report scanner (ITA2)
// or the message framer (SITOR-B).
class CharacterSink {
public:
    virtual ~CharacterSink() = default;
    virtual void character(std::uint8_t ch) = 0;
    // A character was lost: neither of its two SITOR-B copies could be read.
    // The message framer counts these; the bulletin scanner ignores them.
    virtual void characterLost() {}
};

// Told about every change of the shift state (the LTRS/FIGS indicators).
class ShiftListener {
public:
    virtual ~ShiftListener() = default;
    virtual void shiftChanged(bool letters) = 0;
};

// Letters or figures; starts in figures. Changed by received LTRS/FIGS codes
// and by the user's LTRS and FIGS buttons; a space does not return to letters.
class ShiftState {
public:
    bool letters() const { return letters_; }
    void set(bool letters) {
        letters_ = letters;
        if (listener_ != nullptr) listener_->shiftChanged(letters);
    }
    void setListener(ShiftListener* listener) { listener_ = listener; }

private:
    bool letters_ = false;
    ShiftListener* listener_ = nullptr;
};

// Where a handler sends its characters. Either sink may be null.
struct CharacterOutputs {
    TextSink* display = nullptr;
    CharacterSink* scanner = nullptr;
};

// ITA2 frames from the asynchronous and synchronous slicers.
class BaudotHandler {
public:
    BaudotHandler(ShiftState& shift, CharacterOutputs outputs) : shift_(shift), out_(outputs) {}

    // `frame`: bit 6 the start bit, bits 5…1 the data bits (first received in
    // bit 5), bit 0 the stop bit. Returns 0 when all data bits are space
    // (nothing is output), else 1.
    int handle(int frame);

    // Unshift on space: a received space returns to letters, as many
    // teleprinters do (off by default).
    void setUnshiftOnSpace(bool on) { usos_ = on; }

private:
    ShiftState& shift_;
    CharacterOutputs out_;
    bool usos_ = false;
};

// One slot of the SITOR-B history.
struct SlotRecord {
    std::uint8_t ch = 0;     // looked-up character, 0 = invalid word
    std::uint8_t first = 0;  // 1 = first transmission (DX), 0 = repetition (RX)
    std::uint8_t shift = 0;  // 1 letters, 0 figures
    std::uint8_t word = 0;   // the received word, for looking it up again
};

// CCIR 476 words in collective FEC: each character is sent twice, the
// repetition five slots after the first transmission. Only repetition slots
// are output; an invalid repetition is replaced by its first transmission,
// and when both are invalid the scanner sink is told the character was lost.
// Slots alternate first transmission / repetition; phasing signal β marks a
// first-transmission slot.
class SitorHandler {
public:
    static constexpr int kHistory = 6;

    SitorHandler(ShiftState& shift, CharacterOutputs outputs) : shift_(shift), out_(outputs) {}

    // `word`: the 7 received bits, the first in bit 6. Returns 1 when the word
    // is valid in the current shift, else 0.
    int handle(int word);

    // Outputs a character word that was already decided from both of its
    // copies, as a repetition slot would: shift codes change the shift, the
    // service signals and CR show nothing. The history is not used, and no
    // loss is reported: the word was decided.
    void decided(int word);
    // A character the matched design could not read from either copy: only
    // reported to the scanner sink, which counts it.
    void lost() {
        if (out_.scanner != nullptr) out_.scanner->characterLost();
    }

    const std::array<SlotRecord, kHistory>& history() const { return history_; }
    // Puts the history in letters or figures shift (before reception starts).
    void startIn(bool letters) {
        for (auto& slot : history_) slot.shift = letters ? 1 : 0;
    }

private:
    // Shows or acts on one output character; false when there is none.
    bool output(SlotRecord& slot, std::uint8_t out);

    ShiftState& shift_;
    CharacterOutputs out_;
    std::array<SlotRecord, kHistory> history_{};
};

}  // namespace zeb::teleprinter
