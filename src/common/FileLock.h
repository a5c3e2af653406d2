// Serialises load–change–save of a shared data file (the frequency list, a
// schedule) among the programs of the suite and the command-line tools. The
// data file itself is replaced by a rename on every save, so the lock is an
// flock() on a companion file ".NAME.lock" in the same directory, which is
// never replaced (in a folder that cannot be written, the folder is locked).
// The lock ends with the process, so a killed editor never leaves the file
// locked.
#pragma once

#include <chrono>
#include <filesystem>

#include "common/Result.h"

namespace zeb {

class FileLock {
public:
    // Takes the lock for `file`, waiting up to `wait` for another holder to
    // finish. Fails with EWOULDBLOCK when it is still held after that, or with
    // the reason the lock file could not be made (a read-only directory).
    // Once held, temporaries of an atomic save of `file` that a killed writer
    // left behind are removed: every writer holds this lock, so none can be
    // in use.
    static Result<FileLock> acquire(const std::filesystem::path& file,
                                    std::chrono::milliseconds wait = std::chrono::seconds(10));

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Removes ".NAME.XXXXXX" temporaries of an atomic save of `file` (see
// AtomicFile.h). Only safe while no writer can be saving `file`.
void removeLeftoverTemporaries(const std::filesystem::path& file);

}  // namespace zeb
