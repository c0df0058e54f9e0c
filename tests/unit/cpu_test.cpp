// The MSP430 CPU model: every operand form decoded as assembled and timed as the user's guide says, and
// the instructions' results and flags.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "sim/msp430_cpu.h"

namespace quarzo {
extern const uint8_t kMsp430Forms[];
extern const size_t kMsp430FormsSize;
}  // namespace quarzo

namespace quarzo::sim {
namespace {

class FlatMemory final : public Msp430Bus {
public:
    uint16_t Read(uint16_t address, bool byte) override {
        return byte ? bytes[address]
                    : static_cast<uint16_t>(bytes[address] | bytes[(address + 1u) & 0xFFFF] << 8);
    }
    void Write(uint16_t address, uint16_t value, bool byte) override {
        bytes[address] = static_cast<uint8_t>(value);
        if (!byte) bytes[(address + 1u) & 0xFFFF] = static_cast<uint8_t>(value >> 8);
    }
    void Put(uint16_t address, std::vector<uint16_t> words) {
        for (uint16_t w : words) {
            Write(address, w, false);
            address = static_cast<uint16_t>(address + 2);
        }
    }
    std::vector<uint8_t> bytes = std::vector<uint8_t>(0x10000, 0);
};

struct Form {
    std::string text;
    int cycles;
};

// The source's instruction lines in canonical form, with the cycle counts of their comments.
std::vector<Form> Forms() {
    std::ifstream in(QUARZO_FORMS_SOURCE);
    std::vector<Form> forms;
    std::regex line(R"(^\s+([a-z][^;]*?)\s*;\s*(\d+)\s*$)");
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (std::regex_match(text, m, line)) forms.push_back({m[1].str(), std::stoi(m[2].str())});
    }
    return forms;
}

TEST(Msp430Cpu, DecodesAndTimesEveryFormAsAssembled) {
    FlatMemory memory;
    for (size_t i = 0; i < kMsp430FormsSize; ++i) memory.bytes[0x4000 + i] = kMsp430Forms[i];
    Msp430Cpu cpu(memory);
    std::vector<Form> forms = Forms();
    ASSERT_GT(forms.size(), 50u);
    uint16_t address = 0x4000;
    for (const Form& f : forms) {
        int length = 0;
        EXPECT_EQ(cpu.Disassemble(address, &length), f.text);
        // Each instruction alone, its registers pointing at RAM.
        cpu.r.fill(0x0200);
        cpu.r[Msp430Cpu::kSr] = 0;
        cpu.r[Msp430Cpu::kSp] = 0x0400;
        cpu.r[Msp430Cpu::kPc] = address;
        EXPECT_EQ(cpu.Step(), f.cycles) << f.text;
        address = static_cast<uint16_t>(address + length);
    }
    EXPECT_EQ(address, 0x4000 + kMsp430FormsSize);
}

class CpuRun : public ::testing::Test {
protected:
    // Runs the words placed at 0x4000 for count instructions.
    void Run(std::vector<uint16_t> words, int count = 1) {
        memory_.Put(0x4000, std::move(words));
        cpu_.r[Msp430Cpu::kPc] = 0x4000;
        for (int i = 0; i < count; ++i) ASSERT_NE(cpu_.Step(), 0);
    }
    uint16_t Flags() const {
        return cpu_.r[Msp430Cpu::kSr] & (Msp430Cpu::kC | Msp430Cpu::kZ | Msp430Cpu::kN | Msp430Cpu::kV);
    }
    FlatMemory memory_;
    Msp430Cpu cpu_{memory_};
};

constexpr uint16_t C = Msp430Cpu::kC, Z = Msp430Cpu::kZ, N = Msp430Cpu::kN, V = Msp430Cpu::kV;

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
        EXPECT_EQ(Flags(), c.flags) << c.text;
    }
}

TEST_F(CpuRun, AutoIncrementStackAndCalls) {
    memory_.Put(0x0300, {0x1122, 0x3344});
    cpu_.r[5] = 0x0300;
    Run({0x4576});  // mov.b @r5+, r6: a byte step
    EXPECT_EQ(cpu_.r[6], 0x22);
    EXPECT_EQ(cpu_.r[5], 0x0301);
    cpu_.r[Msp430Cpu::kSp] = 0x0400;
    cpu_.r[5] = 0xBEEF;
    Run({0x1205, 0x4136}, 2);  // push r5; pop r6
    EXPECT_EQ(cpu_.r[6], 0xBEEF);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSp], 0x0400);
    // call #0x5000 ... ret
    memory_.Put(0x5000, {0x4130});
    Run({0x12B0, 0x5000, 0x4303}, 2);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x4004);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSp], 0x0400);
    // An interrupt with GIE set, and RETI back.
    memory_.Put(0xFFE4, {0x6000});
    memory_.Put(0x6000, {0x1300});
    cpu_.r[Msp430Cpu::kSr] = Msp430Cpu::kGie | C;
    cpu_.r[Msp430Cpu::kPc] = 0x4100;
    EXPECT_EQ(cpu_.Interrupt(0xFFE4), 6);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x6000);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSr], 0);
    EXPECT_EQ(cpu_.Step(), 5);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x4100);
    EXPECT_EQ(cpu_.r[Msp430Cpu::kSr], Msp430Cpu::kGie | C);
    EXPECT_EQ(cpu_.Interrupt(0xFFE4), 6);
    cpu_.r[Msp430Cpu::kSr] = 0;
    EXPECT_EQ(cpu_.Interrupt(0xFFE4), 0);  // masked
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
        EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], c.taken ? 0x4022 : 0x4002) << c.condition;
    }
    // Backwards: jmp $ stays.
    Run({0x3FFF});
    EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x4000);
}

TEST_F(CpuRun, WordsThatAreNoInstructionStopTheCpu) {
    for (uint16_t word : {0x0000u, 0x1380u, 0x10C5u, 0x13C5u}) {  // nothing, format II op 7, swpb.b, call.b
        memory_.Put(0x4000, {static_cast<uint16_t>(word)});
        cpu_.r[Msp430Cpu::kPc] = 0x4000;
        EXPECT_EQ(cpu_.Step(), 0) << word;
        EXPECT_EQ(cpu_.r[Msp430Cpu::kPc], 0x4000);
    }
}

}  // namespace
}  // namespace quarzo::sim
