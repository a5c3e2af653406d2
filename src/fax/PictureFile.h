// The file of the picture being received and what becomes of it.
//
// While a picture is received it grows as "FAX/FAX_yyyy-mm-dd_hh-mi.BMX", a
// top-down 4-bit BMP that is valid after every band of 20 rows: each band is
// appended and only the two headers are rewritten, so a long picture is never
// rewritten while it comes in. When the picture ends, a work file of fewer
// than 100 rows is deleted; otherwise it is renamed to ".BMP" and then
// replaced by its run-length compressed form, with a ".BMM" thumbnail beside.
//
// No earlier picture is ever touched: the name is the first minute at or
// after the start for which none of .BMX, .BMP and .BMM exists, the work
// file is created exclusively, the rename never replaces an existing file,
// the thumbnail is a new file, and the compressed copy goes to a temporary
// file that is renamed over the file this picture produced.
//
// From its creation until the picture is compressed the writer holds an
// advisory lock (flock) on the work file; the lock moves with the file to
// its ".BMP" name and ends with the process. The thumbnail is written before
// the compression, so a finished picture without a thumbnail, or one still
// stored top-down as the work file was, is locked while its writer lives.
// recoverPictures() finishes what a killed program left and passes over
// every file whose lock it cannot take.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "common/TimeKey.h"
#include "fax/Bmp.h"
#include "fax/PictureBuffer.h"

namespace zeb::fax {

inline constexpr int kBandRows = 20;
inline constexpr int kMinPictureRows = 100;
inline constexpr std::uint32_t kWorkDataOffset = 118;  // 14 + 40 + 16 × 4

struct PictureOutcome {
    enum class Kind { None, Discarded, Saved, KeptWorkFile };
    Kind kind = Kind::None;
    std::filesystem::path picture;    // the .BMP (Saved) or the .BMX (KeptWorkFile)
    std::filesystem::path thumbnail;  // the .BMM, empty when it could not be written
    int rows = 0;
    std::string problem;  // why post-processing or the rename failed; empty when all went well
};

// "FAX/FAX_….BMP" → "FAX/FAX_….BMM": the last character replaced.
std::filesystem::path withLastChar(const std::filesystem::path& path, char last);

// Renames without ever replacing an existing target (EEXIST then).
Result<void> renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes `picture` run-length compressed to `path` (atomically) and its
// thumbnail to the same name with the last character replaced by "M".
Result<void> savePictureAs(const Bitmap& picture, const std::filesystem::path& path);

// What recoverPictures() did, with the paths of the files.
struct Recovery {
    std::filesystem::path workDir;
    std::vector<std::filesystem::path> pictures;    // pictures finished (.BMP)
    std::vector<std::filesystem::path> removed;     // work files of too few rows, deleted
    std::vector<std::filesystem::path> thumbnails;  // thumbnails made for finished pictures
    std::vector<std::filesystem::path> busy;        // locked by a running reception, left alone
    std::vector<std::string> problems;              // what could not be done, and why

    bool empty() const;
    // All of it in one line for a log ("recovered 1 picture: FAX/FAX_….BMP"),
    // paths relative to the working directory; empty when there was nothing.
    std::string summary() const;
};

// Finishes the pictures in FAX/ of `workDir` that a program ended without
// finishing (killed, crashed, power cut):
// - a work file (.BMX) of kMinPictureRows rows or more becomes a picture as
//   at the end of a reception: renamed to .BMP (the next free minute when
//   that name is taken), thumbnail, compression;
// - a shorter work file is deleted;
// - a picture (.BMP) without its thumbnail gets one, and one still stored
//   top-down (uncompressed) is compressed.
// A file whose lock another process holds is being received or finished and
// is not touched, nor is any existing file replaced. A work file whose
// headers cannot be read is kept and reported.
Recovery recoverPictures(const std::filesystem::path& workDir);

class PictureFile {
public:
    using Clock = std::function<NameTime()>;

    // Files go below `workDir` (the program's working directory).
    explicit PictureFile(std::filesystem::path workDir);
    // An open work file is left as it is (for recoverPictures()).
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    void setClock(Clock clock) { clock_ = std::move(clock); }
    const std::filesystem::path& workDir() const { return workDir_; }

    // Creates the empty work file for pictures `width` pixels wide and locks
    // it. On failure no file is open (reception goes on on screen only).
    Result<void> begin(int width);
    bool isOpen() const { return !workPath_.empty(); }
    const std::filesystem::path& workPath() const { return workPath_; }
    int rowsWritten() const { return rows_; }

    // Appends rows [first, first + count) of `buffer`. On failure the file is
    // given up (closed and unlocked, left as it is for recoverPictures()) and
    // the error returned.
    Result<void> appendBand(const PictureBuffer& buffer, int first, int count);
    // The same for `count` rows copied out of the buffer before (row after
    // row, each of the buffer's stride): a band handed to another thread.
    Result<void> appendRows(std::span<const std::uint8_t> rows, int count);

    // Ends the picture; the caller has appended the last rows already.
    PictureOutcome end();

private:
    void close();

    std::filesystem::path workDir_;
    Clock clock_;
    NameTime started_;
    std::filesystem::path workPath_;
    int fd_ = -1;  // the open work file, locked
    int width_ = 0;
    int rows_ = 0;
    std::vector<std::uint8_t> band_;
};

}  // namespace zeb::fax
