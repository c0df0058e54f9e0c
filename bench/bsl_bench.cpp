// Programming 60 KB into an F149 at 38400 baud through the real serial port, against quarzo-sim
// pacing its answers like a real line: how close the run comes to the time its bytes need on the wire.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "adapters/adapter_set.h"
#include "engine/programmer.h"
#include "support/sim_process.h"

namespace {

constexpr uint32_t kStart = 0x1100;
constexpr uint32_t kEnd = 0x10000;  // 60 KB: 0x1100..0xFFFF

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

}  // namespace

int main() {
    std::string dir = "/tmp/quarzo-bsl-bench-" + std::to_string(getpid());
    std::string trace = dir + "-trace.txt", out = dir + "-sim.txt";
    quarzo::testing::SimProcess sim(QUARZO_SIM, "--pace --trace " + trace, out);
    const std::string& pty = sim.DevicePath();
    if (pty.empty()) {
        std::fprintf(stderr, "quarzo-sim did not start\n");
        return 1;
    }

    quarzo::AdapterSet adapters;
    quarzo::Programmer programmer(adapters.List());
    std::mt19937 random(1);
    for (uint32_t a = kStart; a < kEnd; ++a) programmer.Image().SetByte(a, static_cast<uint8_t>(random()));
    programmer.SelectAdapter(quarzo::kAdapterBsl);
    adapters.bsl.devicePath = pty;
    auto begin = std::chrono::steady_clock::now();
    programmer.Start(quarzo::kActionProgram);
    int result = programmer.WaitForRun();
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    sim.Stop();
    size_t bytes = 0;
    double busy = 0;
    double wire = WireSeconds(trace, bytes, busy);
    std::remove(trace.c_str());
    std::remove(out.c_str());
    if (result != 0) {
        std::fprintf(stderr, "programming failed (%d)\n", result);
        return 1;
    }
    std::printf(
        "Program 60 KB over the bootstrap loader at 38400 baud (quarzo-sim --pace, pseudo-terminal)\n");
    std::printf("  elapsed      %.2f s\n", elapsed);
    std::printf("  on the wire  %.2f s (%zu bytes both ways, 11 bits each)\n", wire, bytes);
    std::printf("  ratio        %.3f\n", elapsed / wire);
    // The physical floor: the bytes on the wire, the time the target reports busy (flash), and the
    // pauses the protocol prescribes (two of 250 ms at each of the entry and the final reset, 10 ms
    // after the speed change).
    double pauses = 4 * 0.250 + 0.010;
    double floor = wire + busy + pauses;
    std::printf("  floor        %.2f s (wire %.2f + target busy %.2f + prescribed pauses %.2f)\n", floor,
                wire, busy, pauses);
    std::printf("  overhead     %.1f %% above the floor (goal at most 5 %%)\n",
                100.0 * (elapsed - floor) / floor);
    return 0;
}
