#include "stations/FrequencyList.h"

#include "common/AtomicFile.h"
#include "common/Text.h"

#include <algorithm>

namespace zeb::stations {
namespace {

constexpr const char* kSection = "SELECTION";

// Name and call sign compare by their first `n` characters, ASCII case
// ignored; other bytes (Windows-1252 letters) compare by value.
int compareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(toUpperAscii(a[i]));
        const auto cb = static_cast<unsigned char>(toUpperAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

template <std::size_t N>
void readSet(const ProfileFile& profile, const char* key, std::array<std::uint8_t, N>& set,
             std::vector<std::string>* problems) {
    std::array<std::uint8_t, N> value{};
    if (!profile.hasKey(key)) return;
    if (profile.readBytes(key, value) == N) {
        set = value;
    } else if (problems) {
        problems->push_back(profile.path().string() + ": [" + kSection + "] " + key + " is not " +
                            std::to_string(N * 2) + " hexadecimal digits; every bit stays set.");
    }
}

}  // namespace

LoadedList decodeFrequencyList(std::string_view bytes) {
    LoadedList list;
    const std::size_t count = bytes.size() / kStationRecordSize;
    list.droppedBytes = bytes.size() % kStationRecordSize;
    list.records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::array<std::uint8_t, kStationRecordSize> raw{};
        std::copy_n(bytes.data() + i * kStationRecordSize, kStationRecordSize,
                    reinterpret_cast<char*>(raw.data()));
        list.records.push_back(decodeStationRecord(raw));
    }
    return list;
}

Result<LoadedList> loadFrequencyList(const std::filesystem::path& path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return bytes.error();
    return decodeFrequencyList(*bytes);
}

std::string encodeFrequencyList(const std::vector<StationRecord>& records) {
    std::string out(records.size() * kStationRecordSize, '\0');
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StationRecordBytes raw = encodeStationRecord(records[i]);
        std::copy(raw.begin(), raw.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(i * raw.size()));
    }
    return out;
}

Result<void> saveFrequencyList(const std::filesystem::path& path,
                               const std::vector<StationRecord>& records) {
    return writeFileAtomically(path, encodeFrequencyList(records));
}

std::optional<std::uint32_t> newStationId(const std::vector<StationRecord>& records) {
    std::vector<bool> used(kMaxStationId + 1, false);
    for (const StationRecord& r : records)
        if (r.id <= kMaxStationId) used[r.id] = true;
    for (std::uint32_t id = 1; id <= kMaxStationId; ++id)
        if (!used[id]) return id;
    return std::nullopt;
}

std::optional<std::size_t> findStation(const std::vector<StationRecord>& records,
                                       std::uint32_t id) {
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].id == id) return i;
    return std::nullopt;
}

void FilterSets::setAll(bool on) {
    const std::uint8_t v = on ? 0xFF : 0x00;
    countries.fill(v);
    types.fill(v);
    modulations.fill(v);
}

bool testBit(std::span<const std::uint8_t> set, unsigned n) {
    if (n / 8 >= set.size()) return false;
    return (set[n / 8] >> (n % 8)) & 1u;
}

void setBit(std::span<std::uint8_t> set, unsigned n, bool on) {
    if (n / 8 >= set.size()) return;
    const auto mask = static_cast<std::uint8_t>(1u << (n % 8));
    set[n / 8] = on ? static_cast<std::uint8_t>(set[n / 8] | mask)
                    : static_cast<std::uint8_t>(set[n / 8] & ~mask);
}

bool isShown(const FilterSets& f, const StationRecord& r) {
    auto allOn = [](std::span<const std::uint8_t> set) {
        return std::all_of(set.begin(), set.end(), [](std::uint8_t b) { return b == 0xFF; });
    };
    const bool typeOk = r.type < kTypeCodeCount ? testBit(f.types, r.type) : allOn(f.types);
    const bool modOk = r.modulation < kModulationCodeCount ? testBit(f.modulations, r.modulation)
                                                           : allOn(f.modulations);
    return testBit(f.countries, r.country) && typeOk && modOk;
}

std::vector<std::size_t> filteredIndexes(const std::vector<StationRecord>& records,
                                         const FilterSets& filters) {
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (isShown(filters, records[i])) shown.push_back(i);
    return shown;
}

void sortStations(std::vector<StationRecord>& records, SortOrder order) {
    auto byFrequency = [](const StationRecord& a, const StationRecord& b) {
        return a.frequencyKhz < b.frequencyKhz;
    };
    switch (order) {
        case SortOrder::Frequency:
            std::stable_sort(records.begin(), records.end(), byFrequency);
            break;
        case SortOrder::Name:
            std::stable_sort(records.begin(), records.end(),
                             [&](const StationRecord& a, const StationRecord& b) {
                                 const int c = compareNoCase(nameText(a), nameText(b));
                                 return c != 0 ? c < 0 : byFrequency(a, b);
                             });
            break;
        case SortOrder::CallSign:
            std::stable_sort(records.begin(), records.end(),
                             [&](const StationRecord& a, const StationRecord& b) {
                                 const int c = compareNoCase(callSignText(a), callSignText(b));
                                 return c != 0 ? c < 0 : byFrequency(a, b);
                             });
            break;
    }
}

ListSettings readListSettings(const ProfileFile& profileIn, std::vector<std::string>* problems) {
    ProfileFile profile = profileIn;
    profile.setSection(kSection);
    ListSettings s;
    readSet(profile, "COUNTRY", s.filters.countries, problems);
    readSet(profile, "TYPE", s.filters.types, problems);
    readSet(profile, "MODU", s.filters.modulations, problems);
    const int sort = profile.readInt("SORT", 0);
    if (sort >= 0 && sort <= 2) {
        s.sort = static_cast<SortOrder>(sort);
    } else if (problems) {
        problems->push_back(profile.path().string() + ": [SELECTION] SORT=" + std::to_string(sort) +
                            " is not 0, 1 or 2; sorting by frequency.");
    }
    s.selectedStation = profile.readInt("STATION", -1);
    return s;
}

Result<void> writeListSettings(ProfileFile& profile, const ListSettings& s) {
    const std::string oldSection = profile.section();
    profile.setSection(kSection);
    Result<void> r = profile.writeBytes("COUNTRY", s.filters.countries);
    if (r) r = profile.writeBytes("TYPE", s.filters.types);
    if (r) r = profile.writeBytes("MODU", s.filters.modulations);
    if (r) r = profile.writeInt("SORT", static_cast<int>(s.sort));
    if (r) r = profile.writeInt("STATION", s.selectedStation);
    profile.setSection(oldSection);
    return r;
}

}  // namespace zeb::stations
