#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace quarzo::platform {

// Linux has no process priority class; the time-critical worker asks for a real-time policy instead.
void SetProcessRealtime(bool) {}

void SetCurrentThreadPriority(int priority) {
    sched_param param{};
    if (priority >= kThreadPriorityTimeCritical) {
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        // Refused without the privilege; the thread then simply stays at normal priority.
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
    }
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
}

bool KillThread(std::thread&, unsigned) {
    return false;
}

}  // namespace quarzo::platform
