// Names of the received-file store. Every received item is a file whose name
// carries the date and time of its reception:
//   FAX/FAX_yyyy-mm-dd_hh-mi.BMP    finished fax picture   (UTC)
//   FAX/FAX_yyyy-mm-dd_hh-mi.BMM    its reduced companion  (UTC)
//   FAX/FAX_yyyy-mm-dd_hh-mi.BMX    picture being received (UTC)
//   SYNOP/WARN_yyyy-mm-dd_hh-mi.RTF warning bulletin       (UTC)
//   SYNOP/INFO_yyyy-mm-dd_hh-mi.RTF information bulletin   (UTC)
//   SYNOP/AUDIO_yyyy-mm-dd_hh-mi.WAV recording             (local time)
//   SYNOP/AUDIO_yyyy-mm-dd_hh-mi.GSM recording of the external recorder (local time)
// The name is the only index of the store, so a name that does not match the
// pattern exactly (a user's own "FAX_old.BMP") is not a received file: it is
// never listed, aged or deleted.
#pragma once

#include "common/Result.h"
#include "common/TimeKey.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zeb {

enum class ReceivedKind { Fax, FaxThumbnail, FaxWork, Warning, Information, Audio, AudioGsm };

inline constexpr std::string_view kFaxDir = "FAX";
inline constexpr std::string_view kSynopDir = "SYNOP";

struct ReceivedName {
    ReceivedKind kind = ReceivedKind::Fax;
    NameTime time;
    bool operator==(const ReceivedName&) const = default;
};

// "FAX" or "SYNOP".
std::string_view directoryOf(ReceivedKind kind);

// "FAX_2004-06-03_14-05.BMP" (the fields as "%d-%02d-%02d_%02d-%02d").
std::string fileName(ReceivedKind kind, const NameTime& time);

// "FAX/FAX_2004-06-03_14-05.BMP", relative to the working directory.
std::filesystem::path relativePath(ReceivedKind kind, const NameTime& time);

// Parses a file name (without directory). Prefix and extension are matched
// without regard to case; the year must have four digits and the other fields
// two, each within its range (isValid), and nothing may follow but the
// extension. Anything else gives nullopt.
std::optional<ReceivedName> parseFileName(std::string_view name);

// The same, for one kind only.
std::optional<NameTime> parseFileName(ReceivedKind kind, std::string_view name);

// The time key of a received name: UTC fields read as UTC, recording names
// (local time) through the local time-zone rules.
TimeKey keyOf(const ReceivedName& name);

// True for the kinds whose names carry local time.
bool isLocalTime(ReceivedKind kind);

// The first minute at or after `time` for which no file of the kind's family
// exists in `workDir` (a fax occupies .BMX, .BMP and .BMM of its minute; a
// recording .WAV and .GSM), so that a second item received in the same minute
// never replaces the first. Tries at most `maxMinutes` minutes.
std::optional<NameTime> firstFreeTime(const std::filesystem::path& workDir, ReceivedKind kind,
                                      const NameTime& time, int maxMinutes = 1440);

// Writes `bytes` as a new received file in `dir` (the kind's directory,
// created when missing) named for the first free minute at or after `time`.
// A file is never replaced: a name that exists, or that another program takes
// at the same moment, is passed over for the next minute (up to `maxMinutes`
// of them). Minutes this process found taken before are not tested again.
// Returns the path written.
Result<std::filesystem::path> writeReceivedFile(const std::filesystem::path& dir, ReceivedKind kind,
                                                const NameTime& time, std::string_view bytes,
                                                int maxMinutes = 1440);

}  // namespace zeb
