// Starting the suite's programs: the program is looked up beside the running
// program (then in the working directory) and started with posix_spawn and an
// argument vector, so a file name is always one argument and never reaches a
// shell, whatever blanks, quotes or ';' it contains.
#include "common/Launch.h"

#include "common/Text.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

extern char** environ;

namespace zeb::launch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kShowVariable = "ZEB_SHOW=";
constexpr std::string_view kBlanks = " \t";

bool isExecutableFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::vector<fs::path> defaultSearchDirs() {
    std::vector<fs::path> dirs;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) dirs.push_back(self.parent_path());
    const fs::path cwd = fs::current_path(ec);
    if (!ec) dirs.push_back(cwd);
    return dirs;
}

// In one directory: the executable name exactly, then the executable name in
// any case (files copied from Windows keep their upper-case names), then the
// program string as given.
std::optional<fs::path> findIn(const fs::path& dir, std::string_view program,
                               const std::string& exe) {
    if (!exe.empty()) {
        if (isExecutableFile(dir / exe)) return dir / exe;
        std::vector<fs::path> matches;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (toLowerAscii(it->path().filename().string()) == exe && isExecutableFile(it->path()))
                matches.push_back(it->path());
        }
        if (!matches.empty()) return *std::min_element(matches.begin(), matches.end());
    }
    if (program != exe && isExecutableFile(dir / std::string(program)))
        return dir / std::string(program);
    return std::nullopt;
}

// The environment of the child: ours, with ZEB_SHOW set for a minimised start
// and removed otherwise (a program started minimised must not pass that on).
std::vector<std::string> childEnvironment(Show show) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        if (std::string_view(*e).starts_with(kShowVariable)) continue;
        env.emplace_back(*e);
    }
    if (show == Show::Minimised) env.emplace_back(std::string(kShowVariable) + "min");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts the child with default signal handling and an empty signal mask
// (whatever the caller ignores or blocks), in its own process group so that
// an interrupt typed at the starter's terminal does not end it too.
int spawn(pid_t& pid, const fs::path& path, std::vector<std::string>& args,
          std::vector<std::string>& env, const fs::path& workDir) {
    posix_spawn_file_actions_t actions;
    if (int rc = posix_spawn_file_actions_init(&actions); rc != 0) return rc;
    if (!workDir.empty()) {
        if (int rc = posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str()); rc != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return rc;
        }
    }
    posix_spawnattr_t attr;
    if (int rc = posix_spawnattr_init(&attr); rc != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    int rc = posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attr, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr, &all);
    if (rc == 0) rc = posix_spawnattr_setpgroup(&attr, 0);
    if (rc == 0) {
        auto argv = pointers(args);
        auto envp = pointers(env);
        rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), envp.data());
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

void reapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the child stays a zombie until this program ends.
    }
}

}  // namespace

std::string executableName(std::string_view program) {
    if (const std::size_t cut = program.find_last_of("/\\"); cut != std::string_view::npos)
        program.remove_prefix(cut + 1);
    std::string name = toLowerAscii(program);
    if (name.ends_with(".exe")) name.resize(name.size() - 4);
    return name;
}

std::vector<fs::path> pathDirectories() {
    std::vector<fs::path> dirs;
    const char* path = std::getenv("PATH");
    std::string_view rest(path ? path : "");
    while (!rest.empty()) {
        const std::size_t cut = std::min(rest.find(':'), rest.size());
        if (cut > 0) dirs.emplace_back(std::string(rest.substr(0, cut)));
        rest.remove_prefix(std::min(cut + 1, rest.size()));
    }
    return dirs;
}

std::optional<fs::path> resolveProgram(std::string_view program,
                                       const std::vector<fs::path>& searchDirs) {
    if (program.empty()) return std::nullopt;
    // A path (a program outside the suite, e.g. from a user's list) is taken as it is.
    if (program.find('/') != std::string_view::npos) {
        const fs::path path{std::string(program)};
        return isExecutableFile(path) ? std::optional<fs::path>(path) : std::nullopt;
    }
    const std::string exe = executableName(program);
    const auto dirs = searchDirs.empty() ? defaultSearchDirs() : searchDirs;
    for (const auto& dir : dirs)
        if (auto found = findIn(dir, program, exe)) return found;
    return std::nullopt;
}

Result<pid_t> startProgram(std::string_view program, const std::vector<std::string>& args,
                           const Options& options) {
    const auto path = resolveProgram(program, options.searchDirs);
    if (!path)
        return Error{
            ENOENT, "The program \"" + std::string(program) + "\" was not found or cannot be run."};
    // The child changes its directory before the program is loaded.
    std::error_code ec;
    const fs::path exe = options.workDir.empty() ? *path : fs::absolute(*path, ec);
    std::vector<std::string> argv{path->string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = childEnvironment(options.show);
    pid_t pid = -1;
    if (const int rc = spawn(pid, exe, argv, env, options.workDir); rc != 0)
        return Error{
            rc, "The program " + path->string() + " cannot be started: " + std::strerror(rc) + "."};
    if (options.detach) reapInBackground(pid);
    return pid;
}

Result<pid_t> startCommandLine(std::string_view commandLine, const Options& options) {
    const std::string_view line = trim(commandLine);
    if (line.empty()) return Error{EINVAL, "The command line is empty."};
    const std::size_t cut = line.find_first_of(kBlanks);
    const std::string_view program = line.substr(0, cut);
    std::vector<std::string> args;
    if (cut != std::string_view::npos) {
        const std::string_view rest = trim(line.substr(cut + 1));
        if (!rest.empty()) args.emplace_back(rest);
    }
    return startProgram(program, args, options);
}

}  // namespace zeb::launch
