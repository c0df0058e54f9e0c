#include "cli/console_log_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

namespace quarzo {

ConsoleLogSink::ConsoleLogSink(bool assumeYes)
    : assumeYes_(assumeYes),
      colour_(isatty(STDOUT_FILENO) != 0),
      progressShown_(isatty(STDERR_FILENO) != 0) {}

void ConsoleLogSink::LogLine(int level, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    EraseProgress();
    std::time_t now = std::time(nullptr);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
    const char* on = colour_ && level == 1 ? "\033[31m" : "";
    const char* off = colour_ && level == 1 ? "\033[0m" : "";
    std::printf("%s  %s%s%s\n", stamp, on, text.c_str(), off);
    std::fflush(stdout);
}

int ConsoleLogSink::AskQuestion(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    EraseProgress();
    if (!isatty(STDIN_FILENO)) return assumeYes_ ? 1 : 0;
    if (assumeYes_) return 1;
    std::string question = text;
    for (size_t at; (at = question.find("\r\n")) != std::string::npos;) question.replace(at, 2, "\n");
    std::printf("%s [y/n] ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" ? 1 : 0;
}

void ConsoleLogSink::ProgressStart(int low, int high) {
    std::lock_guard<std::mutex> lock(mutex_);
    low_ = low;
    high_ = high;
    progressActive_ = true;
    started_ = std::chrono::steady_clock::now();
}

void ConsoleLogSink::ProgressPos(int position) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!progressShown_ || !progressActive_ || high_ <= low_) return;
    double done = std::clamp(static_cast<double>(position - low_) / (high_ - low_), 0.0, 1.0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    constexpr int kWidth = 30;
    int filled = static_cast<int>(done * kWidth);
    std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
    double rate = seconds > 0 ? (position - low_) / seconds : 0;
    std::fprintf(stderr, "\r[%s] %3d%% %8.0f B/s", bar.c_str(), static_cast<int>(done * 100), rate);
    std::fflush(stderr);
}

void ConsoleLogSink::ProgressEnd() {
    std::lock_guard<std::mutex> lock(mutex_);
    EraseProgress();
    progressActive_ = false;
}

void ConsoleLogSink::EraseProgress() {
    if (progressShown_ && progressActive_) std::fprintf(stderr, "\r\033[K");
}

}  // namespace quarzo
