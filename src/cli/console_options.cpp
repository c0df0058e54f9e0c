#include "cli/console_options.h"

#include <cstring>

#include "core/text_util.h"
#include "engine/command_line.h"

namespace quarzo {

namespace {

// Arguments as one command-line text, quoting those that hold a blank or are empty.
std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& arg : arguments) {
        if (!text.empty()) text += ' ';
        bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        text += quote ? "\"" + arg + "\"" : arg;
    }
    return text;
}

const char kConsoleOptions[] =
    "Console options (anywhere on the line, each with its value):\n"
    "-h, --help        This text.\n"
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
    std::vector<std::string> rest;  // the command line's own tokens, in their order
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option.rfind("--", 0) != 0 && option != "-h") {
            rest.push_back(option);
            // The output file's name is the command line's, whatever it looks like.
            if (EqualsNoCase(option, "-o") && i + 1 < argc) rest.push_back(argv[++i]);
            continue;
        }
        if (option == "--help" || option == "-h") {
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
            if (i + 1 >= argc) {
                o.error = "--device needs a name or an index";
                return o;
            }
            o.device = argv[++i];
        } else if (option == "--set") {
            if (i + 1 >= argc || std::strchr(argv[i + 1], '=') == nullptr) {
                o.error = "--set needs KEY=VALUE";
                return o;
            }
            o.assignments.push_back(argv[++i]);
        } else {
            o.error = "unknown option " + option;
            return o;
        }
    }
    o.commandLine = JoinArguments(rest);
    return o;
}

std::string ConsoleHelp(const std::string& settingsPath) {
    return std::string(kCommandLineHelp) + kConsoleOptions +
           "Settings file: " + (settingsPath.empty() ? "(none: no home folder)" : settingsPath) +
           " ($QUARZO_INI, else $XDG_CONFIG_HOME/quarzo/quarzo.ini or ~/.config/quarzo/quarzo.ini)\n";
}

}  // namespace quarzo
