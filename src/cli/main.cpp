// quarzo: the console front end. Same engine and command line as the window; the log goes to stdout and
// the run's result becomes the exit status.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "adapters/adapter_set.h"
#include "cli/console_log_sink.h"
#include "core/device_table.h"
#include "core/settings_store.h"
#include "engine/command_line.h"
#include "engine/programmer.h"
#include "platform/settings_path.h"
#include "quarzo_version.h"

namespace {

using namespace quarzo;

std::atomic<int> interrupts{0};  // lock-free, so safe in a signal handler

void OnInterrupt(int) {
    if (++interrupts >= 2) std::_Exit(130);
}

// Arguments as one command-line text, quoting those that hold a blank or are empty.
std::string JoinArguments(int argc, char** argv, int first) {
    std::string text;
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (!text.empty()) text += ' ';
        bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        text += quote ? "\"" + arg + "\"" : arg;
    }
    return text;
}

void ListDevices() {
    for (int i = 0; i < kDeviceCount; ++i) {
        std::printf("%2d  %-24s %s\n", i, DeviceName(i), DeviceDescription(i).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool assumeYes = false;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        std::string option = argv[first];
        if (option == "--help") {
            std::fputs(kCommandLineHelp, stdout);
            return 0;
        }
        if (option == "--version") {
            std::puts("quarzo " QUARZO_VERSION_TEXT);
            return 0;
        }
        if (option == "--list-devices") {
            ListDevices();
            return 0;
        }
        if (option == "--yes") {
            assumeYes = true;
            continue;
        }
        std::fprintf(stderr, "quarzo: unknown option %s (try --help)\n", option.c_str());
        return 1;
    }
    if (first >= argc) {
        std::fputs(kCommandLineHelp, stdout);
        return 0;
    }

    std::string settingsPath = platform::SettingsFilePath();
    SettingsStore settings;
    settings.LoadSettings(settingsPath);

    ConsoleLogSink sink(assumeYes);
    AdapterSet adapters;
    Programmer programmer(adapters.List());
    programmer.SetSink(&sink);
    programmer.ApplySettings(settings);

    std::string text = JoinArguments(argc, argv, first);
    sink.Log(kLogInfo, "Command line: %s", text.c_str());
    std::signal(SIGINT, OnInterrupt);
    RunResult result = kRunCommandLineRejected;
    if (programmer.StartCommandLine(text.c_str())) {
        bool stopRequested = false;
        while (programmer.IsBusy()) {
            if (interrupts > 0 && !stopRequested) {
                stopRequested = true;
                programmer.Start(kActionStop);  // "Break current operation..." and the stop
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        result = programmer.WaitForRun();
    }
    settings.SaveSettings(settingsPath);
    return result;
}
