#include "StationStart.h"

#include "common/Codepage.h"
#include "fax/FaxConfig.h"

namespace zeb::nimba {
namespace {

using stations::ModulationClass;
using stations::StationRecord;

class ActionsOwner final : public stations::SchedulerOwner {
public:
    explicit ActionsOwner(StationActions& actions) : actions_(actions) {}
    void closeDecoders(const stations::ScheduleEntry&) override {
        actions_.command(105);
        actions_.setReceptionActive(false);
        actions_.setStatus({});
    }
    void startStation(const stations::ScheduleEntry& entry, const StationRecord& station) override {
        actions_.setReceptionActive(true);
        actions_.startStation(station);
        actions_.setStatus(
            scheduleStatusText(entry, station, actions_.modulationLabel(station.modulation)));
    }

private:
    StationActions& actions_;
};

}  // namespace

std::optional<int> pcrModeOfStation(std::uint32_t receiverMode) {
    switch (receiverMode) {
        case stations::kModeLsb: return 0;
        case stations::kModeUsb: return 1;
        case stations::kModeAm: return 2;
        case stations::kModeFm: return 5;
        default: return std::nullopt;
    }
}

double tuneFrequencyKhz(const StationRecord& station, double receiverOffsetHz) {
    if (station.dialFrequencyKhz > 0.0) return station.dialFrequencyKhz;
    return stations::dialFrequencyKhz(station, receiverOffsetHz);
}

StationPlan planStart(const StationRecord& station, double receiverOffsetHz) {
    StationPlan plan;
    plan.pcrMode = pcrModeOfStation(station.receiverMode);
    plan.dialKhz = stations::dialFrequencyKhz(station, receiverOffsetHz);
    switch (stations::modulationClass(station.modulation)) {
        case ModulationClass::Fax: {
            const stations::FaxStart start = stations::faxStart(station, receiverOffsetHz);
            plan.mode = DecoderMode::Fax;
            plan.command = 101;
            plan.dialKhz = start.dialFrequencyKhz;
            plan.fax = start.record;
            break;
        }
        case ModulationClass::AudioRecording:
            plan.mode = DecoderMode::Recorder;
            plan.command = 104;
            break;
        case ModulationClass::Cw:
            plan.mode = DecoderMode::Cw;
            plan.command = 103;
            if (station.dialFrequencyKhz > 0.0) plan.dialKhz = station.dialFrequencyKhz;
            break;
        case ModulationClass::Teleprinter: {
            const stations::TeleprinterStart start =
                stations::teleprinterStart(station, receiverOffsetHz);
            plan.mode = DecoderMode::Rtty;
            plan.command = 102;
            plan.dialKhz = start.dialFrequencyKhz;
            plan.teleprinter = start.record;
            break;
        }
    }
    return plan;
}

rtty::RttyParams applyTeleprinter(rtty::RttyParams params, const stations::TeleprinterHandover& h) {
    params.mode = h.codeVariant;
    params.baud = h.speed;
    params.stop = h.stopBits;
    params.invert = h.inverted;
    params.shift = h.shiftHz;
    params.center = h.centreHz;
    // The station's speed names the keying rate; a rate set for another one
    // would no longer fit.
    params.rate = 0.0;
    return rtty::validated(params);
}

void applyFax(fax::FaxConfig& config, const stations::FaxHandover& h) {
    config.center = h.centreHz;
    config.shift = h.shiftHz;
    config.ioc = h.ioc;
    config.lpm = h.linesPerMinute;
    config.startTone = h.startTone;
    config.stopTone = h.stopTone;
}

std::string scheduleStatusText(const stations::ScheduleEntry& entry, const StationRecord& station,
                               const std::string& modulationLabel) {
    std::string name = stations::nameText(station);
    if (name.size() > stations::kNameSize) name.resize(stations::kNameSize);
    return cp1252ToUtf8(name) + "|" + stations::timeText(entry.start) + "-" +
           stations::timeText(entry.end) + "|" + stations::frequencyText(station.frequencyKhz) +
           "|" + modulationLabel;
}

void schedulerTick(stations::Schedule& schedule, const std::vector<StationRecord>& list,
                   TimeKey now, StationActions& actions) {
    const stations::KeyUtcClock clock(now);
    ActionsOwner owner(actions);
    stations::Scheduler(schedule, clock).tick(list, owner);
}

}  // namespace zeb::nimba
