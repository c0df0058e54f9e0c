// quarzo: the console front end. Same engine and command line as the window; the log goes to stdout and
// the run's result becomes the exit status.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "adapters/adapter_set.h"
#include "adapters/base/port_names.h"
#include "cli/console_log_sink.h"
#include "cli/console_options.h"
#include "cli/console_reports.h"
#include "cli/console_settings.h"
#include "core/device_table.h"
#include "core/settings_store.h"
#include "core/text_util.h"
#include "engine/command_line.h"
#include "engine/programmer.h"
#include "platform/settings_path.h"
#include "quarzo_version.h"

namespace {

using namespace quarzo;

std::atomic<int> interrupts{0};  // lock-free, so safe in a signal handler
CancelFlag detectCancel;         // also lock-free

void OnInterrupt(int) {
    detectCancel.Raise();
    if (++interrupts >= 2) std::_Exit(130);
}

// A name or an index of the device table; -1 when it is neither.
int DeviceFromOption(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        int index = std::atoi(text.c_str());
        return text.size() <= 3 && index < kDeviceCount ? index : -1;
    }
    int index = FindDeviceByName(text);
    return index == 0 ? -1 : index;
}

void ListDevices() {
    for (int i = 0; i < kDeviceCount; ++i) {
        std::printf("%2d  %-24s %s\n", i, DeviceName(i), DeviceDescription(i).c_str());
    }
}

// The command line read here as well, for what only the console decides; nothing when it does not
// split into tokens (the run then says why).
std::optional<CommandLinePlan> PlanOf(const std::string& text) {
    SilentLogSink silent;
    std::vector<std::string> tokens;
    if (!TokenizeCommandLine(text, tokens, silent)) return std::nullopt;
    return ParseCommandLine(tokens);
}

RunResult RunCommandLine(Programmer& programmer, ConsoleLogSink& sink, const std::string& text,
                         const std::optional<CommandLinePlan>& plan) {
    sink.Log(kLogInfo, "Command line: %s", text.c_str());
    // The window shows what it read; here it would be read and thrown away.
    if (plan && plan->accepted && (plan->actions & kActionRead) && plan->outputFile.empty()) {
        sink.Log(kLogError, "+r needs -o FILE: the console keeps what it reads only in a file");
        return kRunCommandLineRejected;
    }
    if (!programmer.StartCommandLine(text.c_str())) return kRunCommandLineRejected;
    bool stopRequested = false;
    // Ends as soon as the run does; the time-out only lets a Ctrl+C be noticed.
    while (!programmer.WaitForRunEnd(50)) {
        if (interrupts > 0 && !stopRequested) {
            stopRequested = true;
            programmer.Start(kActionStop);  // "Break current operation..." and the stop
        }
    }
    RunResult result = programmer.WaitForRun();
    // A stopped verify compared only part of the image: its marks say nothing.
    if (result != kRunComplete && !stopRequested) ReportMismatches(programmer.Image(), sink);
    return result;
}

// The FET's firmware update, asked for by its own option; the rest of the line may only name the port.
RunResult UpdateFetFirmware(Programmer& programmer, const std::string& rest) {
    Adapter* fet = programmer.AdapterOfKind(kAdapterFetDll);
    if (!rest.empty()) {
        if (rest.compare(0, 5, "-FET=") != 0 || rest.find(' ') != std::string::npos) {
            std::fprintf(stderr, "quarzo: --update-fet takes only -FET=PORT\n");
            return kRunCommandLineRejected;
        }
        std::string port = rest.substr(5);
        const auto& names = PortNames(kAdapterFetDll);
        auto known = std::find_if(names.begin(), names.end(),
                                  [&](const std::string& n) { return EqualsNoCase(n, port); });
        if (known != names.end())
            fet->SetPortIndex(static_cast<int>(known - names.begin()));
        else
            fet->SetDevicePath(port);
    }
    programmer.SelectAdapter(kAdapterFetDll);
    programmer.Start(kActionUpdateFirmware);
    return programmer.WaitForRun();
}

}  // namespace

int main(int argc, char** argv) {
    // Each line as it happens, also into a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ConsoleOptions options = ParseConsoleOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "quarzo: %s (try --help)\n", options.error.c_str());
        return 1;
    }
    std::string settingsPath = platform::SettingsFilePath();
    if (options.help || (argc <= 1)) {
        std::fputs(ConsoleHelp(settingsPath).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("quarzo " QUARZO_VERSION_TEXT);
        return 0;
    }
    if (options.listDevices) {
        ListDevices();
        return 0;
    }

    SettingsStore settings;
    settings.LoadSettings(settingsPath);
    for (const std::string& assignment : options.assignments) {
        std::string error = AssignSetting(settings, assignment);
        if (!error.empty()) {
            std::fprintf(stderr, "quarzo: --set %s\n", error.c_str());
            return 1;
        }
    }
    if (options.showSettings) {
        std::printf("Settings file: %s\n",
                    settingsPath.empty() ? "(none: no home folder)" : settingsPath.c_str());
        std::fputs(SettingsListing(settings).c_str(), stdout);
    }

    ConsoleLogSink sink(options.assumeYes);
    AdapterSet adapters;
    Programmer programmer(adapters.List());
    programmer.SetSink(&sink);
    programmer.ApplySettings(settings);
    if (!options.device.empty()) {
        int index = DeviceFromOption(options.device);
        if (index < 0) {
            std::fprintf(stderr, "quarzo: unknown device \"%s\" (--list-devices lists them)\n",
                         options.device.c_str());
            return 1;
        }
        programmer.deviceIndex = index;
    }
    std::signal(SIGINT, OnInterrupt);
    // A file size limit makes a save fail with an error, like a full disk, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);

    RunResult result = kRunComplete;
    std::optional<CommandLinePlan> plan = PlanOf(options.commandLine);
    if (options.detect) {
        adapters.bsl.SetCancelFlag(&detectCancel);
        result = DetectWiring(options.commandLine, adapters.bsl, settings, sink);
    } else if (options.updateFet) {
        result = UpdateFetFirmware(programmer, options.commandLine);
    } else if (!options.commandLine.empty()) {
        result = RunCommandLine(programmer, sink, options.commandLine, plan);
    }
    if (options.saveSettings && result == kRunComplete) {
        // The next run without an adapter option goes where this one went.
        std::string notKept = plan ? StoreCommandLinePort(settings, *plan) : "";
        if (!notKept.empty()) std::fprintf(stderr, "quarzo: --save-settings: %s\n", notKept.c_str());
        if (!settings.SaveSettings(settingsPath)) {
            std::fprintf(stderr, "quarzo: cannot write the settings file %s\n", settingsPath.c_str());
            return 1;
        }
    }
    return result;
}
