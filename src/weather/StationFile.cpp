#include "weather/StationFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/AtomicFile.h"

namespace zeb::weather {
namespace {

Error systemError(const std::string& what, const std::filesystem::path& path, int err) {
    return Error{err, "Cannot " + what + " \"" + path.string() + "\": " + std::strerror(err) + "."};
}

std::filesystem::path lockPathFor(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

// Exclusive flock on the side lock file, held for the object's lifetime. The
// lock lives on a file of its own because a rewrite replaces the station
// file's inode, and a lock on the old inode would not exclude anybody who
// opens the new one.
class StationLock {
public:
    static Result<StationLock> take(const std::filesystem::path& file) {
        const auto path = lockPathFor(file);
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        // A lock file made by another user may be read-only for us; flock
        // works on a read-only descriptor as well.
        if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return systemError("open the lock file", path, errno);
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return systemError("lock", path, err);
        }
        return StationLock(fd);
    }
    StationLock(StationLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    StationLock& operator=(StationLock&&) = delete;
    ~StationLock() {
        if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the flock
    }

private:
    explicit StationLock(int fd) : fd_(fd) {}
    int fd_;
};

// The whole file as bytes; a missing file is empty.
Result<std::string> readAll(const std::filesystem::path& file) {
    auto content = readWholeFile(file);
    if (!content) {
        if (content.error().systemError() == ENOENT) return std::string();
        return content.error();
    }
    return std::move(content).value();
}

}  // namespace

Result<void> appendStationRecord(const std::filesystem::path& file, const SynopRecord& record) {
    auto lock = StationLock::take(file);
    if (!lock) return lock.error();

    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return systemError("open", file, errno);

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return systemError("examine", file, err);
    }
    // A crash or a full disk during an earlier append can leave part of a
    // record at the end; appending behind it would shift every later record
    // for every reader. Those bytes are no record, so they are cut off.
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const auto aligned = static_cast<off_t>(size - size % kSynopRecordSize);
    if (aligned != st.st_size && ::ftruncate(fd, aligned) != 0) {
        const int err = errno;
        ::close(fd);
        return systemError("cut the partial record at the end of", file, err);
    }

    // One write(2) of the whole record: with the lock held and O_APPEND it
    // lands at the end in one piece. A short write is undone so that the file
    // stays aligned.
    const SynopRecordBytes bytes = encode(record);
    ssize_t written = -1;
    do {
        written = ::write(fd, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(bytes.size())) {
        const int err = written < 0 ? errno : ENOSPC;
        if (written > 0 && ::ftruncate(fd, aligned) != 0) {
            // Nothing more can be done; the next append cuts the tail again.
        }
        ::close(fd);
        return systemError("append a record to", file, err);
    }
    if (::close(fd) != 0) return systemError("append a record to", file, errno);
    return success();
}

Result<std::vector<SynopRecordBytes>> readStationRecords(const std::filesystem::path& file) {
    // A viewer may look at a directory it cannot write to, where no lock file
    // can be made. Reading without the lock is still safe: rewrites replace
    // the file by rename, and a record being appended at this moment is at
    // worst a partial tail, which is left out below.
    auto lock = StationLock::take(file);
    if (!lock && lock.error().systemError() != EACCES && lock.error().systemError() != EROFS &&
        lock.error().systemError() != EPERM) {
        return lock.error();
    }
    auto content = readAll(file);
    if (!content) return content.error();

    const std::string& bytes = *content;
    std::vector<SynopRecordBytes> records(bytes.size() / kSynopRecordSize);
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::memcpy(records[i].data(), bytes.data() + i * kSynopRecordSize, kSynopRecordSize);
    }
    return records;  // a partial tail is no record and is left out
}

Result<std::size_t> removeStationRecords(
    const std::filesystem::path& file,
    const std::function<bool(std::span<const std::uint8_t, kSynopRecordSize>)>& remove) {
    auto lock = StationLock::take(file);
    if (!lock) return lock.error();
    auto content = readAll(file);
    if (!content) return content.error();

    const std::string& bytes = *content;
    const std::size_t count = bytes.size() / kSynopRecordSize;
    std::string kept;
    kept.reserve(count * kSynopRecordSize);
    std::size_t removed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto* data =
            reinterpret_cast<const std::uint8_t*>(bytes.data()) + i * kSynopRecordSize;
        if (remove(std::span<const std::uint8_t, kSynopRecordSize>(data, kSynopRecordSize))) {
            ++removed;
        } else {
            kept.append(reinterpret_cast<const char*>(data), kSynopRecordSize);
        }
    }
    // Rewrite only when something goes; a partial tail alone is left for the
    // next append to cut, so a read-only pass never touches the file.
    if (removed == 0) return removed;
    // Temporary file in the same directory, flushed, renamed over the old
    // name, permissions kept: a crash leaves either the old or the new file.
    if (auto r = writeFileAtomically(file, kept); !r) return r.error();
    return removed;
}

}  // namespace zeb::weather
