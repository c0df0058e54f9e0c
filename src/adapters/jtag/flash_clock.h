#pragma once

namespace quarzo::flash_clock {

// The flash timing generator runs on TCLK (FCTL2 = 0xA540): 257-476 kHz, aimed at the middle, with a
// margin each side that a measurement must keep.
constexpr double kMinHz = 257'000;
constexpr double kMaxHz = 476'000;
constexpr double kTargetHz = (kMinHz + kMaxHz) / 2;
constexpr double kMarginHz = 12'000;

constexpr bool Usable(double hz) {
    return hz >= kMinHz + kMarginHz && hz <= kMaxHz - kMarginHz;
}

}  // namespace quarzo::flash_clock
