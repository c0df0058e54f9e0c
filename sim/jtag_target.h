#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/flash_controller.h"
#include "sim/pyrel_device.h"
#include "sim/sim_device.h"

namespace quarzo::sim {

// The chip behind a parallel-port JTAG cable, seen through the port's three registers: the supply on
// data bits 4-7, TDI/TMS/TCK on bits 0-2, TEST on bit 3, TDO on status bit 5, the reset line on control
// bit 0 and the cable's connect and enable lines on control bits 3 and 2 (without both the chip sees no
// JTAG signals).
// Behind them the TAP controller, the MSP430's JTAG registers and the parts of the CPU that JTAG
// drives: the control-signal register, instruction fetch, injected instructions, memory access through
// the halted CPU, quick reads, the signature (PSA) hardware, the watchdog and the flash controller,
// clocked by TCLK (TDI in Run-Test/Idle).
class JtagTarget {
public:
    static constexpr uint8_t kJtagId = 0x89;
    static constexpr uint16_t kPsaPolynomial = 0x0805;
    // The watchdog after a reset: 32768 cycles of SMCLK from the DCO at about 1 MHz (SLAU049/SLAU144,
    // watchdog timer; data sheets, DCO frequency), in real time.
    static constexpr uint64_t kWatchdogUs = 32'768;
    // Spy-Bi-Wire parts: TEST held low this long leaves JTAG (data sheets, t_SBW,Ret).
    static constexpr uint64_t kTestReturnUs = 100;
    // The cable's supply has capacitance: a gap in the supply bits shorter than this keeps the chip up
    // (the fuse-blow device's pulses share two of the bits).
    static constexpr uint64_t kSupplyHoldUs = 20'000;

    explicit JtagTarget(SimDevice& device);

    // The port's registers as the host writes and reads them; us is the host's time of the access.
    void WritePort(uint8_t offset, uint8_t value, uint64_t us);
    uint8_t ReadPort(uint8_t offset, uint64_t us);

    // The cable taken off: the lines no longer reach the chip, and its supply comes from elsewhere
    // when externalSupply is set.
    void Unplug();

    // Options.
    bool attached = true;         // a chip at the end of the cable
    bool externalSupply = false;  // powered whatever the supply bits say
    bool fuseBlown = false;
    // A part with Spy-Bi-Wire: its JTAG pins answer only after the entry sequence on TEST and RST.
    bool spyBiWire = false;
    // A part with the 20-bit CPUX (FG4619 class): its address register is 20 bits long.
    bool cpuX = false;
    bool fuseResists = false;     // the blow voltage comes, but the fuse stays whole
    // The signature hardware answers only the PSA set-up SLAU320 gives the part (see TclkRising).
    bool strictPsaSetup = true;
    uint8_t configFuses = 0;
    // The fuse-blow device on the same cable, if any.
    PyrelDevice* pyrel = nullptr;

    // What the model saw, for tests and benchmarks.
    uint64_t accesses = 0;
    uint64_t tclkPulses = 0;
    uint32_t fuseChecks = 0;
    uint32_t powerCycles = 0;
    uint32_t resets = 0;
    uint32_t blowAttempts = 0;
    // Falling TCLK edges at an instruction fetch with no instruction injected: each runs a step of the
    // code in the chip's memory.
    uint32_t strayFetches = 0;
    // The fuse check saw TDI low: the fuse reads as blown until the supply is cycled.
    bool FuseReadsBlown() const { return fuseReadsBlown_; }
    bool Powered() const { return powered_; }
    bool UnderJtag() const { return !released_; }
    uint16_t ControlSignals() const { return csr_; }
    uint16_t Pc() const { return pc_; }
    FlashController& Flash() { return flash_; }
    SimDevice& Device() { return device_; }
    // Called for every instruction and data shift: "IR 13" or "DR 2401 0089" (in, out).
    std::function<void(const std::string&)> trace;

private:
    enum class Tap {
        kReset, kIdle, kSelectDr, kCaptureDr, kShiftDr, kExit1Dr, kPauseDr, kExit2Dr, kUpdateDr,
        kSelectIr, kCaptureIr, kShiftIr, kExit1Ir, kPauseIr, kExit2Ir, kUpdateIr
    };
    enum class Cpu { kStarting, kFetch, kNeedOperand, kExecuting };

    void Lines(uint8_t data, uint8_t control, uint64_t us);
    void SetPowered(bool on);
    void Supply(bool bitsOn, uint64_t us);
    void ExecuteBlow();
    void PowerUpClear();
    void TckRising(bool tms, bool tdi);
    void TckFalling();
    void TclkRising(uint64_t us);
    void TclkFalling();
    void TmsChanged(bool tms, uint64_t us);
    void TestChanged(bool test, uint64_t us);
    void ArmFuseCheck();
    static Tap Next(Tap state, bool tms);
    int DrLength() const;
    uint32_t DrCapture();
    void DrUpdate(uint32_t shifted);
    void IrUpdate();
    bool Bypassed() const { return fuseBlown || fuseReadsBlown_; }
    uint16_t CapturedSignals() const;
    uint16_t BusRead(uint16_t address);
    void BusWrite(uint16_t address, uint16_t value, bool byte);
    bool Live() const { return powered_ && attached && enabled_ && !inReset_ && (!spyBiWire || jtagEntered_); }

    SimDevice& device_;
    FlashController flash_;

    // The lines as the chip last saw them.
    uint8_t data_ = 0;
    uint8_t control_ = 0;
    bool plugged_ = true;
    bool powered_ = false;
    bool supplyGap_ = false;
    uint64_t supplyGapUs_ = 0;
    uint64_t nowUs_ = 0;
    bool blowPrepared_ = false;
    bool enabled_ = false;
    bool inReset_ = false;
    bool live_ = false;
    bool tck_ = false;
    bool tms_ = false;
    bool tdi_ = false;
    bool tclk_ = false;
    bool tdo_ = true;

    // Fuse check: TMS pulses after a power-up or a reset on the RST pin.
    bool fuseCheckArmed_ = true;
    int fuseEdges_ = 0;
    uint64_t tmsFellUs_ = 0;
    bool fuseReadsBlown_ = false;
    // Spy-Bi-Wire entry: TEST's level and time, and how far the sequence has come.
    bool test_ = false;
    uint64_t testFellUs_ = 0;
    int entryStep_ = 0;
    bool jtagEntered_ = false;

    // TAP and JTAG registers.
    Tap tap_ = Tap::kReset;
    uint8_t ir_ = 0xFF;
    uint8_t irShift_ = 0;
    uint8_t irOut_ = 0;
    uint32_t drShift_ = 0;
    uint32_t drIn_ = 0;
    int drLength_ = 1;
    uint32_t drCaptured_ = 0;

    // The CPU and its buses under JTAG.
    uint16_t csr_ = 0;
    bool released_ = true;
    Cpu cpu_ = Cpu::kStarting;
    int startCycles_ = 0;
    int branchCycles_ = 0;
    uint16_t pc_ = 0;
    uint16_t address_ = 0;
    uint16_t dataBus_ = 0;
    bool injected_ = false;      // a fresh word from DATA_16BIT waits for the CPU
    bool writePending_ = false;  // a word from DATA_TO_ADDR waits for the next TCLK
    uint16_t signature_ = 0;
    bool watchdogHeld_ = false;
    uint64_t watchdogStartUs_ = 0;
};

}  // namespace quarzo::sim
