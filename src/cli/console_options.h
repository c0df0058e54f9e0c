#pragma once

#include <string>
#include <vector>

namespace quarzo {

// The console program's own options, taken from anywhere on its line; the rest is the command line shared
// with the window.
struct ConsoleOptions {
    bool help = false;
    bool version = false;
    bool listDevices = false;
    bool showSettings = false;
    bool saveSettings = false;
    bool detect = false;
    bool updateFet = false;
    bool assumeYes = false;
    std::vector<std::string> assignments;  // "KEY=VALUE" of each --set
    std::string device;                    // --device: a name or an index of --list-devices
    std::string commandLine;               // the rest, as one text
    std::string error;                     // set when the options cannot be used
};

ConsoleOptions ParseConsoleOptions(int argc, char** argv);

// The window's command-line help, then the console's options and where ports and settings live.
std::string ConsoleHelp(const std::string& settingsPath);

}  // namespace quarzo
