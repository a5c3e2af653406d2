// The files the player finds: the suite's recordings in SYNOP/, the newest of
// them, the time a recording's name carries, and the audio output the player
// uses. GUI-free.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "common/TimeKey.h"

namespace zeb::zebplay {

// The newest recording (a regular file named AUDIO_yyyy-mm-dd_hh-mi.WAV or
// .GSM) of `dir` by the time in its name; nullopt when it has none or the
// folder cannot be read.
std::optional<std::filesystem::path> newestRecording(const std::filesystem::path& dir);

// The local time in a recording's name; nullopt for any other name.
std::optional<NameTime> recordingTime(const std::filesystem::path& file);

// The output device: `chosen` (--output) when given, else key OUTPUT of
// section [AUDIO] of ZEBSYS.INI in the working directory, else "default".
std::string outputDevice(const std::filesystem::path& workDir,
                         const std::optional<std::string>& chosen);

}  // namespace zeb::zebplay
