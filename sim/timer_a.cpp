#include "sim/timer_a.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quarzo::sim {
namespace {

// TACTL fields: TASSEL bits 8-9, ID bits 6-7, MC bits 4-5.
enum Mode { kStop, kUp, kContinuous, kUpDown };

int ModeOf(uint16_t tactl) {
    return tactl >> 4 & 3;
}

// TAIV values (the guides' TAIV table): CCR1, CCR2 and TAIFG, highest priority first.
constexpr uint16_t kTaivCcr1 = 2, kTaivCcr2 = 4, kTaivTaifg = 10;

}  // namespace

void TimerA::Reset() {
    tactl_ = tar_ = 0;
    for (int i = 0; i < kUnits; ++i) {
        cctl_[i] = ccr_[i] = 0;
        out_[i] = false;
        lastInput_[i] = false;
    }
    down_ = false;
    pending_ = 0;
}

bool TimerA::Input(int unit, double atUs) const {
    int ccis = cctl_[unit] >> 12 & 3;
    if (ccis >= 2) return ccis == 3;  // GND, VCC
    return inputLevel ? inputLevel(unit, ccis, atUs) : false;
}

uint16_t TimerA::Read(uint16_t address, double nowUs) {
    uint16_t a = address & ~1u;
    if (a == kTaiv) {
        // The highest enabled request; reading it resets that flag (TAIV, interrupt vector generator).
        if ((cctl_[1] & (kCcifg | kCcie)) == (kCcifg | kCcie)) {
            cctl_[1] &= static_cast<uint16_t>(~kCcifg);
            return kTaivCcr1;
        }
        if ((cctl_[2] & (kCcifg | kCcie)) == (kCcifg | kCcie)) {
            cctl_[2] &= static_cast<uint16_t>(~kCcifg);
            return kTaivCcr2;
        }
        if ((tactl_ & (kTaifg | kTaie)) == (kTaifg | kTaie)) {
            tactl_ &= static_cast<uint16_t>(~kTaifg);
            return kTaivTaifg;
        }
        return 0;
    }
    if (a == kTactl) return tactl_;
    if (a == kTar) return tar_;
    if (a >= kCcr0) return ccr_[(a - kCcr0) / 2];
    int unit = (a - kCctl0) / 2;
    // CCI shows the selected input as it is now.
    uint16_t value = static_cast<uint16_t>(cctl_[unit] & ~kCci);
    return static_cast<uint16_t>(value | (Input(unit, nowUs) ? kCci : 0));
}

void TimerA::Write(uint16_t address, uint16_t value, double nowUs) {
    uint16_t a = address & ~1u;
    if (a == kTaiv) {
        Read(a, nowUs);  // any access resets the highest pending flag
        return;
    }
    if (a == kTactl) {
        // TACLR clears TAR, the divider and the direction, and reads back 0.
        if (value & kTaclr) {
            tar_ = 0;
            pending_ = 0;
            down_ = false;
        }
        tactl_ = static_cast<uint16_t>(value & ~kTaclr);
        return;
    }
    if (a == kTar) {
        tar_ = value;
        return;
    }
    if (a >= kCcr0) {
        ccr_[(a - kCcr0) / 2] = value;
        return;
    }
    int unit = (a - kCctl0) / 2;
    // CCI and SCCI are read-only.
    cctl_[unit] = static_cast<uint16_t>((value & ~(kCci | kScci)) | (cctl_[unit] & kScci));
    lastInput_[unit] = Input(unit, nowUs);
    // Output mode 0: the output is the OUT bit.
    if ((value >> 5 & 7) == 0) SetOut(unit, (value & kOut) != 0, nowUs);
}

void TimerA::SetOut(int unit, bool level, double atUs) {
    if (out_[unit] == level) return;
    out_[unit] = level;
    if (onOutput) onOutput(unit, level, atUs);
}

// The output modes' action when TAR counts to TACCRx (the guides' output mode table).
void TimerA::Compare(int unit, double atUs) {
    uint16_t& cctl = cctl_[unit];
    if (cctl & kCap) return;
    cctl |= kCcifg;
    switch (cctl >> 5 & 7) {
        case 1:  // set
        case 3:  // set/reset
            SetOut(unit, true, atUs);
            break;
        case 2:  // toggle/reset
        case 4:  // toggle
        case 6:  // toggle/set
            SetOut(unit, !out_[unit], atUs);
            break;
        case 5:  // reset
        case 7:  // reset/set
            SetOut(unit, false, atUs);
            break;
        default:
            break;
    }
}

// The second half of modes 2, 3, 6 and 7 when TAR counts to TACCR0.
void TimerA::Period(int unit, double atUs) {
    switch (cctl_[unit] >> 5 & 7) {
        case 2:
        case 3:
            SetOut(unit, false, atUs);
            break;
        case 6:
        case 7:
            SetOut(unit, true, atUs);
            break;
        default:
            break;
    }
}

