#pragma once

#include <memory>
#include <string>
#include <vector>

#include "adapters/jtag/raw_jtag_adapter.h"
#include "sim/jtag_target.h"
#include "sim/pyrel_device.h"
#include "sim/sim_device.h"
#include "sim/sim_port_io.h"
#include "sim/virtual_clock.h"
#include "support/sim_part_named.h"

namespace quarzo::testing {

// A virtual chip on a virtual parallel-port cable, and the direct JTAG adapter driving it, in virtual
// time. Each port access takes 1 us, as on an ISA-speed parallel port: the host paces TCLK in range.
struct JtagSimTarget {
    explicit JtagSimTarget(const std::string& partName = "MSP430F149")
        : device(PartNamed(partName), 0x0110), target(device) {
        target.configFuses = device.Part().configFuses;
        auto io = std::make_unique<sim::SimPortIo>(target, clock);
        io->accessUs = 1;
        port = io.get();
        adapter = std::make_unique<RawJtagAdapter>(std::move(io), clock);
        target.trace = [this](const std::string& line) {
            if (keepTrace) shifts.push_back(line);
        };
    }

    sim::VirtualClock clock;
    sim::SimDevice device;
    sim::JtagTarget target;
    sim::PyrelDevice pyrel;
    sim::SimPortIo* port = nullptr;
    std::unique_ptr<RawJtagAdapter> adapter;
    bool keepTrace = false;
    std::vector<std::string> shifts;
};

}  // namespace quarzo::testing
