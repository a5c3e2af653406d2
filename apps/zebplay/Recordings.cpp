#include "Recordings.h"

#include <tuple>

#include "audioio/Backends.h"
#include "common/ProfileFile.h"
#include "common/ReceivedFile.h"

namespace zeb::zebplay {

namespace fs = std::filesystem;

namespace {

auto order(const NameTime& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute); }

}  // namespace

std::optional<NameTime> recordingTime(const fs::path& file) {
    const auto name = parseFileName(file.filename().string());
    if (!name || (name->kind != ReceivedKind::Audio && name->kind != ReceivedKind::AudioGsm))
        return std::nullopt;
    return name->time;
}

std::optional<fs::path> newestRecording(const fs::path& dir) {
    std::optional<fs::path> newest;
    NameTime newestTime;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const auto time = recordingTime(it->path());
        std::error_code typeError;
        if (!time || !it->is_regular_file(typeError)) continue;
        // The same minute as .WAV and .GSM: the name decides, so the choice
        // does not depend on the order the folder lists them in.
        if (!newest || order(*time) > order(newestTime) ||
            (order(*time) == order(newestTime) && it->path().filename() > newest->filename())) {
            newest = it->path();
            newestTime = *time;
        }
    }
    return newest;
}

std::string outputDevice(const fs::path& workDir, const std::optional<std::string>& chosen) {
    if (chosen && !chosen->empty()) return *chosen;
    ProfileFile zebsys;
    zebsys.buildPath(workDir.string(), "ZEBSYS.INI");
    return audio::chooseDevice(zebsys, true, std::nullopt);
}

}  // namespace zeb::zebplay
