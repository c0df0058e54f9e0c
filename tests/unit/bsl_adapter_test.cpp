// The loader's host side against the simulated target: the frames on the wire and the line's faults,
// the adapter's operations on each loader, and the wirings tried.
#include "adapters/bsl/bsl_adapter.h"

#include <gtest/gtest.h>

#include "adapters/bsl/bsl_wiring.h"
#include "core/device_table.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimTarget;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

// The simulated target with an adapter on its line, and the notes the adapter gave.
struct Session {
    explicit Session(const std::string& version = "1.60", bool patch = true,
                     const std::string& part = "MSP430F149")
        : target(version, part) {
        target.Attach(adapter.link);
        adapter.link.Configure({.patchToV150 = patch});
        adapter.onNote = [this](const std::string& line) { notes.push_back(line); };
    }
    // A part chosen by the user: Open then leaves the loader alone until the first operation.
    void Choose(const char* part = "MSP430F149") {
        adapter.device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByName(part)));
    }
    std::string Info() {
        char text[Adapter::kInfoSize];
        int result = adapter.GetInfo(text);
        return result == 0 ? std::string(text) : "failed " + std::to_string(adapter.GetErrorCode());
    }
    Strings CommandsAfter(size_t skip) const {
        Strings all = target.Commands();
        return Strings(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end());
    }
    // Opens the port, starts the loader and unlocks it, as a run's first operation does.
    void StartUnlocked() {
        ASSERT_TRUE(link.OpenLink("COM1"));
        link.ResetTarget(true);
        ASSERT_TRUE(link.SendPassword() && link.ReadChipInfo());
        target.line.hostBytes.clear();
        target.frames.clear();
    }

    SimTarget target;
    BslAdapter adapter;
    BslLink& link = adapter.link;
    Strings notes;
};

