// The companion programs zebfax, zebcw and zebrec: the main program in a
// companion mode, one decoder switched on at start and only its page shown,
// under a window class and a settings file of their own. The suite's launcher
// starts them by command line and finds and closes them by class; its
// receiver control (RIGMAN) tunes, so the built-in receiver control stays off.
//
// The settings file has NIMBA.INI's sections and keys: a user's NIMBA settings
// can be copied over, and a companion without its own file starts from a copy
// of NIMBA.INI when there is one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "DecoderModes.h"
#include "common/Result.h"
#include "stations/StationRecord.h"

namespace zeb::nimba {

struct Companion {
    // Claimed on the suite bus instead of "Nimbarra"; also the window title.
    std::string className;
    // The executable's name, for --version and messages.
    std::string program;
    // What the program does, for --help.
    std::string summary;
    // The decoder switched on at start and the one page shown (tab index).
    DecoderMode mode = DecoderMode::None;
    int page = 0;
    // Read and written instead of NIMBA.INI.
    std::string settingsFile;
    // The plain argument that makes the run unattended ("TIMER", "SAVE");
    // empty when the program takes none.
    std::string unattendedArgument;
    // A scheduled reception from the start: the fax decoder starts a new
    // picture at every stop tone, the Morse text is saved at close.
    bool unattended = false;
    // The fax record the launcher left with the receiver control is read at
    // start and applied to the fax decoder's settings.
    bool readFaxHandover = false;
};

enum class CompanionKind { Fax, Cw, Recorder };

// The description of a companion program (not unattended).
Companion companionOf(CompanionKind kind);

// A companion whose settings file `fileName` is absent in `dir` gets a copy
// of NIMBA.INI there, when that exists. Nothing to copy is no error; a copy
// that fails says why, and the program goes on with the defaults.
Result<void> seedSettings(const std::filesystem::path& dir, const std::string& fileName);

// The fax record held by the running receiver control (request code 103);
// nullopt when no control runs (it is not started for this), when it answers
// nothing usable, or when it holds no record (no lines per minute or IOC).
std::optional<stations::FaxHandover> readHandedOverFax();

// main() of a companion program: nimba's --input, --output, --fast,
// --quit-at-end and --dir, --help, --version, and the plain argument of
// `unattendedArgument`.
int companionMain(CompanionKind kind, int argc, char** argv);

}  // namespace zeb::nimba
