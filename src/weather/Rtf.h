// A small RTF writer and a tolerant RTF reader for the received-text files
// (warnings, information messages, saved windows): plain text in paragraphs
// with runs of font face, size, colour, bold and italic. Text is held as
// Windows-1252 bytes, as the decoders produce it; the writer escapes every
// byte above 0x7F as \'hh under \ansicpg1252 so any RTF reader shows the
// same characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace zeb::weather {

struct RtfFormat {
    std::string face = "Courier New";  // font family name
    int halfPoints = 20;               // size in half points (10 pt)
    std::uint32_t colour = 0;          // 0xRRGGBB
    bool bold = false;
    bool italic = false;
    bool operator==(const RtfFormat&) const = default;
};

// A run of text in one format. Line ends inside `text` are "\n" (one per
// paragraph end); "\r\n" and a lone "\r" are written as paragraph ends too.
struct RtfRun {
    RtfFormat format;
    std::string text;  // Windows-1252 bytes
    bool operator==(const RtfRun&) const = default;
};

struct RtfDocument {
    std::vector<RtfRun> runs;
    // All runs' text joined (Windows-1252, "\n" line ends).
    std::string plainText() const;
};

// The document as an RTF file: {\rtf1\ansi\ansicpg1252\deff0 {\fonttbl…}
// {\colortbl…} … \par …}. Control characters other than tab and line ends are
// dropped; "\", "{" and "}" are escaped.
std::string writeRtf(const RtfDocument& document);

// Reads RTF: paragraphs (\par, \line), fonts by number through the font
// table, \fs, \cf through the colour table, \b, \i (with 0 to switch off),
// \plain, \pard, \tab, \'hh, \uN with its fallback skipped per \ucN, escaped
// characters. Destinations it does not know ({\* …}, \info, \stylesheet,
// pictures, headers, ...) are skipped whole. Never reads past the input;
// nesting deeper than 64 groups or input that is not RTF at all is an error.
// Damaged input is read as far as it makes sense: groups still open at the
// end of the input are closed there, anything after the brace that closes
// the document is ignored, a broken \'hh escape is dropped, and numbers out
// of range are clamped (\fs to 1..32767 half points) or ignored. Without
// \fs the size is RTF's 12 pt; fonts missing from the table give the
// default font, colours missing from the table black.
Result<RtfDocument> readRtf(std::string_view rtf);

// Plain-text line ends for the received-text windows' "save as text".
std::string toCrLf(std::string_view text);

}  // namespace zeb::weather
