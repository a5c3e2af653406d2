#include "audioio/AudioError.h"

#include <cstring>
#include <mutex>

namespace zeb::audio {

namespace {

std::mutex& recordMutex() {
    static std::mutex m;
    return m;
}

AudioError& record() {
    static AudioError r;
    return r;
}

const char* codeText(AudioErrorCode code) {
    switch (code) {
        case AudioErrorCode::None: return "11025 Hz, mono, 16 bit not supported";
        case AudioErrorCode::SystemObject: return "A system object could not be created";
        case AudioErrorCode::InputDevice: return "The audio input device failed";
        case AudioErrorCode::OutputDevice: return "The audio output device failed";
        case AudioErrorCode::OutOfMemory: return "Out of memory";
        case AudioErrorCode::CompressorHeader:
            return "The compression buffers could not be prepared";
        case AudioErrorCode::NoOutputDevice: return "No audio output device exists";
        case AudioErrorCode::NoInputDevice: return "No audio input device exists";
        case AudioErrorCode::ServiceThread: return "The audio service thread did not respond";
        case AudioErrorCode::CompressorOpen: return "The compression stream could not be opened";
        case AudioErrorCode::CompressorSizes:
            return "The compression stream sizes could not be obtained";
        case AudioErrorCode::WaveFile: return "The WAV file could not be created";
    }
    return "Unknown audio error";
}

}  // namespace

AudioError lastAudioError() {
    std::lock_guard lock(recordMutex());
    return record();
}

void clearAudioError() {
    std::lock_guard lock(recordMutex());
    record().code = AudioErrorCode::None;
    record().deviceResult = 0;
}

void setAudioError(AudioErrorCode code, std::int32_t deviceResult, const char* source, int line) {
    std::lock_guard lock(recordMutex());
    record().code = code;
    record().deviceResult = deviceResult;
    record().source = source;
    record().line = line;
}

void setAudioDeviceResult(std::int32_t deviceResult) {
    std::lock_guard lock(recordMutex());
    record().deviceResult = deviceResult;
}

bool audioErrorIsClear() {
    std::lock_guard lock(recordMutex());
    return record().code == AudioErrorCode::None;
}

std::string deviceResultText(std::int32_t deviceResult) {
    switch (deviceResult) {
        case 0: return {};
        case kResultNoFile: return "The recording cannot be opened";
        case kResultBadFile: return "The recording cannot be read";
        case kResultBadFormat: return "The device does not offer this audio format";
        case kResultResampler: return "The resampler could not be created";
        case kResultNotOpen: return "The device is not open";
        case kResultBadBlock: return "The audio block cannot be used";
        case kResultCodec: return "The codec failed";
        case kResultNoControl: return "The mixer line or control does not exist";
        default: break;
    }
    if (deviceResult < 0 && deviceResult > -4096) return std::strerror(-deviceResult);
    return "Audio device error " + std::to_string(deviceResult);
}

std::string audioErrorMessage(const AudioError& error) {
    std::string text = codeText(error.code);
    if (error.deviceResult != 0) text += ": " + deviceResultText(error.deviceResult);
    return text + " (Line " + std::to_string(error.line) + ")";
}

}  // namespace zeb::audio
