// The MSP430 CPU model: every operand form decoded as assembled and timed as the user's guide says, and
// the instructions' results and flags. The chip model around it, and our loadable loader executing on
// it, its UART bridged to the line in virtual time: the protocol and its faults.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <vector>

#include "adapters/bsl/bsl_images.h"
#include "sim/flash_controller.h"
#include "sim/msp430_cpu.h"
#include "sim/msp430_machine.h"
#include "sim/sim_device.h"
#include "sim/sim_parts.h"

namespace quarzo {
extern const uint8_t kMsp430Forms[];
extern const size_t kMsp430FormsSize;
extern const uint8_t kTimerUart[];
extern const size_t kTimerUartSize;
}  // namespace quarzo

namespace quarzo::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Stop = Msp430Machine::Stop;

// A chip model with code put in its memory.
struct Chip {
    explicit Chip(const char* part = "MSP430F149")
        : device(*FindSimPart(part)), flash(device), machine(device, flash) {}
    void Put(uint32_t at, const std::vector<uint16_t>& words) {
        for (uint16_t w : words) {
            device.Write(at++, static_cast<uint8_t>(w));
            device.Write(at++, static_cast<uint8_t>(w >> 8));
        }
    }
    SimDevice device;
    FlashController flash;
    Msp430Machine machine;
};

// Each instruction line of the source, in canonical form, with the cycle count of its comment.
TEST(Msp430Cpu, DecodesAndTimesEveryFormAsAssembled) {
    Chip chip;
    for (size_t i = 0; i < kMsp430FormsSize; ++i)
        chip.device.Write(0x4000 + static_cast<uint32_t>(i), kMsp430Forms[i]);
    Msp430Cpu& cpu = chip.machine.Cpu();
    std::ifstream in(QUARZO_FORMS_SOURCE);
    const std::regex form(R"(^\s+([a-z][^;]*?)\s*;\s*(\d+)\s*$)");
    uint16_t address = 0x4000;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, form)) continue;
        int length = 0;
        EXPECT_EQ(cpu.Disassemble(address, &length), m[1].str());
        // Each instruction alone, its registers pointing at RAM.
        cpu.r.fill(0x0200);
        cpu.r[Msp430Cpu::kSp] = 0x0400;
        cpu.r[Msp430Cpu::kPc] = address;
        EXPECT_EQ(cpu.Step(), std::stoi(m[2].str())) << m[1].str();
        address = static_cast<uint16_t>(address + length);
    }
    EXPECT_EQ(address, 0x4000 + kMsp430FormsSize);  // every instruction had its line
}

constexpr uint16_t C = Msp430Cpu::kC, Z = Msp430Cpu::kZ, N = Msp430Cpu::kN, V = Msp430Cpu::kV;

class CpuRun : public ::testing::Test {
protected:
    // Runs the words placed in RAM at 0x0800 for count instructions.
    void Run(const std::vector<uint16_t>& words, int count = 1) {
        chip_.Put(0x0800, words);
        cpu_.r[Msp430Cpu::kPc] = 0x0800;
        for (int i = 0; i < count; ++i) ASSERT_NE(cpu_.Step(), 0);
    }
    Chip chip_;
    Msp430Cpu& cpu_ = chip_.machine.Cpu();
};

