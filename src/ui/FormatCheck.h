// Checking the placeholders of a bundle string that a program uses as a printf
// format against the arguments the program passes.
//
// Formatting itself is zeb::formatPrintf (common/Format.h), which never reads
// an argument that is not there, whatever the translator wrote. This check
// finds such translations before a user sees the odd result: a format is
// reduced to its signature, one letter per argument it consumes, and must fit
// the signature of the arguments.
//
// Letters: 'i' integer (d i u o x X c, and a '*' width or precision), 'f' real
// (f F e E g G), 's' text (s). Flags "-+ #0" and the length modifiers
// "hlLqjzt" are accepted. Rejected, because formatPrintf would print nothing
// or cut them: other conversions (%n, %p, %a, ...), positional arguments
// ("%1$d"), a '%' at the end, widths over 512 and precisions over 64.
#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace zeb::ui {

inline constexpr int kMaxFormatWidth = 512;
inline constexpr int kMaxFormatPrecision = 64;

// The signature of a format, e.g. "%d-%02d: %s" -> "iis".
Result<std::string> formatSignature(std::string_view format);

// True when a format with signature `actual` suits arguments of signature
// `expected`: `actual` is a prefix of `expected` (surplus arguments are
// ignored, as by printf; missing or mistyped ones are not).
bool signatureFits(std::string_view actual, std::string_view expected);

}  // namespace zeb::ui
