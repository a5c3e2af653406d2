// NAVTEX record lines and message headers come from a file a user can edit
// and from received characters: any bytes must parse or be refused, never
// read outside the text, and a parsed record line must format and parse
// again to the same entry.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "weather/NavtexMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)zeb::weather::parseNavtexHeader(text);
    if (const auto id = zeb::weather::parseNavtexId(text)) {
        if (id->text().size() != 4) std::abort();
        (void)zeb::weather::subjectName(id->subject);
    }
    (void)zeb::weather::LetterSet::parse(text);
    if (const auto entry = zeb::weather::parseNavtexEntry(text)) {
        const auto again = zeb::weather::parseNavtexEntry(zeb::weather::formatNavtexEntry(*entry));
        if (!again || !(*again == *entry)) std::abort();
    }
    return 0;
}
