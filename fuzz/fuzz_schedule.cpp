// .TIM schedules are files a user may copy or damage: any bytes must write
// back byte for byte, and run against a list (the same bytes read as one,
// plus stations of some entries) may start only entries whose window holds,
// each with its own station. Time texts of the edit dialog read back as shown.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "stations/FrequencyList.h"
#include "stations/Schedule.h"

using namespace zeb::stations;

namespace {

struct Owner : SchedulerOwner, UtcClock {
    int now = 0;
    int hhmm() const override { return now; }
    void closeDecoders(const ScheduleEntry& e) override {
        if (windowHolds(e, now)) std::abort();
    }
    void startStation(const ScheduleEntry& e, const StationRecord& station) override {
        if (!windowHolds(e, now) || station.id != e.stationId) std::abort();
        (void)scheduleLine(e, station, "RTTY");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto time = parseTimeText(bytes); time && parseTimeText(timeText(*time)) != time)
        std::abort();
    const LoadedSchedule loaded = decodeSchedule(bytes);
    if (encodeSchedule(loaded.entries) != bytes.substr(0, size - loaded.droppedBytes)) std::abort();
    Schedule schedule;
    if (!schedule.replace(loaded.entries) || !schedule.activate()) return 0;
    // The list from the same bytes, and a station for every other entry.
    std::vector<StationRecord> stations = decodeFrequencyList(bytes).records;
    for (std::size_t i = 0; i < loaded.entries.size(); i += 2)
        stations.push_back(
            {.id = loaded.entries[i].stationId, .frequencyKhz = 4583.0 + static_cast<double>(i)});
    Owner owner;
    Scheduler scheduler(schedule, owner);
    for (const ScheduleEntry& e : loaded.entries) {
        for (int t : {e.start, e.end}) {
            owner.now = t;
            scheduler.tick(stations, owner);
        }
    }
    return 0;
}
