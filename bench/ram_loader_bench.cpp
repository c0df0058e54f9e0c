// A 60 KB Auto run (erase, blank check, program, verify) in virtual time: through our loadable loader
// executing on a 1.10 chip, against the ROM loader 1.60 serving the same run itself. Prints both times,
// the loader's CPU cycles per byte programmed, and the image's size; then the loader's bit timing and
// flash clock on the slowest, typical and fastest chip the data sheet allows.
#include <cstdio>
#include <initializer_list>
#include <string>

#include "adapters/bsl/bsl_images.h"
#include "support/sim_target.h"
#include "sim/flash_controller.h"
#include "sim/msp430_machine.h"
#include "sim/sim_parts.h"

namespace {

using quarzo::ActionFlags;

struct Outcome {
    bool ok;
    double seconds;
    uint64_t programCycles;
};

Outcome AutoRun(const std::string& version) {
    quarzo::testing::SimRun run(version);
    quarzo::testing::SimTarget& target = run.target;
    run.programmer.deviceIndex = 0;
    run.Fill(0x1100, 0xFFFF, 3);
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
    bool ok = run.Run(quarzo::kActionErase | quarzo::kActionBlankCheck | quarzo::kActionProgram |
                      quarzo::kActionVerify) == quarzo::kRunComplete;
    return {ok, (target.clock.NowUs() - start) / 1e6, lastWrite - firstWrite};
}

// The loader's timing on a chip of the given spread: it measures each sync character; its bit time is
// then 3 * r4 + 8 cycles, and its flash clock MCLK / (FN + 1).
void TimingRow(const char* name, double spread, bool wordWrite = false) {
    using quarzo::sim::Msp430Machine;
    quarzo::sim::SimDevice device(*quarzo::sim::FindSimPart("MSP430F149"), 0x0110);
    quarzo::sim::FlashController flash(device);
    Msp430Machine machine(device, flash);
    for (size_t i = 0; i < quarzo::kLoadableBslSize; ++i) device.Write(0x0220 + static_cast<uint32_t>(i), quarzo::kLoadableBsl[i]);
    machine.SetChipFactor(spread);
    machine.Start(device.ReadWord(0x0220), 0);
    machine.Run(1e6);
    // What a word write of 0x8760 to DCOCTL gave: DCO 3, and RSEL 5 as the ROM loader left it.
    if (wordWrite) machine.SetClock(0x60, 0x85);
    std::printf("%-8s %5.2f  %5.2f MHz", name, spread, machine.MclkHz() / 1e6);
    auto send = [&](std::initializer_list<uint8_t> bytes, uint32_t baud) {
        double start = machine.NowUs() + 100;
        for (uint8_t b : bytes) {
            machine.QueueInput(b, baud, start);
            machine.Run(machine.InputEndUs() + 1e5);
            start = machine.InputEndUs();
        }
        machine.TakeOutput(baud, nullptr);
    };
    auto row = [&](uint32_t baud) {
        double bitCycles = 3.0 * machine.Cpu().r[4] + 8;
        double error = bitCycles * baud / machine.MclkHz() - 1;
        // The parity bit, the last one sampled, is taken nine bit times after the start bit's middle.
        std::printf("  %6.2f %% %7.1f %%", 100 * error, 900 * error);
    };
    send({0x80}, 9600);
    row(9600);
    // The speed change, then a sync at the new speed.
    send({0x80, 0x20, 0x04, 0x04, 0xE0, 0x87, 0x02, 0x00, 0x99, 0x5C}, 9600);
    send({0x80}, 38400);
    row(38400);
    uint16_t fctl2 = machine.Read(quarzo::sim::FlashController::kFctl2, false);
    std::printf("  %5.0f kHz\n", machine.MclkHz() / ((fctl2 & 0x3F) + 1) / 1e3);
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
    std::printf("\nLoadable loader on the F1xx basic clock (RSEL 7, DCO 7), per chip spread of the data sheet:\n");
    std::printf("chip     spread  MCLK        9600: bit error, at parity  38400: bit error, at parity  flash clock\n");
    quarzo::sim::DcoSpread spread = quarzo::sim::DocumentedSpread(quarzo::sim::ClockSystem::kBasic);
    TimingRow("slowest", spread.slowest);
    TimingRow("typical", 1.0);
    TimingRow("fastest", spread.fastest);
    std::printf("The same with the clock a word write to DCOCTL gave (DCO 3, RSEL 5):\n");
    TimingRow("slowest", spread.slowest, true);
    TimingRow("typical", 1.0, true);
    TimingRow("fastest", spread.fastest, true);
    return 0;
}
