#include "sim/msp430_cpu.h"

#include <cstdio>

namespace quarzo::sim {
namespace {

constexpr uint16_t kResetVector = 0xFFFE;

// How an operand was reached, for the cycle tables: a register or a constant generator, @Rn, @Rn+,
// an immediate (@PC+), or an indexed, symbolic or absolute address.
enum class Mode { kRegister, kIndirect, kAutoIncrement, kImmediate, kIndexed };

Mode SourceMode(int reg, int as) {
    if (reg == 3 || (reg == 2 && as >= 2)) return Mode::kRegister;  // constant generators
    if (reg == 2 && as == 1) return Mode::kIndexed;                  // absolute
    switch (as) {
        case 0:
            return Mode::kRegister;
        case 1:
            return Mode::kIndexed;
        case 2:
            return Mode::kIndirect;
        default:
            return reg == 0 ? Mode::kImmediate : Mode::kAutoIncrement;
    }
}

// Two-operand instructions: cycles by source mode and destination (register, PC, memory).
int FormatOneCycles(Mode source, bool toMemory, bool toPc) {
    switch (source) {
        case Mode::kRegister:
            return toMemory ? 4 : toPc ? 2 : 1;
        case Mode::kIndirect:
            return toMemory ? 5 : 2;
        case Mode::kAutoIncrement:
        case Mode::kImmediate:
            return toMemory ? 5 : toPc ? 3 : 2;
        case Mode::kIndexed:
            return toMemory ? 6 : 3;
    }
    return 0;
}

// Single-operand instructions: RRA, RRC, SWPB and SXT; PUSH; CALL.
int FormatTwoCycles(int op, Mode mode) {
    static constexpr int kShift[] = {1, 3, 3, 3, 4};
    static constexpr int kPush[] = {3, 4, 5, 4, 5};
    static constexpr int kCall[] = {4, 4, 5, 5, 5};
    int m = static_cast<int>(mode);
    if (op == 4) return kPush[m];
    if (op == 5) return kCall[m];
    return kShift[m];
}

const char* const kFormatOne[] = {"mov", "add", "addc", "subc", "sub", "cmp", "dadd", "bit", "bic", "bis", "xor", "and"};
const char* const kFormatTwo[] = {"rrc", "swpb", "rra", "sxt", "push", "call", "reti"};
const char* const kJumps[] = {"jne", "jeq", "jnc", "jc", "jn", "jge", "jl", "jmp"};

}  // namespace

void Msp430Cpu::Reset() {
    r.fill(0);
    r[kPc] = bus_.Read(kResetVector, false);
}

uint16_t Msp430Cpu::Fetch() {
    uint16_t word = bus_.Read(r[kPc], false);
    r[kPc] = static_cast<uint16_t>(r[kPc] + 2);
    return word;
}

Msp430Cpu::Operand Msp430Cpu::Source(int reg, int as, bool byte) {
    Operand o;
    if (reg == 3) {
        static constexpr uint16_t kCg2[] = {0, 1, 2, 0xFFFF};
        o.kind = Operand::kConstant;
        o.value = kCg2[as];
        return o;
    }
    if (reg == kSr && as >= 2) {
        o.kind = Operand::kConstant;
        o.value = as == 2 ? 4 : 8;
        return o;
    }
    switch (as) {
        case 0:
            o.kind = Operand::kRegister;
            o.reg = reg;
            return o;
        case 1: {
            uint16_t x = Fetch();
            o.kind = Operand::kMemory;
            // Symbolic: relative to the extension word; absolute: through the status register.
            uint16_t base = reg == kPc ? static_cast<uint16_t>(r[kPc] - 2) : reg == kSr ? 0 : r[reg];
            o.address = static_cast<uint16_t>(base + x);
            return o;
        }
        case 2:
            o.kind = Operand::kMemory;
            o.address = r[reg];
            return o;
        default:
            if (reg == kPc) {
                o.kind = Operand::kConstant;
                o.value = Fetch();
                return o;
            }
            o.kind = Operand::kMemory;
            o.address = r[reg];
            r[reg] = static_cast<uint16_t>(r[reg] + (byte && reg != kSp ? 1 : 2));
            return o;
    }
}

Msp430Cpu::Operand Msp430Cpu::Destination(int reg, int ad) {
    Operand o;
    if (ad == 0) {
        o.kind = Operand::kRegister;
        o.reg = reg;
        return o;
    }
    uint16_t x = Fetch();
    o.kind = Operand::kMemory;
    uint16_t base = reg == kPc ? static_cast<uint16_t>(r[kPc] - 2) : reg == kSr ? 0 : r[reg];
    o.address = static_cast<uint16_t>(base + x);
    return o;
}

uint16_t Msp430Cpu::Get(const Operand& o, bool byte) {
    uint16_t mask = byte ? 0xFF : 0xFFFF;
    switch (o.kind) {
        case Operand::kRegister:
            return r[o.reg] & mask;
        case Operand::kConstant:
            return o.value & mask;
        default:
            return bus_.Read(byte ? o.address : o.address & ~1u, byte) & mask;
    }
}

void Msp430Cpu::Put(const Operand& o, uint16_t value, bool byte) {
    switch (o.kind) {
        case Operand::kRegister:
            if (o.reg == 3) return;  // the constant generator keeps its constants
            r[o.reg] = byte ? value & 0xFF : value;
            if (o.reg == kPc) r[kPc] &= 0xFFFE;
            return;
        case Operand::kConstant:
            return;
        default:
            bus_.Write(byte ? o.address : o.address & ~1u, byte ? value & 0xFF : value, byte);
    }
}

void Msp430Cpu::SetFlags(bool c, bool z, bool n, bool v) {
    uint16_t sr = r[kSr] & ~(kC | kZ | kN | kV);
    if (c) sr |= kC;
    if (z) sr |= kZ;
    if (n) sr |= kN;
    if (v) sr |= kV;
    r[kSr] = sr;
}

int Msp430Cpu::Step() {
    uint16_t at = r[kPc];
    uint16_t word = Fetch();
    int n = 0;
    if (word >= 0x4000)
        n = FormatOne(word);
    else if (word >= 0x2000)
        n = Jump(word);
    else if ((word & 0xFC00) == 0x1000)
        n = FormatTwo(word);
    if (n == 0) r[kPc] = at;
    cycles += static_cast<uint64_t>(n);
    return n;
}

int Msp430Cpu::FormatOne(uint16_t word) {
    int op = word >> 12;
    int sreg = word >> 8 & 0xF;
    int ad = word >> 7 & 1;
    bool byte = (word >> 6 & 1) != 0;
    int as = word >> 4 & 3;
    int dreg = word & 0xF;
    Operand s = Source(sreg, as, byte);
    Operand d = Destination(dreg, ad);
    int n = FormatOneCycles(SourceMode(sreg, as), d.kind == Operand::kMemory,
                            d.kind == Operand::kRegister && dreg == kPc);
    uint16_t mask = byte ? 0xFF : 0xFFFF;
    uint16_t sign = byte ? 0x80 : 0x8000;
    uint16_t src = Get(s, byte);
    if (op == 4) {  // MOV reads no destination and sets no flags
        Put(d, src, byte);
        return n;
    }
    uint16_t dst = Get(d, byte);
    uint32_t result = 0;
    bool carry = (r[kSr] & kC) != 0;
    auto arithmetic = [&](uint16_t a, uint16_t b, uint32_t carryIn) {
        uint32_t sum = static_cast<uint32_t>(a) + b + carryIn;
        uint16_t res = static_cast<uint16_t>(sum & mask);
        SetFlags(sum > mask, res == 0, (res & sign) != 0, ((a ^ res) & (b ^ res) & sign) != 0);
        return res;
    };
    switch (op) {
        case 5:  // ADD
            result = arithmetic(dst, src, 0);
            break;
        case 6:  // ADDC
            result = arithmetic(dst, src, carry ? 1 : 0);
            break;
        case 7:  // SUBC
            result = arithmetic(dst, static_cast<uint16_t>(~src & mask), carry ? 1 : 0);
            break;
        case 8:  // SUB
        case 9:  // CMP
            result = arithmetic(dst, static_cast<uint16_t>(~src & mask), 1);
            break;
        case 10: {  // DADD: decimal, digit by digit with the carry
            uint32_t c = carry ? 1 : 0;
            uint32_t res = 0;
            int digits = byte ? 2 : 4;
            for (int i = 0; i < digits; ++i) {
                uint32_t d = ((src >> (4 * i)) & 0xF) + ((dst >> (4 * i)) & 0xF) + c;
                c = d > 9 ? 1 : 0;
                if (c) d -= 10;
                res |= (d & 0xF) << (4 * i);
            }
            result = res;
            SetFlags(c != 0, (res & mask) == 0, (res & sign) != 0, false);
            break;
        }
        case 11:  // BIT
        case 15:  // AND
            result = src & dst;
            SetFlags(result != 0, result == 0, (result & sign) != 0, false);
            break;
        case 12:  // BIC
            result = dst & ~src & mask;
            break;
        case 13:  // BIS
            result = dst | src;
            break;
        case 14:  // XOR
            result = (src ^ dst) & mask;
            SetFlags(result != 0, result == 0, (result & sign) != 0, (src & sign) && (dst & sign));
            break;
        default:
            return 0;
    }
    if (op != 9 && op != 11) Put(d, static_cast<uint16_t>(result), byte);
    return n;
}

int Msp430Cpu::FormatTwo(uint16_t word) {
    int op = word >> 7 & 7;
    bool byte = (word >> 6 & 1) != 0;
    int as = word >> 4 & 3;
    int reg = word & 0xF;
    if (op == 6) {  // RETI
        r[kSr] = bus_.Read(r[kSp], false);
        r[kSp] = static_cast<uint16_t>(r[kSp] + 2);
        r[kPc] = bus_.Read(r[kSp], false);
        r[kSp] = static_cast<uint16_t>(r[kSp] + 2);
        return 5;
    }
    if (op == 7 || ((op == 1 || op == 3 || op == 5) && byte)) return 0;  // no such instruction
    Operand o = Source(reg, as, byte);
    int n = FormatTwoCycles(op, SourceMode(reg, as));
    uint16_t sign = byte ? 0x80 : 0x8000;
    uint16_t v = Get(o, byte);
    bool carry = (r[kSr] & kC) != 0;
    switch (op) {
        case 0: {  // RRC
            uint16_t res = static_cast<uint16_t>(v >> 1 | (carry ? sign : 0));
            SetFlags(v & 1, res == 0, (res & sign) != 0, false);
            Put(o, res, byte);
            break;
        }
        case 1:  // SWPB
            Put(o, static_cast<uint16_t>(v << 8 | v >> 8), false);
            break;
        case 2: {  // RRA
            uint16_t res = static_cast<uint16_t>(v >> 1 | (v & sign));
            SetFlags(v & 1, res == 0, (res & sign) != 0, false);
            Put(o, res, byte);
            break;
        }
        case 3: {  // SXT
            uint16_t res = static_cast<uint16_t>((v & 0x80) ? v | 0xFF00 : v & 0xFF);
            SetFlags(res != 0, res == 0, (res & 0x8000) != 0, false);
            Put(o, res, false);
            break;
        }
        case 4:  // PUSH
            r[kSp] = static_cast<uint16_t>(r[kSp] - 2);
            bus_.Write(r[kSp], v, byte);
            break;
        case 5:  // CALL
            r[kSp] = static_cast<uint16_t>(r[kSp] - 2);
            bus_.Write(r[kSp], r[kPc], false);
            r[kPc] = v & 0xFFFE;
            break;
        default:
            return 0;
    }
    return n;
}

int Msp430Cpu::Jump(uint16_t word) {
    int cond = word >> 10 & 7;
    int16_t offset = static_cast<int16_t>((word & 0x3FF) << 6) >> 6;
    uint16_t sr = r[kSr];
    bool c = sr & kC, z = sr & kZ, n = sr & kN, v = sr & kV;
    bool take = false;
    switch (cond) {
        case 0: take = !z; break;
        case 1: take = z; break;
        case 2: take = !c; break;
        case 3: take = c; break;
        case 4: take = n; break;
        case 5: take = n == v; break;
        case 6: take = n != v; break;
        default: take = true;
    }
    if (take) r[kPc] = static_cast<uint16_t>(r[kPc] + 2 * offset);
    return 2;
}

int Msp430Cpu::Interrupt(uint16_t vectorAddress) {
    if (!(r[kSr] & kGie)) return 0;
    r[kSp] = static_cast<uint16_t>(r[kSp] - 2);
    bus_.Write(r[kSp], r[kPc], false);
    r[kSp] = static_cast<uint16_t>(r[kSp] - 2);
    bus_.Write(r[kSp], r[kSr], false);
    r[kSr] = 0;
    r[kPc] = bus_.Read(vectorAddress, false);
    cycles += 6;
    return 6;
}

std::string Msp430Cpu::Disassemble(uint16_t address, int* length) {
    uint16_t pc = address;
    auto next = [&] {
        uint16_t w = bus_.Read(pc, false);
        pc = static_cast<uint16_t>(pc + 2);
        return w;
    };
    auto hex = [](unsigned v) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%04x", v & 0xFFFF);
        return std::string(text);
    };
    auto name = [](int reg) { return "r" + std::to_string(reg); };
    auto source = [&](int reg, int as) -> std::string {
        if (reg == 3) return "#" + hex(as == 3 ? 0xFFFF : static_cast<unsigned>(as));
        if (reg == kSr && as >= 2) return "#" + hex(as == 2 ? 4 : 8);
        switch (as) {
            case 0:
                return name(reg);
            case 1: {
                uint16_t x = next();
                if (reg == kSr) return "&" + hex(x);
                if (reg == kPc) return hex(static_cast<uint16_t>(pc - 2 + x));
                return hex(x) + "(" + name(reg) + ")";
            }
            case 2:
                return "@" + name(reg);
            default:
                return reg == kPc ? "#" + hex(next()) : "@" + name(reg) + "+";
        }
    };
    uint16_t word = next();
    std::string text;
    if (word >= 0x4000) {
        int op = word >> 12;
        std::string b = (word >> 6 & 1) ? ".b" : "";
        std::string s = source(word >> 8 & 0xF, word >> 4 & 3);
        int dreg = word & 0xF;
        std::string d;
        if (word >> 7 & 1) {
            uint16_t x = next();
            d = dreg == kSr ? "&" + hex(x) : dreg == kPc ? hex(static_cast<uint16_t>(pc - 2 + x)) : hex(x) + "(" + name(dreg) + ")";
        } else {
            d = name(dreg);
        }
        text = std::string(kFormatOne[op - 4]) + b + " " + s + ", " + d;
    } else if (word >= 0x2000) {
        int16_t offset = static_cast<int16_t>((word & 0x3FF) << 6) >> 6;
        text = std::string(kJumps[word >> 10 & 7]) + " " + hex(static_cast<uint16_t>(pc + 2 * offset));
    } else if ((word & 0xFC00) == 0x1000 && (word >> 7 & 7) != 7) {
        int op = word >> 7 & 7;
        std::string b = (word >> 6 & 1) ? ".b" : "";
        text = op == 6 ? "reti" : std::string(kFormatTwo[op]) + b + " " + source(word & 0xF, word >> 4 & 3);
    } else {
        text = ".word " + hex(word);
    }
    if (length) *length = static_cast<uint16_t>(pc - address);
    return text;
}

}  // namespace quarzo::sim
