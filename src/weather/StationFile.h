// The station file "STATION.DAT": one 487-byte SynopRecord per accepted
// report, appended in order, no header. Decoders of two programs append to it
// while the received-file store and the launcher's browser remove records by
// rewriting it, so every access takes an exclusive flock on a side lock file
// ("STATION.DAT.lock" beside it), appends write one whole record with one
// write(2), and rewrites go to a temporary file renamed over the original.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "common/Result.h"
#include "weather/SynopRecord.h"

namespace zeb::weather {

inline constexpr const char* kStationFileName = "STATION.DAT";

// Appends one record. A partial record left at the end of the file by a crash
// is cut off first, so that every record stays aligned. Creates the file (not
// its directory) when missing. An error leaves the whole records as they
// were (a short write is cut off again).
Result<void> appendStationRecord(const std::filesystem::path& file, const SynopRecord& record);

// Reads every whole record (a partial tail is ignored). A missing file is an
// empty list. In a directory where no lock file can be made (read-only) it
// reads without the lock.
Result<std::vector<SynopRecordBytes>> readStationRecords(const std::filesystem::path& file);

// Rewrites the file without the records for which `remove` returns true,
// keeping the order of the others; returns the number removed. Atomic: a
// crash leaves either the old or the new file, and appends made meanwhile by
// other programs are never lost (they wait for the lock).
Result<std::size_t> removeStationRecords(
    const std::filesystem::path& file,
    const std::function<bool(std::span<const std::uint8_t, kSynopRecordSize>)>& remove);

}  // namespace zeb::weather
