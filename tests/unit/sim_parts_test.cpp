// The virtual target's table of parts agrees with itself, and a device built from a part has that
// part's memory and nothing more: code or a stack beyond its RAM reaches vacant memory, and mirrored RAM
// is one memory at two addresses.
#include "sim/sim_parts.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <tuple>

#include "sim/sim_device.h"

namespace quarzo::sim {
namespace {

TEST(SimParts, EveryPartIsItselfWithItsMemoryOnly) {
    std::set<std::tuple<int, int, int, int, int, int, int, int>> seen;
    for (const SimPart& p : SimParts()) {
        SCOPED_TRACE(p.name);
        std::string lower = p.name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(FindSimPart(lower), &p);
        // What a host can read: the identification block and the configuration fuses.
        auto id = std::make_tuple(p.id0, p.id1, p.subFamily, p.revision[0], p.revision[1], p.revision[2],
                                  p.revision[3], p.configFuses);
        EXPECT_TRUE(seen.insert(id).second) << "looks like another part";
        // SLAU320: 0xF2 and 0xF4 lead the identification of exactly the F2xx and F4xx parts.
        EXPECT_EQ(p.id0 == 0xF2, p.Is2xx());
        EXPECT_EQ(p.id0 == 0xF4, p.Is4xx());

        // Flash holds the vectors; information memory lies in 0x1000..0x10FF in whole segments.
        EXPECT_LE(p.main.start, 0xFFE0u);
        EXPECT_GE(p.main.end, 0xFFFFu);
        EXPECT_EQ(p.main.end > 0xFFFF, p.cpuX);
        EXPECT_GE(p.info.start, 0x1000u);
        EXPECT_LE(p.info.end, 0x10FFu);
        ASSERT_GT(p.infoSegmentSize, 0);
        EXPECT_EQ(p.info.Size() % p.infoSegmentSize, 0u);
        EXPECT_EQ(p.info.start % p.infoSegmentSize, 0u);
        // RAM from 0x0200, below the loader's ROM; a second block between information and main memory.
        EXPECT_EQ(p.ram.start, 0x0200u);
        EXPECT_LT(p.ram.end, 0x0C00u);
        EXPECT_GT(p.ram.Size(), 0x21Au - 0x200u);  // the ROM loader's stack fits
        if (!p.ram2.Empty()) {
            EXPECT_GT(p.ram2.start, p.info.end);
            EXPECT_LT(p.ram2.end, p.main.start);
        }
        EXPECT_TRUE(!p.ramMirrored || p.ram2.Size() >= p.ram.Size());
        EXPECT_GT(p.main.start, p.ram2.Empty() ? p.info.end : p.ram2.end);
        // Spy-Bi-Wire runs over TEST and RST; the 2.xx loaders are the F2xx parts'.
        EXPECT_TRUE(!p.spyBiWire || p.testPin);
        EXPECT_TRUE(p.bslVersion == 0 || (p.bslVersion >= 0x0200) == (p.Is2xx() || p.cpuX));
        EXPECT_NE(p.bslTx.port * 8 + p.bslTx.bit, p.bslRx.port * 8 + p.bslRx.bit);
        // Two kinds of flash: one long mass erase pass with 64-byte information segments (F2xx, FG461x),
        // or short passes repeated to 200 ms with 128-byte segments.
        EXPECT_EQ(p.flash.massEraseClocks == 10593, p.infoSegmentSize == 64);
        EXPECT_EQ(p.flash.cumulativeMassEraseMs == 200, p.infoSegmentSize == 128);

        SimDevice d(p);
        EXPECT_TRUE(d.Write(p.ram.end, 0x5A));
        uint32_t above = p.ram.end + 1;
        if (!d.Exists(above)) {
            EXPECT_FALSE(d.Write(above, 0x5A));
            EXPECT_EQ(d.ReadWord(above & ~1u), SimDevice::kDefaultVacantWord);
        }
        if (p.ramMirrored) {
            EXPECT_TRUE(d.Write(0x0300, 0xA5));
            EXPECT_EQ(d.Read(0x0300 - p.ram.start + p.ram2.start), 0xA5);
        }
    }
    EXPECT_EQ(FindSimPart("MSP430F14x"), nullptr);
}

}  // namespace
}  // namespace quarzo::sim
