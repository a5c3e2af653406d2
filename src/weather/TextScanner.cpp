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

constexpr TimeKey kDay = 86400;

}  // namespace

void StationFileStore::store(const SynopRecord& record) {
    // The folder is made when the first report comes, not before.
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    auto appended = appendStationRecord(file_, record);
    if (appended) {
        ++stored_;
    } else {
        lastError_ = appended.error().message;
        ++failed_;
    }
}

bool isWarningDesignator(std::string_view t1t2) {
    for (std::string_view d : kWarningDesignators)
        if (d == t1t2) return true;
    return false;
}

std::optional<TimeKey> groupTime(int yy, int gg, int minutes, TimeKey now) {
    if (yy < 1 || yy > 31 || gg < 0 || gg > 23 || minutes < 0 || minutes > 59) return std::nullopt;
    const TimeKey hour = now - ((now % 3600) + 3600) % 3600;
    const TimeKey today = hour - ((hour % kDay) + kDay) % kDay;
    const NameTime t = breakDown(hour);
    const TimeKey at = static_cast<TimeKey>(gg) * 3600 + static_cast<TimeKey>(minutes) * 60;
    if (yy == t.day && gg <= t.hour) return today + at;
    if (yy != t.day && yy != breakDown(today - kDay).day) {
        // A delayed bulletin: the most recent earlier day with that number.
        for (int back = 2; back <= 31; ++back)
            if (breakDown(today - back * kDay).day == yy) return today - back * kDay + at;
    }
    return today - kDay + at;
}

TextScanner::TextScanner(const WeatherData& data, BulletinOutput& output, ReportStore* store,
                         ReportFormats formats)
    : data_(data), output_(output), store_(store), formats_(std::move(formats)), clock_([] {
          return zeb::now();
      }) {}

void TextScanner::reset() {
    window_.reset();
    state_ = 1;
    returnState_ = 1;
    warning_ = false;
    groupOrder_ = 0;
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
    const bool inReport = (state_ >= 10 && state_ <= 20) || (state_ >= 30 && state_ <= 33);
    const Outcome outcome = inReport ? reportState(ch) : headingState(ch);
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
        if (window_.matches("??NNNN")) {
            returnState_ = 1;
            state_ = 1;
            window_.reset();
            if (warning_) {
                output_.saveCollected(Collected::Warning);
                warning_ = false;
            }
        }
        if (ch == '=' && !warning_) reportEnd();
    }
    window_.push(ch, false);
}

