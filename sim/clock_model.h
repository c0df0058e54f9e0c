#pragma once

#include <cstdint>

namespace quarzo::sim {

// The clock module of each family: the basic clock (F1xx), the basic clock+ (F2xx), the FLL+ (F4xx).
enum class ClockSystem { kBasic, kBasicPlus, kFllPlus };

// The DCO's frequency in Hz set by its two control registers: DCOCTL and BCSCTL1, or on the FLL+
// SCFI0 and SCFI1 with the loop off (as the loaders run it). spread is the chip's factor around the
// data sheet's typical part.
double DcoFrequency(ClockSystem system, uint8_t first, uint8_t second, double spread = 1.0);
// The slowest and fastest chip the data sheet allows, as factors of the typical one.
struct DcoSpread {
    double slowest;
    double fastest;
};
DcoSpread DocumentedSpread(ClockSystem system);
// The speed of the ROM loader's UART after a speed change to rate index d3 with the clock pair d1, d2:
// the rate asked for when the pair gives the clock the loader's bit timing was made for, else the
// speed it really runs at (a receiver at the nominal rate then reads garbage). 0 for a bad index.
uint32_t RomLoaderBaud(ClockSystem system, uint8_t d1, uint8_t d2, uint8_t d3);
// The DCO frequency of the typical chip with the clock pair SLAA089 gives for rate index d3 (0-2): the
// clock the ROM loader's timing at that rate is made for (and its MCLK: the F4xx words leave FLLD 0).
double RomLoaderClockHz(ClockSystem system, uint8_t d3);

}  // namespace quarzo::sim
