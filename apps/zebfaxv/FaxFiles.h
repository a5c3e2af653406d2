// The files the fax viewer shows: which working directory it looks in, where
// a picture named on the command line lies, the received pictures of a
// folder with their thumbnails, newest first, and the reading of a picture
// within limits, so that no file, however broken or large, crashes the
// viewer or takes all memory. GUI-free.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Result.h"
#include "common/TimeKey.h"
#include "fax/Bmp.h"

namespace zeb::zebfaxv {

// Largest picture file the viewer reads (a fax of 1810 × 20000 pixels
// stored uncompressed with 8 bits per pixel is about 35 MiB).
inline constexpr std::uintmax_t kMaxPictureFileBytes = 64ull << 20;
// Largest thumbnail file: a thumbnail has at most 160 × 128 pixels.
inline constexpr std::uintmax_t kMaxThumbnailFileBytes = 1ull << 20;
// Most pixels of a picture the viewer shows (one byte each on screen).
inline constexpr std::int64_t kMaxPicturePixels = 64ll << 20;

// The working directory: `chosen` (--dir) when given; else the current
// directory when it holds a FAX folder or suite files (the launchers start
// the viewer there); else the suite's own working directory.
Result<std::filesystem::path> viewerWorkDir(const std::optional<std::filesystem::path>& chosen);

// Where the picture named by a command-line argument lies: a plain name
// ("FAX_2004-06-03_14-05.BMP") in the FAX folder of `workDir` (or, when it is
// not there but in the current directory, there); a name with a directory
// part as given, made absolute.
std::filesystem::path resolvePicture(const std::filesystem::path& workDir,
                                     const std::string& argument);

// The UTC time in a received picture's name; nullopt for another name.
std::optional<NameTime> pictureTime(const std::filesystem::path& picture);

// A received picture and its thumbnail (which may be missing).
struct PictureEntry {
    std::filesystem::path picture;
    std::filesystem::path thumbnail;
    NameTime time;
};

// The received pictures (".BMP" files with a received fax name) of `dir`,
// newest first. A missing or unreadable folder gives none.
std::vector<PictureEntry> listPictures(const std::filesystem::path& dir);

// Reads a picture file. Files over `maxBytes` and pictures of more than
// kMaxPicturePixels pixels are refused. The error's message is the reason
// alone, fit to follow "… cannot be read: " ("not a BMP file").
Result<fax::Bitmap> loadPicture(const std::filesystem::path& path,
                                std::uintmax_t maxBytes = kMaxPictureFileBytes);

// The picture turned by `quarterTurns` quarter turns clockwise (negative:
// anticlockwise), with the same depth and palette.
fax::Bitmap rotated(const fax::Bitmap& picture, int quarterTurns);

}  // namespace zeb::zebfaxv
