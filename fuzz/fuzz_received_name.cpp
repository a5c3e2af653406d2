// File names in the received-file store decide what the cleanup deletes:
// whatever parses must be exactly the name the suite would have written.
#include "common/ReceivedFile.h"
#include "common/Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = zeb::parseFileName(name)) {
        if (!zeb::equalsNoCase(zeb::fileName(parsed->kind, parsed->time), name)) std::abort();
        if (!zeb::isValid(parsed->time)) std::abort();
    }
    return 0;
}
