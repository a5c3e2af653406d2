#include "common/AtomicFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

namespace zeb {
namespace {

std::function<void(const std::filesystem::path&)>& beforeRenameHook() {
    static std::function<void(const std::filesystem::path&)> hook;
    return hook;
}

Error systemError(const std::string& what, const std::filesystem::path& path, int err) {
    return Error{err, what + " \"" + path.string() + "\": " + std::strerror(err)};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

namespace {

// The new content in a flushed temporary file beside `path`, with the
// permissions of the file it replaces (a new file gets the usual 0666 less
// the umask rather than mkstemp's 0600).
Result<std::string> writeTemporary(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    std::string tempName = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) return systemError("cannot create a temporary file for", path, errno);

    struct stat old {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    int err = 0;
    if (!writeAll(fd, bytes)) err = errno;
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(tempName.c_str());
        return systemError("cannot write", path, err);
    }
    if (beforeRenameHook()) beforeRenameHook()(tempName);
    return tempName;
}

// Makes the rename itself durable.
void syncDirectory(const std::filesystem::path& path) {
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    auto temp = writeTemporary(path, bytes);
    if (!temp) return temp.error();
    if (::rename(temp->c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp->c_str());
        return systemError("cannot replace", path, err);
    }
    syncDirectory(path);
    return success();
}

Result<void> writeNewFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    auto temp = writeTemporary(path, bytes);
    if (!temp) return temp.error();
    // The rename fails when the name exists, however close another process
    // came to taking it; file systems without that rename get a hard link,
    // which fails the same way.
    int err = 0;
    if (::renameat2(AT_FDCWD, temp->c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        err = errno;
        if (err == EINVAL || err == ENOSYS) {
            err = ::link(temp->c_str(), path.c_str()) == 0 ? 0 : errno;
            ::unlink(temp->c_str());
        } else {
            ::unlink(temp->c_str());
        }
    }
    if (err != 0) return systemError("cannot create", path, err);
    syncDirectory(path);
    return success();
}

Result<std::string> readWholeFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return systemError("cannot open", path, errno);
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return systemError("cannot read", path, err);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

namespace testing {
void setBeforeRenameHook(std::function<void(const std::filesystem::path&)> hook) {
    beforeRenameHook() = std::move(hook);
}
}  // namespace testing

}  // namespace zeb
