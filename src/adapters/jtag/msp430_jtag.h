#pragma once

#include <cstdint>

#include "adapters/jtag/jtag_pins.h"

namespace quarzo {

struct DeviceInfo;

// What went wrong in an MSP430 JTAG step.
enum class JtagError {
    kNone,
    kNoDevice,       // nothing answers, or no reset method brought the chip under JTAG
    kFuseBlown,      // the chip answers only through the bypass of a blown fuse
    kUnknownDevice,  // identification and fuses match no part
    kCpuX,           // a part with the 20-bit CPUX, which 16-bit address shifts do not reach
    kFuses,          // the configuration fuses could not be read
    kReset,          // no reset method brought the chip back under JTAG
    kVerify,         // the memory does not hold what was compared
    kStopped,        // the run was cancelled between two flash operations
    kHeldUp,         // every try of a flash operation's TCLK burst was held up below the flash range
};

// The MSP430's JTAG interface on any cable's pins (SLAU320): the TAP and its shifts, control of the
// CPU, memory access, identification, flash erase and programming through the flash controller timed
// by TCLK, and the signature (PSA) comparison.
class Msp430Jtag {
public:
    // JTAG instructions, as the chip receives them (least significant bit first).
    static constexpr uint8_t kCntrlSig16Bit = 0x13;
    static constexpr uint8_t kCntrlSigCapture = 0x14;
    static constexpr uint8_t kCntrlSigRelease = 0x15;
    static constexpr uint8_t kData16Bit = 0x41;
    static constexpr uint8_t kAddr16Bit = 0x83;
    static constexpr uint8_t kDataToAddr = 0x85;
    static constexpr uint8_t kJtagId = 0x89;
    // Control-signal register values.
    static constexpr uint16_t kJtagRead = 0x2401;
    static constexpr uint16_t kHaltedRead = 0x2409;
    // Erase types.
    static constexpr int kEraseSegment = 0;
    static constexpr int kEraseMain = 1;
    static constexpr int kEraseAll = 2;

    explicit Msp430Jtag(JtagPins& pins) : pins_(pins) {}

    // Shifts. One whose result nobody needs reads no TDO (capture false): fewer port accesses, and no
    // wait on a cable that answers reads slowly. TCLK (TDI) ends at the level it had.
    uint8_t IrShift(uint8_t instruction, bool capture = true);
    uint16_t DrShift(uint16_t value, int bits = 16, bool capture = true);
    void ResetTap();
    // TCLK's level, and one cycle of it: high then low (fall) or low then high (rise).
    void SetTclk(bool level) { pins_.SetTdi(level); }
    void TclkFall() { pins_.TclkCycle(true); }
    void TclkRise() { pins_.TclkCycle(false); }

    // CPU control and memory.
    bool SetInstrFetch();
    bool SetPC(uint16_t address);
    void HaltCpu();
    void ReleaseCpu();
    void ReleaseDevice(uint16_t address);
    bool IsFuseBlown();
    void WriteMem(bool byte, uint16_t address, uint16_t value);
    void ReadMemQuick(uint16_t address, uint32_t count, uint8_t* buffer);

    // Supply on, cable connected, chip reset under JTAG and identified.
    JtagError Open(DeviceInfo& info);
    // Methods: 1 a JTAG power-on clear, 2 the reset line (the entry sequence on a Spy-Bi-Wire part),
    // 4 a supply cycle; each set bit tried in turn.
    JtagError ResetDevice(int method, bool execute, bool release);
    // The part Open identified (the device table's index); 0 when none. The part the last open found
    // and refused for its 20-bit CPUX; 0 when none.
    int DeviceIndex() const { return deviceIndex_; }
    int RefusedCpuX() const { return refusedCpuX_; }

    // Flash, timed by TCLK at tclkHz. An erase a stop ended early is kStopped.
    JtagError FlashErase(int type, uint16_t address, double tclkHz);
    JtagError FlashWrite(uint16_t address, uint32_t count, const uint8_t* words);
    // Compares count words with words, or with erased flash when words is null.
    JtagError Verify(uint16_t address, uint32_t count, const uint8_t* words);
    // Passes of the F1xx/F4xx mass erase that add up to the cumulative erase time at tclkHz.
    static int MassErasePasses(double tclkHz);

    // The fuse blow's JTAG steps: TDO as the data input (the voltage then comes on TDI), and the two
    // instructions around the voltage pulse.
    void TdoAsDataInput() { WriteControlSignal(kTdoAsDataInput); }
    void PrepareBlow() { IrShift(kPrepareBlow); }
    void ExecuteBlow() { IrShift(kExBlow); }

private:
    static constexpr uint8_t kAddrCapture = 0x84;
    static constexpr uint16_t kHaltedWrite = 0x2408;
    static constexpr uint16_t kPowerOnClear = 0x2C01;
    static constexpr uint16_t kInstrLoad = 0x0080;  // captured control signals: at an instruction fetch
    // Instruction words injected into the CPU.
    static constexpr uint16_t kMovImmToPc = 0x4030;
    static constexpr uint16_t kJumpToSelf = 0x3FFF;
    static constexpr int kTries = 50;
    static constexpr uint16_t kTdoAsDataInput = 0x7201;
    static constexpr uint8_t kPrepareBlow = 0x22;
    static constexpr uint8_t kExBlow = 0x24;
    // A burst held up is tried again; the later tries after a rest: what holds the thread up comes in
    // spells of a few milliseconds, longer than a word's tries back to back.
    static constexpr int kBurstAttempts = 5;
    static constexpr uint32_t kRetryRestMs = 20;

    void ClockTck();
    void ExitShift();
    void WriteControlSignal(uint16_t value);
    bool ExecutePor();
    // From a power-on clear, with no read that could hold it up: the watchdog runs meanwhile.
    void StopWatchdogAfterPor();
    bool SyncCpu();
    bool GetDevice();
    bool EntryNeeded() const;
    void EnterSpyBiWireJtag();
    bool TryResetMethod(bool release, bool execute);
    JtagError Identify(DeviceInfo& info);
    void HaltedWriteAndRelease(uint16_t control, uint16_t address, uint16_t value);
    void RegisterWrite(uint16_t address, uint16_t value);
    void EndFlashMode();
    bool ErasePass(uint16_t mode, uint16_t address, uint32_t strobes);
    bool EraseOnce(uint16_t mode, uint16_t address, uint32_t strobes);
    bool VerifyPsa(uint16_t address, uint32_t count, const uint8_t* words);
    bool VerifyByReading(uint16_t address, uint32_t count, const uint8_t* words);
    void PsaStep();

    JtagPins& pins_;
    int deviceIndex_ = 0;
    int refusedCpuX_ = 0;
};

}  // namespace quarzo
