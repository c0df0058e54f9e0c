#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/sim_device.h"

namespace quarzo::sim {

// The chip's flash controller: FCTL1 to FCTL3 behind the 0xA5 key, LOCK (and LOCKA on F2xx), erase
// started by a dummy write, word and byte programming, and the timing generator. An operation needs a
// minimum number of timing-generator clocks at 257 to 476 kHz; one cut short (by the next flash access,
// a reset or a power loss), given too few clocks or clocked too fast or too slow leaves its cells half
// erased or half programmed, which only a later verify finds.
class FlashController {
public:
    static constexpr uint16_t kFctl1 = 0x0128;
    static constexpr uint16_t kFctl2 = 0x012A;
    static constexpr uint16_t kFctl3 = 0x012C;
    static constexpr uint16_t kKey = 0xA500;
    static constexpr uint16_t kReadKey = 0x9600;
    // FCTL1
    static constexpr uint16_t kErase = 0x0002;
    static constexpr uint16_t kMeras = 0x0004;
    static constexpr uint16_t kWrt = 0x0040;
    // FCTL3
    static constexpr uint16_t kBusy = 0x0001;
    static constexpr uint16_t kKeyv = 0x0002;
    static constexpr uint16_t kAccvifg = 0x0004;
    static constexpr uint16_t kWait = 0x0008;
    static constexpr uint16_t kLock = 0x0010;
    static constexpr uint16_t kLockA = 0x0040;
    // FCTL2: clock select in bits 6-7, 1 = MCLK; divider FN in bits 0-5.
    static constexpr uint16_t kSourceMclk = 0x0040;

    // Minimum timing-generator clocks of each operation and the cumulative time repeated mass erase
    // passes must reach, from the part (data sheets, flash memory: t_Word, t_Seg Erase, t_Mass Erase,
    // t_CMErase).
    uint32_t segmentEraseClocks = 4819;
    uint32_t massEraseClocks = 5297;
    uint32_t wordWriteClocks = 35;
    uint64_t cumulativeMassEraseUs = 200'000;
    // Whether the cumulative time also binds mass erases the chip's own code starts: the data sheets
    // give t_CMErase for the flash, whoever clocks it. An option only so that a test can show the
    // difference.
    bool cumulativeForOwnCode = true;

    explicit FlashController(SimDevice& device);

    static bool IsRegister(uint32_t address) { return address >= kFctl1 && address <= kFctl3 + 1; }
    uint16_t ReadRegister(uint32_t address) const;
    // A write to FCTL1..3 (a byte write carries no key). A wrong key sets KEYV and calls onKeyViolation.
    void WriteRegister(uint32_t address, uint16_t value, bool byte);
    // A write by the bus into flash: programs, starts an erase, or is refused.
    void WriteFlash(uint32_t address, uint16_t value, bool byte);
    // A bus write that concerns the flash (its registers or its cells); false for any other address.
    bool BusWrite(const SimDevice& device, uint32_t address, uint16_t value, bool byte) {
        if (IsRegister(address)) {
            WriteRegister(address, value, byte);
            return true;
        }
        if (!device.IsFlash(address)) return false;
        WriteFlash(address, byte ? static_cast<uint16_t>(value & 0xFF) : value, byte);
        return true;
    }
    // Clock cycles of MCLK driven from outside (TCLK under JTAG) at the host's time stamp atUs; the
    // timing generator sees them when FCTL2 selects MCLK, and its rate follows from the time stamps.
    void MclkCycles(uint32_t count, uint64_t atUs);
    // Time passing for code running on the chip's own clocks: the timing generator takes its clock from
    // the source FCTL2 selects, divided by FN + 1.
    void Elapse(double us, double aclkHz, double mclkHz, double smclkHz, uint64_t atUs);
    static constexpr double kMinTimingHz = 257'000;
    static constexpr double kMaxTimingHz = 476'000;
    // What a read of flash needs first: an operation in hand ends where it stands.
    void Settle() { CutShort(); }
    // Power-up clear: the operation in hand is cut short and the registers take their reset values.
    void Reset();
    // The end of the run: a mass erase left short of its cumulative time counts as incomplete.
    void Conclude();

    bool Busy() const { return op_.kind != OpKind::kNone; }
    // Statistics for tests and benchmarks: every operation that received clocks, those whose timing
    // generator ran outside 257-476 kHz, and erases and writes cut short or given too few clocks.
    uint32_t operations = 0;
    uint32_t outOfRangeOperations = 0;
    uint32_t completedOperations = 0;
    uint32_t incompleteOperations = 0;
    uint32_t refusedWrites = 0;
    uint32_t accessViolations = 0;
    uint64_t operationClocks = 0;
    // Within operations: the intervals between consecutive clocks and their total length, for the
    // clock rate the timing generator saw while it worked.
    uint64_t clockIntervals = 0;
    uint64_t clockIntervalUs = 0;
    // The chip's reaction to a key violation (a power-up clear).
    std::function<void()> onKeyViolation;
    // Called for each operation that ends: "FLASH write F000 366 kHz", with " OUTSIDE 257-476 kHz" or
    // " INCOMPLETE" appended when it failed so.
    std::function<void(const std::string&)> trace;

private:
    enum class OpKind { kNone, kSegmentErase, kMainErase, kMassErase, kWrite };
    struct Operation {
        OpKind kind = OpKind::kNone;
        uint32_t address = 0;
        uint16_t value = 0;
        bool byte = false;
        uint32_t needed = 0;
        uint32_t clocks = 0;
        bool badClock = false;
        bool fromOutside = false;  // clocked by MclkCycles: the rate comes from time stamps
        double hz = 0;             // the chip's own timing-generator rate, when it clocks itself
        uint64_t firstUs = 0;
        uint64_t lastUs = 0;
    };

    void Start(OpKind kind, uint32_t address, uint16_t value, bool byte, uint32_t needed);
    void SourceClocks(uint32_t count, uint64_t atUs);
    void Finish(bool complete);
    void CutShort() {
        if (Busy()) Finish(false);
    }
    void ProgramCell(uint32_t address, uint8_t value, bool complete);
    void EraseRange(uint32_t start, uint32_t end, bool complete);
    // A pending shortfall of the cumulative mass erase time becomes an incomplete operation.
    void EndMassEraseRun();
    void Report(const Operation& op, double hz, bool outside, bool complete);

    SimDevice& device_;
    uint16_t fctl1_ = 0;
    uint16_t fctl2_ = 0x42;
    uint16_t fctl3_ = kLock | kWait;
    uint32_t dividerCount_ = 0;
    double sourceClocks_ = 0;
    Operation op_;
    uint64_t massEraseUs_ = 0;
    bool massEraseShort_ = false;
};

}  // namespace quarzo::sim
