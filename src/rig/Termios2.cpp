// termios2/BOTHER: any speed, in bits per second, not only the named ones.
#include "rig/TermiosPort.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zeb::rig {

namespace {
Error systemError(const char* what) {
    const int code = errno;
    return Error{code, std::string(what) + ": " + std::strerror(code)};
}
}  // namespace

Result<void> setSpeedTermios2(int fd, int baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return systemError("Cannot read the port state");
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
    tio.c_cflag |= static_cast<tcflag_t>(BOTHER) << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &tio) != 0) return systemError("Cannot set the port speed");
    return success();
}

Result<int> readSpeedTermios2(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return systemError("Cannot read the port state");
    return static_cast<int>(tio.c_ospeed);
}

}  // namespace zeb::rig