// Capture mode: the selected edge copies TAR into TACCRx and sets CCIFG; COV when CCIFG was still set.
void TimerA::Capture(double atUs) {
    for (int unit = 0; unit < kUnits; ++unit) {
        uint16_t& cctl = cctl_[unit];
        if (!(cctl & kCap)) continue;
        bool level = Input(unit, atUs);
        bool rising = level && !lastInput_[unit];
        bool falling = !level && lastInput_[unit];
        lastInput_[unit] = level;
        int cm = cctl >> 14;
        if (!((rising && (cm & 1)) || (falling && (cm & 2)))) continue;
        if (cctl & kCcifg) cctl |= kCov;
        ccr_[unit] = tar_;
        cctl |= kCcifg;
    }
}

// One timer clock in the mode MC selects (the guides' timer mode control).
void TimerA::Clock(double atUs) {
    switch (ModeOf(tactl_)) {
        case kUp:
            // Counts to TACCR0, then from TACCR0 to zero, which sets TAIFG.
            if (tar_ >= ccr_[0]) {
                tar_ = 0;
                tactl_ |= kTaifg;
            } else {
                ++tar_;
            }
            break;
        case kContinuous:
            if (++tar_ == 0) tactl_ |= kTaifg;
            break;
        case kUpDown:
            // Up to TACCR0 and down to zero; TAIFG when it counts from 1 to 0.
            if (!down_ && tar_ >= ccr_[0]) down_ = true;
            if (down_ && tar_ == 0) down_ = false;
            if (down_) {
                if (--tar_ == 0) tactl_ |= kTaifg;
            } else {
                ++tar_;
            }
            break;
        default:
            return;
    }
    bool period = tar_ == ccr_[0] && !(cctl_[0] & kCap);
    for (int unit = 0; unit < kUnits; ++unit) {
        if (tar_ == ccr_[unit]) Compare(unit, atUs);
        if (period && unit != 0) Period(unit, atUs);
    }
}

void TimerA::Elapse(double startUs, double us, double aclkHz, double smclkHz) {
    if (!Running()) return;
    int source = tactl_ >> 8 & 3;
    double sourceHz = source == 1 ? aclkHz : source == 2 ? smclkHz : 0;
    if (sourceHz <= 0) return;
    double hz = sourceHz / (1 << (tactl_ >> 6 & 3));
    double before = pending_;
    pending_ += us * hz / 1e6;
    auto clocks = static_cast<uint64_t>(pending_);
    pending_ -= static_cast<double>(clocks);
    auto at = [&](uint64_t k) { return startUs + (static_cast<double>(k) - before) * 1e6 / hz; };
    bool capturing = false;
    for (int unit = 0; unit < kUnits; ++unit) capturing |= (cctl_[unit] & kCap) && (cctl_[unit] >> 14) != 0;
    if (capturing || ModeOf(tactl_) != kContinuous || clocks < 64) {
        for (uint64_t k = 1; k <= clocks; ++k) {
            Clock(at(k));
            if (capturing) Capture(at(k));
        }
        return;
    }
    // Continuous mode without a capture: the compare events and the overflow in their order.
    struct Event {
        uint64_t clock;
        int unit;  // -1 for the overflow
    };
    std::vector<Event> events;
    for (int unit = 0; unit < kUnits; ++unit) {
        uint64_t d = static_cast<uint16_t>(ccr_[unit] - tar_);
        if (d == 0) d = 0x10000;
        if (!(cctl_[unit] & kCap) && d <= clocks) events.push_back({d, unit});
    }
    uint64_t wrap = 0x10000 - tar_;
    if (wrap <= clocks) events.push_back({wrap, -1});
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.clock < b.clock; });
    uint16_t start = tar_;
    for (const Event& e : events) {
        tar_ = static_cast<uint16_t>(start + e.clock);
        if (e.unit < 0) {
            tactl_ |= kTaifg;
            continue;
        }
        Compare(e.unit, at(e.clock));
        if (e.unit == 0) {
            for (int unit = 1; unit < kUnits; ++unit) Period(unit, at(e.clock));
        }
    }
    tar_ = static_cast<uint16_t>(start + clocks);
}

int TimerA::Pending() const {
    if ((cctl_[0] & (kCcifg | kCcie)) == (kCcifg | kCcie)) return 1;
    for (int unit = 1; unit < kUnits; ++unit) {
        if ((cctl_[unit] & (kCcifg | kCcie)) == (kCcifg | kCcie)) return 2;
    }
    return (tactl_ & (kTaifg | kTaie)) == (kTaifg | kTaie) ? 2 : 0;
}

}  // namespace quarzo::sim
