#!/usr/bin/env python3
"""A small two-pass assembler for the MSP430's 16-bit core.

Both operand forms of the core instruction set, the seven addressing modes, the constant generators,
the emulated instructions, labels, expressions and the directives .org, .word, .byte, .equ/.set,
.space and .align. It writes the code as a C++ array (--cpp), or prints a listing (--list).
"""
import argparse
import re
import sys

FORMAT_ONE = {"mov": 4, "add": 5, "addc": 6, "subc": 7, "sub": 8, "cmp": 9, "dadd": 10, "bit": 11,
              "bic": 12, "bis": 13, "xor": 14, "and": 15}
FORMAT_TWO = {"rrc": 0, "swpb": 1, "rra": 2, "sxt": 3, "push": 4, "call": 5}
JUMPS = {"jne": 0, "jnz": 0, "jeq": 1, "jz": 1, "jnc": 2, "jlo": 2, "jc": 3, "jhs": 3, "jn": 4,
         "jge": 5, "jl": 6, "jmp": 7}
# Emulated instructions: their core form, with {0} for the operand.
EMULATED = {"adc": "addc #0, {0}", "br": "mov {0}, r0", "clr": "mov #0, {0}", "clrc": "bic #1, r2",
            "clrn": "bic #4, r2", "clrz": "bic #2, r2", "dadc": "dadd #0, {0}", "dec": "sub #1, {0}",
            "decd": "sub #2, {0}", "dint": "bic #8, r2", "eint": "bis #8, r2", "inc": "add #1, {0}",
            "incd": "add #2, {0}", "inv": "xor #-1, {0}", "nop": "mov #0, r3", "pop": "mov @r1+, {0}",
            "ret": "mov @r1+, r0", "rla": "add {0}, {0}", "rlc": "addc {0}, {0}", "sbc": "subc #0, {0}",
            "setc": "bis #1, r2", "setn": "bis #4, r2", "setz": "bis #2, r2", "tst": "cmp #0, {0}"}
REGISTERS = {"pc": 0, "sp": 1, "sr": 2, "cg": 3}
CONSTANTS = {0: (3, 0), 1: (3, 1), 2: (3, 2), 4: (2, 2), 8: (2, 3), 0xFFFF: (3, 3)}
TOKEN = re.compile(r"\s*(0x[0-9a-fA-F]+|[0-9]+|'.'|[A-Za-z_.$][A-Za-z0-9_.$]*|<<|>>|[-+*/%&|^~()])")


class AsmError(Exception):
    pass


def register(text):
    t = text.strip().lower()
    if t in REGISTERS:
        return REGISTERS[t]
    m = re.fullmatch(r"r(\d+)", t)
    if m and int(m.group(1)) < 16:
        return int(m.group(1))
    return None


