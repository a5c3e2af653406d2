#include "fax/PictureFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

#include "common/AtomicFile.h"
#include "common/FileLock.h"
#include "common/ReceivedFile.h"

namespace zeb::fax {

namespace {

Error ioError(BmpError code, const std::filesystem::path& path, int err) {
    return bmpError(code, path.string() + ": " + std::strerror(err), err);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool readAll(int fd, std::uint8_t* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Headers and palette of an empty work file.
std::array<std::uint8_t, kWorkDataOffset> emptyWorkHeader(int width) {
    std::array<std::uint8_t, kWorkDataOffset> b{};
    BmpHeaders h;
    h.fileSize = kWorkDataOffset;
    h.dataOffset = kWorkDataOffset;
    h.width = width;
    h.height = 0;
    h.bitsPerPixel = 4;
    h.compression = 0;
    h.imageSize = 0;
    h.coloursUsed = 16;
    h.coloursImportant = 16;
    putHeaders(h, b.data());
    const auto palette = greyPalette16();
    for (int i = 0; i < 16; ++i) {
        std::uint8_t* e = b.data() + 54 + 4 * i;
        e[0] = palette[static_cast<std::size_t>(i)].b;
        e[1] = palette[static_cast<std::size_t>(i)].g;
        e[2] = palette[static_cast<std::size_t>(i)].r;
    }
    return b;
}

// Takes the lock without waiting; false while another open file holds it.
bool tryLock(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool lockWaiting(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

// `path` still names the file open as `fd` (not deleted or replaced since
// it was opened).
bool stillNamed(int fd, const std::filesystem::path& path) {
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The headers of a BMP file, nullopt when it has none.
std::optional<BmpHeaders> readHeaders(int fd) {
    std::array<std::uint8_t, kFileHeaderSize + kInfoHeaderSize> raw{};
    if (!readAll(fd, raw.data(), raw.size(), 0) || raw[0] != 'B' || raw[1] != 'M')
        return std::nullopt;
    return getHeaders(raw.data());
}

// The rows a work file holds according to its headers, nullopt when the
// headers are not those of a work file of this program.
std::optional<int> workFileRows(const BmpHeaders& h) {
    if (h.dataOffset != kWorkDataOffset || h.bitsPerPixel != 4 || h.compression != 0 ||
        h.width <= 0 || h.width > kMaxBmpSide || h.height > 0 || h.height < -kMaxBmpSide)
        return std::nullopt;
    return -h.height;
}

// A finished picture (renamed from the work file, still locked by the
// caller): the thumbnail as a new file, then the compressed picture over the
// uncompressed one when `compress`. `existingThumbnail` tells whether a
// thumbnail already there is this picture's own (left by an interrupted
// finish) or a problem.
void completePicture(const std::filesystem::path& picture, bool compress, bool existingThumbnail,
                     PictureOutcome& out) {
    auto bitmap = readBmpFile(picture);
    if (!bitmap) {
        out.problem = bitmap.error().message;
        return;
    }
    const std::filesystem::path thumbPath = withLastChar(picture, 'M');
    std::error_code ec;
    if (std::filesystem::exists(thumbPath, ec)) {
        if (!existingThumbnail) out.problem = thumbPath.string() + " exists already";
    } else if (auto thumb = makeThumbnail(*bitmap); !thumb) {
        out.problem = thumb.error().message;
    } else if (auto r = writeNewFileAtomically(thumbPath, encodeBmp(*thumb, false)); !r) {
        out.problem = r.error().systemError() == EEXIST ? thumbPath.string() + " exists already"
                                                        : r.error().message;
    } else {
        out.thumbnail = thumbPath;
    }
    if (!compress) return;
    // When this fails the uncompressed picture stays, complete.
    if (auto r = writeFileAtomically(picture, encodeBmp(*bitmap, true)); !r) {
        if (out.problem.empty()) out.problem = r.error().message;
    }
}

// The work file `work` (locked by the caller) of `rows` rows, begun at
// `started`, becomes a picture.
PictureOutcome finishWorkFile(const std::filesystem::path& workDir,
                              const std::filesystem::path& work, const NameTime& started,
                              int rows) {
    PictureOutcome out;
    out.rows = rows;
    // The name was free when the picture began; should a finished picture of
    // that minute have appeared since, take the next free minute.
    std::filesystem::path finished = withLastChar(work, 'P');
    auto renamed = renameNoReplace(work, finished);
    if (!renamed && renamed.error().systemError() == EEXIST) {
        NameTime next = breakDown(timeKey(started) + 60);
        if (auto free = firstFreeTime(workDir, ReceivedKind::Fax, next)) {
            finished = workDir / relativePath(ReceivedKind::Fax, *free);
            renamed = renameNoReplace(work, finished);
        }
    }
    if (!renamed) {
        out.kind = PictureOutcome::Kind::KeptWorkFile;
        out.picture = work;
        out.problem = renamed.error().message;
        return out;
    }
    out.kind = PictureOutcome::Kind::Saved;
    out.picture = finished;
    completePicture(finished, true, false, out);
    return out;
}

}  // namespace

std::filesystem::path withLastChar(const std::filesystem::path& path, char last) {
    std::string s = path.string();
    if (!s.empty()) s.back() = last;
    return s;
}

Result<void> renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return success();
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return Error{errno, "cannot rename " + from.string() + ": " + std::strerror(errno)};
    // File systems without the flag: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) != 0)
        return Error{errno, "cannot rename " + from.string() + ": " + std::strerror(errno)};
    ::unlink(from.c_str());
    return success();
}

Result<void> savePictureAs(const Bitmap& picture, const std::filesystem::path& path) {
    if (auto r = writeFileAtomically(path, encodeBmp(picture, true)); !r)
        return bmpError(BmpError::NoFileWrite, r.error().message);
    auto thumb = makeThumbnail(picture);
    if (!thumb) return thumb.error();
    if (auto r = writeFileAtomically(withLastChar(path, 'M'), encodeBmp(*thumb, false)); !r)
        return bmpError(BmpError::NoFileWrite, r.error().message);
    return success();
}

PictureFile::PictureFile(std::filesystem::path workDir)
    : workDir_(std::move(workDir)), clock_([] { return breakDown(now()); }) {}

PictureFile::~PictureFile() { close(); }

void PictureFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    workPath_.clear();
}

Result<void> PictureFile::begin(int width) {
    close();
    rows_ = 0;
    width_ = width;
    started_ = clock_();
    band_.assign(
        static_cast<std::size_t>(kBandRows) * static_cast<std::size_t>(Bitmap::strideOf(width, 4)),
        0);
    std::error_code ec;
    std::filesystem::create_directories(workDir_ / std::string(kFaxDir), ec);
    // Between the creation and the lock, recoverPictures() of another program
    // may take the empty file for one a killed program left and delete it:
    // then a free name is looked for again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto free = firstFreeTime(workDir_, ReceivedKind::FaxWork, started_);
        if (!free) return bmpError(BmpError::NoFileWriteOpen, "no free picture name");
        started_ = *free;
        const std::filesystem::path path = workDir_ / relativePath(ReceivedKind::FaxWork, started_);
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.get() < 0) return ioError(BmpError::NoFileWriteOpen, path, errno);
        if (!lockWaiting(fd.get())) {
            const int err = errno;
            ::unlink(path.c_str());
            return ioError(BmpError::NoFileWriteOpen, path, err);
        }
        if (!stillNamed(fd.get(), path)) continue;
        const auto header = emptyWorkHeader(width);
        if (!writeAll(fd.get(), header.data(), header.size(), 0)) {
            const int err = errno;
            ::unlink(path.c_str());
            return ioError(BmpError::NoFileWrite, path, err);
        }
        fd_ = fd.release();
        workPath_ = path;
        return success();
    }
    return bmpError(BmpError::NoFileWriteOpen, "no free picture name");
}

Result<void> PictureFile::appendBand(const PictureBuffer& buffer, int first, int count) {
    if (!isOpen() || count <= 0) return success();
    if (buffer.width() != width_ || first < 0 || first + count > buffer.height() ||
        count > kBandRows) {
        Error e = ioError(BmpError::NoDibMemoryAccess, workPath_, EINVAL);
        close();  // the partial file stays as it is
        return e;
    }
    const std::size_t stride = static_cast<std::size_t>(buffer.stride());
    for (int i = 0; i < count; ++i) {
        const auto row = buffer.row(first + i);
        std::copy(row.begin(), row.end(), band_.begin() + static_cast<std::ptrdiff_t>(i * stride));
    }
    return appendRows(std::span(band_).first(stride * static_cast<std::size_t>(count)), count);
}

Result<void> PictureFile::appendRows(std::span<const std::uint8_t> rows, int count) {
    if (!isOpen() || count <= 0) return success();
    const auto fail = [&](BmpError code, int err) {
        Error e = ioError(code, workPath_, err);
        close();  // the partial file stays as it is
        return e;
    };
    const std::size_t bytes =
        static_cast<std::size_t>(Bitmap::strideOf(width_, 4)) * static_cast<std::size_t>(count);
    if (count > kBandRows || rows.size() != bytes) return fail(BmpError::NoDibMemoryAccess, EINVAL);
    const int fd = fd_;
    std::array<std::uint8_t, kFileHeaderSize + kInfoHeaderSize> raw{};
    if (!readAll(fd, raw.data(), raw.size(), 0))
        return fail(BmpError::NoFileRead, errno ? errno : EIO);
    BmpHeaders h = getHeaders(raw.data());
    if (raw[0] != 'B' || raw[1] != 'M' || h.width != width_ || h.bitsPerPixel != 4 ||
        h.dataOffset != kWorkDataOffset)
        return fail(BmpError::NoFileRead, EINVAL);
    if (!writeAll(fd, rows.data(), bytes,
                  static_cast<off_t>(kWorkDataOffset) + static_cast<off_t>(h.imageSize)))
        return fail(BmpError::NoFileWrite, errno ? errno : ENOSPC);
    h.fileSize += static_cast<std::uint32_t>(bytes);
    h.imageSize += static_cast<std::uint32_t>(bytes);
    h.height -= count;
    putHeaders(h, raw.data());
    if (!writeAll(fd, raw.data(), raw.size(), 0))
        return fail(BmpError::NoFileWrite, errno ? errno : EIO);
    rows_ += count;
    return success();
}

PictureOutcome PictureFile::end() {
    PictureOutcome out;
    if (!isOpen()) return out;
    const std::filesystem::path work = workPath_;
    if (rows_ < kMinPictureRows) {
        ::unlink(work.c_str());
        close();
        out.rows = rows_;
        out.kind = PictureOutcome::Kind::Discarded;
        return out;
    }
    // The lock is held until the picture is complete.
    out = finishWorkFile(workDir_, work, started_, rows_);
    close();
    return out;
}

bool Recovery::empty() const {
    return pictures.empty() && removed.empty() && thumbnails.empty() && busy.empty() &&
           problems.empty();
}

std::string Recovery::summary() const {
    std::string line;
    // "recovered 1 picture: …", "recovered 2 pictures: … …".
    const auto add = [&](const std::vector<std::filesystem::path>& paths, const char* verb,
                         const char* noun, const char* rest) {
        if (paths.empty()) return;
        if (!line.empty()) line += "; ";
        line += std::string(verb) + " " + std::to_string(paths.size()) + " " + noun +
                (paths.size() == 1 ? "" : "s") + rest + ":";
        for (const auto& p : paths) line += " " + p.lexically_relative(workDir).string();
    };
    const std::string fewer = " of fewer than " + std::to_string(kMinPictureRows) + " rows";
    add(pictures, "recovered", "picture", "");
    add(removed, "removed", "work file", fewer.c_str());
    add(thumbnails, "made", "missing thumbnail", "");
    add(busy, "left", "picture", " being received");
    for (const auto& problem : problems) line += (line.empty() ? "" : "; ") + problem;
    return line;
}

Recovery recoverPictures(const std::filesystem::path& workDir) {
    Recovery done;
    done.workDir = workDir;
    const std::filesystem::path dir = workDir / std::string(kFaxDir);
    std::vector<std::pair<ReceivedName, std::filesystem::path>> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = parseFileName(it->path().filename().string());
        if (name && (name->kind == ReceivedKind::FaxWork || name->kind == ReceivedKind::Fax))
            found.emplace_back(*name, it->path());
    }
    // Work files first: a picture they become is complete, the pictures
    // found are looked at afterwards.
    std::stable_partition(found.begin(), found.end(),
                          [](const auto& f) { return f.first.kind == ReceivedKind::FaxWork; });
    for (const auto& [name, path] : found) {
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (fd.get() < 0) {
            if (errno != ENOENT)  // gone meanwhile: finished by its writer
                done.problems.push_back(path.string() + ": " + std::strerror(errno));
            continue;
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const std::optional<BmpHeaders> headers = readHeaders(fd.get());
        const bool work = name.kind == ReceivedKind::FaxWork;
        const std::filesystem::path thumbnail = withLastChar(path, 'M');
        const bool hasThumbnail = std::filesystem::exists(thumbnail, ec);
        // A finished picture is left when it has its thumbnail and is stored
        // bottom-up (compressed), or when it is not a picture at all.
        const bool topDown = headers && headers->height < 0;
        if (!work && (!headers || (hasThumbnail && !topDown))) continue;
        if (!tryLock(fd.get())) {
            done.busy.push_back(path);
            continue;
        }
        // Locked now; a file renamed or deleted before is someone else's
        // business (a writer that finished it, another recovery).
        if (!stillNamed(fd.get(), path)) continue;
        if (!work) {
            PictureOutcome out;
            completePicture(path, topDown, true, out);
            // Temporaries of a compression or thumbnail that was cut off:
            // none can be in use while the picture is locked.
            removeLeftoverTemporaries(path);
            removeLeftoverTemporaries(thumbnail);
            // A picture still stored top-down was finished by the compression.
            if (topDown && out.problem.empty()) done.pictures.push_back(path);
            if (!out.thumbnail.empty()) done.thumbnails.push_back(out.thumbnail);
            if (!out.problem.empty()) done.problems.push_back(out.problem);
            continue;
        }
        // Read again under the lock. A work file killed at its creation has
        // no headers yet.
        const std::optional<BmpHeaders> locked = readHeaders(fd.get());
        const bool bare = ::fstat(fd.get(), &st) == 0 && st.st_size < kWorkDataOffset;
        const std::optional<int> rows =
            locked ? workFileRows(*locked) : (bare ? std::optional<int>(0) : std::nullopt);
        if (!rows) {
            done.problems.push_back(path.string() + " is not a picture work file; kept");
            continue;
        }
        if (*rows < kMinPictureRows) {
            if (::unlink(path.c_str()) == 0)
                done.removed.push_back(path);
            else
                done.problems.push_back(path.string() + ": " + std::strerror(errno));
            continue;
        }
        // A thumbnail beside a work file is not its own: a picture gets its
        // thumbnail only after it has left the work name.
        const PictureOutcome out = finishWorkFile(workDir, path, name.time, *rows);
        if (out.kind == PictureOutcome::Kind::Saved) done.pictures.push_back(out.picture);
        if (!out.problem.empty()) done.problems.push_back(out.problem);
    }
    return done;
}

}  // namespace zeb::fax
