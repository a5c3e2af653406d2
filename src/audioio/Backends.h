// The device backends and the choice between them. A device is named by a
// text: "null" (silence in, discard out), "file:PATH" (a recording as input),
// "default" or any other text (an ALSA device of that name).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "audioio/AudioDevice.h"

namespace zeb {
class ProfileFile;
}

namespace zeb::audio {

// Silence in, discard out, both at the real-time rate of the format.
std::shared_ptr<AudioBackend> makeNullBackend();

enum class FilePacing {
    RealTime,       // one block per block period, as a sound card delivers (GUI programs)
    AsFastAsTaken,  // as fast as the consumer gives blocks back (command line, tests)
};

// Samples without a header ("raw PCM", as sox -t raw reads them): the rate,
// the channel count and the sample format must be given.
struct RawFormat {
    enum class Sample { S16le, U8, S32le, F32le };
    int rate = 0;
    int channels = 1;
    Sample sample = Sample::S16le;
};

// Input: the recording at path, read through libsndfile, mixed down to the
// stream's channel count (mono) and resampled to its rate. The last block is
// padded with silence; then the end of input is reported. Output: discarded.
// The path may be a pipe or FIFO ("/dev/stdin"): the audio is then read as
// it arrives, in small pieces, for live decoding. With `raw` the file has no
// header and holds samples of that format.
std::shared_ptr<AudioBackend> makeFileBackend(std::filesystem::path path, FilePacing pacing,
                                              std::optional<RawFormat> raw = std::nullopt);

// The lowest sample rate a recording may have (Morse is recorded at 4000 Hz;
// far lower rates are damaged headers).
inline constexpr int kMinRecordingRate = 1000;

// Why the recording at `path` cannot be decoded (libsndfile's own words, a
// sample rate below kMinRecordingRate, no audio at all); nullopt when it can.
std::optional<std::string> recordingProblem(const std::filesystem::path& path);

// ALSA PCM device by name ("default", "hw:0", "plughw:1,0", ...). With a
// configuration text, the name is looked up in that text alone instead of
// ALSA's configuration files.
std::shared_ptr<AudioBackend> makeAlsaBackend(std::string deviceName, std::string config = {});

// A backend for a device text as described above; an empty text means "default".
std::shared_ptr<AudioBackend> makeBackend(std::string_view device, FilePacing pacing);

// The device text of a program's --input value: a recording named by its path
// (an existing file, or any text with a "/") becomes "file:PATH"; device names
// ("default", "hw:1", "null") and "file:..." stay as they are.
std::string inputFromArgument(const std::string& value);

// The device text for input or output: the command line's --input value when
// given (input only), else key INPUT / OUTPUT of section AUDIO of the given
// ZEBSYS.INI, else "default".
std::string chooseDevice(const ProfileFile& zebsys, bool output,
                         const std::optional<std::string>& commandLineInput);

}  // namespace zeb::audio
