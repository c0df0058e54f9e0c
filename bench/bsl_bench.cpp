// Auto (erase, blank check, program, verify) of up to 60 KB over the bootstrap loader with each kind of
// loader: in virtual time against the simulated chip in this process, and through the real serial port
// against quarzo-sim pacing its answers like a real line, with the time the bytes need on the wire.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "adapters/adapter_set.h"
#include "adapters/bsl/bsl_adapter.h"
#include "engine/programmer.h"
#include "support/recording_log_sink.h"
#include "support/sim_process.h"
#include "support/sim_target.h"

namespace {

constexpr uint32_t kStart = 0x1100;
constexpr uint32_t kEnd = 0x10000;  // at most 60 KB: 0x1100..0xFFFF

struct Case {
    const char* loader;
    const char* part;
};

// The part's flash below 0x10000 from 0x1100 on, vectors included.
void LoadFirmware(quarzo::Programmer& programmer, const char* part, uint32_t& bytes) {
    uint32_t start = std::max(kStart, quarzo::testing::PartNamed(part).main.start);
    std::mt19937 random(1);
    for (uint32_t a = start; a < kEnd; ++a) programmer.Image().SetByte(a, static_cast<uint8_t>(random()));
    bytes = kEnd - start;
}

double VirtualSeconds(const Case& c, int& result) {
    quarzo::testing::SimRun run(c.loader, c.part);
    uint32_t bytes = 0;
    LoadFirmware(run.programmer, c.part, bytes);
    uint64_t before = run.target.clock.NowUs();
    result = run.Run(quarzo::kDefaultAutoprogram);
    return (run.target.clock.NowUs() - before) / 1e6;
}

// Seconds the traced bytes need on the wire at 11 bits per byte, at 9600 baud until the speed change
// has been answered and at 38400 after it.
double WireSeconds(const std::string& tracePath, size_t& bytes, double& busySeconds) {
    std::ifstream trace(tracePath);
    std::string line;
    double seconds = 0;
    uint32_t baud = 9600;
    bool changing = false;
    bytes = 0;
    busySeconds = 0;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        std::string direction, hex;
        fields >> direction;
        if (direction == "BUSY") {
            double us = 0;
            fields >> us;
            busySeconds += us / 1e6;
            continue;
        }
        if (direction != "RX" && direction != "TX") continue;  // FLASH lines mark the chip's flash operations
        size_t count = 0;
        std::string second;
        while (fields >> hex) {
            if (count == 1) second = hex;
            ++count;
        }
        bytes += count;
        seconds += count * 11.0 / baud;
        if (direction == "TX" && changing) {
            baud = 38400;
            changing = false;
        }
        if (direction == "RX" && second == "20") changing = true;
    }
    return seconds;
}

// Wall-clock seconds of the run through a pseudo-terminal against quarzo-sim --pace.
double PacedSeconds(const Case& c, int& result, double& wire) {
    std::string dir = "/tmp/quarzo-bsl-bench-" + std::to_string(getpid());
    std::string trace = dir + "-trace.txt", out = dir + "-sim.txt";
    quarzo::testing::SimProcess sim(
        QUARZO_SIM, std::string("--pace --device ") + c.part + " --bsl-version " + c.loader + " --trace " + trace,
        out);
    result = -1;
    if (sim.DevicePath().empty()) return 0;
    quarzo::AdapterSet adapters;
    quarzo::Programmer programmer(adapters.List());
    uint32_t bytes = 0;
    LoadFirmware(programmer, c.part, bytes);
    programmer.SelectAdapter(quarzo::kAdapterBsl);
    quarzo::testing::RecordingLogSink sink;
    programmer.SetSink(&sink);
    adapters.bsl.devicePath = sim.DevicePath();
    auto begin = std::chrono::steady_clock::now();
    programmer.Start(quarzo::kDefaultAutoprogram);
    result = programmer.WaitForRun();
    if (result != 0 && !sink.Lines().empty()) std::fprintf(stderr, "%s\n", sink.Lines().back().c_str());
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    sim.Stop();
    size_t wireBytes = 0;
    double busy = 0;
    wire = WireSeconds(trace, wireBytes, busy);
    std::remove(trace.c_str());
    std::remove(out.c_str());
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    // --virtual leaves out the paced runs, which take about as long as a real line.
    bool pacedToo = !(argc > 1 && std::string(argv[1]) == "--virtual");
    const Case cases[] = {{"1.10", "MSP430F149"}, {"1.30", "MSP430F149"}, {"1.60", "MSP430F149"},
                          {"2.02", "MSP430F2274"}, {"1.60", "MSP430F449"}};
    std::printf("Auto (erase, blank check, program, verify) over the bootstrap loader, default settings\n");
    std::printf("%-6s %-12s %6s %10s %10s %10s\n", "loader", "part", "KB", "virtual s", "paced s", "wire s");
    int failures = 0;
    for (const Case& c : cases) {
        quarzo::AdapterSet unused;
        quarzo::Programmer sizing(unused.List());
        uint32_t bytes = 0;
        LoadFirmware(sizing, c.part, bytes);
        int result = 0;
        double virtualSeconds = VirtualSeconds(c, result);
        failures += result != 0;
        double paced = 0, wire = 0;
        if (pacedToo) {
            paced = PacedSeconds(c, result, wire);
            failures += result != 0;
        }
        std::printf("%-6s %-12s %6.1f %10.2f %10.2f %10.2f%s\n", c.loader, c.part, bytes / 1024.0, virtualSeconds,
                    paced, wire, result != 0 ? "  (failed)" : "");
    }
    return failures == 0 ? 0 : 1;
}
