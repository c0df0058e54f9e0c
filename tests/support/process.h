#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace quarzo::testing {

struct Outcome {
    int status;
    std::string out;
};

// Runs a shell command; its exit status (-1 when it did not exit) and everything it wrote to stdout.
inline Outcome RunShell(const std::string& command) {
    Outcome o{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return o;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) o.out.append(buffer, n);
    int status = pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

// The console program at cli run in folder with the settings file ini, stdin empty and stderr dropped.
inline Outcome RunConsole(const std::string& cli, const std::string& folder, const std::string& ini,
                          const std::string& args) {
    return RunShell("cd '" + folder + "' && QUARZO_INI='" + ini + "' " + cli + " " + args +
                    " </dev/null 2>/dev/null");
}

// A shell command running beside the test (its pid the program's when the command ends with "exec
// program ..."), its stdout read through a pipe as it comes.
class Child {
public:
    explicit Child(const std::string& command) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Lines up to and including the first that contains text, waiting at most seconds; all that was read.
    std::string ReadUntil(const std::string& text, int seconds = 20) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            size_t at = read_.find(text);
            if (at != std::string::npos && read_.find('\n', at) != std::string::npos) return read_;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buffer[512];
            ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            read_.append(buffer, static_cast<size_t>(n));
        }
        return read_;
    }
    // True while the process has not ended.
    bool Running() { return !Reap(WNOHANG); }
    void Signal(int signal) {
        if (pid_ > 0) kill(pid_, signal);
    }
    // The exit status once it has ended, and everything it wrote.
    Outcome Wait() {
        Reap(0);
        char buffer[512];
        ssize_t n;
        while (out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0)
            read_.append(buffer, static_cast<size_t>(n));
        return {status_, read_};
    }

private:
    // True once the process has ended (waiting for it unless WNOHANG), its status kept.
    bool Reap(int options) {
        int status = 0;
        if (pid_ <= 0) return true;
        if (waitpid(pid_, &status, options) != pid_) return false;
        pid_ = 0;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string read_;
};

// The console program's lines without their time stamps; every line must carry one.
inline std::vector<std::string> UnstampedLines(const std::string& out) {
    std::vector<std::string> lines;
    std::regex stamped(R"(^\d\d:\d\d:\d\d  (.*)$)");
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string line = out.substr(start, nl - start);
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
        lines.push_back(m.size() > 1 ? m[1].str() : line);
    }
    return lines;
}

}  // namespace quarzo::testing
