#include "adapters/bsl/bsl_adapter.h"

#include <gtest/gtest.h>

#include "core/device_table.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimTarget;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

std::array<uint8_t, BslLink::kPasswordSize> Vectors(uint8_t value) {
    std::array<uint8_t, BslLink::kPasswordSize> vectors;
    vectors.fill(value);
    return vectors;
}

struct Session {
    explicit Session(const std::string& version, bool patch = true, const std::string& part = "MSP430F149")
        : target(version, part) {
        target.Attach(adapter.link);
        adapter.link.Configure({.patchToV150 = patch});
    }
    // A part chosen by the user: Open then leaves the loader alone until the first operation.
    void ChoosePart() { adapter.device.SetDeviceIndex(kDefaultBslDevice); }
    std::string Info() {
        char text[Adapter::kInfoSize];
        int result = adapter.GetInfo(text);
        return result == 0 ? std::string(text) : "failed " + std::to_string(adapter.GetErrorCode());
    }
    Strings CommandsAfter(size_t skip) const {
        Strings all = target.Commands();
        return Strings(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end());
    }

    SimTarget target;
    BslAdapter adapter;
};

TEST(BslAdapter, InfoTextsAndTheRamCodeEachVersionGets) {
    // The version command goes first; loaders before 1.50 refuse it and are identified after the password.
    // 1.10 with the loadable loader: the stack repair, the whole installation, then the speed change.
    Session old("1.10");
    std::vector<std::string> oldNotes;
    old.adapter.onNote = [&](const std::string& line) { oldNotes.push_back(line); };
    EXPECT_EQ(old.Info(), "Device family F149; BSL v1.10 patched to v1.50.");
    EXPECT_EQ(oldNotes, Strings{"Note: Our loader 1.50 runs in RAM from 0x0224 and serves the run in place of the "
                                "ROM loader 1.10."});
    EXPECT_EQ(old.CommandsAfter(3),
              (Strings{"1A 0C22 0", "10 FFE0 32", "12 0220 250", "12 031A 206", "14 0220 250", "14 031A 206",
                       "14 0220 2", "10 FFE0 32", "1A 0224 0", "20 87E0 2"}));
    EXPECT_EQ(old.target.line.hostBaud(), 38400u);
    EXPECT_EQ(old.target.bsl.RamLoader(), 0x0224);

    // 1.40 sets its own stack: no load PC into the loader before the installation.
    Session v140("1.40");
    EXPECT_EQ(v140.Info(), "Device family F149; BSL v1.40 patched to v1.50.");
    EXPECT_EQ(v140.CommandsAfter(3), (Strings{"12 0220 250", "12 031A 206", "14 0220 250", "14 031A 206",
                                              "14 0220 2", "10 FFE0 32", "1A 0224 0", "20 87E0 2"}));

    // 1.10 without the loadable loader: there is no patch, so the ROM loader serves as it is: no
    // speed change, and the blank check reads the memory back for want of the erase check.
    Session rom110("1.10", false);
    std::vector<std::string> notes;
    rom110.adapter.onNote = [&](const std::string& line) { notes.push_back(line); };
    EXPECT_EQ(rom110.Info(), "Device family F149; BSL v1.10");
    EXPECT_EQ(rom110.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "14 0FF0 16"}));
    EXPECT_EQ(notes, Strings{"Note: The ROM loader 1.10 serves the run: it has no erase check (the blank check "
                             "reads the memory back) and no speed change (the run stays at 9600 baud)."});
    EXPECT_EQ(rom110.target.bsl.RamLoader(), 0);
    EXPECT_EQ(rom110.target.line.hostBaud(), 9600u);
    EXPECT_EQ(rom110.adapter.BlankCheck(0x1100, 0x100), 0);
    EXPECT_EQ(rom110.CommandsAfter(3), (Strings{"14 1100 250", "14 11FA 6"}));
    rom110.target.Flash(0x11FB, {0x7F});
    EXPECT_EQ(rom110.adapter.BlankCheck(0x1100, 0x100), -1);
    EXPECT_EQ(rom110.adapter.GetErrorCode(), BslLink::kVerification);

    // 1.30 without the loadable loader: nothing installed, no speed change.
    Session v130("1.30", false);
    EXPECT_EQ(v130.Info(), "Device family F149; BSL v1.30");
    EXPECT_EQ(v130.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "14 0FF0 16"}));
    EXPECT_EQ(v130.target.line.hostBaud(), 9600u);

    // 1.60: its version answer is the identification; nothing to install, straight to 38400 baud.
    Session v160("1.60");
    EXPECT_EQ(v160.Info(), "Device family F149; BSL v1.60");
    EXPECT_EQ(v160.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "20 87E0 2"}));
    EXPECT_EQ(v160.target.line.hostBaud(), 38400u);
}

