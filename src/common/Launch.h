// Starting the suite's programs: "ZEBFAXV.EXE FAX_2004-06-03_14-05.BMP" starts
// the executable `zebfaxv` with one argument, never through a shell.
#pragma once

#include "common/Result.h"

#include <sys/types.h>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::launch {

enum class Show { Normal, Minimised };

struct Options {
    Show show = Show::Normal;  // Minimised is passed on as ZEB_SHOW=min
    // Where to look for the program; empty = beside the running program, then
    // the working directory.
    std::vector<std::filesystem::path> searchDirs;
    // true: nobody waits for the child, it is reaped in the background.
    // false: the caller reaps it (waitpid).
    bool detach = true;
    // The child's working directory; empty = this program's.
    std::filesystem::path workDir;
};

// "ZEBFAXV.EXE" → "zebfaxv"; "zebtime" stays. The name without directory,
// lower case, without a trailing ".EXE" (any case).
std::string executableName(std::string_view program);

// The directories of the PATH environment variable, in order (empty entries
// left out).
std::vector<std::filesystem::path> pathDirectories();

// Finds the executable of a program name in the search directories.
std::optional<std::filesystem::path> resolveProgram(
    std::string_view program, const std::vector<std::filesystem::path>& searchDirs = {});

// Starts PROGRAM with ARGS (each one argv element) in options.workDir, or in
// the current directory.
// Returns the child's pid; an Error when the program is not found or cannot run.
Result<pid_t> startProgram(std::string_view program, const std::vector<std::string>& args,
                           const Options& options = {});

// Splits a command line at its first blank into program and one argument (the
// rest, trimmed; none when empty) and starts it.
Result<pid_t> startCommandLine(std::string_view commandLine, const Options& options = {});

}  // namespace zeb::launch
