// Replacing a whole file so that a crash, a full disk or a power cut leaves
// either the old content or the new one, never a mixture: the new content goes
// to a temporary file in the same directory, is flushed to the disk and then
// renamed over the old name.
#pragma once

#include "common/Result.h"

#include <filesystem>
#include <functional>
#include <string_view>

namespace zeb {

// Writes `bytes` as the new content of `path`. The file keeps the permission
// bits of the file it replaces (new files get 0644 less the umask).
Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Writes `bytes` as a new file `path`, the same way, but never over an
// existing file: when the name exists (or another process takes it at the
// same moment) nothing is written and the Error has the code EEXIST.
Result<void> writeNewFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Reads a whole file. A missing file is an Error with code ENOENT.
Result<std::string> readWholeFile(const std::filesystem::path& path);

namespace testing {
// Called after the temporary file is complete and flushed, before the rename.
// Tests install a hook that ends the process there to prove that the old file
// survives a crash at the worst moment. Not for production use.
void setBeforeRenameHook(std::function<void(const std::filesystem::path& tempPath)> hook);
}  // namespace testing

}  // namespace zeb
