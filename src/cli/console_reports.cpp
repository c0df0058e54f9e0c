#include "cli/console_reports.h"

#include <vector>

#include "adapters/bsl/bsl_adapter.h"
#include "adapters/bsl/bsl_wiring.h"
#include "core/memory_image.h"
#include "core/settings_store.h"
#include "engine/command_line.h"
#include "engine/log_sink.h"

namespace quarzo {

namespace {

constexpr size_t kMaxRangeLines = 20;

const char* YesNo(bool value) {
    return value ? "on" : "off";
}

}  // namespace

void ReportMismatches(const MemoryImage& image, LogSink& sink) {
    std::vector<AddressRange> ranges = MismatchRanges(image);
    for (size_t i = 0; i < ranges.size() && i < kMaxRangeLines; ++i) {
        const AddressRange& r = ranges[i];
        unsigned count = r.last - r.first + 1;
        if (count == 1) {
            sink.Log(kLogError, "Differs at 0x%.4X (1 byte)", r.first);
        } else {
            sink.Log(kLogError, "Differs at 0x%.4X-0x%.4X (%u bytes)", r.first, r.last, count);
        }
    }
    if (ranges.size() > kMaxRangeLines) {
        sink.Log(kLogError, "... and %u more ranges", static_cast<unsigned>(ranges.size() - kMaxRangeLines));
    }
}

RunResult DetectWiring(const std::string& commandLine, BslAdapter& adapter, SettingsStore& settings,
                       LogSink& sink) {
    std::vector<std::string> tokens;
    if (!TokenizeCommandLine(commandLine, tokens, sink)) {
        if (tokens.empty())
            sink.Log(kLogError, "--detect needs the loader's port: -BSL=COMn or a device path");
        return kRunCommandLineRejected;
    }
    CommandLinePlan plan = ParseCommandLine(tokens);
    if (!plan.accepted || plan.adapter != kAdapterBsl || plan.actions != 0 || plan.file) {
        sink.Log(kLogError, "%s",
                 plan.accepted ? "--detect takes only the loader's port: -BSL=COMn or a device path"
                               : plan.rejection.c_str());
        return kRunCommandLineRejected;
    }
    if (plan.devicePath.empty()) adapter.SetPortIndex(plan.portIndex);
    adapter.SetDevicePath(plan.devicePath);

    sink.Log(kLogInfo, "Trying each wiring of RST and TEST on %s...", adapter.PortName().c_str());
    // Each try is told as it ends: the whole search takes half a minute on a dead port.
    std::vector<WiringTrial> trials = TryWirings(adapter, [&sink](const WiringTrial& t) {
        std::string outcome = "no answer";
        if (t.identified) {
            char text[64];
            std::snprintf(text, sizeof text, "answers: device family %.2X%.2X, BSL v%x.%.2x", t.family[0],
                          t.family[1], t.version >> 8, t.version & 0xFF);
            outcome = text;
        } else if (t.answered) {
            outcome = "answers, but its identification is locked by the password";
        }
        sink.Log(kLogInfo, "RST invert %s, TST invert %s, RST delay %u ms: %s", YesNo(t.rstInvert),
                 YesNo(t.tstInvert), t.rstDelay, outcome.c_str());
    });
    std::vector<const WiringTrial*> answered;
    for (const WiringTrial& t : trials) {
        if (t.answered) answered.push_back(&t);
    }
    if (answered.empty()) {
        sink.Log(kLogError,
                 "No wiring starts the loader: check the cable, the target's supply and the port.");
        return kRunActionFailed;
    }
    if (answered.size() > 1) {
        // A pseudo-terminal or an adapter without modem lines: the pins never reach the target.
        sink.Log(kLogInfo,
                 "%u wirings answer: this port's DTR and RTS do not reach the target, so they cannot be told "
                 "apart. The settings stay as they are.",
                 static_cast<unsigned>(answered.size()));
        return kRunComplete;
    }
    const WiringTrial& found = *answered.front();
    settings.SetSettingFromVariant(kSetBslRstInvert, found.rstInvert);
    settings.SetSettingFromVariant(kSetBslTstInvert, found.tstInvert);
    settings.SetSettingFromVariant(kSetBslRstDelay, static_cast<int>(found.rstDelay));
    sink.Log(kLogInfo, "This adapter needs RST invert %s, TST invert %s and RST delay %u ms.",
             YesNo(found.rstInvert), YesNo(found.tstInvert), found.rstDelay);
    return kRunComplete;
}

}  // namespace quarzo
