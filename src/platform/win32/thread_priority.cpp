#include "platform/thread_priority.h"

#include <windows.h>

#include <pthread.h>

namespace quarzo::platform {

void SetProcessRealtime(bool realtime) {
    DWORD wanted = realtime ? REALTIME_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
    HANDLE process = GetCurrentProcess();
    if (GetPriorityClass(process) != wanted) SetPriorityClass(process, wanted);
}

bool SetCurrentThreadPriority(int priority) {
    return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

bool KillThread(std::thread& thread, unsigned exitCode) {
    HANDLE handle = pthread_gethandle(thread.native_handle());
    if (handle == nullptr || !TerminateThread(handle, exitCode)) return false;
    thread.detach();
    return true;
}

}  // namespace quarzo::platform
