#pragma once

#include <cstddef>
#include <cstdint>

namespace quarzo {

// MSP430 code that the link loads into the target's RAM at 0x0220 when the ROM loader is too old: a
// complete loader of version 1.50 whose first word is its start address. It is assembled at build
// time from asm/loadable_bsl.s by tools/msp430asm.py.
inline constexpr size_t kLoadableBslSize = 456;
extern const uint8_t kLoadableBsl[kLoadableBslSize];

}  // namespace quarzo
