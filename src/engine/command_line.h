#pragma once

#include <string>
#include <vector>

namespace quarzo {

class LogSink;
class Programmer;

// The usage text shown by "Using command line..." and the console program's --help.
extern const char kCommandLineHelp[];

// Splits a command line into tokens: blanks separate them, a token that starts with a double quote
// runs to the next double quote. False for an empty line, no token, an open quote or too many tokens
// (the last two with a line in the log).
bool TokenizeCommandLine(const std::string& text, std::vector<std::string>& tokens, LogSink& sink);

// Turns the tokens into the run's actions, adapter, options and file, loading the file. False, with
// one error line, when the command line is rejected.
bool ParseCommandLine(Programmer& programmer, std::vector<std::string> tokens);

}  // namespace quarzo
