#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace quarzo::platform {

// Linux has no process priority class; the time-critical worker asks for a real-time policy instead.
void SetProcessRealtime(bool) {}

bool SetCurrentThreadPriority(int priority) {
    sched_param param{};
    if (priority >= kThreadPriorityTimeCritical) {
        // A middle real-time priority: above every normal process, below the system's own real-time
        // threads, so that a busy-waiting run cannot starve what keeps the machine going.
        param.sched_priority = (sched_get_priority_min(SCHED_FIFO) + sched_get_priority_max(SCHED_FIFO)) / 2;
        // Refused without the privilege; the thread then simply stays at normal priority.
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return true;
    }
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    return priority < kThreadPriorityTimeCritical;
}

bool KillThread(std::thread&, unsigned) {
    return false;
}

}  // namespace quarzo::platform
