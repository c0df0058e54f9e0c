#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quarzo::sim {

// What the CPU reads and writes: memory and peripherals, byte or word wide.
class Msp430Bus {
public:
    virtual ~Msp430Bus() = default;
    virtual uint16_t Read(uint16_t address, bool byte) = 0;
    virtual void Write(uint16_t address, uint16_t value, bool byte) = 0;
};

// The MSP430 CPU (the 16-bit core of the F1xx/F2xx/F4xx): 27 instructions in three formats, seven
// addressing modes, the constant generators, byte and word forms, the status flags, maskable
// interrupts, and the cycle counts of the family user's guide.
class Msp430Cpu {
public:
    static constexpr int kPc = 0;
    static constexpr int kSp = 1;
    static constexpr int kSr = 2;
    // Status register bits.
    static constexpr uint16_t kC = 0x0001;
    static constexpr uint16_t kZ = 0x0002;
    static constexpr uint16_t kN = 0x0004;
    static constexpr uint16_t kGie = 0x0008;
    static constexpr uint16_t kCpuOff = 0x0010;
    static constexpr uint16_t kV = 0x0100;

    explicit Msp430Cpu(Msp430Bus& bus) : bus_(bus) {}

    // A reset: the PC from the reset vector, the status register cleared.
    void Reset();
    // Executes one instruction; returns its cycles. An instruction that cannot be decoded returns 0
    // and leaves the PC where it was.
    int Step();
    // Takes the interrupt whose vector is at vectorAddress when GIE is set; returns its cycles (6), or
    // 0 when interrupts are disabled.
    int Interrupt(uint16_t vectorAddress);
    bool Halted() const { return (r[kSr] & kCpuOff) != 0; }

    // The instruction at address in assembler form ("mov.b #0x12, &0x0200") and its length in bytes.
    std::string Disassemble(uint16_t address, int* length = nullptr);

    std::array<uint16_t, 16> r{};
    uint64_t cycles = 0;

private:
    struct Operand {
        enum Kind { kRegister, kMemory, kConstant } kind = kRegister;
        int reg = 0;
        uint16_t address = 0;
        uint16_t value = 0;  // for constants (immediates and the generators)
    };

    uint16_t Fetch();
    Operand Source(int reg, int as, bool byte);
    Operand Destination(int reg, int ad);
    uint16_t Get(const Operand& o, bool byte);
    void Put(const Operand& o, uint16_t value, bool byte);
    void SetFlags(bool c, bool z, bool n, bool v);
    int FormatOne(uint16_t word);
    int FormatTwo(uint16_t word);
    int Jump(uint16_t word);

    Msp430Bus& bus_;
};

}  // namespace quarzo::sim
