#include "sim/clock_model.h"

#include <cmath>

namespace quarzo::sim {
namespace {

// Basic clock (F1xx), MSP430x13x/14x data sheet (SLAS272), DCO frequency table: fDCO at DCO 3,
// MOD 0, typical at 3 V, per RSEL 0-7 in MHz; the DCO step is fDCO(7,7) / fDCO(7,3) = 4.5 / 2.9 over
// four steps (typical at 2.2 V). The spread: fDCO(7,3) lies in 2.4-3.65 MHz around a typical 3.2.
constexpr double kBasicRsel[8] = {0.13, 0.18, 0.28, 0.47, 0.75, 1.3, 2.0, 3.2};
constexpr double kBasicDcoStep = 1.116;
constexpr DcoSpread kBasicSpread = {2.4 / 3.2, 3.65 / 3.2};
// Basic clock+ (F2xx), MSP430F241x/F261x data sheet (SLAS541), DCO frequency table: fDCO(RSEL, 3)
// minimum and maximum in MHz for RSEL 0-15 (the typical part taken as their geometric mean); SDCO, the
// step between DCO and DCO + 1, typically 1.08. The spread: fDCO(7,3) lies in 0.80-1.50 MHz.
constexpr double kPlusRsel[16][2] = {{0.07, 0.17}, {0.10, 0.20}, {0.14, 0.28}, {0.20, 0.40}, {0.28, 0.54}, {0.39, 0.77},
                                     {0.54, 1.06}, {0.80, 1.50}, {1.10, 2.10}, {1.60, 3.00}, {2.50, 4.30}, {3.00, 5.50},
                                     {4.30, 7.30}, {6.00, 9.60}, {8.60, 13.9}, {12.0, 18.5}};
constexpr double kPlusDcoStep = 1.08;
// FLL+ (F4xx), MSP430FG461x data sheet (SLAS508), DCO table: f(DCO = 2) and f(DCO = 27) with
// DCOPLUS = 1, typical at 3 V, per FN range (FN_2, FN_3, FN_4, FN_8 set: the highest decides); the
// taps between are geometric. The spread: f(DCO = 2) in the lowest range lies in 0.3-1.3 MHz around a
// typical 0.7. FN_8's top at 3 V is not given: the 2.2 V ratio (32 / 4.2) scales its 6.3.
constexpr double kFllRange[5][2] = {{0.7, 6.1}, {1.5, 12.1}, {2.2, 17.9}, {3.4, 26.6}, {6.3, 6.3 * 32 / 4.2}};
constexpr DcoSpread kFllSpread = {0.3 / 0.7, 1.3 / 0.7};

// The family guides' modulator (SLAU049 and SLAU144, basic clock, DCO modulator; SLAU056, FLL+,
// DCO modulator): of every 32 DCOCLK cycles MOD run at the next tap, so the frequency is
// 32 f1 f2 / (MOD f1 + (32 - MOD) f2).
double Modulated(double f1, double f2, int mod) {
    return 32 * f1 * f2 / (mod * f1 + (32 - mod) * f2);
}

// The ROM loaders' speed change (SLAA089, change baud rate): the clock words D2:D1 for 9600, 19200
// and 38400 baud, per family. The loader's bit timing for each rate is made for the clock its word
// gives.
constexpr uint16_t kLoaderClockWords[3][3] = {
    {0x8580, 0x86E0, 0x87E0},  // F1xx
    {0x8580, 0x8B00, 0x8C80},  // F2xx
    {0x9800, 0xB000, 0xC800},  // F4xx
};
constexpr uint32_t kLoaderRates[3] = {9600, 19200, 38400};
// A receiver sampling in each bit's middle reads an 8E1 character whole while the two clocks differ by
// less than half a bit over the ten and a half bits up to the stop bit's middle.
constexpr double kUartTolerance = 0.5 / 10.5;

}  // namespace

double DcoFrequency(ClockSystem system, uint8_t first, uint8_t second, double spread) {
    switch (system) {
        case ClockSystem::kBasic:
        case ClockSystem::kBasicPlus: {
            // DCOCTL: DCO in bits 5-7, MOD in bits 0-4; BCSCTL1: RSEL in bits 0-2 (basic clock+: 0-3).
            int dco = first >> 5;
            int mod = first & 0x1F;
            bool plus = system == ClockSystem::kBasicPlus;
            int rsel = second & (plus ? 0x0F : 0x07);
            double f3 = plus ? std::sqrt(kPlusRsel[rsel][0] * kPlusRsel[rsel][1]) * 1e6 : kBasicRsel[rsel] * 1e6;
            double step = plus ? kPlusDcoStep : kBasicDcoStep;
            double f = f3 * std::pow(step, dco - 3);
            // No modulation at DCO 7 (SLAU049 and SLAU144, DCOCTL: MODx not usable when DCOx = 7).
            if (dco < 7) f = Modulated(f, f * step, mod);
            return f * spread;
        }
        case ClockSystem::kFllPlus: {
            // SCFI0: FLLD in bits 6-7, FN_2 to FN_8 in bits 2-5, MOD's low two bits in 0-1; SCFI1: the DCO
            // tap (NDCO) in bits 3-7, MOD's high three bits in 0-2 (SLAU056, FLL+ registers).
            int fn = first >> 2 & 0x0F;
            int range = fn & 8 ? 4 : fn & 4 ? 3 : fn & 2 ? 2 : fn & 1 ? 1 : 0;
            int tap = second >> 3;
            int mod = (second & 7) << 2 | (first & 3);
            double step = std::pow(kFllRange[range][1] / kFllRange[range][0], 1.0 / 25);
            double f = kFllRange[range][0] * 1e6 * std::pow(step, tap - 2);
            if (tap < 31) f = Modulated(f, f * step, mod);
            return f * spread;
        }
    }
    return 0;
}

DcoSpread DocumentedSpread(ClockSystem system) {
    switch (system) {
        case ClockSystem::kBasic:
            return kBasicSpread;
        case ClockSystem::kBasicPlus:
            return {kPlusRsel[7][0] / std::sqrt(kPlusRsel[7][0] * kPlusRsel[7][1]),
                    kPlusRsel[7][1] / std::sqrt(kPlusRsel[7][0] * kPlusRsel[7][1])};
        case ClockSystem::kFllPlus:
            return kFllSpread;
    }
    return {1, 1};
}

double RomLoaderClockHz(ClockSystem system, uint8_t d3) {
    uint16_t word = kLoaderClockWords[static_cast<int>(system)][d3 > 2 ? 0 : d3];
    return DcoFrequency(system, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8));
}

uint32_t RomLoaderBaud(ClockSystem system, uint8_t d1, uint8_t d2, uint8_t d3) {
    if (d3 > 2) return 0;
    double ratio = DcoFrequency(system, d1, d2) / RomLoaderClockHz(system, d3);
    if (std::fabs(ratio - 1) < kUartTolerance) return kLoaderRates[d3];
    return static_cast<uint32_t>(std::lround(kLoaderRates[d3] * ratio));
}

}  // namespace quarzo::sim