// One instruction on r5 (and r6): its result and the flags it leaves.
TEST_F(CpuRun, ResultsAndFlags) {
    const struct {
        const char* text;
        std::vector<uint16_t> words;
        uint16_t r5, r6, sr, result, flags;
    } cases[] = {
        {"add r6, r5: signed overflow", {0x5605}, 0x7FFF, 0x0001, 0, 0x8000, N | V},
        {"add r6, r5: carry out, zero", {0x5605}, 0xFFFF, 0x0001, 0, 0x0000, C | Z},
        {"sub r6, r5: a borrow is carry clear", {0x8605}, 5, 7, 0, 0xFFFE, N},
        {"cmp r6, r5: equal, no borrow, nothing written", {0x9605}, 7, 7, 0, 7, C | Z},
        {"dadd.b r6, r5: 99 + 1 = 00 with carry", {0xA645}, 0x0099, 0x0001, 0, 0x0000, C | Z},
        {"addc r6, r5", {0x6605}, 0x1234, 0x0001, C, 0x1236, 0},
        {"rrc r5", {0x1005}, 0x8001, 0, 0, 0x4000, C},
        {"rra r5 keeps the sign", {0x1105}, 0x8001, 0, 0, 0xC000, C | N},
        {"sxt r5", {0x1185}, 0x0080, 0, 0, 0xFF80, C | N},
        {"swpb r5 leaves the flags", {0x1085}, 0x1234, 0, C | N, 0x3412, C | N},
        {"xor r6, r5: both negative sets V", {0xE605}, 0xFF00, 0x80F0, 0, 0x7FF0, C | V},
        {"mov.b #-1, r5: a byte into a register clears its high byte", {0x4375}, 0xABCD, 0, 0, 0x00FF, 0},
        {"and #0x000f, r5", {0xF035, 0x000F}, 0x00F0, 0, 0, 0x0000, Z},
    };
    for (const auto& c : cases) {
        cpu_.r[5] = c.r5;
        cpu_.r[6] = c.r6;
        cpu_.r[Msp430Cpu::kSr] = c.sr;
        Run(c.words);
        EXPECT_EQ(cpu_.r[5], c.result) << c.text;
        EXPECT_EQ(cpu_.r[Msp430Cpu::kSr] & (C | Z | N | V), c.flags) << c.text;
    }
}

TEST_F(CpuRun, StackAndInterrupts) {
    cpu_.r[Msp430Cpu::kSp] = 0x0400;
    cpu_.r[5] = 0xBEEF;
    Run({0x1205, 0x4136}, 2);  // push r5; pop r6
    EXPECT_EQ(cpu_.r[6], 0xBEEF);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSp], 0x0400);
    // An interrupt with GIE set, and RETI back.
    chip_.Put(0xFFE4, {0x6000});
    chip_.Put(0x6000, {0x1300});
    cpu_.r[Msp430Cpu::kSr] = Msp430Cpu::kGie | C;
    cpu_.r[Msp430Cpu::kPc] = 0x4100;
    EXPECT_EQ(cpu_.Interrupt(0xFFE4), 6);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x6000);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSr], 0);
    EXPECT_EQ(cpu_.Interrupt(0xFFE4), 0);  // masked
    EXPECT_EQ(cpu_.Step(), 5);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x4100);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSr], Msp430Cpu::kGie | C);
}

TEST_F(CpuRun, JumpsFollowTheirConditions) {
    struct Case {
        uint16_t flags;
        int condition;
        bool taken;
    } cases[] = {{Z, 0, false}, {0, 0, true},     {Z, 1, true},  {C, 2, false}, {0, 3, false},
                 {N, 4, true},  {N | V, 5, true}, {N, 5, false}, {N, 6, true},  {0, 7, true}};
    for (const Case& c : cases) {
        cpu_.r[Msp430Cpu::kSr] = c.flags;
        Run({static_cast<uint16_t>(0x2000 | c.condition << 10 | 0x0010)});
        EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], c.taken ? 0x0822 : 0x0802) << c.condition;
    }
}

TEST_F(CpuRun, WordsThatAreNoInstructionStopTheCpu) {
    for (uint16_t word : {0x0000u, 0x1380u, 0x10C5u, 0x13C5u}) {  // nothing, format II op 7, swpb.b, call.b
        Run({static_cast<uint16_t>(word)}, 0);
        EXPECT_EQ(cpu_.Step(), 0) << word;
        EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x0800);
    }
}

const Bytes kAck{0x90};
const Bytes kNak{0xA0};

