#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace quarzo::testing {

struct Outcome {
    int status;  // -1 when the program did not exit by itself
    std::string out;
};

// A shell command running beside the test, its stdout read through a pipe as it comes. The command ends
// in "exec program ...", so that the shell's pid, which it writes first, becomes the program's.
class Child {
public:
    explicit Child(const std::string& command) : pipe_(popen(("echo $$; " + command).c_str(), "r")) {
        std::string first = ReadUntil("\n");
        pid_ = std::atoi(first.c_str());
        read_.erase(0, first.find('\n') + 1);
    }
    ~Child() {
        Signal(SIGKILL);
        Wait();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Lines up to and including the first that contains text, waiting at most seconds; all that was read.
    std::string ReadUntil(const std::string& text, int seconds = 20) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (pipe_ && std::chrono::steady_clock::now() < end) {
            size_t at = read_.find(text);
            if (at != std::string::npos && read_.find('\n', at) != std::string::npos) break;
            pollfd p{fileno(pipe_), POLLIN, 0};
            if (poll(&p, 1, 50) > 0 && !Take()) break;
        }
        return read_;
    }
    pid_t Pid() const { return pid_; }
    // Only until it has been waited for: its pid may be another's afterwards.
    void Signal(int signal) {
        if (pipe_ && pid_ > 0) kill(pid_, signal);
    }
    // The exit status once it has ended, and everything it wrote.
    Outcome Wait() {
        if (pipe_) {
            while (Take()) {
            }
            int status = pclose(pipe_);
            pipe_ = nullptr;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return {status_, read_};
    }

private:
    // Adds what the pipe holds to what was read; false at its end.
    bool Take() {
        char buffer[512];
        ssize_t n = read(fileno(pipe_), buffer, sizeof buffer);
        if (n > 0) read_.append(buffer, static_cast<size_t>(n));
        return n > 0;
    }

    std::FILE* pipe_;
    pid_t pid_ = 0;
    int status_ = -1;
    std::string read_;
};

// quarzo-sim as a child process, its first output line (the pty's path) read from outFile; stopped
// with SIGTERM, as a user's Ctrl+C or a service manager would.
class SimProcess : public Child {
public:
    SimProcess(const std::string& simPath, const std::string& args, const std::string& outFile)
        : Child("exec " + simPath + " " + args + " >" + outFile) {
        for (int i = 0; i < 200 && path_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::string out = ReadFile(outFile);
            if (auto nl = out.find('\n'); nl != std::string::npos) path_ = out.substr(0, nl);
        }
    }
    ~SimProcess() { Stop(); }

    // Empty when the simulator did not start.
    const std::string& DevicePath() const { return path_; }
    // The exit status; -1 when it did not exit by itself after the signal.
    int Stop() {
        Signal(SIGTERM);
        return Wait().status;
    }

private:
    std::string path_;
};

}  // namespace quarzo::testing
