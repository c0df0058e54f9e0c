#pragma once

#include <cstdint>

namespace quarzo {

// The pins of a 4-wire MSP430 JTAG port as a cable drives them, and the cable's clocks. TCLK is TDI
// while the TAP rests in Run-Test/Idle; its pulses are paced so that the flash timing generator that
// runs on it stays in range.
class JtagPins {
public:
    virtual ~JtagPins() = default;

    virtual void SetTdi(bool level) = 0;
    virtual void SetTms(bool level) = 0;
    virtual void SetTck(bool level) = 0;
    virtual bool Tdo() = 0;
    // The level the cable holds on TDI: the TCLK level while the TAP rests.
    virtual bool TdiLevel() const = 0;

    // One paced TCLK cycle: high then low (risingFirst) or low then high.
    virtual void TclkCycle(bool risingFirst) = 0;
    // count - 1 paced cycles; false when the burst fell below the flash range (the thread was held up).
    virtual bool TclkStrobes(uint32_t count) = 0;

    virtual void SetSupply(bool on) = 0;
    virtual void SetReset(bool asserted) = 0;
    virtual void SetTest(bool level) = 0;
    // The cable's buffers onto the target's pins, with TDI, TMS and TCK high; Release lets the pins go.
    virtual void Connect() = 0;
    virtual void Release() = 0;

    // A wait that ends early once the run is cancelled; false then.
    virtual bool Sleep(uint32_t ms) = 0;
    virtual void DelayUs(uint32_t us) = 0;
    virtual bool Cancelled() const = 0;
    // Writes the cable holds back go out now: what follows must not wait for them.
    virtual void Flush() = 0;
};

}  // namespace quarzo
