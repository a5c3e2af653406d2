#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
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

// Standard input, a pipe or a FIFO may not be seekable, which libsndfile
// needs for most formats: the stream is copied into a temporary file first.
// The file is unlinked at once and read through /proc/self/fd, so that no
// copy is left behind, however the program ends.
class StreamCopy {
public:
    ~StreamCopy() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::optional<std::string> copy(int from, const std::string& what) {
        char pattern[] = "/tmp/zebdecode-XXXXXX";
        fd_ = mkstemp(pattern);
        if (fd_ < 0) return "cannot create a temporary file for " + what;
        ::unlink(pattern);
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(from, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                return "cannot read " + what + ": " + std::strerror(errno);
            }
            if (::write(fd_, buf, static_cast<std::size_t>(n)) != n)
                return "cannot keep a copy of " + what + ": " + std::strerror(errno);
        }
        return std::nullopt;
    }
    std::filesystem::path path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_ = -1;
};

}  // namespace

std::optional<std::string> decodeRecording(
    const std::string& fileOrDash, const std::function<void(std::span<const float>)>& perBlock) {
    std::filesystem::path path = fileOrDash;
    const std::string shown = fileOrDash == "-" ? "standard input" : "\"" + fileOrDash + "\"";
    StreamCopy stream;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (fileOrDash == "-") {
        if (auto error = stream.copy(STDIN_FILENO, shown)) return error;
        path = stream.path();
    } else if (!std::filesystem::exists(status)) {
        return "cannot open " + shown + ": " + (ec ? ec.message() : "no such file");
    } else if (std::filesystem::is_directory(status)) {
        return shown + " is a directory, not a recording";
    } else if (!std::filesystem::is_regular_file(status)) {
        // A FIFO or a device: read as a stream.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return "cannot open " + shown + ": " + std::strerror(errno);
        auto error = stream.copy(fd, shown);
        ::close(fd);
        if (error) return error;
        path = stream.path();
    }
    if (auto problem = audio::recordingProblem(path))
        return "cannot read " + shown + ": " + *problem;

    audio::CaptureStream capture(audio::makeFileBackend(path, audio::FilePacing::AsFastAsTaken));
    capture.setRoutine(audio::DecoderMode::Recorder, perBlock);
    capture.setMode(audio::DecoderMode::Recorder);
    if (!capture.openDefault())
        return "cannot read " + shown + ": " + audio::audioErrorMessage(audio::lastAudioError());
    if (!capture.start()) {
        const std::string why = audio::audioErrorMessage(audio::lastAudioError());
        (void)capture.close();
        return "cannot read " + shown + ": " + why;
    }
    while (!capture.inputEnded()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    (void)capture.close();
    return std::nullopt;
}

}  // namespace zeb::zebdecode
