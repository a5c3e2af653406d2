// A scripted device for the engine tests: it fails the operations it is told
// to fail, records every call, and completes blocks only when the test says so.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audioio/AudioDevice.h"

namespace zeb::audio::test {

struct FakeScript {
    bool hasInput = true;
    bool hasOutput = true;
    int openResult = 0;
    int failPrepareAt = -1;  // index of the prepare call that fails
    int failAddBufferAt = -1;
    int failResult = -5;  // EIO

    std::mutex mutex;
    int devicesCreated = 0;
    int opens = 0;
    int closes = 0;
    int prepareCalls = 0;
    int prepared = 0;  // prepared now
    int unprepareCalls = 0;
    int addBufferCalls = 0;
    int starts = 0;
    int stops = 0;
    int resets = 0;
    std::deque<BlockHeader*> queued;  // input: queued for recording; output: written
    std::vector<std::uintptr_t> writtenUsers;
    std::vector<BlockHeader*> addBufferLog;
    DeviceSink* sink = nullptr;

    // Finishes the oldest queued block (the device recorded or played it).
    bool completeOne() {
        BlockHeader* h = nullptr;
        DeviceSink* s = nullptr;
        {
            std::lock_guard lock(mutex);
            if (queued.empty() || !sink) return false;
            h = queued.front();
            queued.pop_front();
            h->flags = (h->flags & ~kBlockInQueue) | kBlockDone;
            h->bytesRecorded = h->bufferLength;
            s = sink;
        }
        s->blockDone(h);
        return true;
    }

    template <class F>
    auto locked(F f) {
        std::lock_guard lock(mutex);
        return f();
    }
};

class FakeDevice final : public WaveDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeScript> s) : s_(std::move(s)) {}

    int open(const WaveFormat&, std::uint32_t, std::uint32_t, DeviceSink& sink) override {
        std::lock_guard lock(s_->mutex);
        ++s_->opens;
        if (s_->openResult != 0) return s_->openResult;
        s_->sink = &sink;
        return 0;
    }
    int prepare(BlockHeader& h) override {
        std::lock_guard lock(s_->mutex);
        if (s_->prepareCalls++ == s_->failPrepareAt) return s_->failResult;
        ++s_->prepared;
        h.flags |= kBlockPrepared;
        return 0;
    }
    int unprepare(BlockHeader& h) override {
        std::lock_guard lock(s_->mutex);
        ++s_->unprepareCalls;
        --s_->prepared;
        h.flags &= ~kBlockPrepared;
        return 0;
    }
    int addBuffer(BlockHeader& h) override {
        std::lock_guard lock(s_->mutex);
        s_->addBufferLog.push_back(&h);
        if (s_->addBufferCalls++ == s_->failAddBufferAt) return s_->failResult;
        h.flags |= kBlockInQueue;
        s_->queued.push_back(&h);
        return 0;
    }
    int write(BlockHeader& h) override {
        std::lock_guard lock(s_->mutex);
        h.flags |= kBlockInQueue;
        s_->queued.push_back(&h);
        s_->writtenUsers.push_back(h.user);
        return 0;
    }
    int start() override {
        return s_->locked([&] { return ++s_->starts, 0; });
    }
    int stop() override {
        return s_->locked([&] { return ++s_->stops, 0; });
    }
    int reset() override {
        DeviceSink* sink = nullptr;
        std::deque<BlockHeader*> back;
        {
            std::lock_guard lock(s_->mutex);
            ++s_->resets;
            back.swap(s_->queued);
            sink = s_->sink;
        }
        for (BlockHeader* h : back) {
            h->flags = (h->flags & ~kBlockInQueue) | kBlockDone;
            if (sink) sink->blockDone(h);
        }
        return 0;
    }
    int close() override {
        DeviceSink* sink = nullptr;
        {
            std::lock_guard lock(s_->mutex);
            ++s_->closes;
            sink = s_->sink;
            s_->sink = nullptr;
        }
        if (sink) sink->deviceClosed();
        return 0;
    }

private:
    std::shared_ptr<FakeScript> s_;
};

class FakeBackend final : public AudioBackend {
public:
    FakeBackend() : script(std::make_shared<FakeScript>()) {}
    bool hasDevice(bool output) const override {
        return output ? script->hasOutput : script->hasInput;
    }
    std::unique_ptr<WaveDevice> createDevice(bool) override {
        script->locked([&] { return ++script->devicesCreated; });
        return std::make_unique<FakeDevice>(script);
    }
    std::string name() const override { return "fake"; }

    std::shared_ptr<FakeScript> script;
};

// Polls a condition until it holds or two seconds pass.
inline bool eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace zeb::audio::test
