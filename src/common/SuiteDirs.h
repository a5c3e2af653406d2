// Where the programs of the suite find what they ship and where they keep
// what they receive. Every program asks here, so all of them agree.
//
// Shipped files (language bundles, LOGO.BMP, the reference DATA) lie beside
// the executable in the build tree (build/suite) and in ../share/zeb relative
// to it once installed.
//
// The working directory (settings, DATA, FAX, SYNOP, schedules) is, in this
// order: the directory given on the command line (--dir); the current
// directory when it already is a suite directory; $ZEB_HOME; or
// $XDG_DATA_HOME/zeb (~/.local/share/zeb). A new one is created, and one
// without DATA or default settings is given the shipped ones.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "common/Result.h"

namespace zeb {

// The places searched for shipped files, in order: the executable's
// directory, then ../share/zeb beside it.
std::vector<std::filesystem::path> sharedDirs();
// The first of sharedDirs() that holds `name`; nullopt when none does.
std::optional<std::filesystem::path> findShared(const std::filesystem::path& name);

// A directory that holds a settings file of the suite (*.INI) or DATA.
bool isSuiteDirectory(const std::filesystem::path& dir);

// The working directory as described above, created and seeded when new.
// `chosen` (--dir) is taken as it is, created when missing. Fails naming the
// directory when it cannot be made.
Result<std::filesystem::path> suiteWorkDir(const std::optional<std::filesystem::path>& chosen);

// Copies the shipped DATA into `workDir` when it has none, and each shipped
// default settings file (DEFAULTS/*.INI) that `workDir` does not have; files
// already there are never replaced. Succeeds without copying when nothing is
// shipped.
Result<void> seedWorkDir(const std::filesystem::path& workDir);

}  // namespace zeb
