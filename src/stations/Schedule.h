// Reception schedules: daily UTC time windows, each tied to a station of the
// frequency list, stored as ".TIM" files in DATA/TIMER (8-byte entries,
// little-endian, no header). The scheduler tick is driven by a clock
// interface and tells its owner which decoders to close and which stations
// to start; the launcher and the main program carry the starts out in their
// own ways.
#pragma once

#include "common/Result.h"
#include "common/TimeKey.h"
#include "stations/StationRecord.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::stations {

inline constexpr std::size_t kScheduleEntrySize = 8;
inline constexpr const char* kScheduleDirectory = "DATA/TIMER";
inline constexpr const char* kScheduleExtension = ".TIM";

// Error codes of schedule operations (Error::code, category "schedule"); the
// numbers are the launcher's message numbers for them.
enum class ScheduleError { Overlap = 29, Active = 48 };
std::error_code make_error_code(ScheduleError code);

struct ScheduleEntry {
    std::int16_t start = 0;  // hours * 100 + minutes, UTC
    std::int16_t end = 0;
    std::uint32_t stationId = 0;  // 31 bits
    bool started = false;

    bool operator==(const ScheduleEntry&) const = default;
};

std::array<std::uint8_t, kScheduleEntrySize> encodeScheduleEntry(const ScheduleEntry& e);
ScheduleEntry decodeScheduleEntry(std::span<const std::uint8_t, kScheduleEntrySize> in);

struct LoadedSchedule {
    std::vector<ScheduleEntry> entries;
    std::size_t droppedBytes = 0;  // an incomplete last entry
};
LoadedSchedule decodeSchedule(std::string_view bytes);
std::string encodeSchedule(const std::vector<ScheduleEntry>& entries);
Result<LoadedSchedule> loadSchedule(const std::filesystem::path& path);
Result<void> saveSchedule(const std::filesystem::path& path,
                          const std::vector<ScheduleEntry>& entries);

// A time hours * 100 + minutes with hours 0..23 and minutes 0..59. Times
// outside that (a damaged file) are kept and shown but never start and make
// the overlap test fail.
bool isValidTime(int hhmm);
// Parses the edit dialog's "%d:%d" text; nullopt for anything that is not a
// valid time.
std::optional<std::int16_t> parseTimeText(std::string_view text);
std::string timeText(int hhmm);  // "%2d:%02d"

// Window test: start < end holds start <= t < end; start > end crosses
// midnight and holds t >= start or t < end; start == end always holds.
bool windowHolds(const ScheduleEntry& e, int t);

// Overlap test over the 1440 minutes of the day: a window of zero length
// fails; windows must not share a minute. Windows that cross midnight take
// part with both of their pieces. Returns the index of the first entry that
// fails, or nullopt when the schedule passes.
std::optional<std::size_t> findOverlap(const std::vector<ScheduleEntry>& entries);

// Sorted by start time (stable, so equal starts keep their order).
void sortByStart(std::vector<ScheduleEntry>& entries);

// One line of the schedule window: " %2d:%02d - %2d:%02d", then three
// columns each introduced by the byte FF: name (20 characters), frequency,
// modulation label.
std::string scheduleLine(const ScheduleEntry& e, const StationRecord& station,
                         std::string_view modulationLabel);

// A schedule with its on/off state. Editing, loading and saving are refused
// while it is active; switching on runs the overlap test; switching off
// clears every started flag.
class Schedule {
public:
    const std::vector<ScheduleEntry>& entries() const { return entries_; }
    bool active() const { return active_; }

    // Replaces the entries (file load). Started flags from the file are
    // cleared: they describe a run that is over.
    Result<void> replace(std::vector<ScheduleEntry> entries);
    // Appends 0:00-0:00 for the station (edit it before switching on).
    void addStation(std::uint32_t stationId);
    // Sets start and end of entry `index`, sorts and runs the overlap test.
    // An overlap is an error (ScheduleError::Overlap); the times are kept so the user
    // can correct them, and the schedule stays off.
    Result<void> edit(std::size_t index, std::int16_t start, std::int16_t end);
    Result<void> remove(std::size_t index);

    Result<void> activate();
    void deactivate();

    // For the scheduler.
    std::vector<ScheduleEntry>& mutableEntries() { return entries_; }

private:
    std::vector<ScheduleEntry> entries_;
    bool active_ = false;
};

// Time source of the scheduler.
class UtcClock {
public:
    virtual ~UtcClock() = default;
    // The current UTC time as hours * 100 + minutes.
    virtual int hhmm() const = 0;
};

// The system's clock.
class SystemUtcClock final : public UtcClock {
public:
    int hhmm() const override;
};

// A given time: the tick's time, read once by the program (UTC).
class KeyUtcClock final : public UtcClock {
public:
    explicit KeyUtcClock(TimeKey now) : now_(now) {}
    int hhmm() const override;

private:
    TimeKey now_;
};

// What the scheduler asks its owner to do, in the order of the calls.
class SchedulerOwner {
public:
    virtual ~SchedulerOwner() = default;
    // An entry's window has ended: close the decoders.
    virtual void closeDecoders(const ScheduleEntry& entry) = 0;
    // An entry's window holds and its station exists: start it. The
    // launcher waits 10 s before each start, here.
    virtual void startStation(const ScheduleEntry& entry, const StationRecord& station) = 0;
};

// The scheduler tick: call every 10 s. While the schedule is active, first
// every started entry whose window no longer holds is ended (closeDecoders,
// flag cleared), then every entry whose window holds and that has not
// started is started (station looked up by id; a missing station is marked
// started without starting anything, so it is not tried again in this
// window).
class Scheduler {
public:
    Scheduler(Schedule& schedule, const UtcClock& clock) : schedule_(schedule), clock_(clock) {}

    void tick(const std::vector<StationRecord>& stations, SchedulerOwner& owner);

private:
    Schedule& schedule_;
    const UtcClock& clock_;
};

}  // namespace zeb::stations

template <>
struct std::is_error_code_enum<zeb::stations::ScheduleError> : std::true_type {};
