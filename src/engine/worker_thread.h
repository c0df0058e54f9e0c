#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "adapters/base/cancel_flag.h"

namespace quarzo {

// The one worker thread of the engine, with its stop event (reset when seen) and the cancellation
// flag that the adapters watch.
class WorkerThread {
public:
    static constexpr int kStopTimeoutMs = 3000;
    // Waits until ended() or the time-out; a window installs one that keeps handling sent messages.
    using WaitHook = std::function<void(const std::function<bool()>& ended, int timeoutMs)>;

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { Stop(); }

    // Stops any previous thread, then runs body on a new thread at the stored priority. False when the
    // system refuses the thread: Join then gives a failed run.
    bool Start(std::function<int()> body);
    // The thread exists and has not ended.
    bool IsRunning() const { return thread_.joinable() && !ended_.load(); }
    // Signals the stop, waits up to kStopTimeoutMs, then joins (or, where the system allows, kills).
    void Stop();
    // Sets the stop event alone, without waiting and without cancelling waits in progress.
    void SignalStop() {
        stopSignalled_ = true;
        cancel_.Raise();
    }
    // True once for each stop request, and whenever there is no running thread's stop event.
    bool PollStop();
    // Waits for the current thread to end by itself and returns its exit code.
    int Join();
    // Waits up to timeoutMs for the current thread to end; true once it has (or when there is none).
    bool WaitUntilEnded(int timeoutMs);

    const CancelFlag& Cancel() const { return cancel_; }
    void SetPriority(int priority) { priority_ = priority; }
    // Whether the system refused the last thread its raised priority.
    bool PriorityRefused() const { return priorityRefused_.load(); }
    void SetWaitHook(WaitHook hook) { waitHook_ = std::move(hook); }
    // Why the last Start could not make its thread.
    const std::string& LastError() const { return lastError_; }

private:
    void WaitForEnd(int timeoutMs);

    std::thread thread_;
    std::atomic<bool> ended_{true};
    std::atomic<bool> hasStopEvent_{false};
    std::atomic<bool> stopSignalled_{false};
    CancelFlag cancel_;
    std::atomic<int> exitCode_{0};
    int priority_ = 0;
    std::atomic<bool> priorityRefused_{false};
    std::string lastError_;
    WaitHook waitHook_;
    std::mutex mutex_;
    std::condition_variable endedChanged_;
};

}  // namespace quarzo
