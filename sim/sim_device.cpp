#include "sim/sim_device.h"

#include <algorithm>

#include "core/memory_image.h"

namespace quarzo::sim {
namespace {

constexpr int kIdPositions[7] = {0, 1, 2, 3, 8, 9, 13};

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
    } else if (IsRam(address)) {
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

void SimDevice::EraseInfo() {
    uint32_t end = layout_.infoEnd + 1u;
    if (Is2xx()) end -= InfoSegmentSize();  // segment A, the calibration data, is locked
    std::fill(memory_.begin() + layout_.infoStart, memory_.begin() + end, 0xFF);
}

void SimDevice::MassErase() {
    EraseMain();
    EraseInfo();
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
