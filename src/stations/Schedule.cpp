#include "stations/Schedule.h"

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "common/LittleEndian.h"
#include "common/Text.h"
#include "stations/FrequencyList.h"

#include <algorithm>
#include <bitset>
#include <charconv>
#include <ctime>

namespace zeb::stations {
namespace {

constexpr std::uint32_t kStartedBit = 0x80000000u;
constexpr std::uint32_t kIdMask = 0x7FFFFFFFu;

int minuteOfDay(int hhmm) { return hhmm / 100 * 60 + hhmm % 100; }

constexpr const char* kActiveText = "This is not possible while the schedule is running.";
constexpr const char* kOverlapText =
    "The schedule has a window of zero length, an invalid time or windows that overlap.";

Error refusedWhileActive() { return Error{ScheduleError::Active, kActiveText}; }

Error overlapError() { return Error{ScheduleError::Overlap, kOverlapText}; }

}  // namespace

std::error_code make_error_code(ScheduleError code) {
    static const ModuleErrorCategory category("schedule", [](int value) -> std::string {
        return value == static_cast<int>(ScheduleError::Active) ? kActiveText : kOverlapText;
    });
    return {static_cast<int>(code), category};
}

std::array<std::uint8_t, kScheduleEntrySize> encodeScheduleEntry(const ScheduleEntry& e) {
    std::array<std::uint8_t, kScheduleEntrySize> out{};
    le::Writer w(out);
    w.i16(0, e.start);
    w.i16(2, e.end);
    w.u32(4, (e.stationId & kIdMask) | (e.started ? kStartedBit : 0u));
    return out;
}

ScheduleEntry decodeScheduleEntry(std::span<const std::uint8_t, kScheduleEntrySize> in) {
    le::Reader r(in);
    ScheduleEntry e;
    e.start = r.i16(0);
    e.end = r.i16(2);
    const std::uint32_t word = r.u32(4);
    e.stationId = word & kIdMask;
    e.started = (word & kStartedBit) != 0;
    return e;
}

LoadedSchedule decodeSchedule(std::string_view bytes) {
    LoadedSchedule s;
    const std::size_t count = bytes.size() / kScheduleEntrySize;
    s.droppedBytes = bytes.size() % kScheduleEntrySize;
    for (std::size_t i = 0; i < count; ++i) {
        std::array<std::uint8_t, kScheduleEntrySize> raw{};
        std::copy_n(bytes.data() + i * kScheduleEntrySize, kScheduleEntrySize,
                    reinterpret_cast<char*>(raw.data()));
        s.entries.push_back(decodeScheduleEntry(raw));
    }
    return s;
}

std::string encodeSchedule(const std::vector<ScheduleEntry>& entries) {
    std::string out;
    out.reserve(entries.size() * kScheduleEntrySize);
    for (const ScheduleEntry& e : entries) {
        const auto raw = encodeScheduleEntry(e);
        out.append(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    return out;
}

Result<LoadedSchedule> loadSchedule(const std::filesystem::path& path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return bytes.error();
    return decodeSchedule(*bytes);
}

Result<void> saveSchedule(const std::filesystem::path& path,
                          const std::vector<ScheduleEntry>& entries) {
    return writeFileAtomically(path, encodeSchedule(entries));
}

bool isValidTime(int hhmm) { return hhmm >= 0 && hhmm / 100 <= 23 && hhmm % 100 <= 59; }

std::optional<std::int16_t> parseTimeText(std::string_view text) {
    text = trim(text);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view hs = trim(text.substr(0, colon));
    const std::string_view ms = trim(text.substr(colon + 1));
    int h = -1;
    int m = -1;
    const auto rh = std::from_chars(hs.data(), hs.data() + hs.size(), h);
    const auto rm = std::from_chars(ms.data(), ms.data() + ms.size(), m);
    if (rh.ec != std::errc{} || rh.ptr != hs.data() + hs.size() || rm.ec != std::errc{} ||
        rm.ptr != ms.data() + ms.size())
        return std::nullopt;
    if (h < 0 || h > 23 || m < 0 || m > 59) return std::nullopt;
    return static_cast<std::int16_t>(h * 100 + m);
}

std::string timeText(int hhmm) { return formatPrintf("%2d:%02d", {hhmm / 100, hhmm % 100}); }

bool windowHolds(const ScheduleEntry& e, int t) {
    if (!isValidTime(e.start) || !isValidTime(e.end)) return false;
    if (e.start < e.end) return t >= e.start && t < e.end;
    if (e.start > e.end) return t >= e.start || t < e.end;
    return true;
}

std::optional<std::size_t> findOverlap(const std::vector<ScheduleEntry>& entries) {
    std::bitset<1440> taken;
    auto claim = [&taken](int from, int to) {  // minutes [from, to)
        for (int m = from; m < to; ++m)
            if (taken.test(static_cast<std::size_t>(m))) return false;
        for (int m = from; m < to; ++m) taken.set(static_cast<std::size_t>(m));
        return true;
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ScheduleEntry& e = entries[i];
        if (!isValidTime(e.start) || !isValidTime(e.end) || e.start == e.end) return i;
        const int s = minuteOfDay(e.start);
        const int en = minuteOfDay(e.end);
        const bool ok = s < en ? claim(s, en) : (claim(s, 1440) && claim(0, en));
        if (!ok) return i;
    }
    return std::nullopt;
}

void sortByStart(std::vector<ScheduleEntry>& entries) {
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const ScheduleEntry& a, const ScheduleEntry& b) { return a.start < b.start; });
}

std::string scheduleLine(const ScheduleEntry& e, const StationRecord& station,
                         std::string_view modulationLabel) {
    std::string line = " " + timeText(e.start) + " - " + timeText(e.end);
    line += '\xFF';
    line += nameText(station).substr(0, kNameSize);
    line += '\xFF';
    line += frequencyText(station.frequencyKhz);
    line += '\xFF';
    line += modulationLabel;
    return line;
}

Result<void> Schedule::replace(std::vector<ScheduleEntry> entries) {
    if (active_) return refusedWhileActive();
    for (ScheduleEntry& e : entries) e.started = false;
    entries_ = std::move(entries);
    sortByStart(entries_);
    return success();
}

void Schedule::addStation(std::uint32_t stationId) {
    entries_.push_back(ScheduleEntry{0, 0, stationId & kIdMask, false});
}

Result<void> Schedule::edit(std::size_t index, std::int16_t start, std::int16_t end) {
    if (active_) return refusedWhileActive();
    if (index >= entries_.size()) return Error{EINVAL, "No such schedule entry."};
    if (!isValidTime(start) || !isValidTime(end)) return Error{EINVAL, "Invalid time."};
    entries_[index].start = start;
    entries_[index].end = end;
    sortByStart(entries_);
    if (findOverlap(entries_)) return overlapError();
    return success();
}

Result<void> Schedule::remove(std::size_t index) {
    if (index >= entries_.size()) return Error{EINVAL, "No such schedule entry."};
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    return success();
}

Result<void> Schedule::activate() {
    if (active_) return success();
    if (findOverlap(entries_)) return overlapError();
    for (ScheduleEntry& e : entries_) e.started = false;
    active_ = true;
    return success();
}

void Schedule::deactivate() {
    active_ = false;
    for (ScheduleEntry& e : entries_) e.started = false;
}

int SystemUtcClock::hhmm() const {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc.tm_hour * 100 + utc.tm_min;
}

int KeyUtcClock::hhmm() const {
    const NameTime t = breakDown(now_);
    return t.hour * 100 + t.minute;
}

void Scheduler::tick(const std::vector<StationRecord>& stations, SchedulerOwner& owner) {
    if (!schedule_.active()) return;
    const int t = clock_.hhmm();
    std::vector<ScheduleEntry>& entries = schedule_.mutableEntries();
    for (ScheduleEntry& e : entries) {
        if (e.started && !windowHolds(e, t)) {
            owner.closeDecoders(e);
            e.started = false;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].started || !windowHolds(entries[i], t)) continue;
        entries[i].started = true;
        // Copies: the owner may take seconds and must not see a moving list.
        const ScheduleEntry entry = entries[i];
        if (const auto at = findStation(stations, entry.stationId))
            owner.startStation(entry, stations[*at]);
        if (!schedule_.active()) return;  // switched off during the start
    }
}

}  // namespace zeb::stations
