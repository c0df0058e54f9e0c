#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "adapters/base/cancel_flag.h"
#include "platform/clock.h"
#include "platform/port_io.h"

namespace quarzo {

struct DeviceInfo;

// An MSP430 JTAG port driven bit by bit through the three registers of a PC parallel port: the line
// primitives and shifts, the MSP430's JTAG steps, and flash erase, programming and signature checks.
class LptJtag {
public:
    // JTAG instructions, as the chip receives them (least significant bit first).
    static constexpr uint8_t kCntrlSig16Bit = 0x13;
    static constexpr uint8_t kCntrlSigCapture = 0x14;
    static constexpr uint8_t kCntrlSigRelease = 0x15;
    static constexpr uint8_t kPrepareBlow = 0x22;
    static constexpr uint8_t kExBlow = 0x24;
    static constexpr uint8_t kConfigFuses = 0x29;
    static constexpr uint8_t kData16Bit = 0x41;
    static constexpr uint8_t kDataQuick = 0x43;
    static constexpr uint8_t kDataPsa = 0x44;
    static constexpr uint8_t kShiftOutPsa = 0x46;
    static constexpr uint8_t kAddr16Bit = 0x83;
    static constexpr uint8_t kAddrCapture = 0x84;
    static constexpr uint8_t kDataToAddr = 0x85;
    static constexpr uint8_t kJtagId = 0x89;

    // Control-signal register values.
    static constexpr uint16_t kJtagRead = 0x2401;
    static constexpr uint16_t kHaltedRead = 0x2409;
    static constexpr uint16_t kHaltedWrite = 0x2408;
    static constexpr uint16_t kHaltedByteWrite = 0x2418;
    static constexpr uint16_t kPowerOnClear = 0x2C01;
    static constexpr uint16_t kCpuDrivesBus = 0x3401;
    // Instruction words injected into the CPU.
    static constexpr uint16_t kMovImmToPc = 0x4030;
    static constexpr uint16_t kJumpToSelf = 0x3FFF;
    static constexpr uint16_t kNop = 0x4303;

    // Parallel-port register offsets and line bits.
    static constexpr uint16_t kDataRegister = 0;
    static constexpr uint16_t kStatusRegister = 1;
    static constexpr uint16_t kControlRegister = 2;
    static constexpr uint8_t kTdi = 0x01;
    static constexpr uint8_t kTms = 0x02;
    static constexpr uint8_t kTck = 0x04;
    static constexpr uint8_t kTest = 0x08;
    static constexpr uint8_t kSupplyBits = 0xF0;
    static constexpr uint8_t kPyrelOut = 0x80;
    static constexpr uint8_t kTdo = 0x20;
    static constexpr uint8_t kResetLines = 0x03;
    static constexpr uint8_t kSelectLine = 0x02;
    static constexpr uint8_t kEnableLine = 0x04;
    static constexpr uint8_t kConnectLine = 0x08;

    // Error codes (the adapter's table).
    static constexpr int kErrorPortAccess = 1;
    static constexpr int kErrorNoDevice = 3;
    static constexpr int kErrorUnknownDevice = 4;
    static constexpr int kErrorRead = 5;
    static constexpr int kErrorWrite = 6;
    static constexpr int kErrorFuses = 7;
    static constexpr int kErrorReset = 8;
    static constexpr int kErrorVerify = 11;
    static constexpr int kErrorJtagId = 12;
    static constexpr int kErrorFuseBlown = 13;
    static constexpr int kErrorPyrelNotFound = 14;
    static constexpr int kErrorPyrelBoost = 16;
    static constexpr int kErrorPyrelSync = 17;
    static constexpr int kErrorPyrelNotBlown = 18;

    // The fuse-blow device's replies: start, code, length, at most 8 data bytes, checksum.
    static constexpr int kPyrelMaxData = 8;
    static constexpr size_t kPyrelReplySize = 3 + kPyrelMaxData + 1;

    // Erase types and the strobe counts of the flash timing (one pulse fewer than the count): segment
    // erase 4819 clocks, word 35 (F1xx/F4xx; F2xx 30), mass erase 5297 per pass until 200 ms have
    // added up on F1xx/F4xx, 10593 in one pass on F2xx.
    static constexpr int kEraseSegment = 0;
    static constexpr int kEraseMain = 1;
    static constexpr int kEraseAll = 2;
    static constexpr uint32_t kSegmentEraseStrobes = 4820;
    static constexpr uint32_t kMassEraseStrobes = 5300;
    static constexpr uint32_t kMassEraseClocks = 5297;
    static constexpr uint32_t kF2xxMassEraseStrobes = 10600;
    static constexpr uint32_t kWordWriteStrobes = 39;
    static constexpr double kCumulativeEraseSeconds = 0.22;  // 200 ms and a tenth more
    // The flash timing generator runs on TCLK: 257-476 kHz, aimed at the middle, with a margin each
    // side that a measurement must keep.
    static constexpr double kFlashMinHz = 257'000;
    static constexpr double kFlashMaxHz = 476'000;
    static constexpr double kTclkTargetHz = (kFlashMinHz + kFlashMaxHz) / 2;
    static constexpr double kTclkMarginHz = 12'000;
    static constexpr int kMeasurePulses = 1000;

    LptJtag(platform::PortIo& port, Clock& clock);

    void SetCancelFlag(const CancelFlag* flag) { cancel_ = flag; }
    platform::PortIo& Port() { return port_; }

