// Holds the capture stream's block mutex for a scope, when there is one:
// decoder starts, stops and retunes take it so that no block is processed
// while they change. Tests run decoders without a stream (null).
#pragma once

#include <mutex>

namespace zeb::nimba {

class BlockLock {
public:
    explicit BlockLock(std::timed_mutex* mutex) : mutex_(mutex) {
        if (mutex_) mutex_->lock();
    }
    ~BlockLock() {
        if (mutex_) mutex_->unlock();
    }
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

private:
    std::timed_mutex* mutex_;
};

}  // namespace zeb::nimba