TextScanner::Outcome TextScanner::headingState(std::uint8_t ch) {
    switch (state_) {
        case 1:
            if (midBulletin_ && (window_.matches("??AAXX") || window_.matches("??BBXX")))
                return beginSectionWithoutHeading();
            if (!window_.matches("??ZCZC")) return Outcome::Unmatched;
            if (warning_) {
                output_.saveCollected(Collected::Warning, true);
                warning_ = false;
            }
            state_ = 3;
            return Outcome::Kept;
        case 3: {
            int serial = -1;
            if (window_.matches("?C +++"))
                serial = window_.number(3, 5);
            else if (window_.matches("C ++++"))
                serial = window_.number(2, 5);
            else
                return Outcome::Unmatched;
            record_ = SynopRecord{};
            record_.serial = static_cast<std::int16_t>(serial);
            reportTimeValid_ = false;
            withoutHeading_ = false;
            state_ = 4;
            return Outcome::Kept;
        }
        case 4:
            if (!window_.matches("?+++++") && !isLineEnd(ch)) return Outcome::Unmatched;
            state_ = 5;
            return Outcome::Kept;
        case 5: {
            if (!window_.matches("####+-")) return Outcome::Unmatched;
            const std::string t1t2 = window_.letters(0, 1);
            const std::string a1a2 = window_.letters(2, 3);
            std::string typeText = data_.lookupTt(t1t2);
            std::string areaText = data_.lookupAa(a1a2);
            if (typeText.empty() || areaText.empty()) {
                errorReport(1, ch);
                return Outcome::Consumed;
            }
            record_.t1 = static_cast<std::uint8_t>(t1t2[0]);
            record_.headingTypeText = cut(std::move(typeText));
            record_.headingAreaText = cut(std::move(areaText));
            if (isWarningDesignator(t1t2)) {
                warning_ = true;
                output_.markStart(Collected::Warning);
                window_.reset();
                state_ = 200;
                output_.playWarningTone();
                return Outcome::Kept;
            }
            int ii = window_.number(4, 5);
            if (ii < 0) ii = window_.number(4, 4);
            record_.headingNumber = static_cast<std::uint8_t>(ii < 0 ? 0xFF : ii);
            state_ = 6;
            return Outcome::Kept;
        }
        case 6: {
            if (!window_.matches("??####")) return Outcome::Unmatched;
            const auto centre = data_.findStationByIndicator(window_.letters(2, 5));
            record_.centre = centre ? *centre : StationEntry{};
            state_ = 7;
            return Outcome::Kept;
        }
        case 7: {
            if (!window_.matches("++++++")) return Outcome::Unmatched;
            const TimeKey now = clock_();
            const auto t =
                groupTime(window_.number(0, 1), window_.number(2, 3), window_.number(4, 5), now);
            // An unreadable date-time group dates the bulletin at the current
            // hour: its reports carry their own times.
            const TimeKey bulletin = t ? *t : now - ((now % 3600) + 3600) % 3600;
            record_.bulletinTime = toStored32(bulletin).value_or(0);
            state_ = 8;
            return Outcome::Kept;
        }
        case 8:
            if (window_.matches("???###")) {
                record_.bbbText = cut(data_.lookupText(window_.letters(3, 5) + "M"));
            } else if (!isLineEnd(ch)) {
                return Outcome::Unmatched;
            }
            state_ = 9;
            firstOfBulletin_ = true;
            return Outcome::Kept;
        case 9:
            if (window_.matches("??AAXX")) {
                state_ = 10;
                returnState_ = 11;
            } else if (window_.matches("??BBXX")) {
                state_ = 30;
                returnState_ = 30;
            } else {
                return Outcome::Unmatched;
            }
            groupOrder_ = 0;
            return Outcome::Matched;
        case 200:
            if (midBulletin_ && !warning_ &&
                (window_.matches("??AAXX") || window_.matches("??BBXX")))
                return beginSectionWithoutHeading();
            if (!window_.matches("??ZCZC")) return Outcome::Unmatched;
            state_ = 3;
            return Outcome::Kept;
        default: return Outcome::Unmatched;
    }
}

TextScanner::Outcome TextScanner::beginSectionWithoutHeading() {
    record_ = SynopRecord{};
    record_.flags = kFlagNoHeading;
    record_.headingNumber = 0xFF;
    reportTimeValid_ = false;
    withoutHeading_ = true;
    firstOfBulletin_ = true;
    const bool ship = window_.matches("??BBXX");
    state_ = ship ? 30 : 10;
    returnState_ = ship ? 30 : 11;
    groupOrder_ = 0;
    return Outcome::Matched;
}

bool TextScanner::storedBefore(const SynopRecord& r) {
    constexpr std::size_t kKept = 2048;
    const bool ship = (r.kind & kKindShip) != 0;
    const std::int32_t station = ship ? r.buoyNumber : r.station.number;
    const std::string call = ship ? r.station.name : std::string();
    bool copy = false;
    for (const StoredReport& s : stored_)
        copy = copy || (s.station == station && s.call == call && s.reportTime == r.reportTime &&
                        s.withoutHeading != withoutHeading_);
    stored_.push_back({station, call, r.reportTime, withoutHeading_});
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
                      static_cast<int>(ch), shown(ch), state_, window_.count()});
    output_.appendText("\n" + line + "\n");
    ++errors_[number];
    window_.reset();
    state_ = 200;
}

}  // namespace zeb::weather
