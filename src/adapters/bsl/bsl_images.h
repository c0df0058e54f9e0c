#pragma once

#include <cstddef>
#include <cstdint>

namespace quarzo {

// MSP430 code that the link loads into the target's RAM at 0x0220 when the ROM loader is too old: a
// complete loader of version 1.50 whose first word is its start address. It is assembled at build
// time from asm/loadable_bsl.s by tools/msp430asm.py.
inline constexpr size_t kLoadableBslSize = 456;
extern const uint8_t kLoadableBsl[kLoadableBslSize];
// The loader's stack ends at the top of 512 bytes of RAM.
inline constexpr uint32_t kLoadableBslRamEnd = 0x03FF;

// Whether the loadable loader can serve a chip: it is written for the F1xx (the ROM loader's pins P1.1
// and P2.2, the basic clock; F4xx loaders use P1.0 and P1.1 and the FLL+) and needs RAM up to its
// stack's top. family is identification byte 0; ramEnd the part's last RAM address, 0 when the part
// is unknown (a RAM too small then shows in the read-back of the download, which starts nothing).
inline bool LoadableBslFits(uint8_t family, uint32_t ramEnd) {
    return family == 0xF1 && (ramEnd == 0 || ramEnd >= kLoadableBslRamEnd);
}

}  // namespace quarzo
