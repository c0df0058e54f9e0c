#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/log_sink.h"

namespace quarzo::testing {

// Keeps everything the engine reports, in order: "0 text" / "1 text" for lines, "ask text",
// "refresh N", "start LOW HIGH", "pos N", "end".
class RecordingLogSink : public LogSink {
public:
    int answer = 0;  // to every question
    // Called with each line's text after it is recorded (a test raises a stop at a chosen line).
    std::function<void(const std::string& text)> onLine;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // The last line, "" before any.
    std::string LastLine() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.empty() ? "" : lines_.back();
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
        events_.clear();
    }

    void RefreshView(int reading) override { Event("refresh " + std::to_string(reading)); }
    void ProgressStart(int low, int high) override {
        Event("start " + std::to_string(low) + " " + std::to_string(high));
    }
    void ProgressPos(int position) override { Event("pos " + std::to_string(position)); }
    void ProgressEnd() override { Event("end"); }

protected:
    void LogLine(int level, const std::string& text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::to_string(level) + " " + text);
            events_.push_back(lines_.back());
        }
        if (onLine) onLine(text);
    }
    int AskQuestion(const std::string& text) override {
        Event("ask " + text);
        return answer;
    }

private:
    void Event(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(e);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<std::string> events_;
};

}  // namespace quarzo::testing
