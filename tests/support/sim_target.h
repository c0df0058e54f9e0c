#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "adapters/bsl/bsl_adapter.h"
#include "engine/programmer.h"
#include "sim/rom_bsl.h"
#include "sim/sim_device.h"
#include "sim/sim_serial_line.h"
#include "sim/virtual_clock.h"
#include "support/recording_log_sink.h"
#include "support/sim_part_named.h"

namespace quarzo::testing {

// A simulated MSP430 on a simulated serial cable, in virtual time, with every frame it received.
struct SimTarget {
    explicit SimTarget(const std::string& version = "1.60", const std::string& part = "MSP430F149")
        : behaviour([&] {
              sim::BslBehaviour b;
              if (!sim::BehaviourForVersion(version, b)) std::abort();  // a version the model lacks
              return b;
          }()),
          device(PartNamed(part), behaviour.version),
          bsl(device, behaviour),
          line(clock, bsl) {
        bsl.trace = [this](const char* direction, const std::vector<uint8_t>& bytes) {
            if (std::string(direction) != "RX" || bytes.size() < 2) return;
            frames.push_back(bytes);
            if (onFrame) onFrame(frames.size());
        };
    }

    void Attach(BslLink& link) { link.UsePort(&line, &clock); }

    // Each command frame the target received as "CMD ADDR LENGTH", in hexadecimal but the length.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const auto& f : frames) {
            char text[32];
            std::snprintf(text, sizeof text, "%02X %04X %d", f[1], f[4] | f[5] << 8, f[6] | f[7] << 8);
            out.push_back(text);
        }
        return out;
    }
    size_t Count(const std::string& prefix) const {
        return std::ranges::count_if(Commands(), [&](const std::string& c) { return c.starts_with(prefix); });
    }

    // Programs flash directly, as if an earlier session had.
    void Flash(uint32_t address, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) device.Write(address + static_cast<uint32_t>(i), bytes[i]);
    }
    void SetVectors(uint8_t value) { Flash(sim::SimDevice::kVectors, std::vector<uint8_t>(32, value)); }

    sim::VirtualClock clock;
    sim::BslBehaviour behaviour;
    sim::SimDevice device;
    sim::RomBsl bsl;
    sim::SimSerialLine line;
    std::vector<std::vector<uint8_t>> frames;
    // Called with the count of frames received so far, after each one (faults at a chosen moment).
    std::function<void(size_t)> onFrame;
};

// Whole programmer runs over the loader against a SimTarget, with what they logged.
struct SimRun {
    explicit SimRun(const std::string& version = "1.60", const std::string& part = "MSP430F149")
        : target(version, part) {
        target.Attach(bsl.link);
        programmer.SetSink(&sink);
        programmer.SelectAdapter(kAdapterBsl);
    }
    RunResult Run(ActionFlags flags) {
        sink.Clear();
        programmer.Start(flags);
        return programmer.WaitForRun();
    }
    std::string LastLine() const { return sink.LastLine(); }
    bool Logged(const std::string& line) const { return std::ranges::count(sink.Lines(), line) > 0; }
    // Random bytes into the image from first to last.
    void Fill(uint32_t first, uint32_t last, unsigned seed = 7) {
        std::mt19937 random(seed);
        for (uint32_t a = first; a <= last; ++a)
            programmer.Image().SetByte(a, static_cast<uint8_t>(random()));
    }
    bool ChipHoldsImage(uint32_t first, uint32_t last) {
        for (uint32_t a = first; a <= last; ++a)
            if (target.device.Read(a) != programmer.Image().ValueAt(a)) return false;
        return true;
    }

    SimTarget target;  // outlives the programmer, whose link uses its line
    BslAdapter bsl;
    RecordingLogSink sink;
    Programmer programmer{AdapterList{nullptr, nullptr, &bsl, nullptr}};
};

}  // namespace quarzo::testing
