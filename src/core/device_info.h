#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quarzo {

// The device description each adapter fills in Open: a 124-byte little-endian record whose first 104
// bytes are laid out as the vendor library's identify record, so that library can fill it directly.
struct DeviceInfo {
    static constexpr size_t kSize = 124;
    static constexpr size_t kIdentifySize = 104;
    static constexpr size_t kNameSize = 32;
    static constexpr uint16_t kTableSignature = 0xAA55;

    uint8_t bytes[kSize] = {};

    uint16_t Signature() const { return U16(0); }
    void SetSignature(uint16_t v) { SetU16(0, v); }
    uint16_t DeviceIndex() const { return U16(2); }
    void SetDeviceIndex(uint16_t v) { SetU16(2, v); }
    // The NUL-terminated name; never reads past its 32 bytes.
    std::string Name() const {
        const char* p = reinterpret_cast<const char*>(bytes + 4);
        return std::string(p, strnlen(p, kNameSize));
    }
    void SetName(const char* name) {
        std::memset(bytes + 4, 0, kNameSize);
        std::memcpy(bytes + 4, name, strnlen(name, kNameSize - 1));  // always NUL-terminated
    }
    uint16_t MainStart() const { return U16(36); }
    void SetMainStart(uint16_t v) { SetU16(36, v); }
    uint16_t InfoStart() const { return U16(38); }
    void SetInfoStart(uint16_t v) { SetU16(38, v); }
    uint16_t RamEnd() const { return U16(40); }
    void SetRamEnd(uint16_t v) { SetU16(40, v); }
    uint16_t TestPin() const { return U16(56); }
    void SetTestPin(uint16_t v) { SetU16(56, v); }
    uint16_t InfoEnd() const { return U16(64); }
    void SetInfoEnd(uint16_t v) { SetU16(64, v); }
    uint32_t MainEnd() const { return U16(68) | static_cast<uint32_t>(U16(70)) << 16; }
    void SetMainEnd(uint32_t v) {
        SetU16(68, static_cast<uint16_t>(v));
        SetU16(70, static_cast<uint16_t>(v >> 16));
    }
    // Copy of target memory 0x0FF0..0x0FFF.
    uint8_t* IdBytes() { return bytes + 104; }
    const uint8_t* IdBytes() const { return bytes + 104; }
    uint32_t FuseValue() const { return U16(120) | static_cast<uint32_t>(U16(122)) << 16; }
    void SetFuseValue(uint32_t v) {
        SetU16(120, static_cast<uint16_t>(v));
        SetU16(122, static_cast<uint16_t>(v >> 16));
    }

private:
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }
    void SetU16(size_t at, uint16_t v) {
        bytes[at] = static_cast<uint8_t>(v);
        bytes[at + 1] = static_cast<uint8_t>(v >> 8);
    }
};

static_assert(sizeof(DeviceInfo) == DeviceInfo::kSize, "DeviceInfo must keep the library's record layout");

}  // namespace quarzo
