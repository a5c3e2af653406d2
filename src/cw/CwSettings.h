// Settings of the CW decoder in section "CWPARAM" of the main program's
// settings file, and the saving of the decoded text as a warning file of the
// received-file store when a scheduled reception ends.
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "common/TimeKey.h"
#include "cw/CwDecoder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zeb::cw {

inline constexpr std::string_view kCwSection = "CWPARAM";
inline constexpr int kMinCenter = 500;
inline constexpr int kMaxCenter = 2000;
inline constexpr int kMinWidth = 20;
inline constexpr int kMaxWidth = 500;

// CENTER and WIDTH, limited to the ranges of the page's knobs: a width of 0
// or a band below 0 Hz from a hand-edited file would give a useless filter
// and an infinite monitor gain.
ToneBand readToneBand(ProfileFile& profile);
Result<void> writeToneBand(ProfileFile& profile, ToneBand band);

// The decoder's design and whether the matched design looks for the tone in
// the whole audio band: "DEMOD" (1 matched, 0 the band-pass filter; the
// matched design when absent or unknown) and "AUTOCENTER" (1 on, 0 off; on
// when absent or unknown).
struct CwOptions {
    CwVariant variant = CwVariant::Matched;
    bool autoCenter = true;
    bool operator==(const CwOptions&) const = default;
};
CwOptions readCwOptions(ProfileFile& profile);
Result<void> writeCwOptions(ProfileFile& profile, CwOptions options);

// The 60-byte character-format record of the text window ("FONT"): size,
// mask, effects, height in twips, offset, colour, character set, pitch and
// family, 32-byte face name, little-endian.
using FontRecord = std::array<std::uint8_t, 60>;
FontRecord defaultFontRecord();  // size, colour and face; 150 twips; black; fixed pitch
FontRecord readFontRecord(ProfileFile& profile);
Result<void> writeFontRecord(ProfileFile& profile, const FontRecord& record);
int fontHeightTwips(const FontRecord& record);

// The decoded text as a small rich-text document in one fixed-pitch font:
// paragraphs at line ends, "\\", "{" and "}" escaped, bytes above 127 as \'xx.
std::string textToRtf(std::string_view text, int heightTwips);

// Saves `text` as "SYNOP/WARN_yyyy-mm-dd_hh-mi.RTF" below `workDir` for the
// UTC time `now`, moving on to the next free minute when a received file of
// that minute exists already. Returns the path written.
Result<std::filesystem::path> saveWarningText(const std::filesystem::path& workDir,
                                              std::string_view text, const NameTime& now,
                                              int heightTwips = 150);

// Stops the decoder; when it was running while a scheduled reception is
// active and the text holds more than blanks, first saves the text as a
// warning file. The end of a schedule
// window must call this before it clears its reception flag, or the text of
// the window is not saved. Returns the saved path, or
// an empty path when nothing was saved.
Result<std::filesystem::path> stopAndSave(CwDecoder& decoder, bool receptionActive,
                                          const std::filesystem::path& workDir,
                                          std::string_view text, const NameTime& now);

}  // namespace zeb::cw
