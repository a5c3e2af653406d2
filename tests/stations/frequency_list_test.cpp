#include "stations/FrequencyList.h"

#include "common/AtomicFile.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace zeb::stations {
namespace {

StationRecord make(std::uint32_t id, double kHz, const char* name, const char* call,
                   std::uint8_t country = 1, std::uint8_t type = 1, std::uint8_t modulation = 5) {
    StationRecord r;
    r.id = id;
    r.frequencyKhz = kHz;
    setName(r, name);
    setCallSign(r, call);
    r.country = country;
    r.type = type;
    r.modulation = modulation;
    return r;
}

std::vector<StationRecord> sample() {
    return {make(3, 7880, "hamburg", "DDK3"), make(1, 4583, "Pinneberg", "DDK2", 1, 2, 3),
            make(2, 3855, "Hamburg", "DDH3"), make(7, 518, "Niton", "GNI", 2, 3, 16)};
}

std::vector<std::uint32_t> ids(const std::vector<StationRecord>& records) {
    std::vector<std::uint32_t> out;
    for (const auto& r : records) out.push_back(r.id);
    return out;
}

TEST(FrequencyListFile, SavesAndLoadsEveryRecord) {
    test::TempDir dir;
    const auto path = dir / "RCFRQ.DAT";
    ASSERT_TRUE(saveFrequencyList(path, sample()));
    EXPECT_EQ(std::filesystem::file_size(path), 4 * kStationRecordSize);
    auto loaded = loadFrequencyList(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->records, sample());
    EXPECT_EQ(loaded->droppedBytes, 0u);
}

TEST(FrequencyListFile, AnIncompleteLastRecordLosesOnlyThatRecord) {
    std::string bytes = encodeFrequencyList(sample());
    bytes.resize(bytes.size() - 100);
    const LoadedList list = decodeFrequencyList(bytes);
    ASSERT_EQ(list.records.size(), 3u);
    EXPECT_EQ(list.droppedBytes, kStationRecordSize - 100);
    EXPECT_EQ(list.records[2], sample()[2]);
}

TEST(FrequencyListFile, AMissingFileIsAnError) {
    test::TempDir dir;
    auto loaded = loadFrequencyList(dir / "RCFRQ.DAT");
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().systemError(), ENOENT);
}

TEST(FrequencyListFile, SavingReplacesTheOldListAtomically) {
    test::TempDir dir;
    const auto path = dir / "RCFRQ.DAT";
    const std::vector<StationRecord> old = {make(1, 100, "old", "OLD")};
    ASSERT_TRUE(saveFrequencyList(path, old));
    const std::string oldBytes = test::readFile(path);
    bool hookRan = false;
    // At the last moment before the new list takes the name, the file still
    // holds the complete old list.
    testing::setBeforeRenameHook([&](const std::filesystem::path& temp) {
        hookRan = true;
        EXPECT_EQ(test::readFile(path), oldBytes);
        EXPECT_EQ(temp.parent_path(), path.parent_path());
    });
    const Result<void> saved = saveFrequencyList(path, sample());
    testing::setBeforeRenameHook(nullptr);
    ASSERT_TRUE(saved);
    EXPECT_TRUE(hookRan);
    EXPECT_EQ(loadFrequencyList(path)->records, sample());
}

TEST(StationIds, NewIdIsTheSmallestFreeOne) {
    EXPECT_EQ(newStationId({}), 1u);
    EXPECT_EQ(newStationId(sample()), 4u);
    std::vector<StationRecord> full;
    for (std::uint32_t id = 1; id <= kMaxStationId; ++id) full.push_back(make(id, 1, "", ""));
    EXPECT_EQ(newStationId(full), std::nullopt);
    full[4999].id = 0;  // damaged ids take no slot
    EXPECT_EQ(newStationId(full), 5000u);
    EXPECT_EQ(findStation(sample(), 2), 2u);
    EXPECT_EQ(findStation(sample(), 99), std::nullopt);
}

TEST(Filters, ShowOnlyRecordsWithAllThreeBitsSet) {
    const auto list = sample();
    FilterSets f;
    EXPECT_EQ(filteredIndexes(list, f).size(), 4u);
    setBit(f.countries, 2, false);  // United Kingdom off
    EXPECT_EQ(filteredIndexes(list, f), (std::vector<std::size_t>{0, 1, 2}));
    setBit(f.types, 2, false);
    EXPECT_EQ(filteredIndexes(list, f), (std::vector<std::size_t>{0, 2}));
    setBit(f.modulations, 5, false);
    EXPECT_TRUE(filteredIndexes(list, f).empty());
    EXPECT_EQ(f.countries[0], 0xFB);  // bit n is bit n % 8 of byte n / 8
    EXPECT_EQ(f.modulations[0], 0xDF);
}

