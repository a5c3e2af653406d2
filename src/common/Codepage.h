// Windows-1252, the code page of every text the suite stores (data files,
// received text, RTF, INI files), converted to and from UTF-8 only where text
// meets the desktop: windows, message boxes, the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeb {

// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, so the conversion is lossless.
std::string cp1252ToUtf8(std::string_view bytes);

// Characters outside Windows-1252, and malformed UTF-8, become '?'.
std::string utf8ToCp1252(std::string_view utf8);

// The same, but nullopt when the text is not well-formed UTF-8 or holds a
// character Windows-1252 lacks (for data files built from sources, where a
// silent '?' would be a fault).
std::optional<std::string> utf8ToCp1252Exact(std::string_view utf8);

// The Windows-1252 byte of a Unicode code point, or -1 when it has none.
int cp1252Byte(std::uint32_t codePoint);

// True when the bytes are well-formed UTF-8.
bool isUtf8(std::string_view bytes);

}  // namespace zeb
