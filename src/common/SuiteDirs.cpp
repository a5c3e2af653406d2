#include "common/SuiteDirs.h"

#include <cstdlib>
#include <system_error>

#include "common/FindFile.h"

namespace zeb {
namespace fs = std::filesystem;

namespace {

constexpr const char* kDataDir = "DATA";
constexpr const char* kDefaultsDir = "DEFAULTS";
// The settings files of the programs; any one of them marks a suite directory.
constexpr const char* kSettingsFiles[] = {"NIMBA.INI",  "ZEBRTTY.INI", "ZEBMENU.INI", "RIGMAN.INI",
                                          "ZEBSYS.INI", "ZEBFAX.INI",  "ZEBCW.INI",   "ZEBREC.INI"};

fs::path executableDir() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

std::optional<fs::path> fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

// A directory made when missing; the reason when it cannot be.
Result<void> makeDirectory(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (fs::is_directory(dir, ec)) return success();
    return Error{ec ? ec.value() : ENOTDIR, "The working directory " + dir.string() +
                                                " cannot be made" +
                                                (ec ? ": " + ec.message() : std::string())};
}

}  // namespace

std::vector<fs::path> sharedDirs() {
    const fs::path exe = executableDir();
    if (exe.empty()) return {};
    return {exe, (exe / ".." / "share" / "zeb").lexically_normal()};
}

std::optional<fs::path> findShared(const fs::path& name) {
    std::error_code ec;
    for (const fs::path& dir : sharedDirs())
        if (fs::exists(dir / name, ec)) return dir / name;
    return std::nullopt;
}

bool isSuiteDirectory(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir / kDataDir, ec)) return true;
    for (const char* name : kSettingsFiles)
        if (fs::is_regular_file(findFileNoCase(dir, name), ec)) return true;
    return false;
}

Result<fs::path> suiteWorkDir(const std::optional<fs::path>& chosen) {
    fs::path dir;
    std::error_code ec;
    if (chosen) {
        dir = *chosen;
    } else if (const fs::path cwd = fs::current_path(ec); !ec && isSuiteDirectory(cwd)) {
        dir = cwd;
    } else if (auto home = fromEnvironment("ZEB_HOME")) {
        dir = *home;
    } else if (auto xdg = fromEnvironment("XDG_DATA_HOME")) {
        dir = *xdg / "zeb";
    } else if (auto user = fromEnvironment("HOME")) {
        dir = *user / ".local" / "share" / "zeb";
    } else {
        return Error{ENOENT,
                     "No working directory: neither ZEB_HOME, XDG_DATA_HOME nor HOME "
                     "is set, and the current directory holds no suite files."};
    }
    if (auto made = makeDirectory(dir); !made) return made.error();
    if (auto seeded = seedWorkDir(dir); !seeded) return seeded.error();
    return fs::absolute(dir, ec);
}

Result<void> seedWorkDir(const fs::path& workDir) {
    std::error_code ec;
    // Settings a new working directory starts with, each only where absent.
    if (const auto defaults = findShared(kDefaultsDir)) {
        for (const auto& entry : fs::directory_iterator(*defaults, ec)) {
            const fs::path target = workDir / entry.path().filename();
            if (!entry.is_regular_file(ec) || fs::exists(target, ec)) continue;
            fs::copy_file(entry.path(), target, fs::copy_options::skip_existing, ec);
            if (ec)
                return Error{ec.value(), "The default settings " + entry.path().string() +
                                             " cannot be copied to " + workDir.string() + ": " +
                                             ec.message()};
        }
    }
    if (fs::exists(workDir / kDataDir, ec)) return success();
    const auto shipped = findShared(kDataDir);
    if (!shipped || fs::equivalent(*shipped, workDir / kDataDir, ec)) return success();
    fs::copy(*shipped, workDir / kDataDir,
             fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
    if (ec)
        return Error{ec.value(), "The reference data " + shipped->string() +
                                     " cannot be copied to " + workDir.string() + ": " +
                                     ec.message()};
    return success();
}

}  // namespace zeb
