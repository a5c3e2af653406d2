// The SYNOP report parser: reads the groups of the land ("AAXX") and ship
// ("BBXX") sections of a bulletin, one group at a time, into records of the
// station file. The bulletin scanner (TextScanner) frames the bulletins,
// reads their headings and hands every group of a section to the parser; a
// test can start the parser at a section of its own and feed it groups.
//
// A record starts from the bulletin's fields (its heading) and, in a land
// section, the section's day, hour and wind unit; every report of the
// section starts from the same clean record again.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "common/TimeKey.h"
#include "weather/GroupWindow.h"
#include "weather/SynopRecord.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

// The time of a day-and-hour group: the current UTC time truncated to the
// hour; today at GG:gg when YY is today's day and GG is not later than the
// current hour; otherwise yesterday at GG:gg, except that a YY matching
// neither today nor yesterday dates the group on the most recent earlier day
// of that number (within 31 days), so a delayed bulletin keeps its day.
// Calendar arithmetic throughout. nullopt for impossible fields.
std::optional<TimeKey> groupTime(int yy, int gg, int minutes, TimeKey now);

// The fields every report of a bulletin takes from the bulletin's heading.
struct BulletinContext {
    std::int16_t serial = 0;         // the channel's serial number after "ZCZC"
    std::uint32_t bulletinTime = 0;  // YYGGgg of the heading (stored form)
    std::uint8_t t1 = 0;             // first letter of the data type
    std::uint8_t headingNumber = 0;  // ii, 0xFF when none
    std::uint8_t flags = 0;          // kFlag… bits: kFlagNoHeading
    StationEntry centre;             // CCCC, the originating centre
    std::string headingTypeText;     // the texts of T1T2, A1A2 and BBB
    std::string headingAreaText;
    std::string bbbText;
};

class SynopParser {
public:
    // The parser's states: the group each one expects. The numbers are those
    // the scanner's error lines show (after "A:"), next to its own states.
    enum class State : std::uint8_t {
        LandSection = 10,          // YYGGiw after "AAXX": the section's time and wind unit
        LandStation = 11,          // IIiii: the station of each land report
        Indicators = 12,           // iRixhVV (or "NIL"): cloud base, visibility
        CoverAndWind = 13,         // Nddff: total cloud cover, wind direction and speed
        WindOver99 = 14,           // 00fff: the speed when ff is 99
        SectionOne = 15,           // section 1: groups 1snTTT … 9xx//, then 222, 333 or 444
        SectionOneFromTwo = 16,    // section 1 after the air temperature (group 2 on)
        SectionOneFromThree = 17,  // section 1 after the dew point (group 3 on)
        SectionTwo = 18,           // section 2 (after 222DsVs): the sea's groups 0…7
        SectionThree = 19,         // section 3 (after 333): regional groups 1…9
        SectionFour = 20,          // section 4 (after 444): N'C'H'H'Ct
        ShipIdentification = 30,   // a ship's call sign, or a buoy's A1bwnbnbnb
        ShipTime = 31,             // YYGGiw of a ship's report
        ShipLatitude = 32,         // 99LaLaLa
        ShipLongitude = 33,        // QcLoLoLoLo; then the land states from Indicators on
    };

    // The section being read: where each of its reports begins.
    enum class Section { None, Land, Ship };

    // What the parser made of a group.
    enum class GroupResult {
        Unmatched,       // the group fits nothing here
        Matched,         // the group was read
        Skip,            // the rest of the report is passed over (a group that ends section 4)
        ReportEnd,       // the report is complete ("NIL"), or "NNNN" came for a ship
        UnknownStation,  // the station number is not in the station list
        UnreadableShip,  // the ship identification is unreadable
    };

    // A report at its end.
    struct Finished {
        enum class Verdict {
            Unidentified,  // no station or ship: nothing to store
            Refused,       // not datable, or dated in the future
            Accepted,      // implausible values dropped, ready to describe and store
        };
        Verdict verdict = Verdict::Unidentified;
        SynopRecord record;
    };

    // `data` (the station list) must outlive the parser.
    explicit SynopParser(const WeatherData& data);

    // The clock that dates the reports (the current time by default).
    void setClock(std::function<TimeKey()> clock) { clock_ = std::move(clock); }

    // A new bulletin: the record starts afresh from `bulletin`. The section
    // stays: its reports begin again after a report end (see endReport).
    void beginBulletin(const BulletinContext& bulletin);
    // Changes the bulletin's fields (as its heading is read) in the record
    // and in every report still to come.
    void setBulletin(const BulletinContext& bulletin);
    // A section starts: "AAXX" (its YYGGiw group next) or "BBXX" (a ship's
    // identification next). The record starts afresh from the bulletin.
    void beginSection(Section section);
    // The section ends ("NNNN", or the scanner was reset); the record stays
    // as it is until the report ends.
    void leaveSection();

    // Reads the group that the separator `separator` ends; `window` holds
    // its last characters and the count of its characters.
    GroupResult group(const GroupWindow& window, std::uint8_t separator);

    // Ends the report being read: the record as it stands, with its verdict.
    // The parser is then ready for the section's next report (the state its
    // reports begin with), the record clean again.
    Finished endReport();

    State state() const { return state_; }
    Section section() const { return section_; }
    // The state the section's reports begin with; nullopt outside a section.
    std::optional<State> reportStart() const;
    const SynopRecord& record() const { return record_; }

private:
    GroupResult landSection(const GroupWindow& w, std::uint8_t separator);
    GroupResult landStation(const GroupWindow& w);
    GroupResult indicators(const GroupWindow& w);
    GroupResult coverAndWind(const GroupWindow& w);
    GroupResult windOver99(const GroupWindow& w);
    GroupResult sectionOne(const GroupWindow& w, int from);
    GroupResult sectionTwo(const GroupWindow& w);
    GroupResult sectionThree(const GroupWindow& w);
    GroupResult sectionFour(const GroupWindow& w);
    GroupResult sectionMarker(const GroupWindow& w, bool fromSectionThree);
    GroupResult shipIdentification(const GroupWindow& w);
    GroupResult shipTime(const GroupWindow& w);
    GroupResult shipLatitude(const GroupWindow& w);
    GroupResult shipLongitude(const GroupWindow& w);

    // True when group `index` of a section may still come (groups come in
    // ascending order); the groups before it may come no more.
    bool accept(int index);
    void setReportTime(int yy, int gg);

    const WeatherData& data_;
    std::function<TimeKey()> clock_;
    BulletinContext bulletin_;
    State state_ = State::LandSection;
    Section section_ = Section::None;
    int groupOrder_ = 0;
    bool timeValid_ = false;  // the record's report time is a real time
    SynopRecord clean_;       // what each report of the section starts from
    bool cleanTimeValid_ = false;
    SynopRecord record_;
};

}  // namespace zeb::weather
