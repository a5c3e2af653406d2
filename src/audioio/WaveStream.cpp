#include "audioio/WaveStream.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <new>

#include "audioio/AudioError.h"
#include "common/ThreadPriority.h"

namespace zeb::audio {

namespace {

std::atomic<int> gBlockPeriodMs{0};

void fail(AudioErrorCode code, std::int32_t result, int line) {
    setAudioError(code, result, kEngineSource, line);
}

AudioErrorCode deviceCode(bool output) {
    return output ? AudioErrorCode::OutputDevice : AudioErrorCode::InputDevice;
}

// Time-critical priority for the service thread, above the serial reader's.
constexpr int kServicePriority = 10;

}  // namespace

int computeBlockPeriodMs(std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock) {
    if (samplesPerSec == 0 || samplesPerBlock == 0) return 0;
    const double blocksPerSecond =
        static_cast<double>(samplesPerSec) / static_cast<double>(samplesPerBlock);
    return static_cast<int>(std::trunc(1000.0 / blocksPerSecond + 0.5));
}

int blockPeriodMs() { return gBlockPeriodMs.load(); }

// The service thread's message queue and its start/end signal. It is shared
// with the thread, so a thread that had to be abandoned at close never
// touches freed memory of its own.
class ServiceChannel : public DeviceSink {
public:
    enum class Kind { Data, Closed, End };
    struct Message {
        Kind kind = Kind::Data;
        BlockHeader* header = nullptr;
    };

    // Sizes the message ring for a stream of blockCount blocks (at open).
    void reset(std::size_t capacity) {
        std::lock_guard lock(mutex_);
        ring_.reset(new Message[capacity]);
        cap_ = capacity;
        head_ = count_ = 0;
        started_ = ended_ = false;
    }

    void blockDone(BlockHeader* header) override { post({Kind::Data, header}); }
    void deviceClosed() override { post({Kind::Closed, nullptr}); }
    void endOfInput() override { post({Kind::End, nullptr}); }

    void post(Message m) {
        {
            std::lock_guard lock(mutex_);
            // Each block is in at most one message, so only a flood of close
            // requests could fill the ring; those carry no data and may go.
            if (count_ == cap_ || !ring_) return;
            ring_[(head_ + count_) % cap_] = m;
            ++count_;
        }
        cv_.notify_one();
    }

    Message take() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return count_ > 0; });
        Message m = ring_[head_];
        head_ = (head_ + 1) % cap_;
        --count_;
        return m;
    }

    void markStarted() { setFlag(started_); }
    void markEnded() { setFlag(ended_); }
    bool waitStarted(int ms) { return waitFlag(started_, ms); }
    bool waitEnded(int ms) { return waitFlag(ended_, ms); }

    std::timed_mutex blockMutex;
    std::atomic<bool> abandoned{false};
    // Buffers handed over when the thread had to be abandoned.
    std::unique_ptr<BlockHeader[]> keptHeaders;
    std::unique_ptr<std::uint8_t[]> keptData;

private:
    void setFlag(bool& flag) {
        {
            std::lock_guard lock(mutex_);
            flag = true;
        }
        flagCv_.notify_all();
    }
    bool waitFlag(bool& flag, int ms) {
        std::unique_lock lock(mutex_);
        return flagCv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return flag; });
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable flagCv_;
    std::unique_ptr<Message[]> ring_;
    std::size_t cap_ = 0;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool started_ = false;
    bool ended_ = false;
};

namespace {

void serviceLoop(std::shared_ptr<ServiceChannel> channel, WaveStream* stream,
                 void (*onBlock)(WaveStream*, BlockHeader*, ServiceChannel&),
                 void (*onEnd)(WaveStream*)) {
    channel->markStarted();
    for (;;) {
        const ServiceChannel::Message m = channel->take();
        if (m.kind == ServiceChannel::Kind::Closed || channel->abandoned) break;
        if (m.kind == ServiceChannel::Kind::Data) {
            onBlock(stream, m.header, *channel);
            if (channel->abandoned) break;
        } else {
            onEnd(stream);
        }
    }
    channel->markEnded();
}

}  // namespace

WaveStream::WaveStream(std::shared_ptr<AudioBackend> backend)
    : backend_(std::move(backend)), channel_(std::make_shared<ServiceChannel>()) {
    clearAudioError();
}

std::timed_mutex& WaveStream::blockMutex() { return channel_->blockMutex; }

WaveStream::~WaveStream() { close(); }

