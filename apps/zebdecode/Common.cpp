#include <unistd.h>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "Commands.h"
#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Streams.h"

namespace zeb::zebdecode {

int fail(const std::string& message) {
    std::fprintf(stderr, "zebdecode: %s\n", message.c_str());
    return kExitUsage;
}

std::optional<double> parseNumber(std::string_view text, double min, double max) {
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::string> parseArgs(const std::vector<std::string>& args,
                                     const std::vector<std::string_view>& valued,
                                     const std::vector<std::string_view>& flags, ParsedArgs& out) {
    auto contains = [](const std::vector<std::string_view>& names, std::string_view n) {
        for (auto name : names)
            if (name == n) return true;
        return false;
    };
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.starts_with("--")) {
            std::string name = a.substr(2), value;
            const auto eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            }
            if (contains(flags, name)) {
                if (eq != std::string::npos) return "option --" + name + " takes no value";
                out.options.emplace_back(name, "");
            } else if (contains(valued, name)) {
                if (eq == std::string::npos) {
                    if (i + 1 >= args.size()) return "option --" + name + " needs a value";
                    value = args[++i];
                }
                out.options.emplace_back(name, value);
            } else {
                return "unknown option --" + name;
            }
            continue;
        }
        if (haveInput) return "only one recording may be given (\"" + a + "\")";
        out.input = a;
        haveInput = true;
    }
    if (!haveInput) return "no recording given (a file name, or - for standard input)";
    return std::nullopt;
}

namespace {

// Standard input may be a pipe, which libsndfile cannot always read; it is
// copied into a temporary file first.
std::optional<std::string> stdinToFile(std::filesystem::path& path) {
    char pattern[] = "/tmp/zebdecode-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return "cannot create a temporary file for standard input";
    path = pattern;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            ::close(fd);
            return "cannot read standard input";
        }
        if (::write(fd, buf, static_cast<std::size_t>(n)) != n) {
            ::close(fd);
            return "cannot write the temporary copy of standard input";
        }
    }
    ::close(fd);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> decodeRecording(
    const std::string& fileOrDash, const std::function<void(std::span<const float>)>& perBlock) {
    std::filesystem::path path = fileOrDash;
    std::filesystem::path temporary;
    if (fileOrDash == "-") {
        if (auto error = stdinToFile(temporary)) return error;
        path = temporary;
    } else if (!std::filesystem::is_regular_file(path)) {
        return "cannot open \"" + fileOrDash + "\": no such file";
    }
    struct Cleanup {
        std::filesystem::path p;
        ~Cleanup() {
            std::error_code ec;
            if (!p.empty()) std::filesystem::remove(p, ec);
        }
    } cleanup{temporary};

    audio::CaptureStream capture(audio::makeFileBackend(path, audio::FilePacing::AsFastAsTaken));
    capture.setRoutine(audio::DecoderMode::Recorder, perBlock);
    capture.setMode(audio::DecoderMode::Recorder);
    if (!capture.openDefault())
        return "cannot read \"" + fileOrDash +
               "\": " + audio::audioErrorMessage(audio::lastAudioError());
    if (!capture.start()) {
        const std::string why = audio::audioErrorMessage(audio::lastAudioError());
        (void)capture.close();
        return "cannot read \"" + fileOrDash + "\": " + why;
    }
    while (!capture.inputEnded()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    (void)capture.close();
    return std::nullopt;
}

}  // namespace zeb::zebdecode
