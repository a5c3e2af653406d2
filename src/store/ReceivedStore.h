// The received-file store of a working directory: the fax pictures in FAX/,
// the warnings, information bulletins and recordings in SYNOP/ and the
// observations of SYNOP/STATION.DAT, listed as one time-ordered list, deleted
// entry by entry and aged by the clean-up. The main program's browser page
// and the launcher's browser share it. GUI-free.
//
// Only names that ReceivedFile.h parses strictly belong to the store: a
// user's "FAX_old.BMP" is never listed, aged or deleted, and neither is a
// picture still being received (.BMX).
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "common/TimeKey.h"
#include "weather/SynopRecord.h"

namespace zeb::store {

// In the order the listing sorts entries of the same time key.
enum class EntryKind { Fax, Warning, Information, Audio, Observations };

// Longest label the listing reads from a bulletin.
inline constexpr std::size_t kMaxLabel = 254;

// One line of the listing.
struct Entry {
    EntryKind kind = EntryKind::Fax;
    TimeKey key = 0;  // recordings: their local name time as a key
    // The fields of the file's name; observations: the UTC breakdown of key.
    NameTime time;
    // The file relative to the working directory ("FAX/FAX_2004-06-03_14-05.BMP");
    // empty for observations.
    std::filesystem::path path;
    std::size_t records = 0;  // observations: records with this key
    // Warnings: the second line of the bulletin's text; information
    // bulletins: the third. Windows-1252 bytes as in the file, at most
    // kMaxLabel of them, empty when the file has no such line or cannot be read.
    std::string label;

    bool operator==(const Entry&) const = default;
};

// Every entry of the store in `workDir`, by key ascending; entries of one key
// by EntryKind, then by file name. A missing folder, or a file or station
// file that cannot be read, leaves out only what it would have given.
std::vector<Entry> listReceived(const std::filesystem::path& workDir);

// The whole records of SYNOP/STATION.DAT whose observation time is `key`, in
// file order. A missing station file gives none.
Result<std::vector<weather::SynopRecordBytes>> recordsAt(const std::filesystem::path& workDir,
                                                         TimeKey key);

// A file or the station file that could not be changed, relative to the
// working directory, and why.
struct Failure {
    std::filesystem::path path;
    Error error;
};

struct Report {
    std::size_t files = 0;    // files removed (a fax's .BMP and .BMM count as two)
    std::size_t records = 0;  // records removed from the station file
    std::vector<Failure> failures;
};

// Deletes the entries: a fax's .BMP and its .BMM, the file of a warning,
// information bulletin or recording, and the records of an observation time
// (the station file rewritten atomically). An entry whose path is not a
// received file of its kind in its folder is refused and reported; a file
// already gone is no failure. A failure never stops the other entries.
Report deleteEntries(const std::filesystem::path& workDir, std::span<const Entry> entries);

// Removes what is older than `hours` before `now`: records whose key lies
// below the limit (the station file rewritten atomically; a missing one is
// skipped, one that cannot be rewritten is reported and the files are aged
// all the same), fax pictures with their reduced companions, bulletins and
// recordings (by their local name time) whose key lies below it.
// `hours` <= 0 removes nothing.
Report cleanUp(const std::filesystem::path& workDir, int hours, TimeKey now);

}  // namespace zeb::store
