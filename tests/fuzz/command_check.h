#pragma once

// What must hold for any command line: the tokenizer keeps to its limit, the parse either accepts or
// names its one reason, and what it read stays inside the tables.
#include <cstdlib>
#include <string>
#include <vector>

#include "adapters/base/port_names.h"
#include "engine/command_line.h"
#include "engine/log_sink.h"

namespace quarzo::fuzz {

inline void CheckCommandLine(const std::string& text) {
    SilentLogSink sink;
    std::vector<std::string> tokens;
    if (!TokenizeCommandLine(text, tokens, sink)) {
        if (!tokens.empty()) std::abort();
        return;
    }
    if (tokens.empty() || tokens.size() > static_cast<size_t>(kMaxCommandLineTokens)) std::abort();
    CommandLinePlan plan = ParseCommandLine(tokens);
    if (plan.accepted == !plan.rejection.empty()) std::abort();
    if (plan.adapter) {
        const auto& ports = PortNames(*plan.adapter);
        if (plan.devicePath.empty() &&
            (plan.portIndex < 0 || plan.portIndex >= static_cast<int>(ports.size())))
            std::abort();
    }
    constexpr ActionFlags kLetters =
        kActionErase | kActionBlankCheck | kActionProgram | kActionVerify | kActionRead | kActionBlowFuse;
    if (plan.actions & ~kLetters) std::abort();
    if (plan.accepted && (plan.actions & (kActionProgram | kActionVerify)) && !plan.file) std::abort();
}

}  // namespace quarzo::fuzz
