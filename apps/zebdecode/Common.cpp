#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "Commands.h"
#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Streams.h"
#include "common/SuiteDirs.h"

namespace zeb::zebdecode {

int fail(const std::string& message) {
    std::fprintf(stderr, "zebdecode: %s\n", message.c_str());
    return kExitUsage;
}

namespace {
bool beVerbose = false;
}  // namespace

bool verbose() { return beVerbose; }

void note(const std::string& line) {
    if (beVerbose) std::fprintf(stderr, "zebdecode: %s\n", line.c_str());
}

std::optional<double> parseNumber(std::string_view text, double min, double max) {
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::string> workDirectory(const std::optional<std::string>& given,
                                         std::filesystem::path& out) {
    if (given && given->empty()) return "--dir needs a directory";
    auto dir = suiteWorkDir(given ? std::optional<std::filesystem::path>(*given) : std::nullopt);
    if (!dir) return dir.error().message;
    out = *dir;
    if (!given) note("working directory " + out.string());
    return std::nullopt;
}

std::string shownPath(const std::filesystem::path& file) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file, ec);
    const auto relative =
        std::filesystem::relative(absolute, std::filesystem::current_path(ec), ec);
    if (ec || relative.empty() || *relative.begin() == "..") return absolute.string();
    return relative.string();
}

const char* const kInputHelp =
    "input (instead of FILE):\n"
    "  -               standard input, decoded as the audio arrives (a pipe from\n"
    "                  arecord, an SDR program or a WebSDR's audio; a FIFO alike)\n"
    "  --raw RATE[,FORMAT]  the input is samples without a header, mono, at RATE\n"
    "                  Hz; FORMAT s16le (default), u8, s32le or f32le\n"
    "  --input DEVICE  live from a sound card (an ALSA name: default, hw:1,\n"
    "                  plughw:1,0), until Ctrl-C, which finishes and saves what\n"
    "                  is open\n"
    "  -v, --verbose   status and state changes on stderr (-q, --quiet: none,\n"
    "                  the default)\n";

bool wantsHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

