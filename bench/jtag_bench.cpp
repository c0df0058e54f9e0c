// Programming and verifying 60 KB over the direct JTAG adapter: the port accesses per programmed word
// the pin model counts, what a real parallel port would take at 1 us per access, the wall time over the
// virtual cable's Unix socket, the TCLK rate the host reached and the one the chip's flash timing
// generator saw, and the model's count of flash operations clocked outside 257-476 kHz (must be 0).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "adapters/jtag/raw_jtag_adapter.h"
#include "platform/thread_priority.h"
#include "sim/lpt_server.h"
#include "support/jtag_sim_target.h"
#include "support/temp_dir.h"

namespace {

using quarzo::RawJtagAdapter;
using quarzo::sim::FlashController;

constexpr uint32_t kStart = 0x1100;
constexpr uint32_t kEnd = 0x10000;
constexpr int kBlock = 256;

std::vector<uint8_t> Firmware() {
    std::mt19937 random(5);
    std::vector<uint8_t> bytes(kEnd - kStart);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

bool Program(RawJtagAdapter& a, const std::vector<uint8_t>& image) {
    for (uint32_t at = 0; at < image.size(); at += kBlock)
        if (a.WriteMemory(static_cast<int>(kStart + at), image.data() + at, kBlock) != 0) return false;
    return true;
}

bool Verify(RawJtagAdapter& a, const std::vector<uint8_t>& image) {
    for (uint32_t at = 0; at < image.size(); at += kBlock)
        if (a.VerifyMemory(static_cast<int>(kStart + at), image.data() + at, kBlock) != 0) return false;
    return true;
}

// The clock rate within the flash operations (the pulses of one word's programming time).
double RateKHz(const FlashController& flash) {
    return flash.clockIntervalUs == 0
               ? 0
               : static_cast<double>(flash.clockIntervals) * 1000.0 / static_cast<double>(flash.clockIntervalUs);
}

void ResetRate(FlashController& flash) {
    flash.clockIntervals = 0;
    flash.clockIntervalUs = 0;
}

}  // namespace

int main() {
    std::vector<uint8_t> image = Firmware();
    const double words = static_cast<double>(image.size() / 2);

    // The pin model in process, in virtual time at 1 us per port access.
    quarzo::testing::JtagSimTarget model;
    model.port->accessUs = 1;
    RawJtagAdapter& a = *model.adapter;
    if (a.Open() != 0 || (a.Erase(2, 0xFFFE, 0), false)) return 1;
    uint64_t before = model.target.accesses;
    auto& flash = model.target.Flash();
    ResetRate(flash);
    if (!Program(a, image)) return 1;
    uint64_t programAccesses = model.target.accesses - before;
    double modelRate = RateKHz(flash);
    before = model.target.accesses;
    if (!Verify(a, image)) {
        std::fprintf(stderr, "verify failed in the model\n");
        return 1;
    }
    uint64_t verifyAccesses = model.target.accesses - before;
    std::printf("Port accesses per programmed word: %.1f (programming), %.1f (signature verify)\n",
                static_cast<double>(programAccesses) / words, static_cast<double>(verifyAccesses) / words);
    std::printf("A real parallel port at 1 us per access: program %.1f s, verify %.1f s\n",
                static_cast<double>(programAccesses) / 1e6, static_cast<double>(verifyAccesses) / 1e6);
    std::printf("TCLK rate, 1 us per access in virtual time: host %.0f kHz, flash timing generator %.0f kHz; "
                "%u of %u flash operations outside 257-476 kHz\n",
                a.Cable().TclkHz() / 1000, modelRate, flash.outOfRangeOperations, flash.operations);

    // The same over the virtual cable on a real Unix socket, with the system's port access and clock.
    quarzo::testing::TempDir dir;
    quarzo::sim::SimDevice device(quarzo::sim::DefaultSimPart(), 0x0160);
    quarzo::sim::JtagTarget chip(device);
    chip.Unplug();
    std::vector<std::string> outsideLines;
    chip.Flash().trace = [&](const std::string& line) {
        if (line.find("OUTSIDE") != std::string::npos && outsideLines.size() < 5) outsideLines.push_back(line);
    };
    std::mutex lock;
    quarzo::sim::LptServer server(chip, lock);
    if (!server.Create(dir.File("cable"))) return 1;
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });
    // As a programming run does: the worker at real-time priority where the system grants it.
    bool realtime = std::getenv("JTAG_BENCH_NORMAL") == nullptr &&
                    quarzo::platform::SetCurrentThreadPriority(quarzo::platform::kThreadPriorityTimeCritical);
    RawJtagAdapter cable;
    cable.SetDevicePath(dir.File("cable"));
    auto start = std::chrono::steady_clock::now();
    bool ok = cable.Open() == 0;
    auto opened = std::chrono::steady_clock::now();
    cable.Erase(2, 0xFFFE, 0);
    auto erased = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(lock);
        ResetRate(chip.Flash());
    }
    ok = ok && Program(cable, image);
    auto programmed = std::chrono::steady_clock::now();
    double socketRate;
    {
        std::lock_guard<std::mutex> guard(lock);
        socketRate = RateKHz(chip.Flash());
    }
    quarzo::platform::SetCurrentThreadPriority(quarzo::platform::kThreadPriorityNormal);
    ok = ok && Verify(cable, image);
    auto verified = std::chrono::steady_clock::now();
    cable.Close();
    stop = true;
    serving.join();
    if (!ok) {
        for (const auto& line : outsideLines) std::fprintf(stderr, "%s\n", line.c_str());
        int code = cable.GetErrorCode();
        std::fprintf(stderr, "the run over the socket failed: %s (flash: %u operations, %u outside, %u incomplete)\n",
                     cable.GetErrorText(code), chip.Flash().operations, chip.Flash().outOfRangeOperations,
                     chip.Flash().incompleteOperations);
        return 1;
    }
    auto seconds = [](auto from, auto to) { return std::chrono::duration<double>(to - from).count(); };
    std::printf("Over the socket: open %.2f s, erase %.2f s, program %.2f s, verify %.2f s\n", seconds(start, opened),
                seconds(opened, erased), seconds(erased, programmed), seconds(programmed, verified));
    chip.Flash().Conclude();
    std::printf("TCLK rate over the socket (%s priority): host measured %.0f kHz, flash timing generator saw %.0f "
                "kHz (host time stamps)\n",
                realtime ? "real-time" : "normal", cable.Cable().TclkHz() / 1000, socketRate);
    std::printf("flash clock: %u operations, %u outside 257-476 kHz; flash incomplete: %u operations\n",
                chip.Flash().operations, chip.Flash().outOfRangeOperations, chip.Flash().incompleteOperations);
    return 0;
}
