#include "weather/MessageFramer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/ReceivedFile.h"

namespace zeb::weather {
namespace {

// The header line is "ZCZC B1B2B3B4"; more than this is no header.
constexpr std::size_t kHeaderLimit = 24;
constexpr std::size_t kHandedOutKept = 16;

std::string charactersLost(int lost) {
    if (lost == 0) return "no characters lost";
    return std::to_string(lost) + (lost == 1 ? " character lost" : " characters lost");
}

}  // namespace

MessageFramer::MessageFramer(BulletinOutput& output)
    : output_(output), clock_([] { return zeb::now(); }) {}

MessageFramer::MessageFramer(BulletinOutput& output, std::filesystem::path synopDir)
    : output_(output),
      synopDir_(std::move(synopDir)),
      log_(synopDir_ / kNavtexFileName),
      clock_([] { return zeb::now(); }) {}

bool MessageFramer::windowReads(const char* text) const {
    return std::memcmp(window_.data(), text, window_.size()) == 0;
}

void MessageFramer::reset() {
    window_.fill(0);
    inMessage_ = false;
}

void MessageFramer::characterLost() {
    if (!inMessage_) return;
    ++characters_;
    ++lost_;
    if (!headerDone_) headerLost_ = true;
}

void MessageFramer::frameChar(std::uint8_t ch) {
    for (std::size_t i = 0; i + 1 < window_.size(); ++i) window_[i] = window_[i + 1];
    window_.back() = ch;
    if (!inMessage_) {
        if (windowReads("ZCZC")) begin();
        return;
    }
    ++characters_;
    if (!headerDone_) {
        if (ch == 13 || ch == 10 || header_.size() >= kHeaderLimit)
            headerDone_ = true;
        else
            header_.push_back(static_cast<char>(ch));
    }
    if (windowReads("ZCZC")) {
        finish(false);
        begin();
    } else if (windowReads("NNNN")) {
        finish(true);
    }
}

void MessageFramer::begin() {
    inMessage_ = true;
    header_.clear();
    headerDone_ = false;
    headerLost_ = false;
    characters_ = 0;
    lost_ = 0;
    output_.markStart(Collected::Information);
    output_.playWarningTone();
}

std::optional<NavtexId> MessageFramer::headerId() const {
    if (headerLost_) return std::nullopt;
    // Without a line end the header text ends with the "NNNN" or "ZCZC" that
    // closed the message.
    std::string_view text = header_;
    if (!headerDone_) text.remove_suffix(std::min<std::size_t>(4, text.size()));
    return parseNavtexId(text);
}

std::optional<NavtexEntry> MessageFramer::onFile(const NavtexId& id, TimeKey now) const {
    auto entry = log_.find(id, now);
    if (entry && !synopDir_.empty() && !entry->file.empty()) {
        // A copy whose file is gone (deleted, or its saving failed) is not on
        // file any more: the repeat is saved.
        // An empty file is a name claimed for a save that never came.
        std::error_code ec;
        const auto size = std::filesystem::file_size(synopDir_ / entry->file, ec);
        if (ec || size == 0) return std::nullopt;
    }
    return entry;
}

std::string MessageFramer::newFileName(TimeKey now) {
    if (synopDir_.empty()) return {};
    // The name is claimed with an empty file that no other program can take
    // at the same moment (another program's framer names messages too); the
    // output's save then replaces that file with the message.
    std::error_code ec;
    std::filesystem::create_directories(synopDir_, ec);
    TimeKey t = now - ((now % 60) + 60) % 60;
    for (int minute = 0; minute < 1440; ++minute, t += 60) {
        std::string name = fileName(ReceivedKind::Information, breakDown(t));
        if (log_.names(name) ||
            std::find(handedOut_.begin(), handedOut_.end(), name) != handedOut_.end())
            continue;
        if (auto claimed = writeNewFileAtomically(synopDir_ / name, ""); !claimed) {
            if (claimed.error().systemError() == EEXIST) continue;
            return {};  // the output tries a name of its own and says why it cannot
        }
        handedOut_.push_back(name);
        if (handedOut_.size() > kHandedOutKept) handedOut_.pop_front();
        return name;
    }
    return {};  // the output tries a name of its own
}

void MessageFramer::note(const std::string& line) { output_.appendText("\n" + line + "\n"); }

void MessageFramer::endOfReception() {
    if (inMessage_) finish(false, false);
}

void MessageFramer::finish(bool complete, bool nextBegins) {
    inMessage_ = false;
    Message m;
    m.id = headerId();
    m.characters = characters_;
    m.lost = lost_;
    m.complete = complete;
    const TimeKey now = clock_();
    const std::string name = m.id ? "NAVTEX " + m.id->text() : std::string("NAVTEX message");
    std::optional<NavtexEntry> known;
    if (m.id && m.id->serial != 0) known = onFile(*m.id, now);

    // A message cut off by the next "ZCZC" gets no line after it (that line
    // already belongs to the next message), is never entered in the record
    // and never replaces a copy on file.
    if (m.id && !selection_.accepts(*m.id)) {
        m.outcome = Outcome::NotSelected;
        if (complete) note(name + " not selected, not saved");
    } else if (known && (!complete || receivedWell(known->lost, known->characters) ||
                         m.lost >= known->lost)) {
        m.outcome = Outcome::Repeated;
        if (complete) note(name + " repeated, not saved again");
    } else {
        m.outcome = known ? Outcome::Replaced : Outcome::Saved;
        m.file = known && !known->file.empty() ? known->file : newFileName(now);
        if (complete) {
            std::string line = name;
            if (m.id)
                line += ' ' + std::string(subjectName(m.id->subject));
            else
                line += " without a readable identity";
            line += ": " + charactersLost(m.lost);
            if (known)
                line +=
                    ", fewer than the " + std::to_string(known->lost) + " of the copy saved before";
            note(line);
        }
        const bool beforeCurrentLine = !complete && nextBegins;
        if (m.file.empty())
            output_.saveCollected(Collected::Information, beforeCurrentLine);
        else
            output_.saveCollectedAs(m.file, beforeCurrentLine);
        if (complete && m.id && m.id->serial != 0) {
            const NavtexEntry entry{*m.id, known ? known->time : now, m.lost, m.characters, m.file};
            const auto recorded = log_.record(entry, now);
            if (!recorded && recorded.error().message != logError_) {
                logError_ = recorded.error().message;
                note(logError_);
            }
        }
    }
    last_ = std::move(m);
}

}  // namespace zeb::weather
