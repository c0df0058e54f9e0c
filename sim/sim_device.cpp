#include "sim/sim_device.h"

#include <algorithm>

#include "core/memory_image.h"

namespace quarzo::sim {
namespace {

// Factory calibration of an F2xx part: the DCO tag with its length, then CALDCO/CALBC1 pairs for 16,
// 12, 8 and 1 MHz, as the family's parts carry them (values of one sample chip).
constexpr uint16_t kDcoTag = 0x10F6;
constexpr uint8_t kDcoCalibration[] = {0x01, 0x08, 0x95, 0x8F, 0x9E, 0x8E, 0x93, 0x8D, 0x56, 0x86};

}  // namespace

SimDevice::SimDevice(const SimPart& part, uint16_t bslVersion) : part_(part), memory_(kMemorySize, 0xFF) {
    // The identification block (SLAU319, TX BSL version; SLAU320, device identification): device ID at
    // 0x0FF0/0x0FF1, revision bytes, the sub-family at 0x0FFD, the loader version at 0x0FFA/0x0FFB.
    memory_[kIdAddress] = part.id0;
    memory_[kIdAddress + 1] = part.id1;
    memory_[kIdAddress + 2] = part.revision[0];
    memory_[kIdAddress + 3] = part.revision[1];
    memory_[kIdAddress + 8] = part.revision[2];
    memory_[kIdAddress + 9] = part.revision[3];
    if (part.subFamily != kNoIdByte) memory_[kIdAddress + 13] = static_cast<uint8_t>(part.subFamily);
    memory_[kIdAddress + 10] = static_cast<uint8_t>(bslVersion >> 8);
    memory_[kIdAddress + 11] = static_cast<uint8_t>(bslVersion);
    ClearRam();
    if (Is2xx() && IsInfo(kSegmentAEnd)) {
        std::copy(std::begin(kDcoCalibration), std::end(kDcoCalibration), memory_.begin() + kDcoTag);
        uint16_t sum = SegmentAChecksum();
        memory_[kSegmentAStart] = static_cast<uint8_t>(sum);
        memory_[kSegmentAStart + 1] = static_cast<uint8_t>(sum >> 8);
    }
}

uint16_t SimDevice::SegmentAChecksum() const {
    // The two's complement of the XOR of the block's words, so that checksum plus XOR is zero.
    uint16_t x = 0;
    for (uint32_t a = kSegmentAStart + 2; a < kSegmentAEnd; a += 2) x ^= ReadWord(a);
    return static_cast<uint16_t>(-x);
}

bool SimDevice::Exists(uint32_t address) const {
    return address < kMemorySize && (IsFlash(address) || IsRam(address) || IsPeripheral(address) ||
                                     (address >= kBslRomStart && address <= kBslRomEnd));
}

uint8_t SimDevice::Read(uint32_t address) const {
    if (Exists(address)) return memory_[Physical(address)];
    return static_cast<uint8_t>(address & 1 ? vacantWord_ >> 8 : vacantWord_);
}

bool SimDevice::IsRam(uint32_t address) const {
    return part_.ram.Contains(address) || part_.ram2.Contains(address);
}

bool SimDevice::Write(uint32_t address, uint8_t value) {
    if (address >= kMemorySize) return false;
    address = Physical(address);
    if (address == brokenCell_) {
        memory_[address] = static_cast<uint8_t>(~value);
    } else if (IsRam(address) || IsPeripheral(address)) {
        memory_[address] = value;
    } else if (IsFlash(address)) {
        memory_[address] &= value;
    }
    return memory_[address] == value;
}

void SimDevice::EraseSegment(uint32_t address) {
    uint32_t size = IsInfo(address) ? InfoSegmentSize() : kMainSegment;
    if (!IsFlash(address)) return;
    uint32_t start = address & ~(size - 1);
    std::fill(memory_.begin() + start, memory_.begin() + start + size, 0xFF);
}

void SimDevice::EraseMain() {
    std::fill(memory_.begin() + part_.main.start, memory_.begin() + part_.main.end + 1, 0xFF);
}

void SimDevice::EraseInfo(bool keepSegmentA) {
    uint32_t end = part_.info.end + 1u;
    if (Is2xx() && keepSegmentA) end -= InfoSegmentSize();  // segment A, the calibration data, is locked
    std::fill(memory_.begin() + part_.info.start, memory_.begin() + end, 0xFF);
}

void SimDevice::MassErase(bool keepSegmentA) {
    EraseMain();
    EraseInfo(keepSegmentA);
}

bool SimDevice::IsErased(uint32_t address, uint32_t length) const {
    for (uint32_t a = address; a < address + length; ++a) {
        if (Read(a) != 0xFF) return false;
    }
    return true;
}

void SimDevice::LoadImage(const MemoryImage& image) {
    if (image.IsEmpty()) return;
    for (uint32_t a = image.Lowest(); a <= image.Highest() && a < kMemorySize; ++a) {
        if (image.AllAbsent(a, 1)) continue;
        if (IsFlash(a) || IsRam(a)) memory_[Physical(a)] = image.ValueAt(a);
    }
}

void SimDevice::StoreFlash(MemoryImage& image) const {
    image.Clear();
    for (uint32_t a = part_.info.start; a <= part_.info.end; ++a) image.SetByte(a, memory_[a]);
    for (uint32_t a = part_.main.start; a <= part_.main.end; ++a) image.SetByte(a, memory_[a]);
}

void SimDevice::ClearRam() {
    for (SimRange r : {part_.ram, part_.ram2}) {
        for (uint32_t a = r.start; a <= r.end && !r.Empty(); ++a) memory_[Physical(a)] = 0;
    }
}

}  // namespace quarzo::sim
