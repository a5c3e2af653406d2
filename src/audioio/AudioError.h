// AudioError: the one process-wide record of the audio layer's last error,
// shared by every stream, the WAV writer and the mixer.
#pragma once

#include <cstdint>
#include <string>

namespace zeb::audio {

enum class AudioErrorCode : std::int32_t {
    None = 0,
    SystemObject = 1,  // mutex, event, thread could not be created or configured
    InputDevice = 2,   // an input-device call failed; deviceResult holds the code
    OutputDevice = 3,  // an output-device call failed; deviceResult holds the code
    OutOfMemory = 7,
    CompressorHeader = 8,  // the compression buffers could not be prepared
    NoOutputDevice = 10,
    NoInputDevice = 11,
    ServiceThread = 12,    // the service thread did not start, or did not end when closing
    CompressorOpen = 13,   // no codec converts to the requested format
    CompressorSizes = 15,  // the codec could not tell its buffer sizes
    WaveFile = 18,         // the WAV file could not be created or its header written
};

// Source texts of the record, shown with the line number.
inline constexpr const char* kEngineSource = "AUDIOIO/audioio";
inline constexpr const char* kWaveSource = "AUDIOIO/aiowave";
inline constexpr const char* kMixerSource = "AUDIOIO/aiomix";
inline constexpr const char* kFilterSource = "AUDIOIO/aiofilt";  // filters and the spectrum display

struct AudioError {
    AudioErrorCode code = AudioErrorCode::None;
    std::int32_t deviceResult = 0;  // 0, or the backend's (negative) result code
    std::string source;
    int line = 0;
};

// A copy of the record; it is guarded by a mutex, so any thread may call these.
AudioError lastAudioError();
// Clears code and device result (source and line stay, as they carry no meaning alone).
void clearAudioError();
void setAudioError(AudioErrorCode code, std::int32_t deviceResult, const char* source, int line);
// Sets only the device result (the compression calls report their failures this way).
void setAudioDeviceResult(std::int32_t deviceResult);
bool audioErrorIsClear();

// Device result codes of our own backends (ALSA results are negative errno values).
inline constexpr std::int32_t kResultNoFile = -100001;     // recording cannot be opened
inline constexpr std::int32_t kResultBadFile = -100002;    // recording unreadable
inline constexpr std::int32_t kResultBadFormat = -100003;  // format not offered by the device
inline constexpr std::int32_t kResultResampler = -100004;  // resampler could not be created
inline constexpr std::int32_t kResultNotOpen = -100005;    // device call on a closed device
inline constexpr std::int32_t kResultBadBlock = -100006;   // block header not usable here
inline constexpr std::int32_t kResultCodec = -100007;      // codec failed on its input
inline constexpr std::int32_t kResultNoControl = -100008;  // mixer line or control unknown

// Text of a device result: our own table, else the system's text of the errno value.
std::string deviceResultText(std::int32_t deviceResult);

// The user-visible form of an error: the text of its code and device result,
// followed by " (Line %d)". Code 0 gets a text of its own instead of a
// "success" message, as the caller only shows it for a failure.
std::string audioErrorMessage(const AudioError& error);

}  // namespace zeb::audio
