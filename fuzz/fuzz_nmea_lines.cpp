// The reader thread's line assembler takes whatever arrives on the serial
// line: any bytes must leave it consistent, and what it passes on must be a
// well-formed sentence.
#include "rig/NmeaLineAssembler.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zeb::rig::NmeaLineAssembler assembler;
    for (std::size_t i = 0; i < size; ++i) {
        if (auto line = assembler.push(data[i])) {
            if (line->size() > zeb::rig::NmeaLineAssembler::kMaxLine || line->front() != '$' ||
                line->back() != '\n' || !zeb::rig::NmeaLineAssembler::acceptable(*line)) {
                std::abort();
            }
        }
    }
    return 0;
}