// The frames on the wire, blocks of 250 and the erased chip's password after a mass erase; every fault
// of the line on a read, with its code and time-out; the watchdog; a failed close.
TEST(BslLink, FramesOnTheWireLineFaultsTheWatchdogAndTheClose) {
    Session s;
    s.StartUnlocked();
    uint8_t info[16];
    ASSERT_TRUE(s.link.ReadBlocks(0x0FF0, info, 16));
    EXPECT_EQ(s.target.line.hostBytes,
              (Bytes{0x80, 0x80, 0x14, 0x04, 0x04, 0xF0, 0x0F, 0x10, 0x00, 0x9B, 0xE0}));
    EXPECT_EQ(Bytes(info, info + 2), (Bytes{0xF1, 0x49}));

    s.target.line.hostBytes.clear();
    s.target.Flash(0x4000, {0x12, 0x34});
    ASSERT_TRUE(s.link.MassErase());
    EXPECT_EQ(s.target.Commands(), (Strings{"14 0FF0 16", "18 FF00 42246", "10 FFE0 32"}));
    EXPECT_EQ(s.target.device.Read(0x4000), 0xFF);
    for (uint8_t b : s.link.Password()) EXPECT_EQ(b, 0xFF);

    // Writes go in blocks of 250 and stop at the first failed block.
    s.target.frames.clear();
    Bytes data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(s.link.WriteBlocks(0x2000, data.data(), 600));
    EXPECT_EQ(s.target.Commands(), (Strings{"12 2000 250", "12 20FA 250", "12 21F4 100"}));
    EXPECT_EQ(s.target.device.Read(0x2000 + 599), data[599]);

    // Flash cells already at 0 cannot take the second block's ones: that block is refused.
    s.target.frames.clear();
    s.target.Flash(0x3000 + 250, Bytes(250, 0x00));
    EXPECT_FALSE(s.link.WriteBlocks(0x3000, Bytes(600, 0xFF).data(), 600));
    EXPECT_EQ(s.target.Commands(), (Strings{"12 3000 250", "12 30FA 250"}));
    EXPECT_EQ(s.link.GetErrorCode(), BslLink::kNak);

    // Each fault on the next read, its code, and the least and most virtual time it may take.
    const struct {
        std::function<void()> inject;
        uint32_t code;
        uint64_t minUs, maxUs;
    } faults[] = {
        {[&] { s.target.line.ReplaceNextAnswer(0x70); }, BslLink::kCommandFailed, 0, 100'000},
        {[&] { s.target.line.CorruptNextDataFrame(2); }, BslLink::kBadChecksum, 0, 100'000},       // L1 != L2
        {[&] { s.target.line.CorruptNextDataFrame(16 + 5); }, BslLink::kBadChecksum, 0, 100'000},  // CKH only
        {[&] { s.target.line.TruncateNextDataFrame(1); }, BslLink::kFrameTimeout, 500'000, 600'000},
        // The sync is answered but the frame is lost on the way: no header within 3000 ms.
        {[&] { s.target.line.DropHostBytes(10, 1); }, BslLink::kHeaderTimeout, 3'000'000, 3'100'000},
        // Ten attempts of 100 ms at the sync.
        {[&] { s.target.line.SetSilent(true); }, BslLink::kSync, 1'000'000, 1'100'000},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.code);
        f.inject();
        uint64_t before = s.target.clock.NowUs();
        EXPECT_FALSE(s.link.ReadBlocks(0x0FF0, info, 16));
        EXPECT_EQ(s.link.GetErrorCode(), f.code);
        EXPECT_GE(s.target.clock.NowUs() - before, f.minUs);
        EXPECT_LT(s.target.clock.NowUs() - before, f.maxUs);
    }
    s.target.line.SetSilent(false);

    // The watchdog written through the loader resets the chip as host tools expect.
    s.link.ResetTarget(true);
    ASSERT_TRUE(s.link.SendPassword());
    const uint8_t hold[2] = {0x80, 0x5A};  // the key with the hold bit: the watchdog stays stopped
    EXPECT_TRUE(s.link.WriteBlocks(0x0120, hold, 2));
    const uint8_t start[2] = {0x00, 0x5A};  // the key without the hold bit: a reset shortly after
    EXPECT_TRUE(s.link.WriteBlocks(0x0120, start, 2));
    EXPECT_EQ(s.target.bsl.GetState(), sim::RomBsl::State::kProgram);
    EXPECT_FALSE(s.link.ReadBlocks(0x1000, info, 2));
    EXPECT_EQ(s.link.GetErrorCode(), BslLink::kSync);
    s.link.ResetTarget(true);
    ASSERT_TRUE(s.link.SendPassword());
    const uint8_t zero[2] = {0x00, 0x00};
    EXPECT_FALSE(
        s.link.WriteBlocks(0x0120, zero, 2));  // a key violation: the chip resets at once, unanswered
    EXPECT_EQ(s.target.bsl.GetState(), sim::RomBsl::State::kProgram);

    s.target.line.closeFails = true;
    EXPECT_FALSE(s.link.CloseLink());
    EXPECT_EQ(s.link.GetErrorCode(), BslLink::kClosePort);
    EXPECT_EQ(s.link.GetErrorCode(), 0u);  // read once
    EXPECT_STREQ(BslLink::GetErrorText(17), "Invalid error number");
}

// Each family's loader takes its own clock words for each speed: the chip's UART runs at what they give,
// and the host must land on the same speed.
TEST(BslSpeedChange, EveryFamilyAnswersAtEveryRate) {
    for (auto [part, loader] :
         {std::pair{"MSP430F149", "1.60"}, {"MSP430F2274", "2.02"}, {"MSP430F449", "1.60"}}) {
        for (uint32_t baud : {9600u, 19200u, 38400u}) {
            SCOPED_TRACE(std::string(part) + " at " + std::to_string(baud));
            Session s(loader, true, part);
            s.link.Configure({.fastBaud = false});
            s.link.SetPassword(s.link.Password(), false);  // the blank chip's
            ASSERT_TRUE(s.link.OpenLink("COM1"));
            s.link.ResetTarget(true);
            ASSERT_TRUE(s.link.PrepareTarget());
            ASSERT_TRUE(s.link.ChangeBaudRate(baud));
            EXPECT_EQ(s.target.line.hostBaud(), baud);
            uint8_t id[2] = {};
            EXPECT_TRUE(s.link.ReadBlocks(0x0FF0, id, 2)) << s.link.GetErrorCode();  // its checksum matched
        }
    }
}

// The simulated cable wired each of the four ways: exactly the matching combination, tried in order (RST
// inversion first), starts the loader and says who answers; a plain reset always runs the program. The
// reset delay follows the DTR switching off, whichever RST level that gives.
TEST(BslWiring, OnlyTheMatchingInversionsStartTheLoader) {
    for (int wiring = 0; wiring < 4; ++wiring) {
        SCOPED_TRACE(wiring);
        Session s;
        s.target.line.rstWiringInverted = wiring & 1;
        s.target.line.tstWiringInverted = !(wiring & 2);
        s.link.Configure({.rstDelay = 7});
        std::vector<WiringTrial> trials = TryWirings(s.adapter);
        ASSERT_EQ(trials.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            const WiringTrial& t = trials[static_cast<size_t>(i)];
            EXPECT_EQ(t.rstInvert + 2 * t.tstInvert, i);
            EXPECT_EQ(t.rstDelay, 7u);
            EXPECT_EQ(t.answered, i == wiring) << i;
        }
        EXPECT_EQ(trials[static_cast<size_t>(wiring)].version, 0x0160);
        // The adapter's own settings are as they were.
        EXPECT_FALSE(s.link.Settings().rstInvert || s.link.Settings().tstInvert);
        EXPECT_EQ(s.link.Settings().rstDelay, 7u);
        ASSERT_TRUE(s.link.OpenLink("COM1"));
        s.link.ResetTarget(false);
        EXPECT_NE(s.target.bsl.GetState(), sim::RomBsl::State::kIdle);

        s.link.Configure({.rstInvert = (wiring & 1) != 0, .tstInvert = (wiring & 2) != 0, .rstDelay = 7});
        s.link.SetRst(false);
        s.target.line.pinLog.clear();
        for (bool level : {true, false}) {
            uint64_t before = s.target.clock.NowUs();
            s.link.SetRst(level);
            EXPECT_EQ(s.target.clock.NowUs() - before, level == ((wiring & 1) != 0) ? 7'000u : 0u);
        }
        EXPECT_EQ(s.target.line.pinLog, (Strings{"RST 1", "RST 0"}));
    }
}

TEST(BslWiring, ASilentTargetGetsASecondRoundWithALongerResetPulse) {
    Session silent;
    silent.target.line.SetSilent(true);
    std::vector<WiringTrial> trials = TryWirings(silent.adapter);
    ASSERT_EQ(trials.size(), 8u);
    EXPECT_EQ(trials[3].rstDelay, 0u);
    EXPECT_EQ(trials[4].rstDelay, kLongRstDelayMs);
    for (const WiringTrial& t : trials) EXPECT_FALSE(t.answered);

    // A locked chip still answers. From 1.50 the version command identifies it without a password, so a
    // loader that erases on a wrong one keeps the chip; older loaders refuse the password. Opened with no
    // part chosen, the identification decides: an older locked chip leaves "DEFAULT".
    for (const char* version : {"2.02", "1.30"}) {
        SCOPED_TRACE(version);
        Session locked(version);
        locked.target.SetVectors(0x11);
        locked.target.Flash(0x2000, {0x00});
        trials = TryWirings(locked.adapter);
        bool modern = version[0] == '2';
        ASSERT_EQ(trials.size(), 4u);
        EXPECT_TRUE(trials[0].answered);
        EXPECT_EQ(trials[0].identified, modern);
        EXPECT_EQ(trials[0].version, modern ? 0x0202 : 0);
        EXPECT_EQ(locked.target.Count("10") == 0, modern);
        ASSERT_EQ(locked.adapter.Open(), 0);
        EXPECT_EQ(locked.adapter.device.Name(), modern ? "MSP430F149" : "DEFAULT");
        EXPECT_EQ(locked.adapter.GetErrorCode(), 0);  // nothing left over for the next operation's report
        EXPECT_EQ(locked.Info(), modern ? "Device family F149; BSL v2.02" : "failed 13");
        EXPECT_EQ(locked.target.device.Read(0x2000), 0x00);
    }
}

// The version goes first; loaders before 1.50 refuse it and are identified after the password. Our
// loader replaces those before 1.60 on F1xx chips with the RAM to hold it, when it is asked for and its
// read-back matches; otherwise the ROM loader serves as it is, at 9600 baud.
TEST(BslAdapter, InfoNotesAndTheLoaderEachStartGets) {
    const struct {
        const char* version;
        bool patch;
        const char* part;    // the simulated MSP430 part
        const char* chosen;  // "": no part chosen
        uint32_t broken;     // a RAM cell
        bool ours;           // our loader runs in RAM, at 38400 baud
        bool stackRepair;    // loaders up to 1.30 get their stack repaired before the installation
    } cases[] = {
        {"1.10", true, "F149", "", 0, true, true},
        {"1.40", true, "F149", "", 0, true, false},
        {"1.10", true, "F149", "F149", 0, true, true},
        {"1.10", false, "F149", "", 0, false, false},
        {"1.60", true, "F149", "", 0, false, false},
        // An F4xx loader is on other pins with another clock; a chosen part with 256 bytes of RAM cannot
        // hold ours; unchosen, it goes, but its read-back from RAM the part lacks (or a bad cell) differs.
        {"1.40", true, "F413", "", 0, false, false},
        {"1.10", true, "F133", "F133", 0, false, false},
        {"1.10", true, "F133", "", 0, false, true},
        {"1.10", true, "F149", "", 0x0230, false, true},
    };
    for (const auto& c : cases) {
        std::string version = c.version, family = c.part == std::string("F413") ? "F413" : "F149";
        SCOPED_TRACE(version + " " + c.part + " chosen " + c.chosen + " broken " + std::to_string(c.broken));
        Session s(version, c.patch, std::string("MSP430") + c.part);
        if (*c.chosen) s.Choose((std::string("MSP430") + c.chosen).c_str());
        if (c.broken) s.target.device.BreakCell(c.broken);  // it does not keep what is written
        EXPECT_EQ(s.Info(),
                  "Device family " + family + "; BSL v" + version + (c.ours ? " patched to v1.50." : ""));
        EXPECT_EQ(s.target.bsl.RamLoader(), c.ours ? 0x0224 : 0);
        EXPECT_EQ(s.target.line.hostBaud(), c.ours || version == "1.60" ? 38400u : 9600u);
        EXPECT_EQ(s.target.Count("1A 0C22"), c.stackRepair ? 1u : 0u);
        std::string note =
            c.ours
                ? "Our loader 1.50 runs in RAM from 0x0224 and serves the run in place of the ROM loader " +
                      version + "."
                : "The ROM loader " + version +
                      " serves the run: it has no erase check (the blank check reads the memory back) and "
                      "no speed change (the run stays at 9600 baud).";
        EXPECT_EQ(s.notes, version < "1.60" ? Strings{"Note: " + note} : Strings{});
    }
}

TEST(BslAdapter, EraseTakesMainMemoryAndOnlyTheInformationSegmentsAsked) {
    // Unlocked, the erase-main form takes main memory alone: the user's data at 0x1080 stays.
    Session s("1.60");
    s.Choose();
    s.target.Flash(0x1080, {0x5A});
    ASSERT_EQ(s.adapter.Open(), 0);
    ASSERT_EQ(s.adapter.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(s.CommandsAfter(3), (Strings{"16 1100 42244"}));
    EXPECT_EQ(s.target.device.Read(0x1080), 0x5A);
    // With information memory: its two segments one by one.
    ASSERT_EQ(s.adapter.Erase(2, 0x1100, 0xEF00), 0);
    EXPECT_EQ(s.CommandsAfter(4), (Strings{"16 1100 42244", "16 1000 42242", "16 1080 42242"}));
    EXPECT_EQ(s.target.device.Read(0x1080), 0xFF);

    // Locked by a password nobody gave: only the mass erase opens it, and the log says what it took.
    Session locked("1.60");
    locked.Choose();
    locked.target.SetVectors(0x11);
    locked.target.Flash(0x1080, {0x5A});
    ASSERT_EQ(locked.adapter.Open(), 0);
    ASSERT_EQ(locked.adapter.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(locked.CommandsAfter(3), (Strings{"18 FF00 42246", "10 FFE0 32"}));
    EXPECT_EQ(locked.target.device.Read(0x1080), 0xFF);
    EXPECT_EQ(locked.notes, Strings{"Warning: The chip is locked by another password: it was mass-erased, "
                                    "information memory included."});
}

// The 2.xx loader clears LOCKA: its own mass erase, and the one after a wrong password, would take the
// factory calibration in segment A. The new firmware's vectors say nothing of what the chip holds: an
// erasing run tries the erased chip's password, so a new chip keeps its calibration.
TEST(BslAdapter, F2xxErasesLeaveTheCalibrationSegmentWhereTheyCan) {
    for (bool blank : {true, false}) {
        Session s("2.02", true, "MSP430F2274");
        s.Choose("MSP430F2274");
        if (!blank) s.target.SetVectors(0x11);
        for (uint32_t a : {0x1000u, 0x1080u, 0x8000u}) s.target.Flash(a, {0x01});
        uint8_t calibration = s.target.device.Read(0x10FF);
        ASSERT_NE(calibration, 0xFF);
        s.adapter.BeginRun(true);
        std::array<uint8_t, BslLink::kPasswordSize> other;
        other.fill(0x22);
        s.adapter.SetPassword(other);
        ASSERT_EQ(s.adapter.Open(), 0);
        ASSERT_EQ(s.adapter.Erase(2, 0x8000, 0x8000), 0);
        EXPECT_TRUE(s.target.device.IsErased(0x1000, 0xC0));
        EXPECT_TRUE(s.target.device.IsErased(0x8000, 2));
        // Another program's password: the loader wipes everything, and the log says so.
        EXPECT_EQ(s.target.device.Read(0x10FF), blank ? calibration : 0xFF);
        EXPECT_EQ(s.notes,
                  blank ? Strings{}
                        : Strings{"Warning: The loader refused the password and erased the whole chip, "
                                  "information memory with the calibration data in segment A included."});
    }
}

// FG4619-class parts: flash above 0xFFFF, which the frame's 16-bit address cannot name by itself.
TEST(BslAdapter, AddressesAbove64KGoThroughTheMemoryOffset) {
    for (const char* version : {"2.12", "2.02"}) {
        SCOPED_TRACE(version);
        Session s(version, true, "MSP430FG4619");
        s.Choose("MSP430FG4619");
        s.adapter.SetPassword(s.link.Password());  // the blank chip's
        ASSERT_EQ(s.adapter.Open(), 0);
        Bytes data(512);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        uint8_t ram = s.target.device.Read(0x1100);
        int written = s.adapter.WriteMemory(0x10F00, data.data(), 512);
        EXPECT_EQ(s.target.device.Read(0x1100), ram);  // never wrapped onto the RAM below
        if (std::string(version) == "2.02") {
            EXPECT_EQ(written, -1);
            EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kAddressRange);
            EXPECT_EQ(s.target.device.Read(0x10F00), 0xFF);
            continue;
        }
        ASSERT_EQ(written, 0);
        size_t before = s.target.Commands().size();
        Bytes back(512);
        ASSERT_EQ(s.adapter.ReadMemory(0x10F00, back.data(), 512), 0);
        EXPECT_EQ(back, data);
        ASSERT_EQ(s.adapter.ReadMemory(0xFF00, back.data(), 256), 0);
        EXPECT_EQ(s.CommandsAfter(before), (Strings{"14 0F00 250", "14 0FFA 250", "14 10F4 12", "21 0000 0",
                                                    "14 FF00 250", "14 FFFA 6"}));
        for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(s.target.device.Read(0x10F00 + i), data[i]);
    }
}

// The blank check takes the loader's erase check where it has one, else reads the memory back; either
// way to the range's last byte.
TEST(BslAdapter, BlankCheckResetAndTheOperationsItDoesNotHave) {
    for (bool eraseCheck : {false, true}) {
        SCOPED_TRACE(eraseCheck);
        Session s(eraseCheck ? "1.60" : "1.10", false);
        s.target.Flash(0x11FF, {0x7F});
        ASSERT_EQ(s.adapter.Open(), 0);
        EXPECT_EQ(s.adapter.BlankCheck(0x1100, 0x100), -1);
        EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kVerification);
        EXPECT_EQ(s.adapter.BlankCheck(0x1100, 0xFE), 0);
        if (!eraseCheck) continue;
        EXPECT_EQ(s.adapter.VerifyMemory(0x1100, nullptr, 2), -1);
        EXPECT_STREQ(s.adapter.GetErrorText(s.adapter.GetErrorCode()), "This function not implemented");
        EXPECT_EQ(s.adapter.BlowFuse(), -1);
        EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kNotImplemented);

        // A reset runs the program unless the loader is wanted.
        s.target.line.pinLog.clear();
        EXPECT_EQ(s.adapter.Reset(7, 1, 1), 0);
        EXPECT_EQ(s.target.line.pinLog, (Strings{"RST 0", "RST 1"}));  // no TEST pulses
        uint8_t buffer[2];
        EXPECT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), -1);
        EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kSync);
        EXPECT_EQ(s.adapter.Reset(7, 1, 0), 0);
        EXPECT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), 0);

        // A chosen part is believed; a port that is gone fails the open and the information.
        s.Choose("MSP430F41x");
        ASSERT_EQ(s.adapter.Open(), 0);
        EXPECT_EQ(s.adapter.device.Name(), "MSP430F41x");
        s.target.line.exists = false;
        EXPECT_EQ(s.adapter.Open(), -1);
        EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kOpenPort);
        EXPECT_EQ(s.Info(), "failed 3");
    }
}

