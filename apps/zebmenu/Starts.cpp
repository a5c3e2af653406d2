#include "Starts.h"

#include "common/Format.h"
#include "common/bus/ReceiverLink.h"

namespace zeb::zebmenu {

using stations::ModulationClass;

std::optional<PanelProgram> panelProgram(int id) {
    using std::string_view;
    static const std::vector<PanelProgram> kTable = {
        {button::kReceiverControl, "RIGMAN.EXE", {}, true, false, "Receiver Control"},
        {button::kRtty,
         "ZEBRTTY.EXE",
         {"ZEB-FAX", "ZEB-CW", "ZEBTIME", "ZEB-Audiorecorder"},
         true,
         true,
         "ZEB-RTTY"},
        {button::kFax,
         "ZEBFAX.EXE",
         {"ZEB-RTTY", "ZEB-CW", "ZEBTIME", "ZEB-Audiorecorder"},
         true,
         true,
         "ZEB-FAX"},
        {button::kWorldMap, "ZEBSYNV.EXE", {}, false, false, ""},
        {button::kBulletins, "ZEBWARNV.EXE", {}, false, false, ""},
        {button::kFaxViewer, "ZEBFAXV.EXE", {}, false, false, ""},
        {button::kTimeSignal,
         "ZEBTIME.EXE",
         {"ZEB-FAX", "ZEB-RTTY", "ZEB-CW", "ZEB-Audiorecorder"},
         true,
         true,
         "ZEBTIME"},
        {button::kCw,
         "ZEBCW.EXE",
         {"ZEB-FAX", "ZEB-RTTY", "ZEBTIME", "ZEB-Audiorecorder"},
         true,
         true,
         "ZEB-CW"},
        {button::kRecorder,
         "ZEBREC.EXE",
         {"ZEB-FAX", "ZEB-RTTY", "ZEBTIME", "ZEB-CW"},
         true,
         true,
         "ZEB-Audiorecorder"},
        {button::kPlayer, "ZEBPLAY.EXE", {}, false, false, ""},
    };
    for (const auto& p : kTable)
        if (p.button == id) return p;
    return std::nullopt;
}

std::vector<std::string_view> classesClosedFor(ModulationClass c) {
    switch (c) {
        case ModulationClass::Cw: return {"ZEB-FAX", "ZEB-RTTY", "ZEB-Audiorecorder"};
        case ModulationClass::AudioRecording: return {"ZEB-FAX", "ZEB-RTTY", "ZEB-CW"};
        case ModulationClass::Fax: return {"ZEB-RTTY", "ZEB-CW", "ZEB-Audiorecorder"};
        case ModulationClass::Teleprinter: return {"ZEB-FAX", "ZEB-CW", "ZEB-Audiorecorder"};
    }
    return {};
}

std::string dialText(double kHz) { return formatPrintf("%f", {kHz}); }

namespace {

std::uint16_t modeOf(const stations::StationRecord& station) {
    const auto m = station.receiverMode;
    return m >= stations::kModeLsb && m <= stations::kModeFm ? static_cast<std::uint16_t>(m) : 0;
}

}  // namespace

StationStart planTune(const stations::StationRecord& station, double receiverOffsetHz) {
    StationStart plan;
    plan.modeCode = modeOf(station);
    switch (stations::modulationClass(station.modulation)) {
        case ModulationClass::Fax:
            plan.dialKhz = stations::faxStart(station, receiverOffsetHz).dialFrequencyKhz;
            break;
        case ModulationClass::Teleprinter:
            plan.dialKhz = stations::teleprinterStart(station, receiverOffsetHz).dialFrequencyKhz;
            break;
        default: plan.dialKhz = stations::dialFrequencyKhz(station, receiverOffsetHz); break;
    }
    return plan;
}

StationStart planStationStart(const stations::StationRecord& station, double receiverOffsetHz,
                              bool scheduleActive) {
    StationStart plan = planTune(station, receiverOffsetHz);
    const ModulationClass c = stations::modulationClass(station.modulation);
    plan.closes = classesClosedFor(c);
    switch (c) {
        case ModulationClass::Fax: {
            const auto record =
                stations::encodeHandover(stations::faxStart(station, receiverOffsetHz).record);
            plan.recordCode = bus::ReceiverCode::StoreRecordB;
            plan.record.assign(record.begin(), record.end());
            plan.commandLine = scheduleActive ? "ZEBFAX.EXE TIMER" : "ZEBFAX.EXE";
            break;
        }
        case ModulationClass::Teleprinter: {
            const auto record = stations::encodeHandover(
                stations::teleprinterStart(station, receiverOffsetHz).record);
            plan.recordCode = bus::ReceiverCode::StoreRecordA;
            plan.record.assign(record.begin(), record.end());
            plan.commandLine = "ZEBRTTY.EXE";
            break;
        }
        case ModulationClass::Cw:
            plan.commandLine = scheduleActive ? "ZEBCW.EXE SAVE" : "ZEBCW.EXE";
            break;
        case ModulationClass::AudioRecording: plan.commandLine = "ZEBREC.EXE"; break;
    }
    return plan;
}

Result<void> carryOut(const StationStart& plan, const StartPlatform& platform) {
    for (std::string_view windowClass : plan.closes) (void)platform.close(windowClass);
    if (plan.recordCode != 0) (void)platform.poke(plan.recordCode, plan.record);
    const std::string dial = dialText(plan.dialKhz);
    std::vector<std::uint8_t> text(dial.begin(), dial.end());
    text.push_back(0);
    (void)platform.poke(bus::ReceiverCode::SetFrequency, text);
    if (plan.modeCode != 0) (void)platform.poke(plan.modeCode, {});
    if (plan.commandLine.empty()) return success();
    return platform.start(plan.commandLine);
}

}  // namespace zeb::zebmenu
