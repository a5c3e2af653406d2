// The interface between the stream engine and a device backend (ALSA, file,
// null, or a scripted fake in tests). A device works on block headers that
// the stream owns: an input device fills queued blocks in queue order, an
// output device plays written blocks in write order, and either reports each
// finished block to its sink, possibly from a thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audioio/WaveFormat.h"

namespace zeb::audio {

inline constexpr std::uint32_t kBlockDone = 0x01;
inline constexpr std::uint32_t kBlockPrepared = 0x02;
inline constexpr std::uint32_t kBlockInQueue = 0x10;

struct BlockHeader {
    std::uint8_t* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::uint32_t bytesRecorded = 0;
    std::uintptr_t user = 0;
    std::uint32_t flags = 0;
};

// Receives the device's notifications. Calls may come from any thread, but
// never while the device holds a lock that a device call would take.
class DeviceSink {
public:
    virtual ~DeviceSink() = default;
    virtual void blockDone(BlockHeader* header) = 0;
    // The device was closed; sent once by close().
    virtual void deviceClosed() = 0;
    // An input device has no more audio (end of a recording); sent once.
    virtual void endOfInput() = 0;
};

// Every call returns 0 or a negative device result (see AudioError.h).
class WaveDevice {
public:
    virtual ~WaveDevice() = default;
    virtual int open(const WaveFormat& format, std::uint32_t blockBytes, std::uint32_t blockCount,
                     DeviceSink& sink) = 0;
    virtual int prepare(BlockHeader& header) = 0;
    virtual int unprepare(BlockHeader& header) = 0;
    // Input: queue a block for recording.
    virtual int addBuffer(BlockHeader& header) = 0;
    // Output: queue a block for playing.
    virtual int write(BlockHeader& header) = 0;
    // Input: start recording. Output: resume playing.
    virtual int start() = 0;
    // Input: stop recording (queued blocks stay queued). Output: pause.
    virtual int stop() = 0;
    // Stop and give every queued block back as done.
    virtual int reset() = 0;
    virtual int close() = 0;
    // Overruns (input) or underruns (output) recovered so far; any thread.
    virtual std::uint64_t overruns() const { return 0; }
};

// A kind of device: tells whether a device of a direction exists, and makes one.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual bool hasDevice(bool output) const = 0;
    // Whether the input device offers `format`: 0 when it does,
    // kResultBadFormat when it does not, another device result when it
    // cannot be asked. Recordings and silence are converted to any format.
    virtual std::int32_t checkInputFormat(const WaveFormat& format) const {
        (void)format;
        return 0;
    }
    virtual std::unique_ptr<WaveDevice> createDevice(bool output) = 0;
    virtual std::string name() const = 0;
};

}  // namespace zeb::audio
