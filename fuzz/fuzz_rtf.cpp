// Fuzz target for the RTF reader: any input must be read without a crash or
// a read beyond its end, and whatever it yields must survive writing and
// reading again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "weather/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto document = zeb::weather::readRtf(input);
    if (!document.ok()) return 0;
    const std::string written = zeb::weather::writeRtf(*document);
    auto again = zeb::weather::readRtf(written);
    if (!again.ok() || again->runs != document->runs) std::abort();
    return 0;
}
