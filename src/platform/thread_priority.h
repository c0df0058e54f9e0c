#pragma once

#include <thread>

namespace quarzo::platform {

inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityTimeCritical = 15;

// Real-time or normal scheduling for the whole process; best effort, never an error.
void SetProcessRealtime(bool realtime);
// Priority of the calling thread (kThreadPriority...); best effort, never an error. False when the
// system refused a raised priority (the thread then runs at normal priority).
bool SetCurrentThreadPriority(int priority);
// Last resort for a thread that does not end: kills it with the exit code where the system allows
// that. Returns false where it does not (the caller then has to wait for the thread).
bool KillThread(std::thread& thread, unsigned exitCode);

}  // namespace quarzo::platform
