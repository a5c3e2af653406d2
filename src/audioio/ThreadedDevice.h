// Base of the backends that move blocks on a worker thread of their own: a
// queue of block headers, start/stop/reset/close, and optional pacing at the
// real-time rate of the format. A subclass only transfers one block.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "audioio/AudioDevice.h"

namespace zeb::audio {

class ThreadedDevice : public WaveDevice {
public:
    explicit ThreadedDevice(bool output, bool paced) : output_(output), paced_(paced) {}
    ~ThreadedDevice() override;

    int open(const WaveFormat& format, std::uint32_t blockBytes, std::uint32_t blockCount,
             DeviceSink& sink) override;
    int prepare(BlockHeader& header) override;
    int unprepare(BlockHeader& header) override;
    int addBuffer(BlockHeader& header) override;
    int write(BlockHeader& header) override;
    int start() override;
    int stop() override;
    int reset() override;
    int close() override;

    // Blocks transferred so far, and device errors met on the way.
    std::uint64_t blocksTransferred() const;

protected:
    static constexpr int kEndOfInput = 1;

    // Called once by open before the worker starts; 0 or a device result.
    virtual int openDevice(const WaveFormat& format, std::uint32_t blockBytes) = 0;
    // Moves one block: an input device fills it (returning kEndOfInput when
    // no audio is left, the block untouched), an output device plays it.
    // Runs on the worker thread without the queue lock.
    virtual int transfer(BlockHeader& header) = 0;
    virtual void closeDevice() {}
    // Called on the worker thread when the device starts or stops moving blocks.
    virtual void onStart() {}
    virtual void onStop() {}

    // True while stop, reset or close wants the worker to let go of a block;
    // a transfer that waits for the device polls this.
    bool interrupted() const { return interrupt_.load(); }
    bool output() const { return output_; }
    const WaveFormat& format() const { return format_; }

private:
    int enqueue(BlockHeader& header);
    void run();

    bool output_;
    bool paced_;
    WaveFormat format_;
    std::uint32_t blockBytes_ = 0;
    DeviceSink* sink_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::unique_ptr<BlockHeader*[]> queue_;
    std::uint32_t capacity_ = 0;
    std::uint32_t head_ = 0;
    std::uint32_t count_ = 0;
    bool open_ = false;
    bool started_ = false;
    bool quit_ = false;
    bool busy_ = false;
    bool ended_ = false;
    std::uint64_t transferred_ = 0;
    std::chrono::steady_clock::time_point nextDue_{};
    std::chrono::nanoseconds blockDuration_{0};
    std::atomic<bool> interrupt_{false};
    std::thread worker_;
};

}  // namespace zeb::audio
