// RCFRQ.DAT, the receiver control's hand-over answers and the readable source
// of the list all come from outside: the same bytes are read as each. Records
// must write back byte for byte, a station must start with values the fax
// decoder accepts, and one taken from the receiver must start as handed over.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "fax/FaxConfig.h"
#include "stations/FrequencyList.h"
#include "stations/FrequencySource.h"

using namespace zeb::stations;

namespace {

// Both starts of a station, and the same starts after taking back what they handed over.
void checkStarts(const StationRecord& r) {
    const TeleprinterStart t = teleprinterStart(r, 0.0);
    const FaxStart f = faxStart(r, 0.0);
    zeb::fax::FaxConfig config;
    config.center = f.record.centreHz, config.shift = f.record.shiftHz;
    config.ioc = f.record.ioc, config.lpm = f.record.linesPerMinute;
    if (zeb::fax::validate(config) != 0) std::abort();
    StationRecord back = r;
    TeleprinterHandover th = t.record;
    th.frequencyKhz = t.dialFrequencyKhz;
    if (takeFromReceiver(back, th) && !(teleprinterStart(back, 0.0).record == t.record))
        std::abort();
    back = r;
    FaxHandover fh = f.record;
    fh.frequencyKhz = f.dialFrequencyKhz;
    if (takeFromReceiver(back, fh) && !(faxStart(back, 0.0).record == f.record)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LoadedList list = decodeFrequencyList(bytes);
    if (encodeFrequencyList(list.records) != bytes.substr(0, size - list.droppedBytes))
        std::abort();
    if (auto source = parseFrequencySource(bytes, "fuzz")) {
        for (const StationRecord& r : *source)
            if (!(r.frequencyKhz > 0.0 && r.frequencyKhz <= kMaxFrequencyKhz) ||
                !std::isfinite(r.stopBits))
                std::abort();
        list.records.insert(list.records.end(), source->begin(), source->end());
    }
    const auto teleprinter = decodeTeleprinterHandover({data, size});
    const auto fax = decodeFaxHandover({data, size});
    if (teleprinter && !std::ranges::equal(encodeHandover(*teleprinter),
                                           std::span(data, kTeleprinterHandoverSize)))
        std::abort();
    if (fax &&
        encodeHandover(decodeFaxHandover(encodeHandover(*fax)).value()) != encodeHandover(*fax))
        std::abort();
    for (StationRecord r : list.records) {
        (void)frequencyText(r.frequencyKhz);
        checkStarts(r);
        if (teleprinter && takeFromReceiver(r, *teleprinter)) checkStarts(r);
        if (fax && takeFromReceiver(r, *fax)) checkStarts(r);
        const StationRecordBytes written = encodeStationRecord(r);
        if (encodeStationRecord(decodeStationRecord(written)) != written) std::abort();
    }
    return 0;
}
