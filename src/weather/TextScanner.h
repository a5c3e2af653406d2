// The bulletin scanner: a state machine fed with every character an ITA2
// (Baudot) stream decodes. It frames bulletins between "ZCZC" and "NNNN",
// reads the WMO abbreviated heading (T1T2A1A2ii CCCC YYGGgg [BBB]) against
// the reference data, collects warning bulletins into files of their own and
// hands the groups of "AAXX" (land) and "BBXX" (ship) sections to the SYNOP
// report parser (SynopParser): each report the parser accepts is described
// in plain language and appended to the station file.
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
#include "weather/SynopParser.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

// Where accepted reports go (the station file, or a test's list).
class ReportStore {
public:
    virtual ~ReportStore() = default;
    virtual void store(const SynopRecord& record) = 0;
};

// Warning designators (T1T2): a bulletin whose heading starts with one of
// these is collected into a WARN file.
bool isWarningDesignator(std::string_view t1t2);

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

    // Back to the idle state, outside any section: window cleared, warning
    // flag cleared (selecting an RTTY mode does this).
    void reset();
    // The reception ends (the recording, or the user stopped it): a warning
    // being collected is saved as it is.
    void endOfReception();

    // The clock (tests set a fixed one).
    void setClock(std::function<TimeKey()> clock) {
        clock_ = std::move(clock);
        parser_.setClock(clock_);
    }

    // The number of the current state, as error lines show it: one of the
    // scanner's (State below), or inside a section the parser's
    // (SynopParser::State).
    int state() const;
    // The state a report end leads to: the parser's first state of the
    // section's reports, or 1 (idle) outside a section.
    int returnState() const;
    bool collectingWarning() const { return warning_; }
    // The record of the report being read (or of the last one).
    const SynopRecord& record() const { return parser_.record(); }
    const SynopParser& parser() const { return parser_; }
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
    // The scanner's states, numbered as error lines show them.
    enum class State : std::uint8_t {
        Report = 0,    // inside a SYNOP section: the parser's state applies
        Idle = 1,      // waiting for "ZCZC" (or a section heard without heading)
        Serial = 3,    // the serial number after "ZCZC"
        ZczcLine = 4,  // the rest of the ZCZC line
        Heading = 5,   // T1T2A1A2ii
        Centre = 6,    // CCCC, the originating centre
        DateTime = 7,  // YYGGgg
        Bbb = 8,       // the BBB indicator, or the end of the heading line
        Body = 9,      // the bulletin body up to "AAXX" or "BBXX"
        Skip = 200,    // skipping to the next bulletin or the report end
    };

    // What a state did with the separator.
    enum class Outcome {
        Unmatched,  // nothing matched: the window stays, the separator joins it
        Matched,    // a group matched: window and count cleared, separator joins
        Kept,       // matched, window left as it is, separator joins
        Consumed,   // the state ended the report or bulletin itself
    };

    Outcome headingState(std::uint8_t ch);
    Outcome idle();
    Outcome serial();
    Outcome zczcLine(std::uint8_t ch);
    Outcome heading(std::uint8_t ch);
    Outcome centre();
    Outcome dateTime();
    Outcome bbb(std::uint8_t ch);
    Outcome body();
    Outcome skip();
    Outcome reportGroup(std::uint8_t ch);
    void endOfBulletin();
    void errorReport(int number, std::uint8_t ch);
    Outcome beginSectionWithoutHeading();
    // True when the report was stored already as one side of a copy heard
    // with and without its heading; remembers this one otherwise.
    bool storedBefore(const SynopRecord& r);
    void reportEnd();

    const WeatherData& data_;
    BulletinOutput& output_;
    ReportStore* store_;
    ReportFormats formats_;
    std::function<TimeKey()> clock_;

    LineEnds lineEnds_;
    GroupWindow window_;
    State state_ = State::Idle;
    bool warning_ = false;
    bool firstOfBulletin_ = false;
    BulletinContext bulletin_;  // the heading being read
    SynopParser parser_;
    int accepted_ = 0;
    int refused_ = 0;
    bool midBulletin_ = true;
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
