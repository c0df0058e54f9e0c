#pragma once

#include <string>

#include "core/action_flags.h"

namespace quarzo {

class BslAdapter;
class LogSink;
class MemoryImage;
class SettingsStore;

// After a failed run: the address ranges whose bytes differ, as the window shows them in red (at
// most 20 lines, then how many more).
void ReportMismatches(const MemoryImage& image, LogSink& sink);

// --detect: the command line names the loader's port; every wiring is tried and reported, and the
// one that starts the loader goes into settings. The run's result.
RunResult DetectWiring(const std::string& commandLine, BslAdapter& adapter, SettingsStore& settings,
                       LogSink& sink);

}  // namespace quarzo
