#include "cli/console_options.h"

#include <cstring>

#include "engine/command_line.h"

namespace quarzo {

namespace {

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

const char kConsoleOptions[] =
    "Console options (before the actions; --yes may also end the line):\n"
    "--help            This text.\n"
    "--version         The program's version.\n"
    "--list-devices    The known devices: index, name, memory.\n"
    "--settings        The settings file, and every setting: section/key, value and what\n"
    "                  it does; then the devices of [Ports].\n"
    "--set KEY=VALUE   Changes a setting for this run; KEY is Section/Key, or Key alone\n"
    "                  when only one section has it; Ports/COM12=/dev/ttyUSB0 names a\n"
    "                  port's device. Repeat for more.\n"
    "--save-settings   Writes the settings file with the changes of --set and --detect,\n"
    "                  and the adapter and port of the command line.\n"
    "                  Without it the settings file is never written.\n"
    "--detect          With -BSL=: finds which of RST invert and TST invert the serial\n"
    "                  adapter needs, by trying each way on the target.\n"
    "--update-fet      With -FET= or the stored FET port: updates the FET's firmware to the\n"
    "                  version of the FET library, with progress; nothing else updates it.\n"
    "--device NAME     The part for this run, by name or by its --list-devices index;\n"
    "                  without it the loader's identification decides.\n"
    "--yes             Answers yes to every question (blowing the fuse).\n"
    "\n"
    "Ports:\n"
    "-BSL=COM1 to COM256 stand for the devices in the section [Ports] of the settings\n"
    "file (COM1=/dev/ttyS0 to COM8=/dev/ttyS7 unless set; COM9 and above only when set).\n"
    "-BSL=, -FET= and -RAW= also take a device path for one run: -BSL=/dev/ttyUSB0.\n"
    "-RAW=LPT1 to LPT3 stand for LPT1 to LPT3 in [Ports] (default /dev/parport0 to 2, group lp);\n"
    "-RAW=LPTx is the port address \"Custom address\" itself (root or CAP_SYS_RAWIO).\n"
    "Serial devices need membership of the dialout group; a port serves one program at a time.\n"
    "+r needs -o FILE here: the console keeps what it reads only in a file.\n"
    "The FET library is $QUARZO_FETLIB, else libmsp430.so on the library path.\n"
    "\n"
    "Exit status: 0 done, 1 command line rejected, 2 no adapter, 3 file reload failed,\n"
    "4 an action failed or was stopped.\n";

}  // namespace

ConsoleOptions ParseConsoleOptions(int argc, char** argv) {
    ConsoleOptions o;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        std::string option = argv[first];
        if (option == "--help") {
            o.help = true;
        } else if (option == "--version") {
            o.version = true;
        } else if (option == "--list-devices") {
            o.listDevices = true;
        } else if (option == "--settings") {
            o.showSettings = true;
        } else if (option == "--save-settings") {
            o.saveSettings = true;
        } else if (option == "--detect") {
            o.detect = true;
        } else if (option == "--update-fet") {
            o.updateFet = true;
        } else if (option == "--yes") {
            o.assumeYes = true;
        } else if (option == "--device") {
            if (first + 1 >= argc) {
                o.error = "--device needs a name or an index";
                return o;
            }
            o.device = argv[++first];
        } else if (option == "--set") {
            if (first + 1 >= argc || std::strchr(argv[first + 1], '=') == nullptr) {
                o.error = "--set needs KEY=VALUE";
                return o;
            }
            o.assignments.push_back(argv[++first]);
        } else {
            o.error = "unknown option " + option;
            return o;
        }
    }
    // The answer to the fuse question may also close the line, where it is easily added to a command.
    while (argc > first && std::strcmp(argv[argc - 1], "--yes") == 0) {
        o.assumeYes = true;
        --argc;
    }
    o.commandLine = JoinArguments(argc, argv, first);
    return o;
}

std::string ConsoleHelp(const std::string& settingsPath) {
    return std::string(kCommandLineHelp) + kConsoleOptions +
           "Settings file: " + (settingsPath.empty() ? "(none: no home folder)" : settingsPath) +
           " ($QUARZO_INI, else $XDG_CONFIG_HOME/quarzo/quarzo.ini or ~/.config/quarzo/quarzo.ini)\n";
}

}  // namespace quarzo
