#include "ui/window_log_sink.h"

#include "ui/model/window_model.h"

namespace quarzo {
namespace {

// On the window's own thread a plain wait could block a worker that holds the mutex while it sends
// to the window; handle sent messages while waiting.
DWORD WaitHandlingSentMessages(HANDLE mutex, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        DWORD left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        DWORD result = MsgWaitForMultipleObjects(1, &mutex, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

WindowLogSink::WindowLogSink() : mutex_(CreateMutexA(nullptr, FALSE, "mutexPrgCallbackWin")) {}

WindowLogSink::~WindowLogSink() {
    if (mutex_) CloseHandle(mutex_);
}

void WindowLogSink::LogLine(int level, const std::string& text) {
    bool windowThread = HasWindow() && GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId();
    DWORD wait = !mutex_        ? WAIT_OBJECT_0
                 : windowThread ? WaitHandlingSentMessages(mutex_, 3000)
                                : WaitForSingleObject(mutex_, 3000);
    // An owner that ended without releasing still hands the mutex over.
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return;
    text_ = text;
    if (HasWindow()) SendMessageA(window_, message_, kAppendLine, level);
    if (mutex_) ReleaseMutex(mutex_);
}

int WindowLogSink::AskQuestion(const std::string& text) {
    HWND owner = HasWindow() ? window_ : nullptr;
    return MessageBoxA(owner, text.c_str(), "Question", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void WindowLogSink::Post(WPARAM notice, LPARAM value, DWORD pauseMs) {
    if (!HasWindow()) return;
    PostMessageA(window_, message_, notice, value);
    Sleep(pauseMs);
}

void WindowLogSink::RefreshView(int reading) {
    Post(kRefresh, reading, 100);
}

void WindowLogSink::ProgressStart(int low, int high) {
    if (auto packed = PackProgressRange(low, high)) {
        Post(kProgressStart, static_cast<LPARAM>(*packed), 1);
        return;
    }
    // Memory past 0xFFFF does not fit the packed form; its range waits here for the window.
    wideLow_ = low;
    wideHigh_ = high;
    Post(kProgressStartWide, 0, 1);
}

void WindowLogSink::ProgressPos(int position) {
    Post(kProgressPos, position, 1);
}

void WindowLogSink::ProgressEnd() {
    Post(kProgressEnd, 0, 1);
}

}  // namespace quarzo
