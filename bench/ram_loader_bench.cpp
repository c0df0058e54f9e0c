// A 60 KB Auto run (erase, blank check, program, verify) in virtual time: through our loadable loader
// executing on a 1.10 chip, against the ROM loader 1.60 serving the same run itself. Prints both times,
// the loader's CPU cycles per byte programmed, and the image's size.
#include <cstdio>
#include <random>
#include <string>

#include "adapters/bsl/bsl_adapter.h"
#include "adapters/bsl/bsl_images.h"
#include "engine/programmer.h"
#include "support/recording_log_sink.h"
#include "support/sim_target.h"

namespace {

using quarzo::ActionFlags;

struct Outcome {
    bool ok;
    double seconds;
    uint64_t programCycles;
};

Outcome AutoRun(const std::string& version) {
    quarzo::testing::SimTarget target(version);
    quarzo::BslAdapter bsl;
    target.Attach(bsl.link);
    quarzo::Programmer programmer{quarzo::AdapterList{nullptr, nullptr, &bsl, nullptr}};
    quarzo::testing::RecordingLogSink sink;
    programmer.SetSink(&sink);
    programmer.SelectAdapter(quarzo::kAdapterBsl);
    programmer.deviceIndex = 0;
    std::mt19937 random(3);
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) programmer.Image().SetByte(a, static_cast<uint8_t>(random()));
    // The cycles the code spends from the first write frame to the last answer of the program step.
    uint64_t firstWrite = 0, lastWrite = 0;
    target.onFrame = [&](size_t n) {
        const auto& f = target.frames[n - 1];
        if (f.size() > 1 && f[1] == 0x12 && target.bsl.CodeRunning()) {
            if (firstWrite == 0) firstWrite = target.bsl.Cpu().Cycles();
            lastWrite = target.bsl.Cpu().Cycles();
        }
    };
    uint64_t start = target.clock.NowUs();
    programmer.Start(quarzo::kActionErase | quarzo::kActionBlankCheck | quarzo::kActionProgram | quarzo::kActionVerify);
    bool ok = programmer.WaitForRun() == quarzo::kRunComplete;
    return {ok, (target.clock.NowUs() - start) / 1e6, lastWrite - firstWrite};
}

}  // namespace

int main() {
    Outcome loadable = AutoRun("1.10");
    Outcome rom = AutoRun("1.60");
    if (!loadable.ok || !rom.ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double bytes = 0x10000 - 0x1100;
    std::printf("LoadableBsl: %zu bytes\n", quarzo::kLoadableBslSize);
    std::printf("60 KB Auto, virtual time: loadable loader on a 1.10 chip %.2f s, ROM loader 1.60 %.2f s (ratio %.2f)\n",
                loadable.seconds, rom.seconds, loadable.seconds / rom.seconds);
    std::printf("Loadable loader: %.0f CPU cycles per byte programmed (at 38400 baud, its own clock)\n",
                static_cast<double>(loadable.programCycles) / bytes);
    return 0;
}
