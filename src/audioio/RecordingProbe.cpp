// A look at a recording before it is decoded, so that a file no decoder can
// use is refused with its reason rather than as "cannot be opened".
#include <sndfile.h>

#include "audioio/Backends.h"

namespace zeb::audio {

std::optional<std::string> recordingProblem(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) == 0 && !ec) return std::string("it is empty");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return std::string(sf_strerror(nullptr));
    sf_close(file);
    if (info.channels <= 0) return std::string("it declares no audio channel");
    if (info.samplerate < kMinRecordingRate)
        return "its sample rate of " + std::to_string(info.samplerate) +
               " Hz is too low to carry the signals (at least " +
               std::to_string(kMinRecordingRate) + " Hz)";
    if (info.frames == 0) return std::string("it holds no audio");
    return std::nullopt;
}

}  // namespace zeb::audio
