#pragma once

// The target behind the fake FET library: the parts it knows and one part's memory as the library's
// memory calls see it.
#include <cstdint>
#include <vector>

namespace fakefet {

// A part: the library's name for it (DEVICE_T's string: the part's, or a family description as the
// vendor's database gives it) and the memory map of its data sheet.
struct Part {
    const char* part;
    const char* description;
    uint16_t mainStart;
    uint32_t mainEnd;
    uint16_t infoStart;
    uint16_t infoEnd;
    uint16_t ramStart;
    uint16_t ramEnd;
    bool testPin;
    bool fram;
    // Information segment A, which the library keeps locked (LOCKA) unless LOCKED_FLASH_ACCESS opens
    // it: 0x10C0-0x10FF on F2xx/G2xx (SLAU144, flash memory controller), 0x1980-0x19FF on F5xx
    // (SLAU208, flash memory controller). 0 for none.
    uint16_t segmentA;
};

inline constexpr uint32_t kMainSegmentSize = 512;  // SLAU144, SLAU208: main flash segments

// The part of that name; null when the library does not know it.
const Part* FindPart(const char* name);
const Part& DefaultPart();
// The library's own number for the part (DEVICE_T's id), from 1.
uint16_t PartNumber(const Part& part);

class Target {
public:
    Target() { Choose(DefaultPart()); }
    // A fresh part: flash erased, factory data in F2xx segment A, segment A locked.
    void Choose(const Part& part);
    const Part& Chip() const { return *part_; }

    uint8_t Read(uint32_t address) const;
    // As the part takes it: flash only clears bits, FRAM and RAM take the value, a locked segment A and
    // vacant memory nothing.
    void Write(uint32_t address, uint8_t value);
    // A cell set as it is (test control).
    void Store(uint32_t address, uint8_t value);
    // The segment holding the address; false when it is no flash.
    bool EraseSegment(uint32_t address);
    void EraseMain();
    // Main and information memory, but a locked segment A.
    void EraseAll();
    void SetSegmentALocked(bool locked) { segmentALocked_ = locked; }

private:
    bool IsMain(uint32_t a) const { return a >= part_->mainStart && a <= part_->mainEnd; }
    bool IsInfo(uint32_t a) const { return a >= part_->infoStart && a <= part_->infoEnd; }
    bool IsRam(uint32_t a) const { return a >= part_->ramStart && a <= part_->ramEnd; }
    bool InLockedSegmentA(uint32_t a) const;
    void EraseRange(uint32_t start, uint32_t end);

    const Part* part_ = nullptr;
    std::vector<uint8_t> memory_;
    bool segmentALocked_ = true;
};

}  // namespace fakefet
