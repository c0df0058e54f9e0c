#pragma once

#include <chrono>
#include <mutex>

#include "engine/log_sink.h"

namespace quarzo {

// The console's log: every line on stdout with its local time, errors in red on a terminal; progress
// as one self-overwriting line on stderr when that is a terminal; questions answered on the terminal.
class ConsoleLogSink : public LogSink {
public:
    explicit ConsoleLogSink(bool assumeYes);

    void RefreshView(int) override {}
    void ProgressStart(int low, int high) override;
    void ProgressPos(int position) override;
    void ProgressEnd() override;
    // For lines the front end writes itself, under the same rules.
    void Line(int level, const std::string& text) { LogLine(level, text); }

protected:
    void LogLine(int level, const std::string& text) override;
    int AskQuestion(const std::string& text) override;

private:
    void EraseProgress();

    bool assumeYes_;
    bool colour_;
    bool progressShown_;
    std::mutex mutex_;
    int low_ = 0, high_ = 0;
    bool progressActive_ = false;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace quarzo
