#include "stations/Schedule.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>

namespace zeb::stations {
namespace {

ScheduleEntry entry(int start, int end, std::uint32_t id, bool started = false) {
    return ScheduleEntry{static_cast<std::int16_t>(start), static_cast<std::int16_t>(end), id,
                         started};
}

TEST(ScheduleEntryCodec, LayoutAndStartedBit) {
    const auto b = encodeScheduleEntry(entry(2200, 200, 0x1234, true));
    EXPECT_EQ(b, (std::array<std::uint8_t, 8>{0x98, 0x08, 0xC8, 0x00, 0x34, 0x12, 0x00, 0x80}));
    EXPECT_EQ(decodeScheduleEntry(b), entry(2200, 200, 0x1234, true));
    const auto negative = encodeScheduleEntry(entry(-1, 2359, 0x7FFFFFFF, false));
    EXPECT_EQ(negative,
              (std::array<std::uint8_t, 8>{0xFF, 0xFF, 0x37, 0x09, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(decodeScheduleEntry(negative), entry(-1, 2359, 0x7FFFFFFF, false));
}

TEST(ScheduleFile, SavesLoadsAndDropsAnIncompleteLastEntry) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / kScheduleDirectory);
    const auto path = dir.path() / kScheduleDirectory / "NIGHT.TIM";
    const std::vector<ScheduleEntry> entries = {entry(1000, 1030, 1, true), entry(2200, 200, 2)};
    ASSERT_TRUE(saveSchedule(path, entries));
    EXPECT_EQ(std::filesystem::file_size(path), 16u);
    auto loaded = loadSchedule(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->entries, entries);  // the started flag is stored as it is

    const LoadedSchedule cut = decodeSchedule(encodeSchedule(entries).substr(0, 13));
    EXPECT_EQ(cut.entries, std::vector<ScheduleEntry>{entries[0]});
    EXPECT_EQ(cut.droppedBytes, 5u);
    EXPECT_FALSE(loadSchedule(dir / "MISSING.TIM"));
}

TEST(WindowTest, OrdinaryAcrossMidnightAndAlways) {
    const ScheduleEntry night = entry(2200, 200, 1);
    EXPECT_TRUE(windowHolds(night, 2359));
    EXPECT_TRUE(windowHolds(night, 159));
    EXPECT_FALSE(windowHolds(night, 200));
    EXPECT_TRUE(windowHolds(night, 2200));
    EXPECT_FALSE(windowHolds(night, 2159));

    const ScheduleEntry day = entry(1000, 1030, 1);
    EXPECT_FALSE(windowHolds(day, 959));
    EXPECT_TRUE(windowHolds(day, 1000));
    EXPECT_TRUE(windowHolds(day, 1029));
    EXPECT_FALSE(windowHolds(day, 1030));

    EXPECT_TRUE(windowHolds(entry(0, 0, 1), 1234));
    // Damaged times never hold.
    EXPECT_FALSE(windowHolds(entry(2500, 100, 1), 2400));
    EXPECT_FALSE(windowHolds(entry(975, 1000, 1), 980));
}

TEST(TimeText, EditDialogForms) {
    EXPECT_EQ(parseTimeText("22:00"), 2200);
    EXPECT_EQ(parseTimeText(" 0:05 "), 5);
    EXPECT_EQ(parseTimeText("23:59"), 2359);
    for (const char* bad : {"25:00", "9:75", "-1:00", "12", "12:", "ab:cd", "1:2:3", ""})
        EXPECT_EQ(parseTimeText(bad), std::nullopt) << bad;
    EXPECT_EQ(timeText(905), " 9:05");
    EXPECT_EQ(timeText(2200), "22:00");
}

TEST(OverlapTest, Examples) {
    EXPECT_EQ(findOverlap({entry(1000, 1100, 1), entry(1030, 1200, 2)}), 1u);
    EXPECT_EQ(findOverlap({entry(1000, 1100, 1), entry(1100, 1200, 2)}), std::nullopt);
    EXPECT_EQ(findOverlap({entry(1000, 1100, 1), entry(0, 0, 2)}), 1u);
    EXPECT_EQ(findOverlap({entry(1440, 2359, 1)}), std::nullopt);  // minutes, not hhmm, index
    EXPECT_EQ(findOverlap({entry(1400, 1450, 1), entry(1440, 1500, 2)}), 1u);
    // Windows across midnight take part with both pieces.
    EXPECT_EQ(findOverlap({entry(2200, 200, 1), entry(100, 300, 2)}), 1u);
    EXPECT_EQ(findOverlap({entry(2200, 200, 1), entry(2300, 2330, 2)}), 1u);
    EXPECT_EQ(findOverlap({entry(2200, 200, 1), entry(200, 2200, 2)}), std::nullopt);
    EXPECT_EQ(findOverlap({entry(2400, 100, 1)}), 0u);
}

TEST(Activation, RulesOfTheOnOffSwitch) {
    Schedule s;
    s.addStation(5);  // 0:00-0:00 blocks activation until edited
    EXPECT_EQ(s.entries().front(), entry(0, 0, 5));
    auto on = s.activate();
    ASSERT_FALSE(on);
    EXPECT_EQ(on.error().code, ScheduleError::Overlap);
    EXPECT_FALSE(s.active());

    ASSERT_TRUE(s.edit(0, 1000, 1100));
    s.addStation(6);
    auto overlap = s.edit(1, 1030, 1200);
    ASSERT_FALSE(overlap);
    EXPECT_EQ(overlap.error().code, ScheduleError::Overlap);
    EXPECT_EQ(s.entries()[1], entry(1030, 1200, 6));  // kept for correction
    ASSERT_TRUE(s.edit(1, 1100, 1200));
    EXPECT_FALSE(s.edit(1, 2500, 1200));
    ASSERT_TRUE(s.activate());
    EXPECT_TRUE(s.active());

    // Editing and loading are refused while the schedule runs.
    EXPECT_EQ(s.edit(0, 900, 1000).error().code, ScheduleError::Active);
    EXPECT_EQ(s.replace({}).error().code, ScheduleError::Active);

    s.mutableEntries()[0].started = true;
    s.deactivate();
    EXPECT_FALSE(s.active());
    EXPECT_FALSE(s.entries()[0].started);

    // Started flags in a loaded file belong to an earlier run.
    ASSERT_TRUE(s.replace({entry(1200, 1300, 1, true), entry(800, 900, 2)}));
    EXPECT_EQ(s.entries(), (std::vector<ScheduleEntry>{entry(800, 900, 2), entry(1200, 1300, 1)}));
}

TEST(ScheduleLine, ColumnsSeparatedByFF) {
    StationRecord r;
    r.frequencyKhz = 7880;
    setName(r, "Hamburg/Pinneberg");
    EXPECT_EQ(scheduleLine(entry(905, 1030, 1), r, "Fax F1C"),
              "  9:05 - 10:30\xFFHamburg/Pinneberg\xFF"
              "7880.0 KHz\xFF"
              "Fax F1C");
}

class FakeClock : public UtcClock {
public:
    int hhmm() const override { return seconds / 3600 % 24 * 100 + seconds / 60 % 60; }
    int seconds = 0;
};

// Writes down what the scheduler asks for, with the tick's time.
class Recorder : public SchedulerOwner {
public:
    explicit Recorder(const FakeClock& clock) : clock_(clock) {}
    void closeDecoders(const ScheduleEntry& e) override {
        events.push_back(stamp() + " close " + std::to_string(e.stationId));
    }
    void startStation(const ScheduleEntry& e, const StationRecord& station) override {
        EXPECT_EQ(e.stationId, station.id);
        events.push_back(stamp() + " start " + std::to_string(station.id));
    }
    std::vector<std::string> events;

private:
    std::string stamp() const {
        const int s = clock_.seconds;
        char text[40];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        return text;
    }
    const FakeClock& clock_;
};

std::vector<StationRecord> stationsWithIds(std::initializer_list<std::uint32_t> idList) {
    std::vector<StationRecord> out;
    for (std::uint32_t id : idList) {
        StationRecord r;
        r.id = id;
        out.push_back(r);
    }
    return out;
}

TEST(Scheduler, RunsASimulatedDay) {
    Schedule schedule;
    ASSERT_TRUE(schedule.replace({entry(1000, 1030, 1), entry(1030, 1100, 2),
                                  entry(1200, 1210, 99),  // station no longer in the list
                                  entry(2350, 10, 3)}));
    ASSERT_TRUE(schedule.activate());
    const auto stations = stationsWithIds({1, 2, 3});
    FakeClock clock;
    clock.seconds = 5;  // ticks at hh:mm:05, hh:mm:15, ...
    Recorder owner(clock);
    Scheduler scheduler(schedule, clock);
    for (; clock.seconds < 24 * 3600 + 5 + 900; clock.seconds += 10) {
        scheduler.tick(stations, owner);
        if (clock.seconds == 12 * 3600 + 5) {
            // The missing station is marked started and nothing is started.
            EXPECT_TRUE(schedule.entries()[2].started);
        }
    }
    const std::vector<std::string> expected = {
        "00:00:05 start 3",  // the day begins inside the window across midnight
        "00:10:05 close 3",  "10:00:05 start 1",
        "10:30:05 close 1",  // ends before the next starts at the shared boundary
        "10:30:05 start 2",  "11:00:05 close 2",
        "12:10:05 close 99",  // its flag was set, so its end is handled like any other
        "23:50:05 start 3",  "24:10:05 close 3",
    };
    EXPECT_EQ(owner.events, expected);
    EXPECT_FALSE(schedule.entries()[2].started);  // cleared when its window ended
}

TEST(Scheduler, DoesNothingWhileOff) {
    Schedule schedule;
    ASSERT_TRUE(schedule.replace({entry(1000, 1030, 1)}));
    FakeClock clock;
    clock.seconds = 10 * 3600;
    Recorder owner(clock);
    Scheduler(schedule, clock).tick(stationsWithIds({1}), owner);
    EXPECT_TRUE(owner.events.empty());
    EXPECT_FALSE(schedule.entries()[0].started);
}

TEST(Scheduler, SwitchingOffInsideAStartStopsTheTick) {
    class Stopper : public SchedulerOwner {
    public:
        explicit Stopper(Schedule& s) : s_(s) {}
        void closeDecoders(const ScheduleEntry&) override {}
        void startStation(const ScheduleEntry&, const StationRecord&) override {
            ++starts;
            s_.deactivate();
        }
        int starts = 0;

    private:
        Schedule& s_;
    };
    Schedule schedule;
    // Two entries whose windows both hold at 10:00 (they cannot pass the
    // overlap test, so they are set up behind its back).
    ASSERT_TRUE(schedule.replace({entry(1000, 1030, 1), entry(1030, 1200, 2)}));
    ASSERT_TRUE(schedule.activate());
    schedule.mutableEntries()[1].start = 900;
    FakeClock clock;
    clock.seconds = 10 * 3600;
    Stopper owner(schedule);
    Scheduler(schedule, clock).tick(stationsWithIds({1, 2}), owner);
    EXPECT_EQ(owner.starts, 1);
    EXPECT_FALSE(schedule.active());
}

}  // namespace
}  // namespace zeb::stations
