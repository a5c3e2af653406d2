// The files the bulletin viewer shows: which working directory it looks in,
// where a bulletin named on the command line lies, the received warnings and
// information bulletins of a folder, newest first, with their labels, and the
// reading of a bulletin within limits, so that no file, however broken or
// large, crashes the viewer or takes all memory. GUI-free.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ReceivedFile.h"
#include "common/Result.h"
#include "common/TimeKey.h"

namespace zeb::zebwarnv {

// Largest bulletin file the viewer reads; a received bulletin has a few
// kilobytes, even a whole day of NAVTEX far less than this.
inline constexpr std::uintmax_t kMaxBulletinFileBytes = 4ull << 20;
// How much of a bulletin is read for its label in the list.
inline constexpr std::uintmax_t kLabelReadBytes = 256ull << 10;
// Longest label shown in the list, in bytes.
inline constexpr std::size_t kMaxLabelBytes = 254;

// The working directory: `chosen` (--dir) when given; else the current
// directory when it holds a SYNOP folder or suite files (the launchers start
// the viewer there); else the suite's own working directory.
Result<std::filesystem::path> viewerWorkDir(const std::optional<std::filesystem::path>& chosen);

// Where the bulletin named by a command-line argument lies: a plain name
// ("WARN_2004-06-03_14-05.RTF") in the SYNOP folder of `workDir` (or, when it
// is not there but in the current directory, there); a name with a directory
// part as given, made absolute.
std::filesystem::path resolveBulletin(const std::filesystem::path& workDir,
                                      const std::string& argument);

// The kind (Warning or Information) and UTC time in a received bulletin's
// name; nullopt for another name.
std::optional<ReceivedName> bulletinName(const std::filesystem::path& file);

// A received bulletin of a folder.
struct BulletinEntry {
    std::filesystem::path path;
    ReceivedKind kind = ReceivedKind::Warning;  // or Information
    NameTime time;
    // Warnings: the second line of the text; information bulletins: the
    // third (the first lines are the station's header). Windows-1252 bytes,
    // at most kMaxLabelBytes; empty when the file has no such line or
    // cannot be read.
    std::string label;
};

// The received bulletins (regular files named WARN_… or INFO_….RTF) of
// `dir`, newest first; a warning before an information bulletin of the same
// minute. A missing or unreadable folder gives none.
std::vector<BulletinEntry> listBulletins(const std::filesystem::path& dir);

// The plain text of a bulletin file (Windows-1252, "\n" line ends). Files
// over `maxBytes`, files that are not RTF and files that end before the
// document does (cut off while written or copied) are refused. The error's
// message is the reason alone, fit to follow "… cannot be read: ".
Result<std::string> loadBulletin(const std::filesystem::path& path,
                                 std::uintmax_t maxBytes = kMaxBulletinFileBytes);

// True when the RTF text closes every group it opens (escaped braces and
// \binN data skipped), so that nothing of the document was cut off.
bool rtfIsComplete(std::string_view rtf);

// Line `index` (from 0) of `text`, cut to kMaxLabelBytes, without a
// trailing "\r"; empty when there is no such line.
std::string lineOf(std::string_view text, std::size_t index);

}  // namespace zeb::zebwarnv