bool WaveStream::open(bool output, std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock,
                      std::int32_t blockCount, std::uint16_t channels,
                      std::uint16_t bitsPerSample) {
    if (thread_.joinable() || device_) close();  // never two threads or devices at once
    output_ = output;
    format_ = WaveFormat::pcm(samplesPerSec, channels, bitsPerSample);
    gBlockPeriodMs.store(computeBlockPeriodMs(samplesPerSec, samplesPerBlock));
    blockCount_ = blockCount;
    blockBytes_ = samplesPerBlock * format_.blockAlign;
    inputEnded_ = false;
    if (blockCount <= 0 || blockBytes_ == 0) {
        fail(AudioErrorCode::OutOfMemory, 0, 70);
        return false;
    }

    if (!backend_ || !backend_->hasDevice(output)) {
        fail(output ? AudioErrorCode::NoOutputDevice : AudioErrorCode::NoInputDevice, 0,
             output ? 63 : 64);
        return false;
    }

    if (!startService() || !allocateBlocks()) return false;

    device_ = backend_->createDevice(output);
    const int openResult =
        device_
            ? device_->open(format_, blockBytes_, static_cast<std::uint32_t>(blockCount), *channel_)
            : kResultNotOpen;
    if (openResult != 0) {
        device_.reset();
        fail(deviceCode(output), openResult, 80);
        return false;
    }
    deviceOpen_ = true;

    running_ = true;
    queuedOutput_ = 0;
    nextOutput_ = 0;
    heldCount_ = 0;
    nextHeld_ = 0;
    return queueBlocks();
}

bool WaveStream::startService() {
    const std::int32_t blockCount = blockCount_;
    // Mutex and event are members that always exist; the thread is the
    // system object that can fail here.
    channel_->reset(static_cast<std::size_t>(blockCount) + 16);
    try {
        thread_ = std::thread(
            serviceLoop, channel_, this,
            [](WaveStream* s, BlockHeader* h, ServiceChannel& ch) {
                if (!ch.abandoned) s->serviceBlock(h, ch);
            },
            [](WaveStream* s) { s->serviceEnd(); });
    } catch (const std::system_error&) {
        fail(AudioErrorCode::SystemObject, 0, 67);
        return false;
    }
    if (!channel_->waitStarted(3000)) {
        fail(AudioErrorCode::ServiceThread, 0, 68);
        return false;
    }
    (void)raiseThreadPriority(thread_, kServicePriority);
    return true;
}

bool WaveStream::allocateBlocks() {
    const std::int32_t blockCount = blockCount_;
    const bool output = output_;
    headers_.reset(new (std::nothrow) BlockHeader[static_cast<std::size_t>(blockCount)]());
    if (!headers_) return fail(AudioErrorCode::OutOfMemory, 0, 70), false;
    const std::size_t total = static_cast<std::size_t>(blockCount) * blockBytes_;
    blockData_.reset(new (std::nothrow) std::uint8_t[total]());
    if (!blockData_) return fail(AudioErrorCode::OutOfMemory, 0, 72), false;
    if (output) {
        heldData_.reset(new (std::nothrow) std::uint8_t[total]());
        if (!heldData_) return fail(AudioErrorCode::OutOfMemory, 0, 75), false;
        heldUser_.reset(new (std::nothrow) std::uintptr_t[static_cast<std::size_t>(blockCount)]());
        if (!heldUser_) return fail(AudioErrorCode::OutOfMemory, 0, 76), false;
    }
    return true;
}

bool WaveStream::queueBlocks() {
    const std::int32_t blockCount = blockCount_;
    const bool output = output_;
    for (std::int32_t i = 0; i < blockCount; ++i) {
        BlockHeader& h = headers_[i];
        h.data = blockData_.get() + static_cast<std::size_t>(i) * blockBytes_;
        h.bufferLength = blockBytes_;
        if (const int r = device_->prepare(h); r != 0) {
            fail(deviceCode(output), r, output ? 86 : 89);
            return false;
        }
        if (!output) {
            if (const int r = device_->addBuffer(h); r != 0) {
                fail(AudioErrorCode::InputDevice, r, 90);
                return false;
            }
        }
    }
    return true;
}

