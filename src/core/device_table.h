#pragma once

#include <cstdint>
#include <string>

namespace quarzo {

struct DeviceInfo;

inline constexpr uint16_t kAnyValue = 0xFFFF;

// One known device: the identification pattern that picks it out and its layout index.
struct DeviceRecord {
    uint16_t id[7];  // required identification bytes 0, 1, 2, 3, 8, 9, 13, or kAnyValue
    uint16_t fuseValue;
    uint16_t fuseMask;
    uint16_t layoutIndex;
    const char* name;
};

struct MemoryLayout {
    uint16_t mainStart;
    uint32_t mainEnd;
    uint16_t infoStart;
    uint16_t infoEnd;
    uint16_t ramStart;
    uint16_t ramEnd;
    uint16_t ram2Start;
    uint16_t ram2End;
};

inline constexpr int kDeviceCount = 58;
inline constexpr int kDefaultBslDevice = 7;  // MSP430F149

// The first device whose pattern matches the 16 identification bytes (target 0x0FF0..0x0FFF) and the
// configuration fuses; 0 ("Device_unknown") when none does.
int FindDevice(const uint8_t idBytes[16], uint32_t fuses);
// What a loader's identification bytes alone tell: of the devices whose pattern matches them (the
// configuration fuses unknown), the one with the most flash, so that nothing the part may have is left
// out; 0 when none matches.
int IdentifyDevice(const uint8_t idBytes[16]);
// F2xx parts keep factory calibration data in information segment A (0x10C0..0x10FF).
bool HasCalibrationSegment(int index);
inline constexpr uint16_t kSegmentAStart = 0x10C0;
inline constexpr uint16_t kSegmentAEnd = 0x10FF;
// Indexes outside the table read as 0.
const char* DeviceName(int index);
// The first device of that name (without regard to case); 0 when there is none.
int FindDeviceByName(const std::string& name);
// A single part's name ("MSP430F123") as the table names its group ("MSP430F12x"): an exact match
// first, else a record whose "x" stands for any one character; 0 when none fits.
int FindDeviceByPartName(const std::string& name);
int HasTestPin(int index);
// From the parts' data sheets: 4-wire JTAG on a part with Spy-Bi-Wire (F20xx, F21x2, F22xx, F23x, F24x,
// F261x) answers only after the entry sequence on TEST and RST.
bool HasSpyBiWire(int index);
// Parts the vendor's device data marks for the enhanced signature (PSA) set-up: F21x2, F22x2/F22x4,
// F23x, F24x, F261x, F41x2, F47x, FG461x.
bool HasEnhancedPsa(int index);
// Whether the vendor's documents agree on the part's signature set-up: SLAU320's device table marks
// F21x1 for the enhanced one, its reference code does not; such a part is compared by reading back.
bool PsaSetupKnown(int index);
// Parts with the 20-bit CPUX and a 20-bit JTAG address register (FG461x).
bool HasCpuX(int index);
const MemoryLayout& DeviceLayout(int index);
// Name, index, signature, TEST-pin flag and the memory ranges; nothing else of the record.
void FillDeviceInfo(int index, DeviceInfo& info);
// "60KB+256B Flash, 2KB RAM"; empty for index 0 and indexes outside the table.
std::string DeviceDescription(int index);
std::string FormatSize(uint32_t count);

}  // namespace quarzo
