// NAVTEX messages as a NAVTEX receiver sees them: the identity in the
// "ZCZC B1B2B3B4" line (transmitter B1, subject B2, serial number B3B4), the
// subjects a receiver may not refuse, the station and subject selection, and
// the record of messages already received that keeps a repeated message from
// being saved again for 72 hours, across restarts.
//
// The record is "SYNOP/NAVTEX.DAT", one line per message:
//   B1B2B3B4 <unix time of first reception> <characters lost> <characters> <file>
// e.g. "EA05 1796563800 3 412 INFO_2026-12-06_13-30.RTF". The last two fields
// may be missing (a line written by hand). A line that cannot be read is kept
// as it is when the file is rewritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "common/TimeKey.h"

namespace zeb::weather {

struct NavtexId {
    char station = 'A';  // B1, A–Z
    char subject = 'A';  // B2, A–Z
    int serial = 0;      // B3B4, 0–99; 00 is always printed

    std::string text() const;  // "EA05"
    bool operator==(const NavtexId&) const = default;
};

// The identity in the text that follows "ZCZC": blanks, then two letters and
// two digits, then the end of the text or a blank. Anything else (a header
// received garbled) gives nullopt.
std::optional<NavtexId> parseNavtexId(std::string_view afterZczc);
// The same for a whole header line "ZCZC EA05".
std::optional<NavtexId> parseNavtexHeader(std::string_view line);

// What a subject indicator stands for, in a few plain words ("weather
// forecasts"); "unallocated subject" for the letters without a use, "" for
// anything but A–Z.
std::string_view subjectName(char subject);

// Navigational warnings (A and L), weather warnings (B) and search and rescue
// information (D) reach the ship whatever was deselected.
bool isMandatorySubject(char subject);

// A set of the letters A–Z; the empty set stands for every letter.
class LetterSet {
public:
    // Upper-case letters A–Z in any order, repeats allowed; nullopt when any
    // other character is present. "" gives the set of every letter.
    static std::optional<LetterSet> parse(std::string_view letters);

    bool contains(char letter) const;
    bool all() const { return bits_ == 0; }

private:
    std::uint32_t bits_ = 0;
};

// Which messages are saved: those of the selected stations whose subject is
// selected or mandatory.
struct NavtexSelection {
    LetterSet stations;
    LetterSet subjects;

    bool accepts(const NavtexId& id) const {
        return stations.contains(id.station) &&
               (subjects.contains(id.subject) || isMandatorySubject(id.subject));
    }
};

// A copy with at most 4 % of its characters lost counts as received: its
// repeats are not saved again. NAVTEX receivers use the same limit to decide
// whether a message identity is kept.
bool receivedWell(int lost, int characters);

inline constexpr const char* kNavtexFileName = "NAVTEX.DAT";
// How long a message identity is remembered.
inline constexpr TimeKey kNavtexMemorySeconds = 72 * 3600;

struct NavtexEntry {
    NavtexId id;
    TimeKey time = 0;    // first reception
    int lost = 0;        // characters lost in the copy on file
    int characters = 0;  // characters of that copy, lost ones included
    std::string file;    // its file name in the SYNOP folder ("" unknown)

    bool operator==(const NavtexEntry&) const = default;
};

// One line of the record; nullopt for a line that is not one.
std::optional<NavtexEntry> parseNavtexEntry(std::string_view line);
std::string formatNavtexEntry(const NavtexEntry& entry);

class NavtexLog {
public:
    // Kept in memory only (nothing survives the program).
    NavtexLog() = default;
    // Read from `file` (a missing file is an empty record); written back
    // there, atomically, after every change. When the file exists but cannot
    // be read it is never overwritten; loadError() says why.
    explicit NavtexLog(std::filesystem::path file);

    // The message of that identity received within the last 72 hours.
    std::optional<NavtexEntry> find(const NavtexId& id, TimeKey now) const;
    // Enters or replaces the entry of entry.id, forgets the entries of more
    // than 72 hours ago and rewrites the file.
    Result<void> record(const NavtexEntry& entry, TimeKey now);
    // True when an entry names this file (a new message never takes it).
    bool names(std::string_view file) const;

    const std::vector<NavtexEntry>& entries() const { return entries_; }
    const std::string& loadError() const { return loadError_; }

private:
    std::filesystem::path path_;
    std::vector<NavtexEntry> entries_;
    std::vector<std::string> unreadable_;  // lines kept as they were
    std::string loadError_;
};

}  // namespace zeb::weather
