#pragma once

#include <cstdarg>
#include <string>

namespace quarzo {

#if defined(__GNUC__)
#define QUARZO_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUARZO_PRINTF(fmt, args)
#endif

inline constexpr int kLogInfo = 0;
inline constexpr int kLogError = 1;

// Where the engine's lines, questions, progress and view refreshes go. Log and Ask take printf-style
// formats checked by the compiler; implementations receive the finished text.
class LogSink {
public:
    virtual ~LogSink() = default;

    void Log(int level, const char* format, ...) QUARZO_PRINTF(3, 4);
    // A yes/no question; 1 means yes.
    int Ask(const char* format, ...) QUARZO_PRINTF(2, 3);
    // The image or its name changed; reading is 1 when a device read begins.
    virtual void RefreshView(int reading) = 0;
    virtual void ProgressStart(int low, int high) = 0;
    virtual void ProgressPos(int position) = 0;
    virtual void ProgressEnd() = 0;

protected:
    virtual void LogLine(int level, const std::string& text) = 0;
    virtual int AskQuestion(const std::string& text) = 0;
};

std::string FormatText(const char* format, va_list args);
std::string FormatText(const char* format, ...) QUARZO_PRINTF(1, 2);

// Drops everything; the answer to every question is no.
class SilentLogSink : public LogSink {
public:
    void RefreshView(int) override {}
    void ProgressStart(int, int) override {}
    void ProgressPos(int) override {}
    void ProgressEnd() override {}

protected:
    void LogLine(int, const std::string&) override {}
    int AskQuestion(const std::string&) override { return 0; }
};

}  // namespace quarzo
