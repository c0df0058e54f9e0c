#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adapters/base/adapter.h"
#include "core/action_flags.h"

namespace quarzo {

class LogSink;

// The usage text shown by "Using command line..." and the console program's --help.
extern const char kCommandLineHelp[];

inline constexpr int kMaxCommandLineTokens = 128;

// Splits a command line into tokens: blanks separate them, a token that starts with a double quote
// runs to the next double quote. False for an empty line, no token, an open quote or too many tokens
// (the last two with a line in the log).
bool TokenizeCommandLine(const std::string& text, std::vector<std::string>& tokens, LogSink& sink);

// What a command line asks for. The parse stops at the first fault, so a rejected plan still carries
// what was read before it (the adapter's port, -pi), which the engine applies all the same.
struct CommandLinePlan {
    bool accepted = false;
    std::string rejection;  // the one error line of a rejected command line
    ActionFlags actions = 0;
    std::optional<std::string> file;  // loaded before the adapter is selected
    std::string outputFile;           // "-o": saved after a successful run; empty for none
    std::optional<AdapterKind> adapter;
    int portIndex = 0;       // into the adapter's port names, when no device path is given
    std::string devicePath;  // a device path naming the port for the run (POSIX systems)
    bool excludeInfo = false;
};

// Reads the tokens into a plan; touches nothing.
CommandLinePlan ParseCommandLine(std::vector<std::string> tokens);

}  // namespace quarzo
