#include "engine/worker_thread.h"

#include <chrono>
#include <system_error>

#include "core/action_flags.h"
#include "platform/thread_priority.h"

namespace quarzo {

bool WorkerThread::Start(std::function<int()> body) {
    Stop();
    stopSignalled_ = false;
    cancel_.Reset();
    hasStopEvent_ = true;
    ended_ = false;
    try {
        thread_ = std::thread([this, body = std::move(body), priority = priority_] {
            priorityRefused_ = !platform::SetCurrentThreadPriority(priority);
            exitCode_ = body();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ended_ = true;
            }
            endedChanged_.notify_all();
        });
    } catch (const std::system_error& e) {
        lastError_ = e.code().message();
        exitCode_ = kRunActionFailed;
        ended_ = true;
        hasStopEvent_ = false;
        return false;
    }
    return true;
}

void WorkerThread::WaitForEnd(int timeoutMs) {
    if (waitHook_) {
        waitHook_([this] { return ended_.load(); }, timeoutMs);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    endedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_.load(); });
}

void WorkerThread::Stop() {
    if (thread_.joinable()) {
        if (!ended_) {
            stopSignalled_ = true;
            cancel_.Raise();
            WaitForEnd(kStopTimeoutMs);
        }
        if (ended_ || !platform::KillThread(thread_, kRunTerminated)) {
            thread_.join();
        } else {
            exitCode_ = kRunTerminated;
            ended_ = true;
        }
    }
    hasStopEvent_ = false;
}

bool WorkerThread::PollStop() {
    if (!hasStopEvent_) return true;
    return stopSignalled_.exchange(false);
}

bool WorkerThread::WaitUntilEnded(int timeoutMs) {
    WaitForEnd(timeoutMs);
    return ended_.load();
}

int WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
    return exitCode_;
}

}  // namespace quarzo
