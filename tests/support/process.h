#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace quarzo::testing {

// Runs a shell command; its exit status (-1 when it did not exit) and everything it wrote to stdout.
inline Outcome RunShell(const std::string& command) {
    return Child(command).Wait();
}

// The console program at cli run in folder with the settings file ini, stdin empty and stderr dropped.
inline Outcome RunConsole(const std::string& cli, const std::string& folder, const std::string& ini,
                          const std::string& args) {
    return RunShell("cd '" + folder + "' && QUARZO_INI='" + ini + "' " + cli + " " + args +
                    " </dev/null 2>/dev/null");
}

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
