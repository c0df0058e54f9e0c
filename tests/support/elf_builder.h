#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarzo::testing {

// Builds ELF32 little-endian MSP430 executables in memory: a header, the program header table right
// after it, then each segment's file bytes in order.
class ElfBuilder {
public:
    struct Segment {
        uint32_t type = 1;  // PT_LOAD
        uint32_t virtualAddress;
        uint32_t physicalAddress;
        std::vector<uint8_t> bytes;
        uint32_t memorySize;  // 0: as many as the file bytes
    };

    ElfBuilder& Add(uint32_t physical, std::vector<uint8_t> bytes, uint32_t virtualAddress = 0,
                    uint32_t memorySize = 0, uint32_t type = 1) {
        segments_.push_back(
            {type, virtualAddress ? virtualAddress : physical, physical, std::move(bytes), memorySize});
        return *this;
    }

    std::string Build(uint16_t machine = 105, uint8_t elfClass = 1) const {
        std::string out(52, '\0');
        out.replace(0, 4,
                    "\x7F"
                    "ELF");
        out[4] = static_cast<char>(elfClass);
        out[5] = 1;  // little-endian
        out[6] = 1;
        Put16(out, 16, 2);  // executable
        Put16(out, 18, machine);
        Put32(out, 20, 1);
        Put32(out, 28, 52);  // program headers follow the header
        Put16(out, 40, 52);
        Put16(out, 42, 32);
        Put16(out, 44, static_cast<uint16_t>(segments_.size()));
        uint32_t offset = static_cast<uint32_t>(52 + 32 * segments_.size());
        std::string table, data;
        for (const Segment& s : segments_) {
            std::string entry(32, '\0');
            Put32(entry, 0, s.type);
            Put32(entry, 4, offset);
            Put32(entry, 8, s.virtualAddress);
            Put32(entry, 12, s.physicalAddress);
            Put32(entry, 16, static_cast<uint32_t>(s.bytes.size()));
            Put32(entry, 20, s.memorySize ? s.memorySize : static_cast<uint32_t>(s.bytes.size()));
            Put32(entry, 24, 5);
            table += entry;
            data.append(s.bytes.begin(), s.bytes.end());
            offset += static_cast<uint32_t>(s.bytes.size());
        }
        return out + table + data;
    }

    static void Put16(std::string& s, size_t at, uint16_t v) {
        s[at] = static_cast<char>(v);
        s[at + 1] = static_cast<char>(v >> 8);
    }
    static void Put32(std::string& s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    }

private:
    std::vector<Segment> segments_;
};

}  // namespace quarzo::testing