// Our loader serves F1xx chips with 512 bytes of RAM or more: an F4xx chip has its loader on other pins
// and another clock, a chosen part with 256 bytes cannot hold it; their ROM loaders serve as they are.
TEST(BslAdapter, TheLoadableLoaderGoesOnlyWhereItCanRun) {
    Session f41x("1.40", true, "MSP430F413");
    EXPECT_EQ(f41x.Info(), "Device family F413; BSL v1.40");
    EXPECT_EQ(f41x.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "14 0FF0 16"}));
    EXPECT_EQ(f41x.target.bsl.RamLoader(), 0);

    Session f133("1.10", true, "MSP430F133");
    f133.adapter.device.SetDeviceIndex(FindDeviceByName("MSP430F133"));
    EXPECT_EQ(f133.Info(), "Device family F149; BSL v1.10");
    EXPECT_EQ(f133.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "14 0FF0 16"}));

    // With no part chosen it goes, but its read-back from the RAM the part lacks differs: nothing starts.
    Session unknown("1.10", true, "MSP430F133");
    EXPECT_EQ(unknown.Info(), "Device family F149; BSL v1.10");
    EXPECT_EQ(unknown.target.bsl.RamLoader(), 0);

    // The same chip as an F149: the loader goes.
    Session f149("1.10");
    f149.ChoosePart();
    EXPECT_EQ(f149.Info(), "Device family F149; BSL v1.10 patched to v1.50.");
}

TEST(BslAdapter, AReadBackThatDiffersStartsNothing) {
    Session s("1.10");
    s.target.device.BreakCell(0x0230);  // a RAM cell that does not keep what is written
    EXPECT_EQ(s.Info(), "Device family F149; BSL v1.10");
    EXPECT_EQ(s.adapter.link.State().ramBslStart, 0u);
    EXPECT_EQ(s.adapter.link.State().currentVersion, 0x0110u);
    EXPECT_EQ(s.target.bsl.RamLoader(), 0);
    // Nothing was started: no second password, no load PC into RAM.
    EXPECT_EQ(s.CommandsAfter(3), (Strings{"1A 0C22 0", "10 FFE0 32", "12 0220 250", "12 031A 206",
                                           "14 0220 250", "14 031A 206"}));
}

TEST(BslAdapter, AFailedInstallationIsCouldNotPatch) {
    Session s("1.10");
    ASSERT_EQ(s.adapter.Open(), 0);
    ASSERT_TRUE(s.adapter.link.SendPassword());
    ASSERT_TRUE(s.adapter.link.ReadChipInfo());
    s.target.line.ReplaceNextAnswer(0xA0);
    EXPECT_FALSE(s.adapter.link.InstallRamBsl());
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kPatchFailed);
    EXPECT_EQ(s.adapter.link.State().currentVersion, 0x0110u);
}

