#include "common/Version.h"

// Generated into the build tree; only this file includes it, so a new commit
// recompiles one source file.
#include "VersionInfo.h"

namespace zeb {

std::string_view versionText() { return ZEB_VERSION_TEXT; }

std::string versionLine(std::string_view program) {
    std::string line(program);
    line += ' ';
    line += versionText();
    return line;
}

}  // namespace zeb
