// Finding a fixed file of the suite by name. Installations copied from
// Windows often have the names in another case, so a file is looked up by its
// exact name first, then case-insensitively in the same directory.
#pragma once

#include <filesystem>
#include <string_view>

namespace zeb {

// `dir / name` when it exists; else the alphabetically first entry of `dir`
// whose name equals `name` ignoring ASCII case; else `dir / name` (for the
// caller's error message or for creating the file).
std::filesystem::path findFileNoCase(const std::filesystem::path& dir, std::string_view name);

}  // namespace zeb
