#include "engine/command_line.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "adapters/base/port_names.h"
#include "core/file_format.h"
#include "core/text_util.h"
#include "engine/log_sink.h"

namespace quarzo {

const char kCommandLineHelp[] =
    "Usage:  quarzo {+<action>} [sourcefile] [<options>]\n"
    "\n"
    "Action: (only the specified actions are executed)\n"
    "e    Mass erase        v    Verify file\n"
    "b    Blank check        r    Read device memory\n"
    "p    Program file       f    Blow fuse\n"
    "\n"
    "Option: (specified order is of no importance)\n"
    "-o file   Set output file.\n"
    "\n"
    "-RAW={n}  Select FET RAW adapter\n"
    "             where n is LPT port name (LPT1, LPT2, LPT3, LPTx).\n"
    "\n"
    "-FET={n}  Select FET DLL adapter. Require msp430.dll installed\n"
    "             where n is port name (TIUSB or LPT1, LPT2 and etc).\n"
    "\n"
    "-BSL={n}  Select BSL adapter\n"
    "             where n is serial port name (COM1, COM2 and etc).\n"
    "\n"
    "Examples:\n"
    "Program new file:\n"
    "   quarzo +ebpv file.txt -RAW=LPT1\n"
    "\n"
    "Verify by file:\n"
    "   quarzo +v \"long filename.hex\" -RAW=LPT2\n"
    "\n"
    "Blow fuse (with prompt)\n"
    "  quarzo +f -FET=TIUSB\n"
    "\n"
    "Read out to file with BSL password\n"
    "  quarzo +r \"psw.txt\" -BSL=COM1\n"
    "\n";

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool BeginsWith(const std::string& token, const std::string& prefix) {
    return token.size() >= prefix.size() && EqualsNoCase(token.substr(0, prefix.size()), prefix);
}

struct AdapterOption {
    const char* prefix;
    AdapterKind kind;
    bool takesDevicePath;  // POSIX systems: an absolute device path names the port for this run
};

const AdapterOption kAdapterOptions[] = {
    {"-RAW", kAdapterRawJtag, true},
    {"-FET", kAdapterFetDll, true},
    {"-BSL", kAdapterBsl, true},
};

bool IsDevicePath(const AdapterOption& option, const std::string& value) {
#ifdef _WIN32
    (void)option;
    (void)value;
    return false;
#else
    return option.takesDevicePath && value.size() > 1 && value[0] == '/';
#endif
}

struct ActionLetter {
    char letter;
    ActionFlags bit;
};

constexpr ActionLetter kActionLetters[] = {
    {'e', kActionErase},  {'b', kActionBlankCheck}, {'p', kActionProgram},
    {'v', kActionVerify}, {'r', kActionRead},       {'f', kActionBlowFuse},
};

// The tokens of one parse, each consumed at most once.
class Tokens {
public:
    explicit Tokens(std::vector<std::string> tokens)
        : tokens_(std::move(tokens)), consumed_(tokens_.size()) {}

    std::optional<size_t> FirstBeginningWith(const std::string& prefix) const {
        for (size_t i = 0; i < tokens_.size(); ++i) {
            if (!consumed_[i] && BeginsWith(tokens_[i], prefix)) return i;
        }
        return std::nullopt;
    }
    std::optional<size_t> FirstEqualTo(const std::string& text) const {
        for (size_t i = 0; i < tokens_.size(); ++i) {
            if (!consumed_[i] && EqualsNoCase(tokens_[i], text)) return i;
        }
        return std::nullopt;
    }
    std::vector<size_t> Remaining() const {
        std::vector<size_t> left;
        for (size_t i = 0; i < tokens_.size(); ++i) {
            if (!consumed_[i]) left.push_back(i);
        }
        return left;
    }
    bool IsConsumed(size_t i) const { return consumed_[i]; }
    size_t Count() const { return tokens_.size(); }
    const std::string& operator[](size_t i) const { return tokens_[i]; }
    void Consume(size_t i) { consumed_[i] = true; }

private:
    std::vector<std::string> tokens_;
    std::vector<bool> consumed_;
};

CommandLinePlan& Reject(CommandLinePlan& plan, std::string line) {
    plan.accepted = false;
    plan.rejection = std::move(line);
    return plan;
}

// The adapter option, if any: only the first prefix found counts.
bool ReadAdapterOption(Tokens& tokens, CommandLinePlan& plan) {
    for (const AdapterOption& option : kAdapterOptions) {
        auto at = tokens.FirstBeginningWith(option.prefix);
        if (!at) continue;
        const std::string& token = tokens[*at];
        std::string value = token.size() > 5 ? token.substr(5) : "";
        const std::vector<std::string>& ports = PortNames(option.kind);
        auto port = std::find_if(ports.begin(), ports.end(),
                                 [&](const std::string& name) { return EqualsNoCase(name, value); });
        if (IsDevicePath(option, value)) {
            plan.devicePath = value;
        } else if (port == ports.end()) {
            Reject(plan, FormatText("Invalid adapter option \"%s\"", token.c_str()));
            return false;
        } else {
            plan.portIndex = static_cast<int>(port - ports.begin());
        }
        tokens.Consume(*at);
        plan.adapter = option.kind;
        return true;
    }
    return true;
}

}  // namespace

