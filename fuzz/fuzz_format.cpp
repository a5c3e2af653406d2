// Format strings come from translators' language bundles: any text must
// format without reading beyond the arguments given. Read as a bundle's
// strings.txt, the strings must write and read back unchanged, and a string
// cut to what a program reads must stay UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Format.h"
#include "ui/FormatCheck.h"
#include "ui/StringsFile.h"

using namespace zeb::ui;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string format(reinterpret_cast<const char*>(data), size);
    (void)zeb::formatPrintf(format, {2004, "text", 3.25, -7});
    (void)zeb::formatPrintf(format, {});

    const ParsedStrings parsed = parseStrings(format);
    std::string written;
    std::size_t kept = 0;
    for (const auto& [id, text] : parsed.texts) {
        (void)formatSignature(text);
        const std::string cut = truncateUtf8(text, kMaxStringChars);
        if (!text.starts_with(cut) || sanitizeUtf8(cut) != cut) std::abort();
        if (text.ends_with('\r')) continue;  // a line's last CR is its line end
        written += std::to_string(id) + '\t';
        for (char c : text)
            written += c == '\\'   ? "\\\\"
                       : c == '\n' ? "\\n"
                       : c == '\t' ? "\\t"
                                   : std::string(1, c);
        written += '\n';
        ++kept;
    }
    const ParsedStrings again = parseStrings(written);
    if (!again.issues.empty() || again.texts.size() != kept) std::abort();
    for (const auto& [id, text] : again.texts)
        if (parsed.texts.at(id) != text) std::abort();
    return 0;
}