class RamLoader : public ::testing::Test {
protected:
    RamLoader() {
        for (size_t i = 0; i < kLoadableBslSize; ++i)
            chip_.device.Write(0x0220 + static_cast<uint32_t>(i), kLoadableBsl[i]);
        for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) chip_.device.Write(a, 0x11);
        chip_.machine.Start(chip_.device.ReadWord(0x0220), 0);
        EXPECT_EQ(chip_.machine.Run(1e6), Stop::kWaitingForInput);
    }
    // Sends bytes back to back at 9600 baud as the simulated line does (each ends a whole number of
    // microseconds after the last), the chip running until it waits for the next; returns its answers.
    Bytes Send(const Bytes& bytes, double gapUs = 100, Stop last = Stop::kWaitingForInput) {
        double end = static_cast<double>(static_cast<uint64_t>(chip_.machine.NowUs() + gapUs));
        Bytes out;
        for (size_t i = 0; i < bytes.size(); ++i) {
            end += static_cast<double>(11'000'000ull / kBaud);
            chip_.machine.QueueInput(bytes[i], kBaud, end - 11e6 / kBaud);
            EXPECT_EQ(chip_.machine.Run(end + 2e6), i + 1 == bytes.size() ? last : Stop::kWaitingForInput);
            for (uint8_t o : chip_.machine.TakeOutput(kBaud, nullptr)) out.push_back(o);
        }
        return out;
    }
    static Bytes Frame(uint8_t cmd, uint16_t address, uint16_t length, const Bytes& data = {}) {
        uint8_t l = static_cast<uint8_t>(4 + data.size());
        Bytes f = {0x80, cmd, l, l};
        for (uint16_t w : {address, length})
            f.insert(f.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
        f.insert(f.end(), data.begin(), data.end());
        uint8_t lo = 0, hi = 0;
        for (size_t i = 0; i < f.size(); ++i) (i % 2 ? hi : lo) ^= f[i];
        f.insert(f.end(), {static_cast<uint8_t>(~lo), static_cast<uint8_t>(~hi)});
        return f;
    }
    Bytes Command(const Bytes& frame, Stop last = Stop::kWaitingForInput) {
        EXPECT_EQ(Send({0x80}), kAck);
        return Send(frame, 100, last);
    }

    static constexpr uint32_t kBaud = 9600;
    Chip chip_;
};

// A faulty frame is refused, a broken one forgotten at the next sync; the password and every command.
// (Its speed change and its flash timing at every clock of the spread: in the runs over the loader.)
TEST_F(RamLoader, ServesTheProtocol) {
    Bytes bad = Frame(0x14, 0xF000, 2);
    bad.back() ^= 1;
    EXPECT_EQ(Command(bad), kNak);
    // A frame broken off after four bytes: the next sync, a host's time-out later, is answered.
    EXPECT_EQ(Send({0x80}), kAck);
    Bytes half = Frame(0x12, 0xF000, 4, {1, 2, 3, 4});
    half.resize(4);
    EXPECT_EQ(Send(half), Bytes{});
    EXPECT_EQ(Send({0x80}, 500'000), kAck);
    // Started by an unlocked ROM loader, it starts unlocked; a wrong password locks it.
    EXPECT_EQ(Send(Frame(0x1C, 0x1000, 0x100)), kAck);
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 32, Bytes(32, 0x12))), kNak);
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 2, {0, 0})), kNak);
    EXPECT_EQ(chip_.device.ReadWord(0xF000), 0xFFFF);
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 32, Bytes(32, 0x11))), kAck);
    EXPECT_EQ(Command(Frame(0x12, 0x1100, 4, {3, 10, 17, 24})), kAck);
    EXPECT_EQ(Command(Frame(0x14, 0x1100, 4)), (Bytes{0x80, 0, 4, 4, 3, 10, 17, 24, 0x69, 0xE9}));
    EXPECT_EQ(Command(Frame(0x1C, 0x1100, 2)), kNak);
    // A cell that cannot take the value: NAK.
    EXPECT_EQ(Command(Frame(0x12, 0x1100, 2, {0xFF, 0xFF})), kNak);
    // Segment erase, and a command it does not know.
    EXPECT_EQ(Command(Frame(0x16, 0x1100, 0xA502)), kAck);
    EXPECT_TRUE(chip_.device.IsErased(0x1100, 0x200));
    EXPECT_EQ(Command(Frame(0x1E, 0, 0)), kNak);

    // Load PC leaves for the ROM, answered first.
    EXPECT_EQ(Command(Frame(0x1A, 0x0C22, 0), Stop::kReturnedToRom), kAck);
    EXPECT_EQ(chip_.machine.Cpu().r[Msp430Cpu::kPc], 0x0C22);
}

