#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace quarzo::testing {

// Builds ELF32 little-endian MSP430 executables in memory: a header, the program header table right
// after it, then each segment's file bytes in order.
class ElfBuilder {
public:
    // memorySize 0: as many as the file bytes; type 1: PT_LOAD.
    ElfBuilder& Add(uint32_t physical, std::vector<uint8_t> bytes, uint32_t virtualAddress = 0,
                    uint32_t memorySize = 0, uint32_t type = 1) {
        segments_.push_back(
            {type, virtualAddress ? virtualAddress : physical, physical, std::move(bytes), memorySize});
        return *this;
    }

    std::string Build() const {
        std::string out(52, '\0');
        out.replace(0, 7, "\177ELF\1\1\1");  // 32-bit, little-endian, version 1
        Put(out, 16, 2, 2);                  // executable
        Put(out, 18, 105, 2);                // MSP430
        Put(out, 20, 1, 4);
        Put(out, 28, 52, 4);  // program headers follow the header
        Put(out, 40, 52, 2);
        Put(out, 42, 32, 2);
        Put(out, 44, static_cast<uint32_t>(segments_.size()), 2);
        uint32_t offset = static_cast<uint32_t>(52 + 32 * segments_.size());
        std::string table, data;
        for (const Segment& s : segments_) {
            std::string entry(32, '\0');
            uint32_t size = static_cast<uint32_t>(s.bytes.size());
            uint32_t fields[] = {
                s.type, offset, s.virtualAddress, s.physicalAddress, size, s.memorySize ? s.memorySize : size,
                5};
            for (size_t i = 0; i < std::size(fields); ++i) Put(entry, 4 * i, fields[i], 4);
            table += entry;
            data.append(s.bytes.begin(), s.bytes.end());
            offset += size;
        }
        return out + table + data;
    }

private:
    struct Segment {
        uint32_t type, virtualAddress, physicalAddress;
        std::vector<uint8_t> bytes;
        uint32_t memorySize;
    };
    static void Put(std::string& s, size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    }

    std::vector<Segment> segments_;
};

}  // namespace quarzo::testing