bool TokenizeCommandLine(const std::string& text, std::vector<std::string>& tokens, LogSink& sink) {
    tokens.clear();
    if (text.empty()) return false;
    size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        std::string token;
        if (text[i] == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos) {
                sink.Log(kLogError, "%s - Invalid argument. End quote \" not found", text.c_str() + i + 1);
                tokens.clear();
                return false;
            }
            token = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !IsBlank(text[end])) ++end;
            token = text.substr(i, end - i);
            i = end;
        }
        if (tokens.size() == static_cast<size_t>(kMaxCommandLineTokens)) {
            sink.Log(kLogError, "Too many arguments");
            tokens.clear();
            return false;
        }
        tokens.push_back(std::move(token));
    }
    return !tokens.empty();
}

CommandLinePlan ParseCommandLine(std::vector<std::string> list) {
    CommandLinePlan plan;
    Tokens tokens(std::move(list));
    if (!ReadAdapterOption(tokens, plan)) return plan;

    if (auto at = tokens.FirstBeginningWith("-pi")) {
        tokens.Consume(*at);
        plan.excludeInfo = true;
    }

    // "-o file": the image is saved to file when every action of the run has succeeded.
    if (auto at = tokens.FirstEqualTo("-o")) {
        size_t name = *at + 1;
        if (name >= tokens.Count() || tokens.IsConsumed(name))
            return Reject(plan, "Output filename not specified");
        plan.outputFile = tokens[name];
        tokens.Consume(*at);
        tokens.Consume(name);
        if (SaveFormatFromExtension(plan.outputFile) == kFormatUnknown) {
            return Reject(plan, FormatText("Unknown output file type \"%s\": the extensions written are %s",
                                           plan.outputFile.c_str(), SaveExtensionList()));
        }
    }

    if (auto at = tokens.FirstBeginningWith("-")) {
        return Reject(plan, FormatText("Unknown options \"%s\"", tokens[*at].c_str()));
    }

    if (auto at = tokens.FirstBeginningWith("+")) {
        const std::string& token = tokens[*at];
        tokens.Consume(*at);
        if (token.size() < 2) return Reject(plan, "Invalid action argument");
        for (char c : token.substr(1)) {
            auto letter = std::find_if(std::begin(kActionLetters), std::end(kActionLetters),
                                       [c](const ActionLetter& l) { return l.letter == c; });
            if (letter == std::end(kActionLetters)) {
                return Reject(plan, FormatText("Unknown action specifier '%c'", c));
            }
            plan.actions |= letter->bit;
        }
    }

    std::vector<size_t> left = tokens.Remaining();
    if (left.size() > 1) return Reject(plan, FormatText("Unknown argument - %s", tokens[left[1]].c_str()));
    if ((plan.actions & (kActionProgram | kActionVerify)) && left.empty()) {
        return Reject(plan, "Input filename not specified");
    }
    if (!left.empty()) plan.file = tokens[left[0]];
    plan.accepted = true;
    return plan;
}

}  // namespace quarzo
