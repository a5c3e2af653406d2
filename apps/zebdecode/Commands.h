// The decoding commands of zebdecode, one per mode, and what they share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audioio/Backends.h"

namespace zeb::zebdecode {

// Exit statuses: 0 decoded something, 1 decoded nothing (no lock, no
// characters, no picture), 2 bad usage or unreadable input, 3 something
// received could not be saved (a full disk, a read-only directory).
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothing = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotSaved = 3;

// One decoding command: its arguments after the mode word.
using Command = int (*)(const std::vector<std::string>& args);

int runRtty(const std::vector<std::string>& args);   // "rtty"
int runSitor(const std::vector<std::string>& args);  // "sitor"
int runCw(const std::vector<std::string>& args);     // "cw"
int runFax(const std::vector<std::string>& args);    // "fax"
int runText(const std::vector<std::string>& args);   // "text"

// Prints "zebdecode: <message>" on stderr and returns kExitUsage.
int fail(const std::string& message);

// -v / --verbose (any mode): status and state changes on stderr. Without
// it stderr carries only errors, warnings and what was saved.
bool verbose();
// Prints "zebdecode: <line>" on stderr with -v.
void note(const std::string& line);

// Splits "--name=value" / "--name value" options from the one positional
// argument. `flags` take no value. With `audio`, every mode's input options
// are taken as well: "--raw RATE[,FORMAT]" and "--input DEVICE" (which
// replaces the recording). The short options -b, -s and -c stand for --baud,
// --shift and --center where the mode has them. Returns an error text on
// unknown options, missing values or a missing or second positional argument.
struct ParsedArgs {
    std::vector<std::pair<std::string, std::string>> options;  // name without "--", value
    std::string input;
    std::optional<audio::RawFormat> raw;  // --raw: samples without a header
    std::string device;                   // --input: live from this sound card
};
std::optional<std::string> parseArgs(const std::vector<std::string>& args,
                                     const std::vector<std::string_view>& valued,
                                     const std::vector<std::string_view>& flags, ParsedArgs& out,
                                     bool audio = true);

// The help of the input options, for each audio mode's help text.
extern const char* const kInputHelp;
// "--help" or "-h" among the arguments.
bool wantsHelp(const std::vector<std::string>& args);

// Reads the input the arguments name — a recording (any format libsndfile
// reads, any rate and channel count), "-" for standard input or a FIFO (read
// as the audio arrives, also raw samples with --raw), or a sound card
// (--input, until SIGINT) — as 11025 Hz mono blocks of 1024 samples, as fast
// as `perBlock` takes them; stdout is flushed after each block. The last
// block is padded with silence. SIGINT ends the input as its end would.
// Returns an error text, or nullopt when the input was decoded to its end.
std::optional<std::string> decodeRecording(
    const ParsedArgs& input, const std::function<void(std::span<const float>)>& perBlock);

// The working directory for what a mode saves: `given` (--dir) as it is,
// made when missing; without it the suite's own (the current directory when
// it holds settings or DATA, else $ZEB_HOME, else ~/.local/share/zeb), so
// that the other programs find what was received. Returns an error text.
std::optional<std::string> workDirectory(const std::optional<std::string>& given,
                                         std::filesystem::path& out);
// A saved file as the user should read it: relative when it lies below the
// current directory, else absolute.
std::string shownPath(const std::filesystem::path& file);

// Option values: a number within [min, max], or nullopt (the caller reports
// the option by name).
std::optional<double> parseNumber(std::string_view text, double min, double max);

}  // namespace zeb::zebdecode
