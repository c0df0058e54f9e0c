#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/log_sink.h"

namespace quarzo {

// The window's LogSink: the worker thread hands each line to the window with a sent message (the
// window appends the shared text while the worker waits), and progress and refresh with posted ones.
class WindowLogSink : public LogSink {
public:
    enum Notice : WPARAM {
        kAppendLine = 0,
        kProgressStart = 1,
        kProgressPos = 2,
        kProgressEnd = 3,
        kRefresh = 4,
        kProgressStartWide = 5,  // a range that does not fit two 16-bit halves: see WideRange
    };

    WindowLogSink();
    ~WindowLogSink() override;

    void SetWindow(HWND window, UINT message) {
        window_ = window;
        message_ = message;
    }
    // The line being appended; valid while the window handles kAppendLine.
    const std::string& Text() const { return text_; }
    // The range of the latest kProgressStartWide.
    void WideRange(int& low, int& high) const {
        low = wideLow_.load();
        high = wideHigh_.load();
    }

    void RefreshView(int reading) override;
    void ProgressStart(int low, int high) override;
    void ProgressPos(int position) override;
    void ProgressEnd() override;

protected:
    void LogLine(int level, const std::string& text) override;
    int AskQuestion(const std::string& text) override;

private:
    bool HasWindow() const { return window_ != nullptr && IsWindow(window_); }
    void Post(WPARAM notice, LPARAM value, DWORD pauseMs);

    HANDLE mutex_;
    std::string text_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    std::atomic<int> wideLow_{0};
    std::atomic<int> wideHigh_{0};
};

}  // namespace quarzo
