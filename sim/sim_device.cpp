#include "sim/sim_device.h"

#include <algorithm>

#include "core/memory_image.h"

namespace quarzo::sim {
namespace {

constexpr int kIdPositions[7] = {0, 1, 2, 3, 8, 9, 13};

// Factory calibration of an F2xx part: the DCO tag with its length, then CALDCO/CALBC1 pairs for 16,
// 12, 8 and 1 MHz, as the family's parts carry them (values of one sample chip).
constexpr uint16_t kDcoTag = 0x10F6;
constexpr uint8_t kDcoCalibration[] = {0x01, 0x08, 0x95, 0x8F, 0x9E, 0x8E, 0x93, 0x8D, 0x56, 0x86};

}  // namespace

SimDevice::SimDevice(int deviceIndex, uint16_t bslVersion)
    : index_(deviceIndex), layout_(DeviceLayout(deviceIndex)), memory_(kMemorySize, 0xFF) {
    // The identification block: the device's pattern where it names a value, 0xFF elsewhere.
    const DeviceRecord& record = DeviceRecordAt(deviceIndex);
    for (int i = 0; i < 7; ++i) {
        if (record.id[i] != kAnyValue)
            memory_[kIdAddress + kIdPositions[i]] = static_cast<uint8_t>(record.id[i]);
    }
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
    if (Exists(address)) return memory_[address];
    return static_cast<uint8_t>(address & 1 ? vacantWord_ >> 8 : vacantWord_);
}

bool SimDevice::IsRam(uint32_t address) const {
    return (address >= layout_.ramStart && address <= layout_.ramEnd) ||
           (layout_.ram2End > layout_.ram2Start && address >= layout_.ram2Start &&
            address <= layout_.ram2End);
}

bool SimDevice::Write(uint32_t address, uint8_t value) {
    if (address >= kMemorySize) return false;
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
    std::fill(memory_.begin() + layout_.mainStart, memory_.begin() + layout_.mainEnd + 1, 0xFF);
}

void SimDevice::EraseInfo(bool keepSegmentA) {
    uint32_t end = layout_.infoEnd + 1u;
    if (Is2xx() && keepSegmentA) end -= InfoSegmentSize();  // segment A, the calibration data, is locked
    std::fill(memory_.begin() + layout_.infoStart, memory_.begin() + end, 0xFF);
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
        if (IsFlash(a) || IsRam(a)) memory_[a] = image.ValueAt(a);
    }
}

void SimDevice::StoreFlash(MemoryImage& image) const {
    image.Clear();
    for (uint32_t a = layout_.infoStart; a <= layout_.infoEnd; ++a) image.SetByte(a, memory_[a]);
    for (uint32_t a = layout_.mainStart; a <= layout_.mainEnd; ++a) image.SetByte(a, memory_[a]);
}

void SimDevice::ClearRam() {
    for (uint32_t a = layout_.ramStart; a <= layout_.ramEnd; ++a) memory_[a] = 0;
}

}  // namespace quarzo::sim
