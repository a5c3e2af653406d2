#include "common/WorkQueue.h"

#include <utility>

namespace zeb {

WorkQueue::WorkQueue() : thread_([this] { run(); }) {}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void WorkQueue::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkQueue::drain() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return tasks_.empty() && running_ == 0; });
}

std::size_t WorkQueue::pending() const {
    std::lock_guard lock(mutex_);
    return tasks_.size() + running_;
}

void WorkQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
        // Quitting only once the queue is empty: what was handed over runs.
        if (tasks_.empty()) break;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        ++running_;
        lock.unlock();
        task();
        // The task's captures go before the queue counts it done.
        task = nullptr;
        lock.lock();
        --running_;
        if (tasks_.empty() && running_ == 0) done_.notify_all();
    }
}

}  // namespace zeb
