#pragma once

#include <cstdint>
#include <functional>

namespace quarzo::sim {

// Timer_A3 of the F1xx/F2xx/F4xx (SLAU049 chapter "Timer_A", SLAU144 "Timer_A", SLAU056 "Timer_A"):
// the 16-bit counter TAR with its clock source, divider and the stop, up, continuous and up/down modes;
// capture/compare units 0-2 with capture on the selected input's edges and compare with the eight
// output modes; TAIFG, TAIV and the two interrupt requests.
class TimerA {
public:
    static constexpr uint16_t kTaiv = 0x012E;
    static constexpr uint16_t kTactl = 0x0160;
    static constexpr uint16_t kCctl0 = 0x0162;
    static constexpr uint16_t kTar = 0x0170;
    static constexpr uint16_t kCcr0 = 0x0172;
    static constexpr int kUnits = 3;
    // TACTL
    static constexpr uint16_t kTaifg = 0x0001, kTaie = 0x0002, kTaclr = 0x0004;
    // TACCTLx
    static constexpr uint16_t kCcifg = 0x0001, kCov = 0x0002, kOut = 0x0004, kCci = 0x0008, kCcie = 0x0010,
                              kCap = 0x0100, kScci = 0x0400;

    // The level of capture input ccis (0 CCIxA, 1 CCIxB) of unit at the given time; GND and VCC
    // (ccis 2 and 3) the timer supplies itself.
    std::function<bool(int unit, int ccis, double atUs)> inputLevel;
    // An output unit's signal changed at that time.
    std::function<void(int unit, bool level, double atUs)> onOutput;

    static bool IsRegister(uint32_t address) {
        uint32_t a = address & ~1u;
        return a == kTaiv || (a >= kTactl && a <= kCctl0 + 4) || (a >= kTar && a <= kCcr0 + 4);
    }
    uint16_t Read(uint16_t address, double nowUs);
    void Write(uint16_t address, uint16_t value, double nowUs);
    // The state after a power-up clear: everything 0, the timer stopped.
    void Reset();
    // Time from startUs on, us long, with the clock sources' frequencies (TACLK and INCLK are pins the
    // model leaves quiet: a timer on them stands).
    void Elapse(double startUs, double us, double aclkHz, double smclkHz);
    // 0 when nothing is requested, else 1 for the TACCR0 vector and 2 for the TAIV one (CCR1, CCR2,
    // TAIFG); 1 comes first.
    int Pending() const;
    // The CPU took the TACCR0 interrupt: its flag resets itself.
    void AcknowledgeCcr0() { cctl_[0] &= static_cast<uint16_t>(~kCcifg); }
    bool Out(int unit) const { return out_[unit]; }
    bool Running() const { return (tactl_ >> 4 & 3) != 0; }
    // A unit in capture mode waiting for an edge on the given input.
    bool CapturesOn(int unit, int ccis) const {
        return (cctl_[unit] & kCap) && (cctl_[unit] >> 14) != 0 && (cctl_[unit] >> 12 & 3) == ccis;
    }

private:
    void Clock(double atUs);
    void Compare(int unit, double atUs);
    void Period(int unit, double atUs);
    void SetOut(int unit, bool level, double atUs);
    bool Input(int unit, double atUs) const;
    void Capture(double atUs);

    uint16_t tactl_ = 0;
    uint16_t tar_ = 0;
    uint16_t cctl_[kUnits] = {};
    uint16_t ccr_[kUnits] = {};
    bool out_[kUnits] = {};
    bool lastInput_[kUnits] = {};
    bool down_ = false;
    double pending_ = 0;  // source clocks not yet a timer clock
};

}  // namespace quarzo::sim
