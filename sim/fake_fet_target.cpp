#include "sim/fake_fet_target.h"

#include <algorithm>
#include <cstring>

namespace fakefet {
namespace {

constexpr uint32_t kAddressSpace = 0x100000;  // MSP430X: 20-bit addresses

constexpr Part kParts[] = {
    // SLAS272 (MSP430F13x/F14x), memory organization.
    {"MSP430F149", "MSP430F149", 0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF, false, false, 0},
    // SLAS312 (MSP430F12x), memory organization; 28-pin parts with a TEST pin.
    {"MSP430F123", "MSP430F12x", 0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF, true, false, 0},
    // SLAS361 (MSP430F11x2, F12x2).
    {"MSP430F1122", "MSP430F12x2/F11x2", 0xF000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF, true, false, 0},
    // SLAS340 (MSP430F41x).
    {"MSP430F413", "MSP430FW42x/F41x", 0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF, false, false, 0},
    // SLAS491 (MSP430F20xx).
    {"MSP430F2012", "F20x2_G2x2x_G2x3x", 0xF800, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x027F, true, false, 0x10C0},
    // SLAS504 (MSP430F22x4).
    {"MSP430F2274", "MSP430F22x4", 0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF, true, false, 0x10C0},
    // SLAS735 (MSP430G2x53).
    {"MSP430G2553", "MSP430G2xx3", 0xC000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x03FF, true, false, 0x10C0},
    // SLAS590 (MSP430F552x): flash to 0x243FF; RAM 0x2400-0x43FF and USB RAM from 0x1C00, which the
    // record's RAM range takes in (DLL430_OldApiV3.cpp, Device).
    {"MSP430F5529", "MSP430F5529", 0x4400, 0x243FF, 0x1800, 0x19FF, 0x1C00, 0x43FF, true, false, 0x1980},
    // SLAS704 (MSP430FR59xx): FRAM main to 0x13FFF and information FRAM; 2KB RAM.
    {"MSP430FR5969", "MSP430FR5969", 0x4400, 0x13FFF, 0x1800, 0x19FF, 0x1C00, 0x23FF, true, true, 0},
};

}  // namespace

const Part* FindPart(const char* name) {
    for (const Part& p : kParts) {
        if (name && std::strcmp(name, p.part) == 0) return &p;
    }
    return nullptr;
}

const Part& DefaultPart() {
    return kParts[0];
}

uint16_t PartNumber(const Part& part) {
    return static_cast<uint16_t>(&part - kParts + 1);
}

void Target::Choose(const Part& part) {
    part_ = &part;
    segmentALocked_ = true;
    memory_.assign(kAddressSpace, 0);
    std::fill(memory_.begin() + part.mainStart, memory_.begin() + part.mainEnd + 1, 0xFF);
    std::fill(memory_.begin() + part.infoStart, memory_.begin() + part.infoEnd + 1, 0xFF);
    // F2xx: the factory's calibration data in segment A (SLAU144, TLV), which a mass erase must not take.
    if (part.segmentA == 0x10C0) {
        for (uint32_t a = part.segmentA; a <= part.infoEnd; ++a) memory_[a] = static_cast<uint8_t>(a * 7 + 1);
    }
}

bool Target::InLockedSegmentA(uint32_t a) const {
    return segmentALocked_ && part_->segmentA != 0 && a >= part_->segmentA && a <= part_->infoEnd;
}

uint8_t Target::Read(uint32_t a) const {
    if (a < kAddressSpace && (IsMain(a) || IsInfo(a) || IsRam(a))) return memory_[a];
    // Vacant memory: the word 0x3FFF (the library prefills its buffer so, DLL430_OldApiV3.cpp, Memory).
    return (a & 1) ? 0x3F : 0xFF;
}

void Target::Write(uint32_t a, uint8_t value) {
    if (a >= kAddressSpace) return;
    if (IsMain(a) || IsInfo(a)) {
        if (InLockedSegmentA(a)) return;  // LOCKA: the flash controller leaves the segment alone
        // Flash only clears bits (SLAU144, flash memory controller); FRAM takes the value.
        memory_[a] = part_->fram ? value : static_cast<uint8_t>(memory_[a] & value);
    } else if (IsRam(a)) {
        memory_[a] = value;
    }
}

void Target::Store(uint32_t a, uint8_t value) {
    if (a < kAddressSpace) memory_[a] = value;
}

void Target::EraseRange(uint32_t start, uint32_t end) {
    for (uint32_t a = start; a <= end; ++a) {
        if (!InLockedSegmentA(a)) memory_[a] = 0xFF;
    }
}

bool Target::EraseSegment(uint32_t a) {
    // Information memory segments: 128 bytes on F1xx, F4xx and F5xx, 64 on F2xx (SLAU144, SLAU208).
    uint32_t size = IsInfo(a) ? (part_->segmentA == 0x10C0 ? 64 : 128) : IsMain(a) ? kMainSegmentSize : 0;
    if (size == 0) return false;
    uint32_t start = a & ~(size - 1);
    EraseRange(start, start + size - 1);
    return true;
}

void Target::EraseMain() {
    EraseRange(part_->mainStart, part_->mainEnd);
}

void Target::EraseAll() {
    EraseMain();
    EraseRange(part_->infoStart, part_->infoEnd);
}

}  // namespace fakefet
