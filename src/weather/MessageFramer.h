// The SITOR-B message framer: every message between "ZCZC" and "NNNN" of a
// NAVTEX or HF navigational-warning stream is collected into an INFO file.
// A second "ZCZC" without "NNNN" saves the first message and starts anew.
//
// Messages are handled as a NAVTEX receiver handles them. The identity in the
// "ZCZC B1B2B3B4" line is read (a garbled header line gives a message without
// identity, which is still saved), the characters the decoder lost are
// counted and reported after "NNNN" in a line that is also the last line of
// the saved text, messages of stations or subjects that are not selected are
// not saved, and a message already received well within the last 72 hours
// is not saved again (serial number 00 excepted); a copy with fewer lost
// characters than the one on file takes its place under the same file name.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/TimeKey.h"
#include "teleprinter/CharacterHandlers.h"
#include "weather/BulletinOutput.h"
#include "weather/NavtexMessage.h"

namespace zeb::weather {

class MessageFramer : public teleprinter::CharacterSink {
public:
    enum class Outcome {
        Saved,        // a new message
        Replaced,     // a better copy of a message on file, saved in its place
        Repeated,     // already on file as well or better: not saved again
        NotSelected,  // station or subject not selected: not saved
    };

    // What became of the last message.
    struct Message {
        std::optional<NavtexId> id;  // nullopt: header line garbled
        int characters = 0;          // from after "ZCZC" to "NNNN", lost ones included
        int lost = 0;
        bool complete = true;  // ended by "NNNN", not cut off by the next "ZCZC"
        Outcome outcome = Outcome::Saved;
        std::string file;  // the file name asked for ("" when the output chose it)
    };

    // Without a folder the received messages are remembered only while the
    // framer lives and the output names the files.
    explicit MessageFramer(BulletinOutput& output);
    // With the SYNOP folder: the record of received messages is
    // "<synopDir>/NAVTEX.DAT" and the framer names the INFO files itself.
    MessageFramer(BulletinOutput& output, std::filesystem::path synopDir);

    void character(std::uint8_t ch) override { frameChar(ch); }
    void characterLost() override;
    void frameChar(std::uint8_t ch);
    // Closes any message without saving and clears the window (selecting an
    // RTTY mode does this).
    void reset();
    // The reception ends (the recording, or the user stopped it): a message
    // being received is saved as it is, as one cut off.
    void endOfReception();

    void setSelection(const NavtexSelection& selection) { selection_ = selection; }
    const NavtexSelection& selection() const { return selection_; }
    void setClock(std::function<TimeKey()> clock) { clock_ = std::move(clock); }

    bool inMessage() const { return inMessage_; }
    const std::optional<Message>& lastMessage() const { return last_; }
    const NavtexLog& log() const { return log_; }

private:
    bool windowReads(const char* text) const;
    void begin();
    // `nextBegins`: the line being received is the next message's "ZCZC"
    // and is left out.
    void finish(bool complete, bool nextBegins = true);
    std::optional<NavtexId> headerId() const;
    // The copy on file of a message received within 72 hours, if its file is
    // still there.
    std::optional<NavtexEntry> onFile(const NavtexId& id, TimeKey now) const;
    std::string newFileName(TimeKey now);
    void note(const std::string& line);

    BulletinOutput& output_;
    std::filesystem::path synopDir_;
    NavtexLog log_;
    NavtexSelection selection_;
    std::function<TimeKey()> clock_;
    std::array<std::uint8_t, 4> window_{};
    bool inMessage_ = false;
    std::string header_;  // what followed "ZCZC" up to the end of its line
    bool headerDone_ = false;
    bool headerLost_ = false;  // a character of the header line was lost
    int characters_ = 0;
    int lost_ = 0;
    std::optional<Message> last_;
    // Names handed out lately whose files the output may not have written yet.
    std::deque<std::string> handedOut_;
    std::string logError_;
};

}  // namespace zeb::weather
