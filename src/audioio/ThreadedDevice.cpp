#include "audioio/ThreadedDevice.h"

#include "audioio/AudioError.h"

namespace zeb::audio {

ThreadedDevice::~ThreadedDevice() {
    // A subclass has already called close() from its own destructor; this
    // only stops a worker that was left running.
    std::unique_lock lock(mutex_);
    quit_ = true;
    lock.unlock();
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
}

int ThreadedDevice::open(const WaveFormat& format, std::uint32_t blockBytes,
                         std::uint32_t blockCount, DeviceSink& sink) {
    if (open_) return kResultBadBlock;
    if (format.formatTag != kTagPcm || format.bitsPerSample != 16 || format.channels == 0 ||
        format.samplesPerSec == 0 || blockBytes == 0 || blockCount == 0) {
        return kResultBadFormat;
    }
    if (const int r = openDevice(format, blockBytes); r != 0) return r;
    format_ = format;
    blockBytes_ = blockBytes;
    sink_ = &sink;
    queue_.reset(new BlockHeader*[blockCount]);
    capacity_ = blockCount;
    head_ = count_ = 0;
    quit_ = false;
    ended_ = false;
    // Output devices play as soon as blocks arrive, like a sound card;
    // input devices wait for start().
    started_ = output_;
    const double frames = static_cast<double>(blockBytes) / format.blockAlign;
    blockDuration_ = std::chrono::nanoseconds(
        static_cast<std::int64_t>(frames * 1e9 / static_cast<double>(format.samplesPerSec)));
    open_ = true;
    interrupt_ = false;
    worker_ = std::thread([this] { run(); });
    return 0;
}

int ThreadedDevice::prepare(BlockHeader& header) {
    if (!header.data || header.bufferLength != blockBytes_) return kResultBadBlock;
    header.flags = kBlockPrepared;
    return 0;
}

int ThreadedDevice::unprepare(BlockHeader& header) {
    std::lock_guard lock(mutex_);
    if (header.flags & kBlockInQueue) return kResultBadBlock;
    header.flags &= ~kBlockPrepared;
    return 0;
}

int ThreadedDevice::enqueue(BlockHeader& header) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return kResultNotOpen;
        if (!(header.flags & kBlockPrepared) || (header.flags & kBlockInQueue) ||
            count_ == capacity_) {
            return kResultBadBlock;
        }
        header.flags = (header.flags & ~kBlockDone) | kBlockInQueue;
        header.bytesRecorded = 0;
        queue_[(head_ + count_) % capacity_] = &header;
        ++count_;
    }
    cv_.notify_all();
    return 0;
}

int ThreadedDevice::addBuffer(BlockHeader& header) {
    return output_ ? kResultBadBlock : enqueue(header);
}

int ThreadedDevice::write(BlockHeader& header) {
    return output_ ? enqueue(header) : kResultBadBlock;
}

int ThreadedDevice::start() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return kResultNotOpen;
        if (!started_) nextDue_ = {};
        started_ = true;
        interrupt_ = false;
    }
    cv_.notify_all();
    return 0;
}

int ThreadedDevice::stop() {
    std::lock_guard lock(mutex_);
    if (!open_) return kResultNotOpen;
    started_ = false;
    if (!output_) interrupt_ = true;
    return 0;
}

int ThreadedDevice::reset() {
    std::unique_lock lock(mutex_);
    if (!open_) return kResultNotOpen;
    started_ = false;
    interrupt_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return !busy_; });
    while (count_ > 0) {
        BlockHeader* h = queue_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        h->flags = (h->flags & ~kBlockInQueue) | kBlockDone;
        lock.unlock();
        sink_->blockDone(h);
        lock.lock();
    }
    return 0;
}

int ThreadedDevice::close() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return kResultNotOpen;
        quit_ = true;
        interrupt_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    closeDevice();
    {
        std::lock_guard lock(mutex_);
        for (; count_ > 0; --count_, head_ = (head_ + 1) % capacity_) {
            queue_[head_]->flags &= ~kBlockInQueue;
        }
        open_ = false;
    }
    sink_->deviceClosed();
    return 0;
}

std::uint64_t ThreadedDevice::blocksTransferred() const {
    std::lock_guard lock(mutex_);
    return transferred_;
}

void ThreadedDevice::run() {
    std::unique_lock lock(mutex_);
    bool moving = false;
    for (;;) {
        cv_.wait(lock, [&] { return quit_ || (started_ && count_ > 0 && !ended_); });
        if (quit_) break;
        if (!moving) {
            moving = true;
            lock.unlock();
            onStart();
            lock.lock();
            continue;
        }
        if (paced_) {
            const auto now = std::chrono::steady_clock::now();
            if (nextDue_ == std::chrono::steady_clock::time_point{}) nextDue_ = now;
            if (now < nextDue_) {
                // Interrupted by stop, reset or close; re-checked above.
                cv_.wait_until(lock, nextDue_, [&] { return quit_ || !started_; });
                continue;
            }
            nextDue_ += blockDuration_;
            // After a long stall, do not rush to catch up.
            if (nextDue_ < now) nextDue_ = now;
        }
        BlockHeader* h = queue_[head_];
        busy_ = true;
        lock.unlock();
        const int r = transfer(*h);
        lock.lock();
        busy_ = false;
        cv_.notify_all();
        if (r == kEndOfInput) {
            ended_ = true;
            lock.unlock();
            sink_->endOfInput();
            lock.lock();
            continue;
        }
        if (!started_ && !quit_ && count_ == 0) continue;  // reset took the queue meanwhile
        head_ = (head_ + 1) % capacity_;
        --count_;
        ++transferred_;
        h->flags = (h->flags & ~kBlockInQueue) | kBlockDone;
        if (!output_) h->bytesRecorded = h->bufferLength;
        lock.unlock();
        sink_->blockDone(h);
        lock.lock();
    }
    if (moving) {
        lock.unlock();
        onStop();
    }
}

}  // namespace zeb::audio
