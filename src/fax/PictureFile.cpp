#include "fax/PictureFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/ReceivedFile.h"

namespace zeb::fax {

namespace {

Error ioError(int code, const std::filesystem::path& path, int err) {
    return bmpError(code, path.string() + ": " + std::strerror(err));
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
    // Closes and reports whether the last writes reached the file.
    bool close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0;
    }

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
        return bmpError(kBmpNoFileWrite, r.error().message);
    auto thumb = makeThumbnail(picture);
    if (!thumb) return thumb.error();
    if (auto r = writeFileAtomically(withLastChar(path, 'M'), encodeBmp(*thumb, false)); !r)
        return bmpError(kBmpNoFileWrite, r.error().message);
    return success();
}

PictureFile::PictureFile(std::filesystem::path workDir)
    : workDir_(std::move(workDir)), clock_([] { return breakDown(now()); }) {}

Result<void> PictureFile::begin(int width) {
    workPath_.clear();
    rows_ = 0;
    width_ = width;
    started_ = clock_();
    band_.assign(
        static_cast<std::size_t>(kBandRows) * static_cast<std::size_t>(Bitmap::strideOf(width, 4)),
        0);
    std::error_code ec;
    std::filesystem::create_directories(workDir_ / std::string(kFaxDir), ec);
    const auto free = firstFreeTime(workDir_, ReceivedKind::FaxWork, started_);
    if (!free) return bmpError(kBmpNoFileWriteOpen, "no free picture name");
    started_ = *free;
    const std::filesystem::path path = workDir_ / relativePath(ReceivedKind::FaxWork, started_);
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0) return ioError(kBmpNoFileWriteOpen, path, errno);
    const auto header = emptyWorkHeader(width);
    if (!writeAll(fd.get(), header.data(), header.size(), 0) || !fd.close()) {
        const int err = errno;
        ::unlink(path.c_str());
        return ioError(kBmpNoFileWrite, path, err);
    }
    workPath_ = path;
    return success();
}

Result<void> PictureFile::appendBand(const PictureBuffer& buffer, int first, int count) {
    if (!isOpen() || count <= 0) return success();
    const auto fail = [&](int code, int err) {
        Error e = ioError(code, workPath_, err);
        workPath_.clear();  // the partial file stays as it is
        return e;
    };
    if (buffer.width() != width_ || first < 0 || first + count > buffer.height() ||
        count > kBandRows)
        return fail(kBmpNoDibMemoryAccess, EINVAL);
    Fd fd(::open(workPath_.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) return fail(kBmpNoFileReadOpen, errno);
    std::array<std::uint8_t, kFileHeaderSize + kInfoHeaderSize> raw{};
    if (!readAll(fd.get(), raw.data(), raw.size(), 0))
        return fail(kBmpNoFileRead, errno ? errno : EIO);
    BmpHeaders h = getHeaders(raw.data());
    if (raw[0] != 'B' || raw[1] != 'M' || h.width != width_ || h.bitsPerPixel != 4 ||
        h.dataOffset != kWorkDataOffset)
        return fail(kBmpNoFileRead, EINVAL);
    const std::size_t stride = static_cast<std::size_t>(buffer.stride());
    for (int i = 0; i < count; ++i) {
        const auto row = buffer.row(first + i);
        std::copy(row.begin(), row.end(), band_.begin() + static_cast<std::ptrdiff_t>(i * stride));
    }
    const std::size_t bytes = stride * static_cast<std::size_t>(count);
    if (!writeAll(fd.get(), band_.data(), bytes,
                  static_cast<off_t>(kWorkDataOffset) + static_cast<off_t>(h.imageSize)))
        return fail(kBmpNoFileWrite, errno ? errno : ENOSPC);
    h.fileSize += static_cast<std::uint32_t>(bytes);
    h.imageSize += static_cast<std::uint32_t>(bytes);
    h.height -= count;
    putHeaders(h, raw.data());
    if (!writeAll(fd.get(), raw.data(), raw.size(), 0) || !fd.close())
        return fail(kBmpNoFileWrite, errno ? errno : EIO);
    rows_ += count;
    return success();
}

PictureOutcome PictureFile::end() {
    PictureOutcome out;
    if (!isOpen()) return out;
    const std::filesystem::path work = workPath_;
    workPath_.clear();
    out.rows = rows_;
    if (rows_ < kMinPictureRows) {
        ::unlink(work.c_str());
        out.kind = PictureOutcome::Kind::Discarded;
        return out;
    }
    // The name was free when the picture began; should a finished picture of
    // that minute have appeared since, take the next free minute.
    std::filesystem::path finished = withLastChar(work, 'P');
    auto renamed = renameNoReplace(work, finished);
    if (!renamed && renamed.error().code == EEXIST) {
        NameTime next = breakDown(timeKey(started_) + 60);
        if (auto free = firstFreeTime(workDir_, ReceivedKind::Fax, next)) {
            finished = workDir_ / relativePath(ReceivedKind::Fax, *free);
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
    // Post-processing works on the file the rename produced; when it fails
    // the uncompressed picture stays.
    auto picture = readBmpFile(finished);
    if (!picture) {
        out.problem = picture.error().message;
        return out;
    }
    if (auto r = writeFileAtomically(finished, encodeBmp(*picture, true)); !r) {
        out.problem = r.error().message;
        return out;
    }
    const std::filesystem::path thumbPath = withLastChar(finished, 'M');
    std::error_code ec;
    if (std::filesystem::exists(thumbPath, ec)) {
        out.problem = thumbPath.string() + " exists already";
        return out;
    }
    auto thumb = makeThumbnail(*picture);
    if (!thumb) {
        out.problem = thumb.error().message;
        return out;
    }
    if (auto r = writeFileAtomically(thumbPath, encodeBmp(*thumb, false)); !r) {
        out.problem = r.error().message;
        return out;
    }
    out.thumbnail = thumbPath;
    return out;
}

}  // namespace zeb::fax
