#!/usr/bin/env python3
"""The assembler's encodings against the MSP430 family user's guide, and its refusals."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from msp430asm import Assembler, AsmError  # noqa: E402


def words(source, org=0x0200):
    image, _ = Assembler().assemble("        .org 0x%x\n%s\n" % (org, source))
    data = [image[a] for a in sorted(image)]
    return [data[i] | data[i + 1] << 8 for i in range(0, len(data), 2)]


class Encodings(unittest.TestCase):
    def test_guide_examples(self):
        cases = {
            "mov #0x5a80, &0x0120": [0x40B2, 0x5A80, 0x0120],  # stopping the watchdog
            "mov.b #1, r5": [0x4355],                            # constant generator R3, As=01
            "add.b #8, r7": [0x5277],                            # constant generator R2, As=11
            "cmp #-1, r8": [0x9338],
            "mov @r4+, 2(r6)": [0x44B6, 0x0002],
            "mov r5, r6": [0x4506],
            "xor.b &0x0200, 4(r9)": [0xE2D9, 0x0200, 0x0004],
            "rrc r5": [0x1005],
            "swpb @r5": [0x10A5],
            "rra.b @r6+": [0x1176],
            "sxt r7": [0x1187],
            "push #0x1234": [0x1230, 0x1234],
            "call #0x1234": [0x12B0, 0x1234],
            "reti": [0x1300],
        }
        for text, expected in cases.items():
            self.assertEqual(words("        " + text), expected, text)

    def test_emulated_instructions_are_their_core_forms(self):
        cases = {
            "ret": [0x4130], "nop": [0x4303], "pop r5": [0x4135], "br #0x0c00": [0x4030, 0x0C00],
            "clr r5": [0x4305], "inc r5": [0x5315], "incd r5": [0x5325], "dec r5": [0x8315],
            "decd r5": [0x8325], "inv r5": [0xE335], "tst r5": [0x9305], "rla r5": [0x5505],
            "rlc r5": [0x6505], "adc r5": [0x6305], "sbc r5": [0x7305], "dadc r5": [0xA305],
            "clrc": [0xC312], "setc": [0xD312], "clrz": [0xC322], "setz": [0xD322], "clrn": [0xC222],
            "setn": [0xD222], "dint": [0xC232], "eint": [0xD232], "clr.b &0x0021": [0x43C2, 0x0021],
        }
        for text, expected in cases.items():
            self.assertEqual(words("        " + text), expected, text)

    def test_jumps_labels_and_symbolic_operands(self):
        self.assertEqual(words("here:   jmp here"), [0x3FFF])
        self.assertEqual(words("        jne next\n        nop\nnext:   nop"), [0x2001, 0x4303, 0x4303])
        # Symbolic: the distance from the extension word to the label.
        self.assertEqual(words("data:   .word 7\n        mov data, r5"), [7, 0x4015, 0xFFFC])
        # A forward immediate takes the long form in both passes, even when it turns out small.
        self.assertEqual(words("        mov #four, r5\n        .equ four, 4"), [0x4035, 4])
        self.assertEqual(words("        .equ four, 4\n        mov #four, r5"), [0x4225])

    def test_directives_and_expressions(self):
        self.assertEqual(words("        .word (1 << 4) | 3, 'A', 10 / 3, -2"), [0x13, 0x41, 3, 0xFFFE])
        image, _ = Assembler().assemble("        .org 0x10\n        .byte 1, 2\n        .align\n        .space 2, 7")
        self.assertEqual(image, {0x10: 1, 0x11: 2, 0x12: 7, 0x13: 7})


class Refusals(unittest.TestCase):
    def refuses(self, source):
        with self.assertRaises(AsmError):
            Assembler().assemble(source)

    def test_bad_programs(self):
        self.refuses("        mov r5, @r6")                 # no indirect destination
        self.refuses("        jmp nowhere")                 # undefined label
        self.refuses("        .org 0\n        jmp 0x0800")  # out of a jump's reach
        self.refuses("        frob r5")                     # no such instruction
        self.refuses("a:      nop\na:      nop")            # a label twice
        self.refuses("        .byte 1\n        nop")        # an instruction at an odd address
        self.refuses("        mov r5")                      # an operand missing


if __name__ == "__main__":
    unittest.main()
