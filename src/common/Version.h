// The suite's version as the programs print it for --version. The text is
// fixed when the build is configured (cmake/ZebVersion.cmake): the project
// version, and the git commit when the tree was built from a checkout.
#pragma once

#include <string>
#include <string_view>

namespace zeb {

// "0.1.0 (git 1a2b3c4)", or "0.1.0" for a tree built without git.
std::string_view versionText();

// The --version line of a program, without a line end: "zebctl 0.1.0 (git 1a2b3c4)".
std::string versionLine(std::string_view program);

}  // namespace zeb
