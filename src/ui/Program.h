// The four programs that carry a language bundle, and the fixed facts about
// each that are needed before the bundle is loaded: the file-name pattern of
// its bundle, the text shown when none is found, and the message-box title.
#pragma once

#include <array>
#include <string_view>

namespace zeb::ui {

enum class Program { Nimba, ZebRtty, ZebMenu, Rigman };

inline constexpr std::array<Program, 4> kAllPrograms = {Program::Nimba, Program::ZebRtty,
                                                        Program::ZebMenu, Program::Rigman};

struct ProgramInfo {
    std::string_view name;               // "NIMBA"
    std::string_view bundlePattern;      // "NIMBA??.DLL"; each '?' is one character
    std::string_view missingBundleText;  // shown when no bundle loads
    std::string_view messageTitle;       // title of every message box of the program
};

const ProgramInfo& programInfo(Program program);

// The text shown, and printed on stderr, when the program finds no bundle.
inline std::string_view missingBundleText(Program program) {
    return programInfo(program).missingBundleText;
}

}  // namespace zeb::ui
