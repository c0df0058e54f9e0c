#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_parts.h"

namespace quarzo {
class MemoryImage;
}

namespace quarzo::sim {

// One MSP430's memory: flash that only clears bits and is erased in segments, RAM, and the
// identification block in the loader's ROM. Addresses beyond 0xFFFF exist for the large devices.
class SimDevice {
public:
    static constexpr uint32_t kMemorySize = 0x20000;
    static constexpr uint32_t kMainSegment = 512;
    static constexpr uint16_t kIdAddress = 0x0FF0;
    static constexpr uint16_t kVectors = 0xFFE0;
    static constexpr uint16_t kBslKey = 0xFFBE;
    static constexpr uint32_t kPeripheralEnd = 0x01FF;
    static constexpr uint16_t kWatchdog = 0x0120;
    static constexpr uint16_t kBslRomStart = 0x0C00;
    static constexpr uint16_t kBslRomEnd = 0x0FFF;
    // Information segment A of F2xx parts: the factory's calibration data, kept while LOCKA is set.
    static constexpr uint16_t kSegmentAStart = 0x10C0;
    static constexpr uint16_t kSegmentAEnd = 0x10FF;
    // What a read of memory the part does not have returns, as a word: not erased flash.
    static constexpr uint16_t kDefaultVacantWord = 0x3FFF;

    // bslVersion as the chip stores it: 0x0160 for 1.60; without it, the loader the part ships with.
    SimDevice(const SimPart& part, uint16_t bslVersion);
    explicit SimDevice(const SimPart& part) : SimDevice(part, part.bslVersion) {}

    const SimPart& Part() const { return part_; }
    bool Is2xx() const { return part_.Is2xx(); }
    uint16_t BslVersion() const {
        return static_cast<uint16_t>(memory_[kIdAddress + 10] << 8 | memory_[kIdAddress + 11]);
    }

    uint8_t Read(uint32_t address) const;
    uint16_t ReadWord(uint32_t address) const {
        return static_cast<uint16_t>(Read(address) | Read(address + 1) << 8);
    }
    // Information memory is erased in segments of 128 bytes, on F2xx of 64.
    uint32_t InfoSegmentSize() const { return part_.infoSegmentSize; }
    bool IsFlash(uint32_t address) const { return IsMain(address) || IsInfo(address); }
    bool IsMain(uint32_t address) const { return part_.main.Contains(address); }
    bool IsInfo(uint32_t address) const { return part_.info.Contains(address); }
    bool IsRam(uint32_t address) const;
    bool IsPeripheral(uint32_t address) const { return address <= kPeripheralEnd; }
    // Flash, RAM, peripherals or the loader's ROM; anything else is vacant.
    bool Exists(uint32_t address) const;
    void SetVacantWord(uint16_t word) { vacantWord_ = word; }
    // Programs one byte as the flash controller does (old AND new), or stores it in RAM or a peripheral
    // register; anywhere else nothing changes. False when the cell does not hold the value afterwards.
    bool Write(uint32_t address, uint8_t value);

    void EraseSegment(uint32_t address);
    void EraseMain();
    // On F2xx segment A stays while LOCKA protects it (always, for the loader's own erase).
    void EraseInfo(bool keepSegmentA = true);
    // Main and information memory; on F2xx segment A stays, as LOCKA protects it.
    void MassErase(bool keepSegmentA = true);
    bool InSegmentA(uint32_t address) const { return Is2xx() && address >= kSegmentAStart && address <= kSegmentAEnd; }
    // A cell's contents set as they are, for models of half-finished flash operations.
    void Store(uint32_t address, uint8_t value) {
        if (address < kMemorySize) memory_[Physical(address)] = value;
    }
    bool IsErased(uint32_t address, uint32_t length) const;

    // Flash and RAM contents in from and out to an image.
    void LoadImage(const MemoryImage& image);
    void StoreFlash(MemoryImage& image) const;

    // A fault: the cell no longer keeps what is written to it.
    void BreakCell(uint32_t address) { brokenCell_ = address; }

    // A power cycle: RAM contents are lost.
    void ClearRam();

    // F2xx parts: the checksum over 0x10C2..0x10FF that the calibration block must carry at 0x10C0.
    uint16_t SegmentAChecksum() const;

private:
    // Where a byte lives: on parts with mirrored RAM, 0x0200..0x09FF is the start of the RAM at 0x1100.
    uint32_t Physical(uint32_t address) const {
        return part_.ramMirrored && part_.ram.Contains(address) ? address - part_.ram.start + part_.ram2.start
                                                                : address;
    }

    SimPart part_;  // a copy, so that a test may model a variant of a part
    std::vector<uint8_t> memory_;
    uint32_t brokenCell_ = kMemorySize;
    uint16_t vacantWord_ = kDefaultVacantWord;
};

}  // namespace quarzo::sim
