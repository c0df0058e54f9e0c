#include "sim/flash_controller.h"

#include <cstdio>

namespace quarzo::sim {
namespace {

// What a half-finished operation leaves: bits partly erased (some ones back) or partly programmed
// (some zeros missing).
constexpr uint8_t kHalfErasedBits = 0x55;
constexpr uint8_t kHalfProgrammedMask = 0x55;

const char* KindName(int kind) {
    static const char* const kNames[] = {"none", "segment erase", "main erase", "mass erase", "write"};
    return kNames[kind];
}

}  // namespace

// The part's flash timing from its data sheet (sim_parts).
FlashController::FlashController(SimDevice& device) : device_(device) {
    const SimFlashTiming& timing = device_.Part().flash;
    wordWriteClocks = timing.wordClocks;
    segmentEraseClocks = timing.segmentEraseClocks;
    massEraseClocks = timing.massEraseClocks;
    cumulativeMassEraseUs = uint64_t{timing.cumulativeMassEraseMs} * 1000;
    Reset();
}

void FlashController::Reset() {
    CutShort();
    EndMassEraseRun();
    fctl1_ = 0;
    fctl2_ = 0x42;
    fctl3_ = static_cast<uint16_t>(kLock | kWait | (device_.Is2xx() ? kLockA : 0) | (fctl3_ & kKeyv));
    dividerCount_ = 0;
}

void FlashController::Conclude() {
    CutShort();
    EndMassEraseRun();
}

uint16_t FlashController::ReadRegister(uint32_t address) const {
    uint16_t value = 0;
    switch (address & ~1u) {
        case kFctl1:
            value = fctl1_;
            break;
        case kFctl2:
            value = fctl2_;
            break;
        default:
            value = static_cast<uint16_t>((fctl3_ & ~(kBusy | kWait)) | (Busy() ? kBusy : kWait));
    }
    return static_cast<uint16_t>(kReadKey | value);
}

void FlashController::WriteRegister(uint32_t address, uint16_t value, bool byte) {
    if (byte || (value & 0xFF00) != kKey) {
        fctl3_ |= kKeyv;
        if (onKeyViolation) onKeyViolation();
        return;
    }
    uint8_t low = static_cast<uint8_t>(value);
    switch (address & ~1u) {
        case kFctl1:
            // SLAU049/SLAU144, flash memory controller, flash access violations: a write to FCTL1
            // during an erase or write sets ACCVIFG; the operation goes on.
            if (Busy()) {
                fctl3_ |= kAccvifg;
                ++accessViolations;
                return;
            }
            fctl1_ = low;
            break;
        case kFctl2:
            fctl2_ = low;
            dividerCount_ = 0;
            break;
        default: {
            uint16_t lockA = fctl3_ & kLockA;
            if (low & kLockA) lockA ^= kLockA;  // writing a one toggles LOCKA; a zero leaves it
            uint16_t kept = static_cast<uint16_t>(low & (kKeyv | kAccvifg | kLock | 0x20));
            fctl3_ = static_cast<uint16_t>(kept | lockA);
        }
    }
}

void FlashController::WriteFlash(uint32_t address, uint16_t value, bool byte) {
    CutShort();
    if (fctl3_ & kLock) {
        fctl3_ |= kAccvifg;
        ++refusedWrites;
        return;
    }
    if (fctl1_ & (kErase | kMeras)) {
        if ((fctl1_ & kMeras) && (fctl1_ & kErase))
            Start(OpKind::kMassErase, address, 0, false, massEraseClocks);
        else if (fctl1_ & kMeras)
            Start(OpKind::kMainErase, address, 0, false, massEraseClocks);
        else
            Start(OpKind::kSegmentErase, address, 0, false, segmentEraseClocks);
        return;
    }
    if (fctl1_ & kWrt) {
        Start(OpKind::kWrite, byte ? address : address & ~1u, value, byte, wordWriteClocks);
        return;
    }
    fctl3_ |= kAccvifg;  // a write to flash in no mode
    ++refusedWrites;
}

void FlashController::Start(OpKind kind, uint32_t address, uint16_t value, bool byte, uint32_t needed) {
    if (kind != OpKind::kMassErase && kind != OpKind::kMainErase) EndMassEraseRun();
    op_ = Operation{};
    op_.kind = kind;
    op_.address = address;
    op_.value = value;
    op_.byte = byte;
    op_.needed = needed;
}

// Clocks of the source FCTL2 selects: every FN + 1 of them is one clock of the timing generator.
void FlashController::SourceClocks(uint32_t count, uint64_t atUs) {
    uint32_t divider = (fctl2_ & 0x3Fu) + 1;
    for (uint32_t i = 0; i < count && Busy(); ++i) {
        if (++dividerCount_ < divider) continue;
        dividerCount_ = 0;
        ++operationClocks;
        if (op_.clocks == 0) {
            op_.firstUs = atUs;
        } else {
            ++clockIntervals;
            clockIntervalUs += atUs - op_.lastUs;
        }
        op_.lastUs = atUs;
        if (++op_.clocks >= op_.needed) Finish(true);
    }
}

void FlashController::MclkCycles(uint32_t count, uint64_t atUs) {
    if (!Busy() || (fctl2_ & 0xC0) != kSourceMclk) return;
    op_.fromOutside = true;
    SourceClocks(count, atUs);
}

void FlashController::Elapse(double us, double aclkHz, double mclkHz, double smclkHz, uint64_t atUs) {
    if (!Busy()) {
        sourceClocks_ = 0;
        return;
    }
    int source = fctl2_ >> 6 & 3;
    double hz = source == 0 ? aclkHz : source == 1 ? mclkHz : smclkHz;
    double timing = hz / ((fctl2_ & 0x3F) + 1);
    op_.hz = timing;
    if (timing < kMinTimingHz || timing > kMaxTimingHz) op_.badClock = true;
    sourceClocks_ += us * hz / 1e6;
    uint32_t whole = static_cast<uint32_t>(sourceClocks_);
    sourceClocks_ -= whole;
    SourceClocks(whole, atUs);
}

void FlashController::ProgramCell(uint32_t address, uint8_t value, bool complete) {
    if (!device_.IsFlash(address)) return;
    if (complete) {
        device_.Write(address, value);
    } else {
        device_.Store(address, static_cast<uint8_t>(device_.Read(address) & (value | kHalfProgrammedMask)));
    }
}

void FlashController::EraseRange(uint32_t start, uint32_t end, bool complete) {
    for (uint32_t a = start; a <= end; ++a) {
        if (device_.InSegmentA(a) && (fctl3_ & kLockA)) continue;
        device_.Store(a, complete ? 0xFF : static_cast<uint8_t>(device_.Read(a) | kHalfErasedBits));
    }
}

void FlashController::EndMassEraseRun() {
    massEraseUs_ = 0;
    if (!massEraseShort_) return;
    massEraseShort_ = false;
    ++incompleteOperations;
    if (trace) trace("FLASH mass erase passes INCOMPLETE: short of the cumulative erase time");
}

void FlashController::Report(const Operation& op, double hz, bool outside, bool complete) {
    if (!trace) return;
    char line[96];
    std::snprintf(line, sizeof(line), "FLASH %s %04X %.0f kHz%s%s", KindName(static_cast<int>(op.kind)), op.address,
                  hz / 1000, outside ? " OUTSIDE 257-476 kHz" : "", complete ? "" : " INCOMPLETE");
    trace(line);
}

void FlashController::Finish(bool complete) {
    Operation op = op_;
    op_ = Operation{};
    if (op.kind == OpKind::kNone) return;
    // The timing generator's clock must lie in 257-476 kHz (data sheets, flash memory, f_FTG). Clocked
    // from outside, its rate is the mean over the operation's clocks by their time stamps.
    double hz = op.hz;
    bool outside = op.badClock;
    if (op.fromOutside && op.clocks >= 2) {
        hz = op.lastUs > op.firstUs ? (op.clocks - 1) * 1e6 / static_cast<double>(op.lastUs - op.firstUs) : 1e12;
        outside = hz < kMinTimingHz || hz > kMaxTimingHz;
    }
    if (op.clocks > 0) {
        ++operations;
        if (outside) ++outOfRangeOperations;
    }
    // A timing generator run too fast or too slow leaves the cells as an operation cut short would.
    if (outside) complete = false;
    bool cellsComplete = complete;
    bool pending = false;
    bool massKind = op.kind == OpKind::kMassErase || op.kind == OpKind::kMainErase;
    bool cumulative = cumulativeMassEraseUs > 0 && (op.fromOutside || cumulativeForOwnCode);
    if (massKind && complete && cumulative && hz > 0) {
        // F1xx/F4xx: repeated passes erase only once their time adds up to t_CMErase.
        massEraseUs_ += static_cast<uint64_t>(op.clocks * 1e6 / hz);
        if (massEraseUs_ < cumulativeMassEraseUs) {
            cellsComplete = false;
            pending = true;
            massEraseShort_ = true;
        } else {
            massEraseShort_ = false;  // further passes of the same run erase again
        }
    }
    const SimPart& part = device_.Part();
    switch (op.kind) {
        case OpKind::kWrite:
            ProgramCell(op.address, static_cast<uint8_t>(op.value), complete);
            if (!op.byte) ProgramCell(op.address + 1, static_cast<uint8_t>(op.value >> 8), complete);
            break;
        case OpKind::kSegmentErase:
            if (device_.IsMain(op.address)) {
                uint32_t start = op.address & ~(SimDevice::kMainSegment - 1);
                EraseRange(start, start + SimDevice::kMainSegment - 1, complete);
            } else if (device_.IsInfo(op.address)) {
                uint32_t size = device_.InfoSegmentSize();
                uint32_t start = op.address & ~(size - 1);
                EraseRange(start, start + size - 1, complete);
            }
            fctl1_ &= static_cast<uint16_t>(~(kErase | kMeras));
            break;
        case OpKind::kMassErase:
            // SLAU144, flash memory controller, erase modes: with LOCKA set a mass erase keeps all
            // information memory (A to D), not only segment A.
            if (!(device_.Is2xx() && (fctl3_ & kLockA))) EraseRange(part.info.start, part.info.end, cellsComplete);
            [[fallthrough]];
        case OpKind::kMainErase:
            EraseRange(part.main.start, part.main.end, cellsComplete);
            fctl1_ &= static_cast<uint16_t>(~(kErase | kMeras));
            break;
        case OpKind::kNone:
            return;
    }
    Report(op, hz, outside, complete);
    if (pending) return;
    if (complete)
        ++completedOperations;
    else
        ++incompleteOperations;
}

}  // namespace quarzo::sim