    // Line primitives: each level change is one write of the whole shadow register.
    void SetTdi(bool level);
    void SetTms(bool level);
    void SetTck(int mode);   // 0 low, 2 rising edge, 3 high then low, other high
    void SetTclk(int mode);  // 0 low, 2 low then high, 3 high then low (paced), other high
    void SetTest(bool level);
    // count - 1 paced pulses; false when the burst fell below the flash range (the thread was held up).
    bool TclkStrobes(uint32_t count);
    void SetTargetPower(bool on);
    void SetResetLines(bool asserted);
    void SetSelectLine(bool on);
    void SetEnableLine(bool on);
    void ReleasePins();
    void ConnectJtag();
    void ShutdownPins(bool powerOff);
    bool Tdo();

    // JTAG shifts and the TAP reset with the fuse-check pulses. A shift whose result nobody needs reads
    // no TDO (capture false): fewer port accesses, and no wait on a cable that answers reads slowly.
    uint8_t IrShift(uint8_t instruction, bool capture = true);
    uint16_t DrShift(uint16_t value, int bits = 16, bool capture = true);
    void ResetTap();

    // Timing. TCLK pulses are paced by the monotonic clock at kTclkTargetHz; MeasureTclk times
    // kMeasurePulses of them (without a level change the chip could see) and returns the rate reached.
    void DelayMicroseconds(uint32_t count);
    double MeasureTclk();
    double TclkHz() const { return tclkHz_; }
    static bool TclkUsable(double hz) {
        return hz >= kFlashMinHz + kTclkMarginHz && hz <= kFlashMaxHz - kTclkMarginHz;
    }
    // Passes of the F1xx/F4xx mass erase that add up to the cumulative erase time at the measured rate.
    int MassErasePasses() const;
    // A wait that ends early once the run is cancelled; false then.
    bool Sleep(uint32_t ms);

    // MSP430 device access.
    bool SetInstrFetch();
    bool SetPC(uint16_t address);
    void HaltCpu();
    void ReleaseCpu();
    void ReleaseDevice(uint16_t address);
    bool ExecutePor();
    bool SyncCpu();
    bool GetDevice();
    bool IsFuseBlown();
    void WriteMem(int format, uint16_t address, uint16_t value);
    void ReadMemQuick(uint16_t address, uint32_t count, uint8_t* buffer);
    bool ResetDevice(int method, bool execute, bool release);
    // SLAU320's entry sequence on TEST and RST that selects 4-wire JTAG on a part with Spy-Bi-Wire.
    void EnterSpyBiWireJtag();
    bool OpenTarget(DeviceInfo& info);
    bool IdentifyDevice(DeviceInfo& info);
    // The part the last open found and refused for its 20-bit CPUX; 0 when none.
    int RefusedCpuX() const { return refusedCpuX_; }

    // The fuse-blow device on the same cable, and the fuse blow.
    static uint8_t PyrelChecksum(const uint8_t* bytes, size_t count);
    bool PyrelExchange(uint8_t command, const uint8_t* data, size_t length, uint8_t* reply, uint32_t waitMs);
    bool PyrelCommand(uint8_t command, uint32_t waitMs);
    void PyrelWake();
    // Writes the device's identification line into out (size bytes) when out is given.
    bool PyrelDetect(char* out, size_t size);
    void BeginPyrel();
    void EndPyrel();
    bool BlowFuse();

    // Flash through the target's flash controller, timed by TCLK.
    // F2xx: main memory, then information segments B-D one by one; segment A and LOCKA are left alone.
    // False when a stop ended the erase before all of it was done.
    bool FlashErase(int type, uint16_t address);
    void FlashWrite(uint16_t address, uint32_t count, const uint8_t* words);
    bool VerifyPsa(uint16_t address, uint32_t count, const uint8_t* words);

    int lastError = 0;
    uint32_t deviceIndex = 0;
    uint32_t basePort = 0x378;
    uint32_t dataShadow = 0;
    uint32_t controlShadow = 0;

private:
    void WriteData() { port_.WritePort(static_cast<uint16_t>(basePort + kDataRegister), static_cast<uint8_t>(dataShadow)); }
    void WriteControl() {
        port_.WritePort(static_cast<uint16_t>(basePort + kControlRegister), static_cast<uint8_t>(controlShadow));
    }
    void SetDataBit(uint8_t mask, bool level);
    void Pace();
    void ErasePass(uint16_t mode, uint16_t address, uint32_t strobes);
    bool EraseOnce(uint16_t mode, uint16_t address, uint32_t strobes);
    static constexpr int kBurstAttempts = 3;
    bool EntryNeeded() const;
    void RestoreTclk(bool level);
    void ExitShift();
    void WriteControlSignal(uint16_t value);
    // From a power-on clear, with no read that could hold it up: the watchdog runs meanwhile.
    void StopWatchdogAfterPor();
    void HaltedWriteAndRelease(uint16_t control, uint16_t address, uint16_t value);
    void RegisterWrite(uint16_t address, uint16_t value);
    void PsaStep();
    void EndFlashMode();
    void DriveLine(uint8_t mask, int mode, bool paced);
    bool TryResetMethod(bool release, bool execute);
    bool PyrelIn();
    void PyrelResetPulse();
    void PyrelWriteBit(bool one);
    bool PyrelReadBit();
    void PyrelWriteByte(uint8_t byte);
    uint8_t PyrelReadByte();

    platform::PortIo& port_;
    Clock& clock_;
    const CancelFlag* cancel_ = nullptr;
    uint64_t tclkHalfNs_ = static_cast<uint64_t>(5e8 / kTclkTargetHz);
    uint64_t nextEdgeNs_ = 0;
    double tclkHz_ = 0;
    int refusedCpuX_ = 0;
    // At most 300 ms busy, then 20 ms of rest: well inside the usual cap of 950 ms a second.
    static constexpr uint64_t kBusyNs = 300'000'000;
    static constexpr uint32_t kRestMs = 20;
    uint64_t lastRestNs_ = 0;
};

}  // namespace quarzo