bool WaveStream::close() {
    clearAudioError();
    closeCompressor();
    const int p = blockPeriodMs();

    if (running_) {
        if (device_) device_->stop();
        // Release the mutex only when the wait obtained it.
        std::timed_mutex& m = channel_->blockMutex;
        const bool locked = m.try_lock_for(std::chrono::milliseconds(2 * p));
        running_ = false;
        if (locked) m.unlock();
    }

    // running_ is clear now, so the service thread re-queues nothing once
    // this lock is held.
    std::unique_lock deviceLock(deviceMutex_);
    if (device_) {
        const AudioErrorCode code = deviceCode(output_);
        if (const int r = device_->reset(); r != 0) fail(code, r, 113);
        for (std::int32_t i = 0; headers_ && i < blockCount_; ++i) {
            if ((headers_[i].flags & kBlockPrepared) == 0) continue;
            if (const int r = device_->unprepare(headers_[i]); r != 0) fail(code, r, 120);
        }
        if (deviceOpen_) {
            if (const int r = device_->close(); r != 0) fail(code, r, 124);
        }
        device_.reset();
        deviceOpen_ = false;
    }
    deviceLock.unlock();

    if (thread_.joinable()) {
        if (!channel_->waitEnded(2 * p)) {
            channel_->deviceClosed();
            if (!channel_->waitEnded(2 * p)) {
                // No thread can be ended safely from outside. The thread is
                // left to finish on its own; it owns the channel and the
                // block buffers from now on and touches nothing else.
                channel_->abandoned = true;
                channel_->keptHeaders = std::move(headers_);
                channel_->keptData = std::move(blockData_);
                thread_.detach();
                channel_ = std::make_shared<ServiceChannel>();
                fail(AudioErrorCode::ServiceThread, 0, 135);
            }
        }
        if (thread_.joinable()) thread_.join();
    }
    releaseBuffers();
    return audioErrorIsClear();
}

void WaveStream::releaseBuffers() {
    heldUser_.reset();
    heldData_.reset();
    blockData_.reset();
    headers_.reset();
    queuedOutput_ = 0;
    heldCount_ = 0;
    nextHeld_ = 0;
    nextOutput_ = 0;
}

std::uint64_t WaveStream::deviceOverruns() {
    std::lock_guard lock(deviceMutex_);
    return device_ ? device_->overruns() : 0;
}

bool WaveStream::start() {
    clearAudioError();
    const int r = device_ ? device_->start() : kResultNotOpen;
    if (r != 0) fail(deviceCode(output_), r, 152);
    return audioErrorIsClear();
}

bool WaveStream::stop() {
    clearAudioError();
    const int r = device_ ? device_->stop() : kResultNotOpen;
    if (r != 0) fail(deviceCode(output_), r, 162);
    return audioErrorIsClear();
}

void WaveStream::serviceBlock(BlockHeader* header, ServiceChannel& channel) {
    if (!running_) return;
    const auto wait = std::chrono::milliseconds(4 * blockPeriodMs());
    if (channel.blockMutex.try_lock_for(wait)) {
        handleBlock(*header);
        channel.blockMutex.unlock();
        // Close gave up on this thread while the handler ran: the stream may
        // be gone, so nothing of it is touched any more.
        if (channel.abandoned) return;
    } else {
        ++skipped_;
    }
    // A skipped block goes back like any other, so recording never stalls.
    if (output_) {
        --queuedOutput_;
        return;
    }
    std::lock_guard lock(deviceMutex_);
    if (device_ && running_) device_->addBuffer(*header);
}

void WaveStream::serviceEnd() {
    inputEnded_ = true;
    if (endHandler_) endHandler_();
}

void WaveStream::handleBlock(BlockHeader& header) {
    if (output_) write(header.data, header.user);
}

bool WaveStream::writeDirect(const std::uint8_t* block, std::uintptr_t user) {
    if (!device_ || queuedOutput_.load() >= blockCount_) return false;
    if (nextOutput_ >= blockCount_) nextOutput_ = 0;
    BlockHeader& h = headers_[nextOutput_];
    std::memcpy(h.data, block, blockBytes_);
    h.user = user;
    // Counted before the device sees it: the device may finish the block on
    // its own thread before write returns.
    ++queuedOutput_;
    if (device_->write(h) != 0) {
        --queuedOutput_;
        return false;
    }
    ++nextOutput_;
    return true;
}

bool WaveStream::holdBlock(const std::uint8_t* block, std::uintptr_t user) {
    if (!output_ || !heldData_ || heldCount_ >= blockCount_) return false;
    if (nextHeld_ >= blockCount_) nextHeld_ = 0;
    std::memcpy(heldData_.get() + static_cast<std::size_t>(nextHeld_) * blockBytes_, block,
                blockBytes_);
    heldUser_[nextHeld_] = user;
    ++nextHeld_;
    ++heldCount_;
    return true;
}

bool WaveStream::takeHeld() {
    if (heldCount_ == 0) return false;
    --nextHeld_;
    if (nextHeld_ < 0) nextHeld_ = blockCount_ - 1;
    --heldCount_;
    return writeDirect(heldData_.get() + static_cast<std::size_t>(nextHeld_) * blockBytes_,
                       heldUser_[nextHeld_]);
}

bool WaveStream::write(const std::uint8_t* block, std::uintptr_t user) {
    if (!output_ || !device_) return false;
    if (block == nullptr) return takeHeld();
    if (heldCount_ > 0) {
        takeHeld();  // refused: that held block is dropped
        return holdBlock(block, user);
    }
    if (writeDirect(block, user)) return true;
    return holdBlock(block, user);
}

}  // namespace zeb::audio