TEST(BslAdapter, EraseTakesMainMemoryAndOnlyTheInformationSegmentsAsked) {
    // Unlocked, the erase-main form takes main memory alone: the user's data at 0x1080 stays.
    Session s("1.60");
    s.ChoosePart();
    s.target.Flash(0x1080, {0x5A});
    s.target.Flash(0xF000, {0x00});
    ASSERT_EQ(s.adapter.Open(), 0);
    ASSERT_EQ(s.adapter.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(s.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "20 87E0 2", "16 1100 42244"}));
    EXPECT_EQ(s.target.device.Read(0xF000), 0xFF);
    EXPECT_EQ(s.target.device.Read(0x1080), 0x5A);
    // With information memory: its two segments one by one.
    size_t before = s.target.Commands().size();
    ASSERT_EQ(s.adapter.Erase(2, 0x1100, 0xEF00), 0);
    EXPECT_EQ(s.CommandsAfter(before), (Strings{"16 1100 42244", "16 1000 42242", "16 1080 42242"}));
    EXPECT_EQ(s.target.device.Read(0x1080), 0xFF);

    // An old part is erased only by twenty passes of the main-memory erase.
    Session old("1.10", false);
    old.ChoosePart();
    old.target.Flash(0x8000, {0x00});
    ASSERT_EQ(old.adapter.Open(), 0);
    ASSERT_EQ(old.adapter.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(old.CommandsAfter(3), Strings(20, "16 1100 42244"));
    EXPECT_EQ(old.target.device.Read(0x8000), 0xFF);

    // Locked by a password nobody gave: only the mass erase opens it, and the log says what it took.
    Session locked("1.60");
    locked.ChoosePart();
    locked.target.SetVectors(0x11);
    locked.target.Flash(0x1080, {0x5A});
    Strings notes;
    locked.adapter.onNote = [&](const std::string& line) { notes.push_back(line); };
    ASSERT_EQ(locked.adapter.Open(), 0);
    ASSERT_EQ(locked.adapter.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(locked.CommandsAfter(3), (Strings{"18 FF00 42246", "10 FFE0 32"}));
    EXPECT_EQ(locked.target.device.Read(0x1080), 0xFF);
    EXPECT_EQ(notes, Strings{"Warning: The chip is locked by another password: it was mass-erased, information "
                             "memory included."});
}

// The 2.xx loader clears LOCKA: its own mass erase, and the one after a wrong password, would take the
// factory calibration in segment A.
TEST(BslAdapter, F2xxErasesLeaveTheCalibrationSegmentWhereTheyCan) {
    for (bool blank : {true, false}) {
        SimTarget target("2.02", "MSP430F2274");
        BslAdapter adapter;
        target.Attach(adapter.link);
        adapter.device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByName("MSP430F2274")));
        Strings notes;
        adapter.onNote = [&](const std::string& line) { notes.push_back(line); };
        if (!blank) target.SetVectors(0x11);
        target.Flash(0x1000, {0x01});
        uint8_t calibration = target.device.Read(0x10FF);
        ASSERT_NE(calibration, 0xFF);
        // The new firmware's vectors say nothing of what the chip holds: an erasing run tries the erased
        // chip's password, so a new chip keeps its calibration.
        std::array<uint8_t, BslLink::kPasswordSize> vectors;
        vectors.fill(0x22);
        adapter.BeginRun(true);
        adapter.SetPassword(vectors);
        ASSERT_EQ(adapter.Open(), 0);
        ASSERT_EQ(adapter.Erase(2, 0x8000, 0x8000), 0);
        EXPECT_EQ(target.device.Read(0x1000), 0xFF);
        if (blank) {
            EXPECT_EQ(target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "20 8C80 2", "16 8000 42244",
                                                  "16 1000 42242", "16 1040 42242", "16 1080 42242"}));
            EXPECT_EQ(target.device.Read(0x10FF), calibration);
            EXPECT_EQ(notes, Strings{});
        } else {
            // Another program's password: the loader wipes everything, and the log says so.
            EXPECT_EQ(target.device.Read(0x10FF), 0xFF);
            EXPECT_EQ(notes, Strings{"Warning: The loader refused the password and erased the whole chip, "
                                     "information memory with the calibration data in segment A included."});
        }
    }
}