// 8-bit peripheral registers take a word write in their low byte only; a word read's high byte is zero
// or, as an option, the neighbour's.
TEST(ChipModel, EightBitRegistersTakeByteAccessOnly) {
    Chip chip;
    // mov #0x8760, &DCOCTL; mov &DCOCTL, r5; mov #0x3412, &P1OUT; jmp $
    chip.Put(0x0240, {0x40B2, 0x8760, 0x0056, 0x4215, 0x0056, 0x40B2, 0x3412, 0x0021, 0x3FFF});
    for (auto high : {Msp430Machine::WordReadHigh::kZero, Msp430Machine::WordReadHigh::kNeighbour}) {
        chip.machine.wordReadHigh = high;
        chip.machine.Start(0x0240, 0);
        EXPECT_EQ(chip.machine.Run(1000), Stop::kTimeLimit);
        EXPECT_EQ(chip.machine.Read(Msp430Machine::kDcoCtl, true), 0x60);
        EXPECT_EQ(chip.machine.Read(Msp430Machine::kBcsCtl1, true), 0x85);  // as the ROM loader left it
        EXPECT_EQ(chip.machine.Cpu().r[5], high == Msp430Machine::WordReadHigh::kZero ? 0x0060 : 0x8560);
        // A word write at an odd address is one at the even address below it: P1IN takes nothing.
        EXPECT_EQ(chip.machine.Read(Msp430Machine::kP1Out, true), 0x02);
    }
}

// A UART on Timer_A as the chips' loaders build theirs (capture of the start bit on CCI0B, compare
// in each bit's middle, the output unit on the transmit pin) echoes as on a chip; on a chip whose
// clock is not the one its bit time was counted for, the host reads garbage.
TEST(ChipModel, ATimerAUartEchoesOnTheLoadersPins) {
    const Bytes sent{0x41, 0x00, 0xFE, 0x55};
    for (double spread : {1.0, 0.85}) {
        Chip chip;
        for (size_t i = 0; i < kTimerUartSize; ++i)
            chip.device.Write(0x0240 + static_cast<uint32_t>(i), kTimerUart[i]);
        // The bit time in cycles of the clock the ROM loader hands over, on the typical chip.
        auto bit = static_cast<uint16_t>(DcoFrequency(ClockSystem::kBasic, 0x80, 0x85) / 9600 + 0.5);
        chip.Put(0x0200, {bit, static_cast<uint16_t>(bit / 2)});
        chip.machine.SetChipFactor(spread);
        chip.machine.Start(0x0240, 0);
        ASSERT_EQ(chip.machine.Run(1e6), Stop::kWaitingForInput);
        Bytes out;
        for (uint8_t b : sent) {
            chip.machine.QueueInput(b, 9600, chip.machine.NowUs() + 500);
            EXPECT_EQ(chip.machine.Run(chip.machine.InputEndUs() + 1e5), Stop::kWaitingForInput);
            for (uint8_t o : chip.machine.TakeOutput(9600, nullptr)) out.push_back(o);
        }
        EXPECT_EQ(out == sent, spread == 1.0) << spread;
    }
}

