#include "common/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

namespace zeb {

bool raiseThreadPriority(std::thread& thread, int level) {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + level;
    return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}

}  // namespace zeb
