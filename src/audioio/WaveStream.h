// WaveStream: one wave device (input or output), a fixed ring of equal
// blocks, a service thread that receives the device's block notifications,
// and the block mutex that serialises block processing against the
// user-interface thread. CaptureStream feeds the decoders; MonitorStream
// plays what the decoders hear.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audioio/AudioDevice.h"
#include "audioio/Codec.h"
#include "audioio/WaveFormat.h"

namespace zeb::audio {

// Block period P in ms: 1000 / (samples per second / samples per block),
// rounded, in real arithmetic (integer division would give 100 instead of 93
// at 11025 / 1024 and change every time limit).
int computeBlockPeriodMs(std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock);
// The process-wide P, set by every open (the last open wins).
int blockPeriodMs();

class ServiceChannel;

class WaveStream {
public:
    explicit WaveStream(std::shared_ptr<AudioBackend> backend);
    virtual ~WaveStream();
    WaveStream(const WaveStream&) = delete;
    WaveStream& operator=(const WaveStream&) = delete;

    // Opens the device with a ring of blockCount blocks. Input streams are
    // left with every block queued, not started; output streams with none
    // written. On failure AudioError holds the error; call close() to clean up.
    bool open(bool output, std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock,
              std::int32_t blockCount, std::uint16_t channels, std::uint16_t bitsPerSample);
    // Releases everything open acquired; true when no close step failed.
    bool close();
    bool start();
    bool stop();

    // Output streams only: writes one block (blockBytes() bytes), or with
    // nullptr takes one block from the held store. Input streams return false.
    bool write(const std::uint8_t* block, std::uintptr_t user = 0);
    // Keeps a block in the held store; false when the store is full.
    bool holdBlock(const std::uint8_t* block, std::uintptr_t user = 0);

    // The user-interface thread locks this, without time limit, around every
    // change of state that the block handler reads.
    std::timed_mutex& blockMutex();

    // Compression of blocks into a codec format (used by the recorder).
    bool openCompressor(const WaveFormat& target);
    // Compresses one block, or with nullptr flushes the codec. Returns the
    // number of bytes produced; 0 with compressorFailed() on an error.
    std::uint32_t compressBlock(const std::uint8_t* block, std::uint8_t* destination);
    // Compresses length bytes; length becomes the number of source bytes used.
    std::uint32_t compressBytes(const std::uint8_t* source, std::uint8_t* destination,
                                std::uint32_t& length);
    // As compressBytes, but ends the codec stream: a remainder shorter than
    // one codec block is completed with silence instead of being left over,
    // so the last samples of a recording are kept.
    std::uint32_t compressFinal(const std::uint8_t* source, std::uint8_t* destination,
                                std::uint32_t& length);
    void closeCompressor();
    bool compressorOpen() const { return encoder_ != nullptr; }
    bool compressorFailed() const { return compressFailed_; }
    // Buffer sizes of the open compressor: source bytes it takes per call,
    // destination bytes it may produce for them.
    std::uint32_t compressorSourceBytes() const { return compSourceBytes_; }
    std::uint32_t compressorDestinationBytes() const { return compDestBytes_; }

    bool isOpen() const { return device_ != nullptr; }
    bool isOutput() const { return output_; }
    bool running() const { return running_.load(); }
    const WaveFormat& format() const { return format_; }
    std::uint32_t blockBytes() const { return blockBytes_; }
    std::int32_t blockCount() const { return blockCount_; }
    std::int32_t queuedOutput() const { return queuedOutput_.load(); }
    std::int32_t heldCount() const { return heldCount_; }
    // Blocks whose processing was skipped because the mutex wait timed out.
    std::uint64_t skippedBlocks() const { return skipped_.load(); }
    // Overruns (input) or underruns (output) the device recovered from.
    std::uint64_t deviceOverruns();
    // True once the input device reported the end of its audio.
    bool inputEnded() const { return inputEnded_.load(); }
    // Called on the service thread when the input device has no more audio.
    void setEndOfInputHandler(std::function<void()> handler) { endHandler_ = std::move(handler); }

protected:
    // Called on the service thread with the block mutex held. The base gives
    // the block straight back: input blocks are re-queued anyway by the
    // service thread, output blocks are written again.
    virtual void handleBlock(BlockHeader& header);

private:
    friend class ServiceChannel;
    void serviceBlock(BlockHeader* header, ServiceChannel& channel);
    void serviceEnd();
    bool writeDirect(const std::uint8_t* block, std::uintptr_t user);
    bool takeHeld();
    std::uint32_t compressImpl(const std::uint8_t* source, std::uint8_t* destination,
                               std::uint32_t& length, bool end);
    void releaseBuffers();
    // The steps of open(); each reports its own failure.
    bool startService();
    bool allocateBlocks();
    bool queueBlocks();

    std::shared_ptr<AudioBackend> backend_;
    WaveFormat format_;
    std::shared_ptr<ServiceChannel> channel_;
    std::thread thread_;
    std::unique_ptr<Encoder> encoder_;
    std::unique_ptr<std::uint8_t[]> compSource_;
    std::unique_ptr<std::uint8_t[]> compDest_;
    std::uint32_t compSourceBytes_ = 0;
    std::uint32_t compDestBytes_ = 0;
    bool compStarted_ = false;
    bool compressFailed_ = false;
    bool output_ = false;
    std::atomic<bool> running_{false};
    std::int32_t blockCount_ = 0;
    std::uint32_t blockBytes_ = 0;
    std::atomic<std::int32_t> queuedOutput_{0};
    std::int32_t nextOutput_ = 0;
    std::int32_t heldCount_ = 0;
    std::int32_t nextHeld_ = 0;
    std::unique_ptr<WaveDevice> device_;
    // Guards device_ between the service thread's re-queueing and close.
    std::mutex deviceMutex_;
    bool deviceOpen_ = false;
    std::unique_ptr<BlockHeader[]> headers_;
    std::unique_ptr<std::uint8_t[]> blockData_;
    std::unique_ptr<std::uint8_t[]> heldData_;
    std::unique_ptr<std::uintptr_t[]> heldUser_;
    std::atomic<std::uint64_t> skipped_{0};
    std::atomic<bool> inputEnded_{false};
    std::function<void()> endHandler_;
};

}  // namespace zeb::audio