TEST(Filters, EveryBitClearedShowsNothingButSavingKeepsEveryRecord) {
    test::TempDir dir;
    FilterSets f;
    f.setAll(false);
    const auto list = sample();
    EXPECT_TRUE(filteredIndexes(list, f).empty());
    ASSERT_TRUE(saveFrequencyList(dir / "RCFRQ.DAT", list));
    EXPECT_EQ(loadFrequencyList(dir / "RCFRQ.DAT")->records.size(), list.size());
}

TEST(Filters, CodesBeyondTheirSetsAreShownOnlyWhenTheSetIsFull) {
    const StationRecord odd = make(9, 1, "odd", "X", 1, 200, 77);
    FilterSets f;
    EXPECT_TRUE(isShown(f, odd));
    setBit(f.types, 3, false);
    EXPECT_FALSE(isShown(f, odd));
    f.setAll(true);
    setBit(f.modulations, 23, false);
    EXPECT_FALSE(isShown(f, odd));
    EXPECT_FALSE(testBit(f.types, 200));  // no read past the set
}

TEST(Sorting, ByFrequencyNameAndCallSign) {
    auto list = sample();
    sortStations(list, SortOrder::Frequency);
    EXPECT_EQ(ids(list), (std::vector<std::uint32_t>{7, 2, 1, 3}));
    sortStations(list, SortOrder::Name);  // "Hamburg" = "hamburg", then by frequency
    EXPECT_EQ(ids(list), (std::vector<std::uint32_t>{2, 3, 7, 1}));
    sortStations(list, SortOrder::CallSign);
    EXPECT_EQ(ids(list), (std::vector<std::uint32_t>{2, 1, 3, 7}));  // DDH3 DDK2 DDK3 GNI
}

TEST(ListSettings, FiltersAreStoredAsHexadecimalBytes) {
    test::TempDir dir;
    ProfileFile profile(dir / "ZEBMENU.INI");
    ListSettings s;
    setBit(s.filters.countries, 0, false);
    setBit(s.filters.countries, 255, false);
    setBit(s.filters.types, 15, false);
    setBit(s.filters.modulations, 16, false);
    s.sort = SortOrder::CallSign;
    s.selectedStation = 42;
    ASSERT_TRUE(writeListSettings(profile, s));

    const std::string text = test::readFile(dir / "ZEBMENU.INI");
    EXPECT_NE(text.find("[SELECTION]"), std::string::npos);
    EXPECT_NE(text.find("COUNTRY=FE" + std::string(60, 'F') + "7F"), std::string::npos) << text;
    EXPECT_NE(text.find("TYPE=FF7F"), std::string::npos);
    EXPECT_NE(text.find("MODU=FFFFFE"), std::string::npos);
    EXPECT_NE(text.find("SORT=2"), std::string::npos);

    std::vector<std::string> problems;
    const ListSettings back = readListSettings(profile, &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(back.filters, s.filters);
    EXPECT_EQ(back.sort, SortOrder::CallSign);
    EXPECT_EQ(back.selectedStation, 42);
}

TEST(ListSettings, AbsentOrDamagedValuesKeepTheDefaults) {
    test::TempDir dir;
    std::vector<std::string> problems;
    const ListSettings fresh = readListSettings(ProfileFile(dir / "NONE.INI"), &problems);
    EXPECT_EQ(fresh.filters, FilterSets{});
    EXPECT_EQ(fresh.sort, SortOrder::Frequency);
    EXPECT_EQ(fresh.selectedStation, -1);
    EXPECT_TRUE(problems.empty());

    test::writeFile(dir / "ZEBMENU.INI",
                    "[SELECTION]\nCOUNTRY=00FF\nTYPE=ZZ00\nMODU=000000\nSORT=9\n");
    const ListSettings damaged = readListSettings(ProfileFile(dir / "ZEBMENU.INI"), &problems);
    EXPECT_EQ(damaged.filters.countries, FilterSets{}.countries);
    EXPECT_EQ(damaged.filters.types, FilterSets{}.types);
    EXPECT_EQ(damaged.filters.modulations, (std::array<std::uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(damaged.sort, SortOrder::Frequency);
    EXPECT_EQ(problems.size(), 3u);
}

}  // namespace
}  // namespace zeb::stations
