#include "sim/sim_parts.h"

#include <array>
#include <cctype>

namespace quarzo::sim {
namespace {

// Flash timing, in timing-generator clocks (257-476 kHz).
// F1xx/F4xx data sheets (e.g. SLAS272 F13x/F14x, SLAS344 F43x/F44x), flash memory table: tWord 35,
// tSegErase 4819, tMassErase 5297, and a cumulative mass erase time of 200 ms reached by repeating it.
constexpr SimFlashTiming kF1Flash{35, 4819, 5297, 200};
// F2xx data sheets (e.g. SLAS504 F22x2/F22x4, SLAS439 F21x1) and SLAS508 (FG461x), flash memory
// table: tWord 30, tSegErase 4819, tMassErase 10593, tCMErase 20 ms: one pass (22 ms at the fastest
// generator clock) is the whole cumulative time.
constexpr SimFlashTiming kF2Flash{30, 4819, 10593, 20};

// Loader pins, the BSL pin table of each data sheet and SLAU319 section 5: F1xx/F2xx transmit on P1.1
// (TA0 output) and receive on P2.2 (TA0 capture input); F4xx transmit on P1.0 and receive on P1.1.
constexpr SimPin kP10{1, 0};
constexpr SimPin kP11{1, 1};
constexpr SimPin kP22{2, 2};

constexpr SimRange kInfo256{0x1000, 0x10FF};
constexpr SimRange kNone{};
constexpr uint8_t kNoRevision[4] = {0xFF, 0xFF, 0xFF, 0xFF};

// The common shape of each family (family user's guides SLAU049 F1xx, SLAU144 F2xx, SLAU056 F4xx:
// memory organisation): RAM from 0x0200, flash up to 0xFFFF, 256 bytes of information memory at
// 0x1000 in segments of 128 bytes (F1xx/F4xx) or 64 bytes (F2xx).
struct Shape {
    uint8_t id0, id1;
    uint16_t subFamily;
    uint8_t fuses;
    uint32_t mainStart;
    uint32_t ramEnd;
    uint16_t bslVersion;
    bool testPin;
};

constexpr SimPart Make(const char* name, SimFamily family, const Shape& s) {
    bool f2 = family == SimFamily::F2xx;
    bool f4 = family == SimFamily::F4xx;
    SimPart p{};
    p.name = name;
    p.family = family;
    p.id0 = s.id0;
    p.id1 = s.id1;
    p.subFamily = s.subFamily;
    for (int i = 0; i < 4; ++i) p.revision[i] = kNoRevision[i];
    p.configFuses = s.fuses;
    p.main = {s.mainStart, 0xFFFF};
    p.info = kInfo256;
    p.infoSegmentSize = f2 ? 64 : 128;
    p.ram = {0x0200, s.ramEnd};
    p.ram2 = kNone;
    p.ramMirrored = false;
    p.bslVersion = s.bslVersion;
    p.bslTx = f4 ? kP10 : kP11;
    p.bslRx = f4 ? kP11 : kP22;
    p.testPin = s.testPin;
    p.spyBiWire = false;
    p.enhancedPsa = false;
    p.quickRamAccess = true;
    p.cpuX = false;
    p.svs = f4;  // SLAU056, supply voltage supervisor: SVSCTL at 0x0056 on every F4xx listed here
    p.flash = f2 ? kF2Flash : kF1Flash;
    return p;
}

constexpr SimPart F1(const char* name, const Shape& s) {
    return Make(name, SimFamily::F1xx, s);
}
constexpr SimPart F2(const char* name, const Shape& s) {
    return Make(name, SimFamily::F2xx, s);
}
constexpr SimPart F4(const char* name, const Shape& s) {
    return Make(name, SimFamily::F4xx, s);
}

constexpr SimPart Revision(SimPart p, uint8_t b2, uint8_t b3, uint8_t b8, uint8_t b9) {
    p.revision[0] = b2;
    p.revision[1] = b3;
    p.revision[2] = b8;
    p.revision[3] = b9;
    return p;
}
constexpr SimPart Info(SimPart p, SimRange info) {
    p.info = info;
    return p;
}
// RAM above 2 KB lives from 0x1100; its first 2 KB also answer at 0x0200..0x09FF.
constexpr SimPart MirroredRam(SimPart p, uint32_t ram2End) {
    p.ram = {0x0200, 0x09FF};
    p.ram2 = {0x1100, ram2End};
    p.ramMirrored = true;
    return p;
}
constexpr SimPart Jtag(SimPart p, bool spyBiWire, bool enhancedPsa, bool quickRam = true) {
    p.spyBiWire = spyBiWire;
    p.enhancedPsa = enhancedPsa;
    p.quickRamAccess = quickRam;
    return p;
}
constexpr SimPart F2Flash(SimPart p) {
    p.flash = kF2Flash;
    p.infoSegmentSize = 64;
    return p;
}
constexpr SimPart LargeFlash(SimPart p, uint32_t mainEnd) {
    p.main.end = mainEnd;
    p.cpuX = true;
    return p;
}

// Identification bytes 0x0FF0/0x0FF1/0x0FFD, TEST pin, Spy-Bi-Wire, enhanced verify (PSA), quick RAM
// access and CPUX: SLAU320, device-specific information table (F12x has a TEST pin and no quick access
// to RAM; F21x1 has the enhanced verify but no Spy-Bi-Wire). Default loader versions: SLAU319 section 5
// (device to BSL version assignment: 1.10 on F11x1 and F13x/F14x up to revision N, 1.61 on F14x from
// revision AA; the F41x table follows the 1.10 one, together with the obsolete F11x); where a family
// shipped several versions, the later one. F20xx have no loader ROM.
// The model's own choices, no TI document giving them: the configuration fuse values (they only tell
// apart parts sharing identification bytes; the bits not used read as 1), the 0x0FFD byte of the F4xx
// parts that carry one, and the bytes at 0x0FF2/0x0FF3/0x0FF8/0x0FF9, which SLAU319
// (chip identification) reserves for TI's internal use. F11x1A and F11x1 differ in nothing else a host can
// read, so these stay one silicon revision's bytes rather than erased flash.
// Memory ranges: each part's data sheet, memory organisation table.
constexpr std::array kParts = {
    // SLAS241 (F11x1, F11x1A): F1101A 1 KB flash, 128 B information memory (segment A only), 128 B RAM.
    Revision(Info(F1("MSP430F1101A", {0xF1, 0x12, kNoIdByte, 0x00, 0xFC00, 0x027F, 0x0130, true}),
                  {0x1080, 0x10FF}),
             0x13, 0x40, 0x00, 0x00),
    // SLAS241: F1121 4 KB flash, 256 B RAM.
    Revision(F1("MSP430F1121", {0xF1, 0x12, kNoIdByte, 0x00, 0xF000, 0x02FF, 0x0110, true}), 0x10, 0x40, 0x00,
             0x00),
    // SLAS361 (F11x2): F1122 4 KB flash, 256 B RAM.
    F1("MSP430F1122", {0x11, 0x32, kNoIdByte, 0x00, 0xF000, 0x02FF, 0x0161, true}),
    // SLAS312 (F12x): F123 8 KB flash, 256 B RAM; TEST pin, no quick access to RAM through JTAG.
    Jtag(F1("MSP430F123", {0xF1, 0x23, kNoIdByte, 0x00, 0xE000, 0x02FF, 0x0140, true}), false, false, false),
    // SLAS272 (F13x/F14x): F133 8 KB/256 B, F135 16 KB/512 B, F147 32 KB/1 KB, F148 48 KB/2 KB,
    // F149 60 KB/2 KB; dedicated JTAG pins, no TEST pin.
    F1("MSP430F133", {0xF1, 0x49, kNoIdByte, 0xF5, 0xE000, 0x02FF, 0x0161, false}),
    F1("MSP430F135", {0xF1, 0x49, kNoIdByte, 0xF4, 0xC000, 0x03FF, 0x0161, false}),
    F1("MSP430F147", {0xF1, 0x49, kNoIdByte, 0xF2, 0x8000, 0x05FF, 0x0161, false}),
    F1("MSP430F148", {0xF1, 0x49, kNoIdByte, 0xF1, 0x4000, 0x09FF, 0x0161, false}),
    F1("MSP430F149", {0xF1, 0x49, kNoIdByte, 0xF0, 0x1100, 0x09FF, 0x0161, false}),
    // SLAS368 (F15x/F16x/F161x): F155 16 KB/512 B, F156 24 KB/1 KB, F157 32 KB/1 KB, F167 32 KB/1 KB,
    // F168 48 KB/2 KB, F169 60 KB/2 KB.
    F1("MSP430F155", {0xF1, 0x69, kNoIdByte, 0xF6, 0xC000, 0x03FF, 0x0160, false}),
    F1("MSP430F156", {0xF1, 0x69, kNoIdByte, 0xF5, 0xA000, 0x05FF, 0x0160, false}),
    F1("MSP430F157", {0xF1, 0x69, kNoIdByte, 0xF4, 0x8000, 0x05FF, 0x0160, false}),
    F1("MSP430F167", {0xF1, 0x69, kNoIdByte, 0xF2, 0x8000, 0x05FF, 0x0160, false}),
    F1("MSP430F168", {0xF1, 0x69, kNoIdByte, 0xF1, 0x4000, 0x09FF, 0x0160, false}),
    F1("MSP430F169", {0xF1, 0x69, kNoIdByte, 0xF0, 0x1100, 0x09FF, 0x0160, false}),
    // SLAS368: F1610 32 KB/5 KB, F1611 48 KB/10 KB, F1612 55 KB/5 KB; RAM from 0x1100, its first 2 KB
    // mirrored at 0x0200.
    MirroredRam(F1("MSP430F1610", {0xF1, 0x6C, kNoIdByte, 0xFB, 0x8000, 0x09FF, 0x0161, false}), 0x24FF),
    MirroredRam(F1("MSP430F1611", {0xF1, 0x6C, kNoIdByte, 0xF8, 0x4000, 0x09FF, 0x0161, false}), 0x38FF),
    MirroredRam(F1("MSP430F1612", {0xF1, 0x6C, kNoIdByte, 0xFE, 0x2500, 0x09FF, 0x0161, false}), 0x24FF),
    // SLAS491 (F20xx): F2011/F2012/F2013 2 KB flash, 128 B RAM; Spy-Bi-Wire; no loader ROM.
    Jtag(F2("MSP430F2011", {0xF2, 0x01, 0x01, 0x00, 0xF800, 0x027F, 0, true}), true, false),
    Jtag(F2("MSP430F2012", {0xF2, 0x01, 0x02, 0x00, 0xF800, 0x027F, 0, true}), true, false),
    Jtag(F2("MSP430F2013", {0xF2, 0x01, 0x03, 0x00, 0xF800, 0x027F, 0, true}), true, false),
    // SLAS439 (F21x1): F2131 8 KB flash, 256 B RAM; TEST pin without Spy-Bi-Wire; enhanced verify as
    // SLAU320's device table says (its reference code, Devices430.c, leaves it off for F21x1; the
    // document holds).
    Jtag(F2("MSP430F2131", {0xF2, 0x13, 0x01, 0x00, 0xE000, 0x02FF, 0x0202, true}), false, true),
    // SLAS504 (F22x2/F22x4): F2234 8 KB/512 B, F2254 16 KB/512 B, F2274 32 KB/1 KB; Spy-Bi-Wire.
    Jtag(F2("MSP430F2234", {0xF2, 0x27, kNoIdByte, 0xFE, 0xE000, 0x03FF, 0x0202, true}), true, true),
    Jtag(F2("MSP430F2254", {0xF2, 0x27, kNoIdByte, 0xFD, 0xC000, 0x03FF, 0x0202, true}), true, true),
    Jtag(F2("MSP430F2274", {0xF2, 0x27, kNoIdByte, 0xFC, 0x8000, 0x05FF, 0x0202, true}), true, true),
    // SLAS340 (F41x): F413 8 KB flash, 256 B RAM. No quick access to RAM through JTAG (SLAU320 reference
    // code, Devices430.c: F41x without DataQuick, as F12x).
    Revision(Jtag(F4("MSP430F413", {0xF4, 0x13, kNoIdByte, 0x00, 0xE000, 0x02FF, 0x0130, false}), false,
                  false, false),
             0x02, 0x40, 0xFF, 0xFF),
    // SLAS421 (F42x): F423 8 KB/256 B. SLAS396 (FE42x): FE427 32 KB/1 KB.
    F4("MSP430F423", {0xF4, 0x27, 0x45, 0xE6, 0xE000, 0x02FF, 0x0161, false}),
    F4("MSP430FE427", {0xF4, 0x27, 0x45, 0xE0, 0x8000, 0x05FF, 0x0161, false}),
    // SLAS344 (F43x/F44x): F437 32 KB/1 KB, F449 60 KB/2 KB.
    F4("MSP430F437", {0xF4, 0x37, kNoIdByte, 0x00, 0x8000, 0x05FF, 0x0160, false}),
    F4("MSP430F449", {0xF4, 0x49, kNoIdByte, 0xF0, 0x1100, 0x09FF, 0x0160, false}),
    // SLAS380 (FG43x): FG439 60 KB/2 KB.
    F4("MSP430FG439", {0xF4, 0x39, 0x47, 0x00, 0x1100, 0x09FF, 0x0161, false}),
    // SLAS508 (FG461x): FG4619 120 KB flash 0x2100..0x1FFFF, 4 KB RAM from 0x1100 mirrored at 0x0200;
    // CPUX; enhanced verify. Its flash is the F2xx kind (SLAS508, flash memory): the F2xx timing and four
    // information segments of 64 bytes.
    F2Flash(Jtag(
        MirroredRam(
            LargeFlash(F4("MSP430FG4619", {0xF4, 0x6F, 0x47, 0x00, 0x2100, 0x09FF, 0x0212, false}), 0x1FFFF),
            0x20FF),
        false, true)),
};

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::span<const SimPart> SimParts() {
    return kParts;
}

const SimPart* FindSimPart(std::string_view name) {
    for (const SimPart& p : kParts) {
        if (SameNoCase(name, p.name)) return &p;
    }
    return nullptr;
}

const SimPart& DefaultSimPart() {
    return *FindSimPart("MSP430F149");
}

std::string SimPartNames() {
    std::string out;
    for (const SimPart& p : kParts) {
        if (!out.empty()) out += ", ";
        out += p.name;
    }
    return out;
}

}  // namespace quarzo::sim
