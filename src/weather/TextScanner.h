// The bulletin scanner: a state machine fed with every character an ITA2
// (Baudot) stream decodes. It frames bulletins between "ZCZC" and "NNNN",
// reads the WMO abbreviated heading (T1T2A1A2ii CCCC YYGGgg [BBB]) against
// the reference data, collects warning bulletins into files of their own and
// parses the SYNOP reports of "AAXX" (land) and "BBXX" (ship) sections into
// records: each accepted report is described in plain language and appended
// to the station file.
//
// States: 1 idle, 3 serial number, 4 rest of the ZCZC line, 5 heading,
// 6 originating centre, 7 date-time group, 8 BBB indicator, 9 bulletin body,
// 10..20 land reports (and the sections of every report), 30..33 ship
// identification and position, 200 skip to the next bulletin or report end.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/Text.h"
#include "common/TimeKey.h"
#include "teleprinter/CharacterHandlers.h"
#include "weather/BulletinOutput.h"
#include "weather/GroupWindow.h"
#include "weather/ReportDescription.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

// Where accepted reports go (the station file, or a test's list).
class ReportStore {
public:
    virtual ~ReportStore() = default;
    virtual void store(const SynopRecord& record) = 0;
};

// Appends each accepted report to a station file; a failure is kept for
// the program to show and the report stays in the text window.
class StationFileStore : public ReportStore {
public:
    explicit StationFileStore(std::filesystem::path file) : file_(std::move(file)) {}
    void store(const SynopRecord& record) override;
    const std::string& lastError() const { return lastError_; }
    int stored() const { return stored_; }
    int failed() const { return failed_; }

private:
    std::filesystem::path file_;
    std::string lastError_;
    int stored_ = 0;
    int failed_ = 0;
};

// Warning designators (T1T2): a bulletin whose heading starts with one of
// these is collected into a WARN file.
bool isWarningDesignator(std::string_view t1t2);

// The time of a day-and-hour group: the current UTC time truncated to the
// hour; today at GG:gg when YY is today's day and GG is not later than the
// current hour; otherwise yesterday at GG:gg, except that a YY matching
// neither today nor yesterday dates the group on the most recent earlier day
// of that number (within 31 days), so a delayed bulletin keeps its day.
// Calendar arithmetic throughout. nullopt for impossible fields.
std::optional<TimeKey> groupTime(int yy, int gg, int minutes, TimeKey now);

class TextScanner : public teleprinter::CharacterSink {
public:
    // `data` must outlive the scanner. `store` may be null (nothing stored).
    TextScanner(const WeatherData& data, BulletinOutput& output, ReportStore* store,
                ReportFormats formats = ReportFormats::english());

    // The text-scanner sink of the Baudot handler.
    // Every kind of line end reaches the states as CR LF, so that a bulletin
    // read from a file with LF or CR alone reads as one received by radio.
    void character(std::uint8_t ch) override {
        const LineEnds::Step step = lineEnds_.next(static_cast<char>(ch));
        for (int i = 0; i < step.lineEnds; ++i) {
            scanChar('\r');
            scanChar('\n');
        }
        if (step.text) scanChar(ch);
    }
    void scanChar(std::uint8_t ch);

    // Back to state 1: window cleared, return state 1, warning flag cleared
    // (selecting an RTTY mode does this).
    void reset();
    // The reception ends (the recording, or the user stopped it): a warning
    // being collected is saved as it is.
    void endOfReception();

    // The clock (tests set a fixed one).
    void setClock(std::function<TimeKey()> clock) { clock_ = std::move(clock); }

    int state() const { return state_; }
    int returnState() const { return returnState_; }
    bool collectingWarning() const { return warning_; }
    const SynopRecord& record() const { return record_; }
    const GroupWindow& window() const { return window_; }
    // Reports accepted and refused since construction (for the command line).
    int accepted() const { return accepted_; }
    int refused() const { return refused_; }
    // Error lines written, by error number (0 ship group, 1 heading, 2 station).
    int errors(int number) const { return number >= 0 && number < 3 ? errors_[number] : 0; }

    // Sections "AAXX YYGGi" and "BBXX" heard outside a bulletin (the listener
    // tuned in after its heading) are read as if a heading of unknown origin
    // had come: the reports are dated from their own day and hour and marked
    // kFlagNoHeading. On by default.
    void setMidBulletin(bool on) { midBulletin_ = on; }
    // Reports not stored because a copy is stored already: a report heard
    // mid-bulletin and its copy in the framed bulletin.
    int duplicates() const { return duplicates_; }

private:
    // What a state did with the separator.
    enum class Outcome {
        Unmatched,  // nothing matched: the window stays, the separator joins it
        Matched,    // a group matched: window and count cleared, separator joins
        Kept,       // matched, window left as it is, separator joins
        Consumed,   // the state ended the report or bulletin itself
    };

    Outcome headingState(std::uint8_t ch);
    Outcome reportState(std::uint8_t ch);
    void errorReport(int number, std::uint8_t ch);
    Outcome beginSectionWithoutHeading();
    // True when the report was stored already as one side of a copy heard
    // with and without its heading; remembers this one otherwise.
    bool storedBefore(const SynopRecord& r);
    void reportEnd();
    void setReportTime(int yy, int gg);
    bool accept(int index);

    const WeatherData& data_;
    BulletinOutput& output_;
    ReportStore* store_;
    ReportFormats formats_;
    std::function<TimeKey()> clock_;

    LineEnds lineEnds_;
    GroupWindow window_;
    int state_ = 1;
    int returnState_ = 1;
    bool warning_ = false;
    bool firstOfBulletin_ = false;
    bool reportTimeValid_ = false;
    int groupOrder_ = 0;
    SynopRecord record_;
    int accepted_ = 0;
    int refused_ = 0;
    bool midBulletin_ = true;
    bool withoutHeading_ = false;  // the section being read came without heading
    int duplicates_ = 0;
    // Reports stored lately: station, report time, whether without heading.
    struct StoredReport {
        std::int32_t station;
        std::string call;
        std::uint32_t reportTime;
        bool withoutHeading;
    };
    std::deque<StoredReport> stored_;
    std::array<int, 3> errors_{};
};

}  // namespace zeb::weather
