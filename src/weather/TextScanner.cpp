#include "weather/TextScanner.h"

#include <array>

#include "common/Format.h"
#include "weather/StationFile.h"

namespace zeb::weather {
namespace {

constexpr std::array<std::string_view, 18> kWarningDesignators = {
    "FA", "FB", "FE", "FG", "FH", "FJ", "FM", "FP", "FQ",
    "FR", "FW", "FX", "FZ", "WE", "WH", "WO", "WT", "WW"};

bool isGroupChar(std::uint8_t ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
           ch == '/';
}

bool isLineEnd(std::uint8_t ch) { return ch == '\r' || ch == '\n'; }

std::string cut(std::string text) {
    if (text.size() > kRecordTextSize - 1) text.resize(kRecordTextSize - 1);
    return text;
}

}  // namespace

bool isWarningDesignator(std::string_view t1t2) {
    for (std::string_view d : kWarningDesignators)
        if (d == t1t2) return true;
    return false;
}

TextScanner::TextScanner(const WeatherData& data, BulletinOutput& output, ReportStore* store,
                         ReportFormats formats)
    : data_(data),
      output_(output),
      store_(store),
      formats_(std::move(formats)),
      clock_([] { return zeb::now(); }),
      parser_(data) {}

int TextScanner::state() const {
    return state_ == State::Report ? static_cast<int>(parser_.state()) : static_cast<int>(state_);
}

int TextScanner::returnState() const {
    const auto start = parser_.reportStart();
    return start ? static_cast<int>(*start) : static_cast<int>(State::Idle);
}

void TextScanner::reset() {
    window_.reset();
    state_ = State::Idle;
    parser_.leaveSection();
    warning_ = false;
}

void TextScanner::endOfReception() {
    if (!warning_) return;
    output_.saveCollected(Collected::Warning);
    warning_ = false;
}

void TextScanner::scanChar(std::uint8_t ch) {
    if (isGroupChar(ch)) {
        window_.push(ch, true);
        return;
    }
    const bool inReport = state_ == State::Report;
    const Outcome outcome = inReport ? reportGroup(ch) : headingState(ch);
    switch (outcome) {
        case Outcome::Matched: window_.reset(); break;
        case Outcome::Unmatched:
            // In a report every group is judged on its own: the count restarts
            // so that a group that fitted nothing does not hide the section
            // markers ("333", "444") that follow it.
            if (inReport) window_.restartCount();
            break;
        case Outcome::Kept:
        case Outcome::Consumed: break;
    }
    if (outcome != Outcome::Consumed) {
        if (window_.matches("??NNNN")) endOfBulletin();
        if (ch == '=' && !warning_) reportEnd();
    }
    window_.push(ch, false);
}

// "NNNN": the bulletin ends, and a warning being collected is saved.
void TextScanner::endOfBulletin() {
    parser_.leaveSection();
    state_ = State::Idle;
    window_.reset();
    if (warning_) {
        output_.saveCollected(Collected::Warning);
        warning_ = false;
    }
}

TextScanner::Outcome TextScanner::headingState(std::uint8_t ch) {
    switch (state_) {
        case State::Idle: return idle();
        case State::Serial: return serial();
        case State::ZczcLine: return zczcLine(ch);
        case State::Heading: return heading(ch);
        case State::Centre: return centre();
        case State::DateTime: return dateTime();
        case State::Bbb: return bbb(ch);
        case State::Body: return body();
        case State::Skip: return skip();
        case State::Report: break;
    }
    return Outcome::Unmatched;
}

// "ZCZC" starts a bulletin (and saves a warning whose end never came).
TextScanner::Outcome TextScanner::idle() {
    if (midBulletin_ && (window_.matches("??AAXX") || window_.matches("??BBXX")))
        return beginSectionWithoutHeading();
    if (!window_.matches("??ZCZC")) return Outcome::Unmatched;
    if (warning_) {
        output_.saveCollected(Collected::Warning, true);
        warning_ = false;
    }
    state_ = State::Serial;
    return Outcome::Kept;
}

// "C nnn" or "Cnnnn" after "ZCZC": the channel's serial number.
TextScanner::Outcome TextScanner::serial() {
    int number = -1;
    if (window_.matches("?C +++"))
        number = window_.number(3, 5);
    else if (window_.matches("C ++++"))
        number = window_.number(2, 5);
    else
        return Outcome::Unmatched;
    bulletin_ = BulletinContext{};
    bulletin_.serial = static_cast<std::int16_t>(number);
    parser_.beginBulletin(bulletin_);
    state_ = State::ZczcLine;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::zczcLine(std::uint8_t ch) {
    if (!window_.matches("?+++++") && !isLineEnd(ch)) return Outcome::Unmatched;
    state_ = State::Heading;
    return Outcome::Kept;
}

// T1T2A1A2ii: a known data type and area, or error 1. Warnings are
// collected from here on, not parsed.
TextScanner::Outcome TextScanner::heading(std::uint8_t ch) {
    if (!window_.matches("####+-")) return Outcome::Unmatched;
    const std::string t1t2 = window_.letters(0, 1);
    std::string typeText = data_.lookupTt(t1t2);
    std::string areaText = data_.lookupAa(window_.letters(2, 3));
    if (typeText.empty() || areaText.empty()) {
        errorReport(1, ch);
        return Outcome::Consumed;
    }
    bulletin_.t1 = static_cast<std::uint8_t>(t1t2[0]);
    bulletin_.headingTypeText = cut(std::move(typeText));
    bulletin_.headingAreaText = cut(std::move(areaText));
    if (isWarningDesignator(t1t2)) {
        parser_.setBulletin(bulletin_);
        warning_ = true;
        output_.markStart(Collected::Warning);
        window_.reset();
        state_ = State::Skip;
        output_.playWarningTone();
        return Outcome::Kept;
    }
    int ii = window_.number(4, 5);
    if (ii < 0) ii = window_.number(4, 4);
    bulletin_.headingNumber = static_cast<std::uint8_t>(ii < 0 ? 0xFF : ii);
    parser_.setBulletin(bulletin_);
    state_ = State::Centre;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::centre() {
    if (!window_.matches("??####")) return Outcome::Unmatched;
    const auto found = data_.findStationByIndicator(window_.letters(2, 5));
    bulletin_.centre = found ? *found : StationEntry{};
    parser_.setBulletin(bulletin_);
    state_ = State::DateTime;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::dateTime() {
    if (!window_.matches("++++++")) return Outcome::Unmatched;
    const TimeKey now = clock_();
    const auto t = groupTime(window_.number(0, 1), window_.number(2, 3), window_.number(4, 5), now);
    // An unreadable date-time group dates the bulletin at the current
    // hour: its reports carry their own times.
    const TimeKey bulletin = t ? *t : now - ((now % 3600) + 3600) % 3600;
    bulletin_.bulletinTime = toStored32(bulletin).value_or(0);
    parser_.setBulletin(bulletin_);
    state_ = State::Bbb;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::bbb(std::uint8_t ch) {
    if (window_.matches("???###")) {
        bulletin_.bbbText = cut(data_.lookupText(window_.letters(3, 5) + "M"));
        parser_.setBulletin(bulletin_);
    } else if (!isLineEnd(ch)) {
        return Outcome::Unmatched;
    }
    state_ = State::Body;
    firstOfBulletin_ = true;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::body() {
    if (window_.matches("??AAXX"))
        parser_.beginSection(SynopParser::Section::Land);
    else if (window_.matches("??BBXX"))
        parser_.beginSection(SynopParser::Section::Ship);
    else
        return Outcome::Unmatched;
    state_ = State::Report;
    return Outcome::Matched;
}

TextScanner::Outcome TextScanner::skip() {
    if (midBulletin_ && !warning_ && (window_.matches("??AAXX") || window_.matches("??BBXX")))
        return beginSectionWithoutHeading();
    if (!window_.matches("??ZCZC")) return Outcome::Unmatched;
    state_ = State::Serial;
    return Outcome::Kept;
}

TextScanner::Outcome TextScanner::beginSectionWithoutHeading() {
    bulletin_ = BulletinContext{};
    bulletin_.flags = kFlagNoHeading;
    bulletin_.headingNumber = 0xFF;
    parser_.beginBulletin(bulletin_);
    firstOfBulletin_ = true;
    const bool ship = window_.matches("??BBXX");
    parser_.beginSection(ship ? SynopParser::Section::Ship : SynopParser::Section::Land);
    state_ = State::Report;
    return Outcome::Matched;
}

// A group of a section, to the parser.
TextScanner::Outcome TextScanner::reportGroup(std::uint8_t ch) {
    using GroupResult = SynopParser::GroupResult;
    switch (parser_.group(window_, ch)) {
        case GroupResult::Unmatched: return Outcome::Unmatched;
        case GroupResult::Matched: return Outcome::Matched;
        case GroupResult::Skip: state_ = State::Skip; return Outcome::Unmatched;
        case GroupResult::ReportEnd: reportEnd(); return Outcome::Consumed;
        case GroupResult::UnknownStation: errorReport(2, ch); return Outcome::Consumed;
        case GroupResult::UnreadableShip: errorReport(0, ch); return Outcome::Consumed;
    }
    return Outcome::Unmatched;
}

// The end of a report ("=", "NIL", "NNNN"): an accepted report is
// described and stored (once, when a copy was heard without heading).
void TextScanner::reportEnd() {
    using Verdict = SynopParser::Finished::Verdict;
    window_.reset();
    const SynopParser::Finished done = parser_.endReport();
    state_ = parser_.reportStart() ? State::Report : State::Idle;
    const SynopRecord& r = done.record;
    if (done.verdict == Verdict::Accepted) {
        const bool nil = (r.presence & presence::kNil) != 0;
        output_.appendText(describeReport(r, firstOfBulletin_ && !nil, data_.texts, formats_));
        if (!nil) firstOfBulletin_ = false;
        if (storedBefore(r))
            ++duplicates_;
        else if (store_ != nullptr)
            store_->store(r);
        ++accepted_;
    } else if (done.verdict == Verdict::Refused) {
        ++refused_;
    }
}

bool TextScanner::storedBefore(const SynopRecord& r) {
    constexpr std::size_t kKept = 2048;
    const bool ship = (r.kind & kKindShip) != 0;
    const bool withoutHeading = (r.flags & kFlagNoHeading) != 0;
    const std::int32_t station = ship ? r.buoyNumber : r.station.number;
    const std::string call = ship ? r.station.name : std::string();
    bool copy = false;
    for (const StoredReport& s : stored_)
        copy = copy || (s.station == station && s.call == call && s.reportTime == r.reportTime &&
                        s.withoutHeading != withoutHeading);
    stored_.push_back({station, call, r.reportTime, withoutHeading});
    if (stored_.size() > kKept) stored_.pop_front();
    return copy;
}

void TextScanner::errorReport(int number, std::uint8_t ch) {
    const auto shown = [](std::uint8_t c) {
        const bool alnum =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        return std::string(1, alnum ? static_cast<char>(c) : '_');
    };
    const auto& w = window_.chars();
    std::string line = data_.lookupText(formatPrintf("ER%02d", {number}));
    line +=
        formatPrintf(": %s%s%s%s%s%s $%02X $%02X $%02X $%02X $%02X $%02X C:$%02X %s A:%02d S:%02d",
                     {shown(w[0]), shown(w[1]), shown(w[2]), shown(w[3]), shown(w[4]), shown(w[5]),
                      static_cast<int>(w[0]), static_cast<int>(w[1]), static_cast<int>(w[2]),
                      static_cast<int>(w[3]), static_cast<int>(w[4]), static_cast<int>(w[5]),
                      static_cast<int>(ch), shown(ch), state(), window_.count()});
    output_.appendText("\n" + line + "\n");
    ++errors_[number];
    window_.reset();
    state_ = State::Skip;
}

}  // namespace zeb::weather