class Assembler:
    def __init__(self):
        self.symbols = {}
        self.final = False
        self.pc = 0
        self.decisions = {}  # line number -> whether an immediate used a constant generator

    def value(self, expr):
        """The expression's value; None in the first pass when a symbol is not yet known."""
        out, pos = [], 0
        expr = expr.strip()
        while pos < len(expr):
            m = TOKEN.match(expr, pos)
            if not m:
                raise AsmError("bad expression: " + expr)
            tok = m.group(1)
            pos = m.end()
            if tok[0] == "'":
                out.append(str(ord(tok[1])))
            elif tok == "$":
                out.append(str(self.pc))
            elif re.fullmatch(r"[A-Za-z_.][A-Za-z0-9_.$]*", tok):
                if tok not in self.symbols:
                    if self.final:
                        raise AsmError("undefined symbol " + tok)
                    return None
                out.append(str(self.symbols[tok]))
            elif tok == "/":
                out.append("//")
            else:
                out.append(tok)
        try:
            return int(eval(" ".join(out), {"__builtins__": {}}, {})) & 0xFFFF
        except Exception:
            raise AsmError("bad expression: " + expr)

    def operand(self, text, line, source):
        """(register, mode bits, extension words or None) of one operand."""
        t = text.strip()
        reg = register(t)
        if reg is not None:
            return reg, 0, []
        if t.startswith("#"):
            v = self.value(t[1:])
            if source:
                key = (line, t)
                if key not in self.decisions:
                    self.decisions[key] = v is not None and v in CONSTANTS
                if self.decisions[key]:
                    r, a = CONSTANTS[v]
                    return r, a, []
            return 0, 3, [v]
        if t.startswith("&"):
            return 2, 1, [self.value(t[1:])]
        m = re.fullmatch(r"@(\w+)(\+?)", t)
        if m and register(m.group(1)) is not None:
            if not source:
                raise AsmError("indirect destination: " + t)
            return register(m.group(1)), 3 if m.group(2) else 2, []
        m = re.fullmatch(r"(.*)\((\w+)\)", t)
        if m and register(m.group(2)) is not None:
            return register(m.group(2)), 1, [self.value(m.group(1)) if m.group(1).strip() else 0]
        # Symbolic: relative to the extension word's address, filled in by the caller.
        v = self.value(t)
        return 0, 1, [("symbolic", v)]

    def instruction(self, mnemonic, operands, line):
        byte = mnemonic.endswith(".b")
        name = mnemonic[:-2] if mnemonic.endswith((".b", ".w")) else mnemonic
        if name in EMULATED:
            form = EMULATED[name].format(*(operands or [""]))
            parts = form.split(None, 1)
            ops = [o.strip() for o in parts[1].split(",")] if len(parts) > 1 else []
            # rla/rlc name their one operand twice.
            return self.instruction(parts[0] + (".b" if byte else ""), ops, line)
        if name == "reti":
            return [0x1300]
        if name in JUMPS:
            if len(operands) != 1:
                raise AsmError(name + " takes one target")
            target = self.value(operands[0])
            offset = 0 if target is None else (target - (self.pc + 2))
            if offset & 1:
                raise AsmError("odd jump target")
            offset //= 2
            if offset >= 0x8000:
                offset -= 0x10000
            if self.final and not -512 <= offset <= 511:
                raise AsmError("jump out of range")
            return [0x2000 | JUMPS[name] << 10 | (offset & 0x3FF)]
        if name in FORMAT_TWO:
            if len(operands) != 1:
                raise AsmError(name + " takes one operand")
            reg, mode, ext = self.operand(operands[0], line, True)
            words = [0x1000 | FORMAT_TWO[name] << 7 | (1 if byte else 0) << 6 | mode << 4 | reg]
            return words + self.extension(ext, 1)
        if name in FORMAT_ONE:
            if len(operands) != 2:
                raise AsmError(name + " takes two operands")
            sreg, smode, sext = self.operand(operands[0], line, True)
            dreg, dmode, dext = self.operand(operands[1], line, False)
            if dmode > 1:
                raise AsmError("bad destination " + operands[1])
            words = [FORMAT_ONE[name] << 12 | sreg << 8 | dmode << 7 | (1 if byte else 0) << 6 | smode << 4 | dreg]
            words += self.extension(sext, 1)
            return words + self.extension(dext, len(words))
        raise AsmError("unknown instruction " + mnemonic)

    def extension(self, ext, index):
        out = []
        for i, e in enumerate(ext):
            if isinstance(e, tuple):  # symbolic: the distance from the extension word
                address = self.pc + 2 * (index + i)
                e = None if e[1] is None else (e[1] - address) & 0xFFFF
            out.append(0 if e is None else e)
        return out

    def assemble(self, text):
        lines = text.splitlines()
        for self.final in (False, True):
            self.pc = 0
            image = {}
            listing = []
            for number, raw in enumerate(lines, 1):
                try:
                    self.line(number, raw, image, listing)
                except AsmError as e:
                    raise AsmError("line %d: %s" % (number, e))
        return image, listing

    def line(self, number, raw, image, listing):
        text = raw.split(";", 1)[0].strip()
        m = re.match(r"([A-Za-z_.][A-Za-z0-9_.]*):\s*(.*)", text)
        if m:
            label = m.group(1)
            if not self.final and label in self.symbols:
                raise AsmError("label defined twice: " + label)
            self.symbols[label] = self.pc
            text = m.group(2)
        if not text:
            return
        parts = text.split(None, 1)
        mnemonic = parts[0].lower()
        rest = parts[1] if len(parts) > 1 else ""
        args = [a.strip() for a in split_operands(rest)] if rest else []
        start = self.pc
        if mnemonic == ".org":
            self.pc = self.need(args[0])
            return
        if mnemonic in (".equ", ".set"):
            self.symbols[args[0]] = self.need(args[1])
            return
        if mnemonic == ".align":
            if self.pc & 1:
                image[self.pc] = 0xFF
                self.pc += 1
            return
        if mnemonic == ".space":
            fill = self.need(args[1]) & 0xFF if len(args) > 1 else 0xFF
            for _ in range(self.need(args[0])):
                image[self.pc] = fill
                self.pc += 1
            return
        if mnemonic == ".byte":
            for a in args:
                v = self.value(a)
                image[self.pc] = (v or 0) & 0xFF
                self.pc += 1
            return
        if mnemonic == ".word":
            words = [self.value(a) or 0 for a in args]
        else:
            if self.pc & 1:
                raise AsmError("instruction at an odd address")
            words = self.instruction(mnemonic, args, number)
            listing.append((start, " ".join(("%s %s" % (mnemonic, ", ".join(args))).split())))
        for w in words:
            image[self.pc] = w & 0xFF
            image[self.pc + 1] = w >> 8 & 0xFF
            self.pc += 2

    def need(self, expr):
        v = self.value(expr)
        if v is None:
            raise AsmError("value needed before use: " + expr)
        return v


