// Real-time scheduling for the threads that must keep up with a device (the
// sound card's service thread, the serial reader), where the user may have
// it. Ordinary users usually may not: the thread then stays at normal
// priority and the program goes on.
#pragma once

#include <thread>

namespace zeb {

// SCHED_FIFO at `level` steps above the lowest real-time priority; false when
// the system refused.
bool raiseThreadPriority(std::thread& thread, int level);

}  // namespace zeb
