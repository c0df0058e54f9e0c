#pragma once

#include <termios.h>

#include <cstdint>

namespace quarzo::platform {

// The termios settings of the loader's line: raw, 8 data bits, the given parity (Windows numbering:
// 0 none, 1 odd, 2 even), one stop bit, no flow control, modem lines ignored for opening, at the speed.
// False for a speed the system has no constant for.
bool MakeLineSettings(termios& tio, uint32_t baud, uint8_t parity);

}  // namespace quarzo::platform