// FG4619-class parts: flash above 0xFFFF, which the frame's 16-bit address cannot name by itself.
TEST(BslAdapter, AddressesAbove64KGoThroughTheMemoryOffset) {
    for (const char* version : {"2.12", "2.02"}) {
        SCOPED_TRACE(version);
        SimTarget target(version, "MSP430FG4619");
        BslAdapter adapter;
        target.Attach(adapter.link);
        adapter.device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByName("MSP430FG4619")));
        std::array<uint8_t, BslLink::kPasswordSize> blank;
        blank.fill(0xFF);
        adapter.SetPassword(blank);
        ASSERT_EQ(adapter.Open(), 0);
        Bytes data(512);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        uint8_t ram = target.device.Read(0x1100);
        int written = adapter.WriteMemory(0x10F00, data.data(), 512);
        EXPECT_EQ(target.device.Read(0x1100), ram);  // never wrapped onto the RAM below
        if (std::string(version) == "2.02") {
            EXPECT_EQ(written, -1);
            EXPECT_EQ(adapter.GetErrorCode(), BslLink::kAddressRange);
            EXPECT_EQ(target.device.Read(0x10F00), 0xFF);
            continue;
        }
        ASSERT_EQ(written, 0);
        size_t before = target.Commands().size();
        Bytes back(512);
        ASSERT_EQ(adapter.ReadMemory(0x10F00, back.data(), 512), 0);
        EXPECT_EQ(back, data);
        ASSERT_EQ(adapter.ReadMemory(0xFF00, back.data(), 256), 0);
        Strings all = target.Commands();
        EXPECT_EQ(Strings(all.begin() + static_cast<long>(before), all.end()), (Strings{"14 0F00 250", "14 0FFA 250", "14 10F4 12",
                                                         "21 0000 0", "14 FF00 250", "14 FFFA 6"}));
        for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(target.device.Read(0x10F00 + i), data[i]);
    }
}

TEST(BslAdapter, PasswordsLockAndTheErasedChipPasswordOpens) {
    Session s("1.60");
    s.ChoosePart();
    s.target.SetVectors(0x11);
    s.target.Flash(0x1100, {0xAB, 0xCD});
    ASSERT_EQ(s.adapter.Open(), 0);
    uint8_t buffer[2];
    // Wrong vectors and a chip that is not erased: both password frames refused.
    EXPECT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kPasswordMismatch);
    EXPECT_EQ(s.target.Commands(), (Strings{"1E 0000 16", "10 FFE0 32", "10 FFE0 32"}));
    EXPECT_TRUE(s.adapter.IsOpen());

    s.adapter.SetPassword(Vectors(0x11));
    ASSERT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), 0);
    EXPECT_EQ(buffer[0], 0xAB);

    // The mass erase needs no password and leaves the erased chip's one behind.
    Session erased("1.60");
    erased.ChoosePart();
    erased.adapter.SetPassword(Vectors(0x22));
    ASSERT_EQ(erased.adapter.Open(), 0);
    ASSERT_EQ(erased.adapter.ReadMemory(0x1100, buffer, 2), 0);  // second frame opens it
    EXPECT_EQ(erased.adapter.link.Password(), Vectors(0xFF));
}

TEST(BslAdapter, BlankCheckAndTheOperationsItDoesNotHave) {
    Session s("1.60");
    s.target.Flash(0x2000, {0x00});
    ASSERT_EQ(s.adapter.Open(), 0);
    EXPECT_EQ(s.adapter.BlankCheck(0x1100, 0x1000), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kVerification);
    EXPECT_EQ(s.adapter.BlankCheck(0x2002, 0x0100), 0);

    EXPECT_EQ(s.adapter.VerifyMemory(0x1100, nullptr, 2), -1);
    EXPECT_STREQ(s.adapter.GetErrorText(s.adapter.GetErrorCode()), "This function not implemented");
    EXPECT_EQ(s.adapter.BlowFuse(), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kNotImplemented);
    EXPECT_EQ(s.adapter.GetBlockSize(), 250);
}

