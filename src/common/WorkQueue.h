// The program's one thread for slow work that the capture thread hands over:
// file writes, renames, directory scans and settings writes. The capture
// thread must never wait for the disk, or audio blocks are lost while it
// waits; it posts the work here instead and goes on computing.
//
// Tasks run one at a time in the order they were posted, so files written
// one after another keep their order. Destroying the queue runs every task
// still waiting before it returns: nothing handed over is lost at shutdown.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zeb {

class WorkQueue {
public:
    using Task = std::function<void()>;

    WorkQueue();
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Any thread; never waits for a task to run. From a task itself, the new
    // task runs after the ones already queued.
    void post(Task task);
    // Waits until every task posted before the call has run. Not from a task.
    void drain();
    // Tasks posted and not finished yet.
    std::size_t pending() const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Task> tasks_;
    std::size_t running_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

// Runs `task` on `queue`, or at once on the calling thread when there is no
// queue (tests, and tools that decode a file and may wait).
inline void runOn(WorkQueue* queue, WorkQueue::Task task) {
    if (queue != nullptr) {
        queue->post(std::move(task));
    } else {
        task();
    }
}

}  // namespace zeb
