// The frequency list: the whole DATA/RCFRQ.DAT in memory, with the filter
// bit sets, the sort orders, the search for a free station id and the
// settings the list windows keep in section "SELECTION".
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "stations/StationRecord.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zeb::stations {

inline constexpr const char* kFrequencyListPath = "DATA/RCFRQ.DAT";

struct LoadedList {
    std::vector<StationRecord> records;
    // Bytes at the end of the file that do not make a whole record (a save
    // that was cut short); they are not part of the list.
    std::size_t droppedBytes = 0;
};

// Reads a whole list. A missing or unreadable file is an error; an
// incomplete last record loses only that record.
Result<LoadedList> loadFrequencyList(const std::filesystem::path& path);
std::string encodeFrequencyList(const std::vector<StationRecord>& records);
LoadedList decodeFrequencyList(std::string_view bytes);
// Replaces the file atomically: after a crash either the old or the new list
// is there. A program that loads, changes and saves the list holds a
// FileLock (common/FileLock.h) on it from the load to the save, so that two
// editors never hand out one id twice or lose each other's change.
Result<void> saveFrequencyList(const std::filesystem::path& path,
                               const std::vector<StationRecord>& records);

// The smallest id from 1 to 8191 that no record uses; nullopt when the list
// is full.
std::optional<std::uint32_t> newStationId(const std::vector<StationRecord>& records);
// Index of the first record with the id.
std::optional<std::size_t> findStation(const std::vector<StationRecord>& records, std::uint32_t id);

// Bit n of a set is bit (n mod 8) of byte n / 8.
struct FilterSets {
    std::array<std::uint8_t, 32> countries;
    std::array<std::uint8_t, 2> types;
    std::array<std::uint8_t, 3> modulations;

    FilterSets() { setAll(true); }
    void setAll(bool on);
    bool operator==(const FilterSets&) const = default;
};

bool testBit(std::span<const std::uint8_t> set, unsigned n);
void setBit(std::span<std::uint8_t> set, unsigned n, bool on);

// A record is shown when its country, type and modulation bits are all set.
// A type or modulation code beyond its set (a damaged record) is shown only
// while every bit of that set is on.
bool isShown(const FilterSets& filters, const StationRecord& r);
// Indexes of the records shown, in list order.
std::vector<std::size_t> filteredIndexes(const std::vector<StationRecord>& records,
                                         const FilterSets& filters);

enum class SortOrder { Frequency = 0, Name = 1, CallSign = 2 };
// By frequency; by name (first 20 characters, ASCII case ignored) then
// frequency; by call sign (first 8 characters) then frequency.
void sortStations(std::vector<StationRecord>& records, SortOrder order);

// Section "SELECTION" of the launcher's and the main program's settings.
struct ListSettings {
    FilterSets filters;
    SortOrder sort = SortOrder::Frequency;
    int selectedStation = -1;  // "STATION", launcher only
};

// Reads "COUNTRY", "TYPE", "MODU", "SORT" and "STATION". A damaged value
// (too short, not hexadecimal, unknown sort order) keeps its default; each
// one is described in `problems` so the caller can report it.
ListSettings readListSettings(const ProfileFile& profile, std::vector<std::string>* problems);
Result<void> writeListSettings(ProfileFile& profile, const ListSettings& settings);

}  // namespace zeb::stations
