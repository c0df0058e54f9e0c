#pragma once

#include <windows.h>

#include <cstdint>

namespace quarzo::platform {

// The DCB of the loader's line: 8 data bits, the given parity (0 none, 1 odd, 2 even), one stop bit,
// no flow control of any kind, DTR and RTS asserted, at the speed.
void MakeLineSettings(DCB& dcb, uint32_t baud, uint8_t parity);

}  // namespace quarzo::platform
