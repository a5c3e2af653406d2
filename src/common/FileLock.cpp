#include "common/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

namespace zeb {

Result<FileLock> FileLock::acquire(const std::filesystem::path& file,
                                   std::chrono::milliseconds wait) {
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
    const std::filesystem::path lockPath = dir / ("." + file.filename().string() + ".lock");
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        // A folder we may not write in: nobody can save there either, and
        // the save says so. The folder itself is locked instead.
        fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        const int err = errno;
        return Error{err, "cannot lock \"" + file.string() + "\" for a change: the lock file \"" +
                              lockPath.string() + "\" cannot be made: " + std::strerror(err)};
    }
    FileLock lock(fd);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return Error{EWOULDBLOCK, "\"" + file.string() +
                                          "\" is being changed by another program; try again"};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    removeLeftoverTemporaries(file);
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

void removeLeftoverTemporaries(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
    const std::string prefix = "." + file.filename().string() + ".";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // mkstemp's six random characters: letters and digits only.
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool random = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i)
            random = random && std::isalnum(static_cast<unsigned char>(name[i]));
        if (random && it->is_regular_file(ec)) std::filesystem::remove(it->path(), ec);
    }
}

}  // namespace zeb
