#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace quarzo::testing {

// quarzo-sim as a child process, its first output line (the pty's path) read from outFile; stopped
// with SIGTERM, as a user's Ctrl+C or a service manager would.
class SimProcess {
public:
    SimProcess(const std::string& simPath, const std::string& args, const std::string& outFile) {
        pid_ = fork();
        if (pid_ == 0) {
            execl("/bin/sh", "sh", "-c", ("exec " + simPath + " " + args + " >" + outFile).c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && path_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::string out = ReadFile(outFile);
            if (auto nl = out.find('\n'); nl != std::string::npos) path_ = out.substr(0, nl);
        }
    }
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Empty when the simulator did not start.
    const std::string& DevicePath() const { return path_; }
    pid_t Pid() const { return pid_; }
    // The exit status; -1 when it did not exit by itself after the signal.
    int Stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = 0;
    int status_ = -1;
    std::string path_;
};

}  // namespace quarzo::testing
