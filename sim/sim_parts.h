#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarzo::sim {

enum class SimFamily { F1xx, F2xx, F4xx };

// An inclusive address range; empty when end < start.
struct SimRange {
    uint32_t start = 1;
    uint32_t end = 0;

    bool Empty() const { return end < start; }
    bool Contains(uint32_t address) const { return address >= start && address <= end; }
    uint32_t Size() const { return Empty() ? 0 : end - start + 1; }
};

// A port pin: port 1, bit 1 is P1.1.
struct SimPin {
    uint8_t port;
    uint8_t bit;
};

// Flash timing in flash-timing-generator clocks (the data sheets' flash memory table).
struct SimFlashTiming {
    uint16_t wordClocks;             // tWord
    uint16_t segmentEraseClocks;     // tSegErase
    uint16_t massEraseClocks;        // tMassErase, one pass
    uint16_t cumulativeMassEraseMs;  // tCMErase: what the passes together must reach
};

inline constexpr uint16_t kNoIdByte = 0xFFFF;

// One real part as its data sheet and TI's programming guides describe it.
struct SimPart {
    const char* name;  // "MSP430F149"
    SimFamily family;
    uint8_t id0;          // 0x0FF0
    uint8_t id1;          // 0x0FF1
    uint16_t subFamily;   // 0x0FFD, or kNoIdByte where the part leaves it unprogrammed
    uint8_t revision[4];  // 0x0FF2, 0x0FF3, 0x0FF8, 0x0FF9: one silicon revision's bytes
    uint8_t configFuses;  // what the JTAG CONFIG_FUSES register reads
    SimRange main;
    SimRange info;
    uint16_t infoSegmentSize;
    SimRange ram;
    // Parts with more than 2 KB of RAM: the second block. When ramMirrored, ram (0x0200..0x09FF) is
    // the first 2 KB of ram2 seen at a second address, not memory of its own.
    SimRange ram2;
    bool ramMirrored;
    uint16_t bslVersion;  // the ROM loader the part ships with, 0x0161 for 1.61; 0: none
    SimPin bslTx;
    SimPin bslRx;
    bool testPin;
    bool spyBiWire;
    bool enhancedPsa;     // the enhanced verify set-up of the PSA
    bool quickRamAccess;  // DATA_QUICK reaches RAM
    bool cpuX;            // 20-bit CPU and address register
    bool svs;             // 0x0056 is SVSCTL (F4xx supervisor) rather than a clock register
    SimFlashTiming flash;

    bool Is2xx() const { return family == SimFamily::F2xx; }
    bool Is4xx() const { return family == SimFamily::F4xx; }
};

// Every part the model knows, in the table's order.
std::span<const SimPart> SimParts();
// The part of that name, without regard to case; nullptr when there is none.
const SimPart* FindSimPart(std::string_view name);
// MSP430F149.
const SimPart& DefaultSimPart();
// "MSP430F1101A, MSP430F1121, ..." for messages.
std::string SimPartNames();

}  // namespace quarzo::sim