TEST(BslAdapter, NamesDevicesAndPorts) {
    BslAdapter adapter;
    char name[Adapter::kNameSize];
    adapter.SetPortIndex(256);
    adapter.GetName(name);
    EXPECT_STREQ(name, "BSL(COM1)");
    EXPECT_EQ(adapter.PortIndex(), 0u);
    adapter.SetPortIndex(255);
    adapter.GetName(name);
    EXPECT_STREQ(name, "BSL(COM256)");
#ifdef _WIN32
    EXPECT_EQ(adapter.SystemPortName(), "\\\\.\\COM256");  // the form that opens every port number
#else
    // Above COM8 a port stands for no device until the settings name one, and the failure says so.
    adapter.SetPortIndex(11);
    EXPECT_EQ(adapter.Open(), -1);
    EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()),
                 "Could not open port (COM12 has no device in the section [Ports] of the settings file)");
    adapter.SetPortIndex(2);
    adapter.portPaths[2] = "/dev/ttyACM7";
    EXPECT_EQ(adapter.SystemPortName(), "/dev/ttyACM7");
#endif
    adapter.devicePath = "/dev/ttyUSB0";
    adapter.GetName(name);
    EXPECT_STREQ(name, "BSL(/dev/ttyUSB0)");
    EXPECT_EQ(adapter.SystemPortName(), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace quarzo
