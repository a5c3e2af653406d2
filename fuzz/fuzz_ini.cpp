// Settings files are edited by hand and copied between machines: any bytes
// must parse, print back unchanged, and survive an edit without losing lines.
#include "common/IniDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zeb::IniDocument doc(text);
    if (doc.text() != text) std::abort();
    for (const std::string& section : doc.sections()) {
        for (const std::string& key : doc.keys(section)) (void)doc.get(section, key);
    }
    if (doc.set("PARAM", "LINEVOL", "50")) {
        if (doc.get("PARAM", "LINEVOL") != "50") std::abort();
        const zeb::IniDocument again(doc.text());
        if (again.get("PARAM", "LINEVOL") != "50") std::abort();
    }
    return 0;
}