namespace {

// "--raw 48000,f32le": the rate (1000 Hz to 768 kHz) and sample format.
std::optional<audio::RawFormat> parseRaw(std::string_view text) {
    audio::RawFormat raw;
    const auto comma = text.find(',');
    const std::string_view rate = text.substr(0, comma);
    const auto r = std::from_chars(rate.data(), rate.data() + rate.size(), raw.rate);
    if (r.ec != std::errc() || r.ptr != rate.data() + rate.size() ||
        raw.rate < audio::kMinRecordingRate || raw.rate > 768000)
        return std::nullopt;
    if (comma == std::string_view::npos) return raw;
    const std::string_view format = text.substr(comma + 1);
    using S = audio::RawFormat::Sample;
    constexpr std::pair<std::string_view, S> kFormats[] = {
        {"s16le", S::S16le}, {"u8", S::U8}, {"s32le", S::S32le}, {"f32le", S::F32le}};
    for (const auto& [name, sample] : kFormats) {
        if (name != format) continue;
        raw.sample = sample;
        return raw;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> parseArgs(const std::vector<std::string>& args,
                                     const std::vector<std::string_view>& valued,
                                     const std::vector<std::string_view>& flags, ParsedArgs& out,
                                     bool audio) {
    auto contains = [](const std::vector<std::string_view>& names, std::string_view n) {
        for (auto name : names)
            if (name == n) return true;
        return false;
    };
    // The short forms of the options most used.
    constexpr std::pair<std::string_view, std::string_view> kShort[] = {
        {"-b", "baud"}, {"-s", "shift"}, {"-c", "center"}};
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (a == "-v" || a == "--verbose" || a == "-q" || a == "--quiet") {
            beVerbose = a == "-v" || a == "--verbose";
            continue;
        }
        for (const auto& [brief, name] : kShort) {
            if (a != brief) continue;
            if (!contains(valued, name))
                return "option " + a + " (--" + std::string(name) +
                       ") is not an option of this mode";
            a = "--" + std::string(name);
        }
        if (a.size() > 2 && a.starts_with("--")) {
            std::string name = a.substr(2), value;
            const auto eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            }
            const bool input = audio && (name == "raw" || name == "input");
            if (contains(flags, name)) {
                if (eq != std::string::npos) return "option --" + name + " takes no value";
                out.options.emplace_back(name, "");
            } else if (contains(valued, name) || input) {
                if (eq == std::string::npos) {
                    if (i + 1 >= args.size()) return "option --" + name + " needs a value";
                    value = args[++i];
                }
                if (name == "raw") {
                    out.raw = parseRaw(value);
                    if (!out.raw)
                        return "invalid value '" + value +
                               "' for --raw: RATE[,FORMAT], a rate in Hz and s16le, u8, s32le "
                               "or f32le";
                } else if (name == "input") {
                    out.device = value;
                } else {
                    out.options.emplace_back(name, value);
                }
            } else {
                return "unknown option --" + name +
                       " (the options of each mode: zebdecode MODE --help)";
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-')
            return "unknown option " + a + " (the options of each mode: zebdecode MODE --help)";
        if (haveInput) return "only one recording may be given (\"" + a + "\")";
        out.input = a;
        haveInput = true;
    }
    if (!out.device.empty()) {
        if (haveInput) return "--input takes the audio from a sound card: no recording as well";
        if (out.raw) return "--raw is for a recording or standard input, not for --input";
        return std::nullopt;
    }
    if (!haveInput) return "no recording given (a file name, or - for standard input)";
    return std::nullopt;
}

namespace {

// Set by SIGINT: a live reception ends, and what is open is finished and
// saved as at the end of a recording. A second SIGINT ends the program.
volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

std::optional<std::string> decodeRecording(
    const ParsedArgs& in, const std::function<void(std::span<const float>)>& perBlock) {
    std::shared_ptr<audio::AudioBackend> backend;
    std::string shown;
    if (!in.device.empty()) {
        shown = "the sound card \"" + in.device + "\"";
        backend = audio::makeAlsaBackend(in.device);
    } else {
        const std::string& name = in.input;
        // Standard input and FIFOs are read as the audio arrives.
        const std::filesystem::path path = name == "-" ? "/dev/stdin" : name;
        shown = name == "-" ? "standard input" : "\"" + name + "\"";
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (!std::filesystem::exists(status))
            return "cannot open " + shown + ": " + (ec ? ec.message() : "no such file");
        if (std::filesystem::is_directory(status))
            return shown + " is a directory, not a recording";
        // A file is looked at first, so that one no decoder can use is
        // refused with its reason; a stream cannot be read twice.
        if (std::filesystem::is_regular_file(status) && !in.raw) {
            if (auto problem = audio::recordingProblem(path))
                return "cannot read " + shown + ": " + *problem;
        }
        backend = audio::makeFileBackend(path, audio::FilePacing::AsFastAsTaken, in.raw);
    }

    // Text goes out as it is decided: after every block, however stdout is
    // buffered (a pipe to another program, a file being watched).
    const auto blockAndFlush = [&](std::span<const float> block) {
        perBlock(block);
        std::fflush(stdout);
    };
    audio::CaptureStream capture(std::move(backend));
    capture.setRoutine(audio::DecoderMode::Recorder, blockAndFlush);
    capture.setMode(audio::DecoderMode::Recorder);
    if (!capture.openDefault())
        return "cannot read " + shown + ": " + audio::audioErrorMessage(audio::lastAudioError());
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    if (!capture.start()) {
        const std::string why = audio::audioErrorMessage(audio::lastAudioError());
        (void)capture.close();
        std::signal(SIGINT, SIG_DFL);
        return "cannot read " + shown + ": " + why;
    }
    while (!capture.inputEnded() && !interrupted)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    (void)capture.close();
    std::signal(SIGINT, SIG_DFL);
    return std::nullopt;
}

}  // namespace zeb::zebdecode
