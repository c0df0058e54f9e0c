// Any command line, as typed or as a second instance leaves it in the shared block (no NUL, overlong,
// any bytes): the tokenizer keeps to its limit, the parse either accepts or names its one reason, and
// what it read stays inside the tables.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "adapters/base/port_names.h"
#include "engine/command_line.h"
#include "engine/log_sink.h"
#include "ui/model/window_model.h"

using namespace quarzo;

static void CheckCommandLine(const std::string& text) {
    SilentLogSink sink;
    std::vector<std::string> tokens;
    if (!TokenizeCommandLine(text, tokens, sink)) {
        if (!tokens.empty()) std::abort();
        return;
    }
    if (tokens.empty() || tokens.size() > static_cast<size_t>(kMaxCommandLineTokens)) std::abort();
    CommandLinePlan plan = ParseCommandLine(tokens);
    if (plan.accepted == !plan.rejection.empty()) std::abort();
    if (plan.adapter && plan.devicePath.empty() &&
        (plan.portIndex < 0 || plan.portIndex >= static_cast<int>(PortNames(*plan.adapter).size())))
        std::abort();
    constexpr ActionFlags kLetters =
        kActionErase | kActionBlankCheck | kActionProgram | kActionVerify | kActionRead | kActionBlowFuse;
    if (plan.actions & ~kLetters) std::abort();
    if (plan.accepted && (plan.actions & (kActionProgram | kActionVerify)) && !plan.file) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckCommandLine(std::string(reinterpret_cast<const char*>(data), size));
    char field[kHandoverTextSize];
    std::memset(field, 'x', sizeof field);  // whatever the block held before
    std::memcpy(field, data, size < sizeof field ? size : sizeof field);
    std::string text = HandoverText(field);
    if (text.size() > sizeof field || text.find('\0') != std::string::npos) std::abort();
    CheckCommandLine(text);
    return 0;
}
