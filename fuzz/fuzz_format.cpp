// Format strings come from translators' language bundles: any text must
// format without reading beyond the arguments given.
#include "common/Format.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string format(reinterpret_cast<const char*>(data), size);
    (void)zeb::formatPrintf(format, {2004, "text", 3.25, -7});
    (void)zeb::formatPrintf(format, {});
    return 0;
}