// Timer_A in up mode wakes a sleeping CPU through the TACCR0 vector once per period of CCR0 + 1 clocks;
// RETI puts it back to sleep.
TEST(ChipModel, TimerAInterruptsWakeASleepingCpu) {
    Chip chip;
    // mov #100, &CCR0; mov #CCIE, &CCTL0; mov #SMCLK|up|TACLR, &TACTL; bis #GIE|CPUOFF, sr; jmp $
    chip.Put(0x0240, {0x40B2, 0x0064, 0x0172, 0x40B2, 0x0010, 0x0162, 0x40B2, 0x0214, 0x0160, 0xD032, 0x0018,
                      0x3FFF});
    chip.Put(0x0280, {0x5314, 0x1300});  // inc r4; reti
    chip.Put(0xFFEC, {0x0280});
    chip.machine.Start(0x0240, 0);
    EXPECT_EQ(chip.machine.Run(2000), Stop::kTimeLimit);
    double periods = 2000e-6 * DcoFrequency(ClockSystem::kBasic, 0x80, 0x85) / 101;
    EXPECT_NEAR(chip.machine.Cpu().r[4], periods, 1.5);
    EXPECT_TRUE(chip.machine.Cpu().Halted());
}

// F4xx: with SCG0 cleared the FLL+ loop brings MCLK to (N + 1) x ACLK (SCFQCTL's N; DCOPLUS off, so
// D cancels), within the DCO range FN_x selects; with SCG0 set, as the loader hands over, it stays put.
TEST(ChipModel, TheFllLoopFollowsScfqctl) {
    Chip chip("MSP430F449");
    auto mclkAfter = [&](uint16_t n, uint16_t scfi0, uint16_t clearedSr) {
        // mov.b #n, &SCFQCTL; mov.b #scfi0, &SCFI0; bic #clearedSr, sr; jmp $
        chip.Put(0x0240, {0x40F2, n, 0x0052, 0x40F2, scfi0, 0x0050, 0xC032, clearedSr, 0x3FFF});
        chip.machine.LoaderClock();
        chip.machine.Start(0x0240, 0);
        EXPECT_EQ(chip.machine.Run(50'000), Msp430Machine::Stop::kTimeLimit);
        return chip.machine.MclkHz();
    };
    for (uint16_t scfi0 : {0x00, 0x80}) {  // D = 1 and 4
        for (uint16_t n : {31, 63, 121}) {
            // D = 4 at N = 121 wants 16 MHz, beyond the top tap of the range FN_x = 0 gives.
            double top = DcoFrequency(ClockSystem::kFllPlus, 0x83, 0xFF) / 4;
            double expected = scfi0 == 0x80 && n == 121 ? top : (n + 1) * 32768.0;
            EXPECT_NEAR(mclkAfter(n, scfi0, 0x0040) / expected, 1.0, 0.03) << scfi0 << " " << n;
        }
    }
    EXPECT_NEAR(mclkAfter(63, 0x00, 0x0000), DcoFrequency(ClockSystem::kFllPlus, 0x00, 0x98), 1);
}

// An F2xx chip's calibration data give this chip the frequencies they name, whatever its spread, and
// segment A's checksum still holds.
TEST(ChipModel, CalibrationDataFitTheChip) {
    Chip chip("MSP430F2274");
    const double mhz[] = {16, 12, 8, 1};
    for (double spread : {0.85, 1.0, 1.3}) {
        chip.machine.SetChipFactor(spread);  // the factory calibrated this chip
        for (uint32_t i = 0; i < 4; ++i) {
            double f = DcoFrequency(ClockSystem::kBasicPlus, chip.device.Read(0x10F8 + 2 * i),
                                    chip.device.Read(0x10F9 + 2 * i), spread);
            EXPECT_NEAR(f / 1e6, mhz[i], mhz[i] * 0.01) << spread << " " << mhz[i];
        }
        EXPECT_EQ(chip.device.ReadWord(0x10C0), chip.device.SegmentAChecksum());
    }
}

}  // namespace
}  // namespace quarzo::sim
