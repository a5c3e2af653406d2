// The reader thread's line assembler takes whatever arrives on the serial
// line: any bytes must leave it consistent, and what it passes on must be a
// well-formed sentence. Every line it passes on, and the whole input, go to
// the GPS panel's decoding and texts, which must keep the fix in its ranges. The same
// bytes, as a message from another program, go through the check for the
// serial line, which must return only sentences that pass it themselves.
#include "rig/NmeaDisplay.h"
#include "rig/NmeaLineAssembler.h"
#include "rig/NmeaOutgoing.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

namespace {

using namespace zeb::rig;

bool sane(const std::optional<NmeaCoordinate>& c, int maxDegrees, std::string_view letters) {
    return !c || (c->degrees >= 0 && c->degrees <= maxDegrees && c->minutes >= 0 &&
                  c->minutes < 60000 && letters.find(c->hemisphere) != std::string_view::npos);
}

bool sane(const NmeaFix& fix) {
    const auto within = [](const std::optional<int>& v, int lo, int hi) {
        return !v || (*v >= lo && *v <= hi);
    };
    return sane(fix.latitude, 90, " NS") && sane(fix.longitude, 180, " EW") &&
           within(fix.satellites, 0, 99) && within(fix.speed, 0, 99999999) &&
           within(fix.course, 0, 360000) && within(fix.altitude, -100000, 100000) &&
           (!fix.time ||
            (fix.time->hours <= 23 && fix.time->minutes <= 59 && fix.time->seconds <= 60)) &&
           (!fix.date || (fix.date->day >= 1 && fix.date->day <= 31 && fix.date->month >= 1 &&
                          fix.date->month <= 12 && fix.date->year <= 99));
}

void checkOutgoing(std::span<const std::uint8_t> message) {
    const auto sentence = acceptOutgoing(message);
    if (!sentence) return;
    const std::string_view s(*sentence);
    if (s.size() < 3 || s.size() > kMaxOutgoingSentence || (s[0] != '$' && s[0] != '!') ||
        !s.ends_with("\r\n") || !sentenceBodyAcceptable(s.substr(1, s.size() - 3))) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NmeaLineAssembler assembler;
    NmeaDisplay display;
    for (std::size_t i = 0; i < size; ++i) {
        if (auto line = assembler.push(data[i])) {
            if (line->size() > NmeaLineAssembler::kMaxLine || line->front() != '$' ||
                line->back() != '\n' || !NmeaLineAssembler::acceptable(*line)) {
                std::abort();
            }
            display.update(*line);
            if (!sane(display.fix())) std::abort();
            formatTimeDate(display.fix());
            formatAltitude(display.fix());
            formatSatellites(display.fix());
            formatPosition("%d°%06.3f' %s  %d°%06.3f' %s", display.fix());
            formatPosition(*line, display.fix());  // as a translator's text gone wrong
        }
    }
    // The panel's decoding must also cope with text no assembler has checked.
    display.update(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!sane(display.fix())) std::abort();
    const std::span<const std::uint8_t> message(data, size);
    checkOutgoing(message);
    checkOutgoing(message.first(std::min(size, kMaxOutgoingMessage)));
    return 0;
}