TEST(BslAdapter, ResetRunsTheProgramUnlessTheLoaderIsWanted) {
    Session s("1.60");
    ASSERT_EQ(s.adapter.Open(), 0);
    s.target.line.pinLog.clear();
    EXPECT_EQ(s.adapter.Reset(7, 1, 1), 0);
    EXPECT_EQ(s.target.line.pinLog, (Strings{"RST 0", "RST 1"}));  // no TEST pulses
    uint8_t buffer[2];
    EXPECT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kSync);

    EXPECT_EQ(s.adapter.Reset(7, 1, 0), 0);
    EXPECT_EQ(s.adapter.ReadMemory(0x1100, buffer, 2), 0);
}

TEST(BslAdapter, CloseResetsAndKeepPortOpenLeavesTheLinesUp) {
    Session s("1.60");
    s.adapter.link.Configure({.keepPortOpen = true});
    ASSERT_EQ(s.adapter.Open(), 0);
    EXPECT_EQ(s.adapter.Close(), 0);
    EXPECT_FALSE(s.adapter.IsOpen());
    EXPECT_TRUE(s.target.line.IsOpen());
    EXPECT_EQ(s.target.bsl.GetState(), sim::RomBsl::State::kProgram);

    s.adapter.link.Configure({.keepPortOpen = false});
    ASSERT_EQ(s.adapter.Open(), 0);
    EXPECT_EQ(s.adapter.Close(), 0);
    EXPECT_FALSE(s.target.line.IsOpen());
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
    adapter.portPaths[11] = "/dev/quarzo-no-such-port";
    EXPECT_EQ(adapter.Open(), -1);
    EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()),
                 "Could not open port /dev/quarzo-no-such-port: No such file or directory");
#endif
    adapter.devicePath = "/dev/ttyUSB0";
    adapter.GetName(name);
    EXPECT_STREQ(name, "BSL(/dev/ttyUSB0)");
    EXPECT_EQ(adapter.SystemPortName(), "/dev/ttyUSB0");
#ifndef _WIN32
    adapter.devicePath.clear();
    adapter.SetPortIndex(2);
    adapter.portPaths[2] = "/dev/ttyACM7";
    EXPECT_EQ(adapter.SystemPortName(), "/dev/ttyACM7");
#endif

    // With no part chosen the loader's identification decides. From 1.50 the loader tells it while
    // locked (its information text too); an older locked chip leaves "DEFAULT".
    Session s("1.60");
    ASSERT_EQ(s.adapter.Open(), 0);
    EXPECT_EQ(s.adapter.device.Name(), "MSP430F149");
    EXPECT_EQ(s.adapter.device.MainStart(), 0x1100);
    for (const char* version : {"1.60", "1.30"}) {
        Session locked(version);
        locked.target.SetVectors(0x11);
        locked.target.Flash(0x1100, {0xAB});
        ASSERT_EQ(locked.adapter.Open(), 0);
        bool told = std::string(version) == "1.60";
        EXPECT_EQ(locked.adapter.device.Name(), told ? "MSP430F149" : "DEFAULT");
        EXPECT_EQ(locked.adapter.device.MainStart(), 0x1100);
        EXPECT_EQ(locked.adapter.GetErrorCode(), 0);  // nothing left over for the next operation's report
        EXPECT_EQ(locked.Info(), told ? "Device family F149; BSL v1.60" : "failed 13");
        EXPECT_EQ(locked.target.device.Read(0x1100), 0xAB);
    }
    s.adapter.device.SetDeviceIndex(static_cast<uint16_t>(FindDeviceByName("MSP430F41x")));
    ASSERT_EQ(s.adapter.Open(), 0);
    EXPECT_EQ(s.adapter.device.Name(), "MSP430F41x");

    s.target.line.exists = false;
    EXPECT_EQ(s.adapter.Open(), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), 2);
    char info[Adapter::kInfoSize];
    EXPECT_EQ(s.adapter.GetInfo(info), -1);
    EXPECT_EQ(s.adapter.GetErrorCode(), BslLink::kSync);
}

}  // namespace
}  // namespace quarzo
