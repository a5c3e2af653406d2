// Any program of the user may write to a bus socket: every datagram must
// decode safely, and what decodes must encode back to the same bytes.
#include "common/bus/Bus.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto message = zeb::bus::decode(std::span<const std::uint8_t>(data, size));
    if (message) {
        const auto bytes = zeb::bus::encode(*message);
        if (!bytes || bytes->size() != size || !std::equal(bytes->begin(), bytes->end(), data))
            std::abort();
    }
    return 0;
}