def split_operands(text):
    out, depth, cur = [], 0, ""
    for ch in text:
        if ch == "," and depth == 0:
            out.append(cur)
            cur = ""
            continue
        depth += ch == "("
        depth -= ch == ")"
        cur += ch
    out.append(cur)
    return out


def to_bytes(image, base, size, pad):
    data = [pad] * size
    for address, b in image.items():
        if not base <= address < base + size:
            raise AsmError("code at 0x%04x outside 0x%04x..0x%04x" % (address, base, base + size - 1))
        data[address - base] = b
    return data


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("source")
    p.add_argument("--cpp", help="write a C++ source file with the code as an array")
    p.add_argument("--name", default="kCode", help="the array's name")
    p.add_argument("--base", default="0", help="the address of the array's first byte")
    p.add_argument("--size", default="0", help="the array's size (0: up to the last byte); the rest is padded")
    p.add_argument("--namespace", default="quarzo")
    p.add_argument("--size-symbol", help="also define a size_t constant of this name with the array's size")
    p.add_argument("--header", help="an #include line's file for the C++ file")
    p.add_argument("--list", action="store_true", help="print each instruction's address and text")
    a = p.parse_args()
    try:
        with open(a.source) as f:
            image, listing = Assembler().assemble(f.read())
        base = int(a.base, 0)
        size = int(a.size, 0) or (max(image) + 1 - base if image else 0)
        data = to_bytes(image, base, size, 0xFF)
    except (AsmError, OSError) as e:
        sys.exit("%s: %s" % (a.source, e))
    if a.list:
        for address, text in listing:
            print("%04x %s" % (address, text))
    if a.cpp:
        rows = [", ".join("0x%02X" % b for b in data[i:i + 12]) for i in range(0, len(data), 12)]
        include = '#include "%s"\n\n' % a.header if a.header else "#include <cstddef>\n#include <cstdint>\n\n"
        sized = ("extern const size_t %s;\nconst size_t %s = %d;\n" % (a.size_symbol, a.size_symbol, size)
                 if a.size_symbol else "")
        body = ("// Generated by tools/msp430asm.py from %s; do not edit.\n%snamespace %s {\n\n"
                "extern const uint8_t %s[%d];\nconst uint8_t %s[%d] = {\n    %s,\n};\n%s\n}  // namespace %s\n"
                % (a.source.split("/")[-1], include, a.namespace, a.name, size, a.name, size,
                   ",\n    ".join(rows), sized, a.namespace))
        with open(a.cpp, "w") as f:
            f.write(body)


if __name__ == "__main__":
    main()
