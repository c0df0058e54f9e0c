// Whole engine runs over the direct JTAG adapter against the virtual chip on the cable (and the fuse-blow
// device), and the adapter's operations one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "core/settings_store.h"
#include "engine/programmer.h"
#include "support/jtag_sim_target.h"
#include "support/recording_log_sink.h"

namespace quarzo {
namespace {

using testing::JtagSimTarget;
using testing::RecordingLogSink;
using Bytes = std::vector<uint8_t>;

class JtagRun : public ::testing::Test {
protected:
    void Connect(const std::string& device = "MSP430F149") {
        target_ = std::make_unique<JtagSimTarget>(device);
        programmer_ =
            std::make_unique<Programmer>(AdapterList{target_->adapter.get(), nullptr, nullptr, nullptr});
        programmer_->SetSink(&sink_);
        programmer_->SelectAdapter(kAdapterRawJtag);
        programmer_->deviceIndex = 0;
    }
    void LoadFirmware(uint32_t start = 0x1100, uint32_t end = 0xFFFF) {
        std::mt19937 random(11);
        for (uint32_t a = start; a <= end; ++a)
            programmer_->Image().SetByte(a, static_cast<uint8_t>(random()));
    }
    RunResult RunFlags(ActionFlags flags) {
        sink_.Clear();
        programmer_->Start(flags);
        return programmer_->WaitForRun();
    }
    bool DeviceHoldsImage(uint32_t start = 0x1100, uint32_t end = 0xFFFF) {
        for (uint32_t a = start; a <= end; ++a) {
            if (target_->device.Read(a) != programmer_->Image().ValueAt(a)) return false;
        }
        return true;
    }
    // Whether a log line, or an instruction or data shift to the chip (keepTrace on), starts so.
    static bool AnyStarts(const std::vector<std::string>& lines, const std::string& start) {
        return std::any_of(lines.begin(), lines.end(), [&](auto& l) { return l.rfind(start, 0) == 0; });
    }
    bool Logged(const std::string& start) { return AnyStarts(sink_.Lines(), start); }
    bool Shifted(const std::string& start) { return AnyStarts(target_->shifts, start); }
    std::string Log() { return ::testing::PrintToString(sink_.Lines()); }

    RecordingLogSink sink_;
    std::unique_ptr<JtagSimTarget> target_;
    std::unique_ptr<Programmer> programmer_;
};

TEST_F(JtagRun, AutoProgramsAndVerifiesSixtyKilobytes) {
    Connect();
    LoadFirmware();
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete) << Log();
    EXPECT_TRUE(Logged("0 Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)")) << Log();
    EXPECT_TRUE(Logged("0 Verify complete.")) << Log();
    EXPECT_TRUE(DeviceHoldsImage());
    // Every flash operation had its clocks at a rate in range, and no TCLK edge ran the chip's code.
    const auto& flash = target_->target.Flash();
    EXPECT_GT(flash.operations, 30'000u);
    EXPECT_EQ(flash.outOfRangeOperations, 0u);
    EXPECT_EQ(flash.incompleteOperations, 0u);
    EXPECT_EQ(target_->target.strayFetches, 0u);
    EXPECT_FALSE(target_->target.FuseReadsBlown());
    // Afterwards the chip runs on its own, still powered, with the cable released.
    EXPECT_TRUE(target_->target.Powered());
    EXPECT_FALSE(target_->target.UnderJtag());
}

TEST_F(JtagRun, OpenFailsWithTheReasonOfTheTarget) {
    const struct {
        const char* part;
        std::function<void(JtagSimTarget&)> fault;
        std::string reason;
    } cases[] = {
        // An identification no record has but "unknown", and an F149-family one with fuses of no record.
        {"MSP430F149", [](auto& t) { t.device.Store(0x0FF0, 0x00); }, "Unknown device"},
        {"MSP430F149", [](auto& t) { t.target.configFuses = 0x08; }, "Unknown device"},
        {"MSP430F149", [](auto& t) { t.target.attached = false; },
         "Could not find device (or device not supported)"},
        {"MSP430F149", [](auto& t) { t.port->SetReachable(false); },
         "Could not initialize direct port access interface (no port here)"},
        {"MSP430F149", [](auto& t) { t.target.fuseBlown = true; },
         "Could not access device - security fuse is blown"},
        {"MSP430FG4619", [](auto&) {},
         "Could not find device (or device not supported) (MSP430FG4619 has the 20-bit CPUX, which direct "
         "JTAG does not drive)"},
    };
    for (const auto& c : cases) {
        Connect(c.part);
        c.fault(*target_);
        EXPECT_EQ(RunFlags(kActionErase), kRunActionFailed);
        EXPECT_EQ(sink_.LastLine(), "1 Init failed. " + c.reason + ".");
    }
}

TEST_F(JtagRun, ResetMethods) {
    Connect();
    auto& a = *target_->adapter;
    auto& t = target_->target;
    ASSERT_EQ(a.Open(), 0);
    // The chip resets itself at a flash register written with a wrong key, and at a watchdog write
    // without its password.
    uint32_t resets = t.resets, checks = t.fuseChecks, cycles = t.powerCycles;
    a.Jtag().WriteMem(false, sim::FlashController::kFctl1, 0x1240);
    a.Jtag().WriteMem(false, 0x0120, 0x0080);
    EXPECT_EQ(t.resets, resets + 2);

    // (7, 1, 1): a JTAG power-on clear and release; the pins are let go without a new identification.
    EXPECT_EQ(a.Reset(7, 1, 1), 0);
    EXPECT_EQ(t.fuseChecks, checks);
    EXPECT_EQ(t.resets, resets + 3);
    EXPECT_FALSE(t.UnderJtag());
    EXPECT_EQ(t.ReadPort(2, 0), 0);  // every control line let go
    a.Cable().Connect();
    // (6, 0, 0): the reset line, then the chip under JTAG again.
    EXPECT_EQ(a.Reset(6, 0, 0), 0);
    EXPECT_TRUE(t.UnderJtag());
    EXPECT_EQ(t.powerCycles, cycles);

    // The chip's fuse check follows the data sheets: one with TDI low after a reset on RST reads the
    // fuse as blown until the supply is cycled.
    LptCable& cable = a.Cable();
    cable.SetReset(true);
    cable.SetReset(false);
    cable.SetTck(true);
    cable.SetTdi(false);
    for (bool tms : {false, true, false, true}) {
        cable.SetTms(tms);
        cable.Sleep(1);
    }
    EXPECT_TRUE(t.FuseReadsBlown());

    // (4, 0, 1): a supply cycle, and the host's check with TDI high, and a new identification; the pins
    // stay connected.
    uint64_t before = target_->clock.NowUs();
    EXPECT_EQ(a.Reset(4, 0, 1), 0);
    EXPECT_FALSE(t.FuseReadsBlown());
    EXPECT_EQ(t.powerCycles, cycles + 1);
    EXPECT_GE(target_->clock.NowUs() - before, 3'000'000u);
    EXPECT_TRUE(t.UnderJtag());
    EXPECT_EQ(t.ReadPort(2, 0), 0x0C);  // connected and enabled

    // No method that reaches the chip: code 8.
    t.attached = false;
    EXPECT_EQ(a.Reset(6, 0, 0), -1);
    EXPECT_EQ(a.GetErrorCode(), 8);
}

TEST_F(JtagRun, AStopEndsAMassEraseOrASupplyCycleWithinItsWait) {
    for (bool supplyCycle : {false, true}) {
        Connect();
        if (supplyCycle) target_->target.attached = false;  // the open goes on to the supply cycle
        uint64_t stopAt = 0;
        target_->clock.onAdvance = [&](uint64_t now) {
            auto& t = target_->target;
            bool supplyOff = t.powerCycles > 0 && (t.ReadPort(0, now) & 0xF0) == 0;
            bool inPhase = supplyCycle ? supplyOff : t.Flash().Busy();
            if (stopAt == 0 && inPhase) {
                stopAt = now;
                programmer_->Worker().SignalStop();
            }
        };
        programmer_->Start(kActionErase);
        programmer_->WaitForRun();
        ASSERT_NE(stopAt, 0u) << supplyCycle;
        EXPECT_LT(target_->clock.NowUs() - stopAt, 3'000'000u) << supplyCycle;
        EXPECT_FALSE(Logged("0 Erase complete.")) << supplyCycle;
    }
}

TEST(RawJtagAdapter, NamesErrorsAndPortsWithoutTouchingTheCable) {
    JtagSimTarget target;
    RawJtagAdapter& a = *target.adapter;
    char name[Adapter::kNameSize];
    a.SetPortIndex(7);
    a.GetName(name);
    EXPECT_STREQ(name, "FET RAW (LPT1)");
    for (int code : {-1, 15, 19, 1000}) EXPECT_STREQ(a.GetErrorText(code), "Invalid error number");

    // Reads and writes need an identified device and fail before any port access.
    uint8_t buffer[2];
    uint64_t accesses = target.target.accesses;
    EXPECT_EQ(a.ReadMemory(0xF000, buffer, 2), -1);
    EXPECT_EQ(a.GetErrorCode(), 5);
    EXPECT_EQ(a.WriteMemory(0xF000, buffer, 2), -1);
    EXPECT_EQ(a.GetErrorCode(), 6);
    EXPECT_EQ(target.target.accesses, accesses);

    // LPTx is the custom address; the base is chosen again at every open.
    SettingsStore settings;
    settings.SetIntSetting(kSetRawPort, 3);
    settings.SetIntSetting(kSetRawCustomAddress, 0x2E8);
    a.ApplySettings(settings);
    a.GetName(name);
    EXPECT_STREQ(name, "FET RAW (LPTx)");
    ASSERT_EQ(a.Open(), 0);
    EXPECT_EQ(target.port->Base(), 0x2E8);
    a.Close();
    a.SetPortIndex(1);
    ASSERT_EQ(a.Open(), 0);
    EXPECT_EQ(target.port->Base(), 0x278);
    EXPECT_EQ(a.GetErrorCode(), 0);
}

// F2274: Spy-Bi-Wire entry, mass erase and information segments B-D under LOCKA, the enhanced PSA.
TEST_F(JtagRun, SpyBiWirePartKeepsItsCalibrationAndEraseInfoClearsSegmentsBToD) {
    Connect("MSP430F2274");
    auto& d = target_->device;
    uint8_t calibration[64];
    for (uint32_t i = 0; i < 64; ++i) calibration[i] = d.Read(0x10C0 + i);
    for (uint32_t a : {0x1000u, 0x1040u, 0x1080u, 0x8000u}) d.Write(a, 0x00);
    LoadFirmware(0x8000, 0x80FF);
    programmer_->includeInfo = true;
    target_->keepTrace = true;
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete) << Log();
    for (uint32_t a : {0x1000u, 0x1040u, 0x1080u}) EXPECT_EQ(d.Read(a), 0xFF) << std::hex << a;
    // Segment A is not even tried: LOCKA may have been cleared before the run.
    EXPECT_FALSE(Shifted("FLASH segment erase 10C0"));
    for (uint32_t i = 0; i < 64; ++i) ASSERT_EQ(d.Read(0x10C0 + i), calibration[i]) << i;
    EXPECT_TRUE(DeviceHoldsImage(0x8000, 0x80FF));
    EXPECT_EQ(target_->target.Flash().incompleteOperations, 0u);
    EXPECT_EQ(target_->target.strayFetches, 0u);
}

// Parts found by identification and fuses, erased each way, and compared each with the signature set-up
// its documents give: the chip answers no other, so a host that picks the wrong one signs other words than
// the chip. F21x1, where the documents disagree, is compared by reading back.
struct Part {
    const char* simulated;
    const char* logged;
};
class JtagPart : public JtagRun, public ::testing::WithParamInterface<Part> {};

TEST_P(JtagPart, IsIdentifiedErasedAndComparedWithItsSignatureSetUp) {
    Connect(GetParam().simulated);
    EXPECT_EQ(RunFlags(kActionDumpDeviceId), kRunComplete) << Log();
    EXPECT_TRUE(Logged(std::string("0 Device: ") + GetParam().logged + ".")) << Log();
    // The dump shows the identification block and the fuses.
    EXPECT_EQ(programmer_->Image().ValueAt(0x0FF0), target_->device.Read(0x0FF0));
    EXPECT_EQ(programmer_->Image().ValueAt(0x1000), target_->target.configFuses);

    target_->keepTrace = true;
    auto& d = target_->device;
    auto& a = *target_->adapter;
    ASSERT_EQ(a.Open(), 0);
    uint8_t word[2] = {0x12, 0x34};
    for (uint32_t at : {0x1000u, 0xF000u, 0xF200u}) ASSERT_EQ(a.WriteMemory(at, word, 2), 0);
    // Segment erase: that segment only. Main memory erase keeps the information memory; type 2 takes it too.
    ASSERT_EQ(a.Erase(0, 0xF010, 0), 0);
    EXPECT_EQ(d.ReadWord(0xF000), 0xFFFF);
    EXPECT_EQ(d.ReadWord(0xF200), 0x3412);
    ASSERT_EQ(a.Erase(1, 0xFFFE, 0), 0);
    EXPECT_EQ(d.ReadWord(0xF200), 0xFFFF);
    EXPECT_EQ(d.ReadWord(0x1000), 0x3412);
    ASSERT_EQ(a.Erase(2, 0xFFFE, 0), 0);
    EXPECT_EQ(d.ReadWord(0x1000), 0xFFFF);
    EXPECT_EQ(target_->target.Flash().incompleteOperations, 0u);

    // Blank check: 3 bytes are one word; the byte after it is not looked at. A count of 0 compares the
    // signature with its seed. Reads deliver exactly the bytes asked for.
    uint8_t low[2] = {0xFF, 0x00};
    ASSERT_EQ(a.WriteMemory(0xF002, low, 2), 0);
    EXPECT_EQ(a.BlankCheck(0xF000, 3), 0);
    EXPECT_EQ(a.BlankCheck(0xF000, 4), -1);
    EXPECT_EQ(a.VerifyMemory(0xF000, low, 0), 0);
    uint8_t buffer[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    ASSERT_EQ(a.ReadMemory(0xF000, buffer, 5), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xAA}));

    // Written words compared by signature: a changed byte is found.
    ASSERT_EQ(a.Erase(0, 0xF000, 0), 0);
    Bytes data(64);
    std::mt19937 random(3);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    ASSERT_EQ(a.WriteMemory(0xF000, data.data(), 64), 0);
    EXPECT_EQ(a.VerifyMemory(0xF000, data.data(), 64), 0);
    target_->device.Store(0xF03F, static_cast<uint8_t>(~data[63]));
    EXPECT_EQ(a.VerifyMemory(0xF000, data.data(), 64), -1);
    EXPECT_EQ(a.GetErrorCode(), 11);
    EXPECT_EQ(Shifted("IR 44"), std::string(GetParam().simulated) != "MSP430F2131");
}

INSTANTIATE_TEST_SUITE_P(RegularEnhancedAndUnsettled, JtagPart,
                         ::testing::Values(Part{"MSP430F149", "MSP430F149"},  // fuses 0xF0: the F149 record
                                           Part{"MSP430F135", "MSP430F135"},  // same identification
                                           Part{"MSP430F2274", "MSP430F2274"},
                                           Part{"MSP430F449", "MSP430F44x"},
                                           Part{"MSP430F1121", "MSP430F11x1"},
                                           Part{"MSP430F2131", "MSP430F21x1"}));

// The host held up in the middle of a burst (the chip saw TCLK too slow): the word is written again.
TEST_F(JtagRun, AWordWhoseBurstWasHeldUpIsWrittenAgain) {
    Connect();
    LoadFirmware(0xF000, 0xF0FF);
    bool stalled = false, inOperation = false;
    uint64_t clocksAtStart = 0;
    target_->clock.onAdvance = [&](uint64_t) {
        auto& f = target_->target.Flash();
        if (!f.Busy()) {
            inOperation = false;
            return;
        }
        if (!inOperation) clocksAtStart = f.operationClocks;
        inOperation = true;
        // Five clocks into a word write: 5 ms without a pulse.
        if (!stalled && !target_->device.IsErased(0xF000, 2) && f.operationClocks - clocksAtStart == 5) {
            stalled = true;
            target_->clock.Advance(5'000);
        }
    };
    EXPECT_EQ(RunFlags(kActionErase | kActionProgram | kActionVerify), kRunComplete) << Log();
    EXPECT_TRUE(stalled);
    EXPECT_EQ(target_->target.Flash().outOfRangeOperations, 1u);
    EXPECT_TRUE(DeviceHoldsImage(0xF000, 0xF0FF));
}

// A port too slow for the flash clock erases and programs nothing.
TEST_F(JtagRun, FlashClockedTooSlowlyFails) {
    Connect();
    target_->port->accessUs = 2;  // two accesses a pulse: 250 kHz at best
    LoadFirmware(0xF000, 0xF0FF);
    EXPECT_EQ(RunFlags(kActionErase), kRunActionFailed);
    EXPECT_EQ(
        sink_.LastLine(),
        "1 Erase failed. Could not erase device memory (TCLK runs at 250 kHz on this port; the flash timing "
        "generator needs 269-464 kHz).")
        << Log();
    EXPECT_EQ(RunFlags(kActionProgram), kRunActionFailed);
    EXPECT_EQ(
        sink_.LastLine().rfind("1 Program failed. Could not write device memory (TCLK runs at 250 kHz", 0),
        0u)
        << Log();
    EXPECT_EQ(target_->target.Flash().operations, 0u);
}

// A part with a TEST pin takes the voltage there; one without takes it on TDI once the control word
// has made TDO the data input (command 5 prepares the device for that). A failure says what went wrong.
TEST_F(JtagRun, TheFuseBlowVoltageGoesToTestOrToTdiAndFailuresSayWhatWentWrong) {
    const std::string blown = "0 Blow fuse complete.";
    auto failed = [](const char* reason) {
        return std::string("1 Blow fuse failed. <Pyrel> ") + reason + ".";
    };
    const struct {
        const char* part;
        std::string line;
        Bytes commands;
        std::function<void(JtagSimTarget&)> fault;
    } cases[] = {
        {"MSP430F2274", blown, {1, 6}, [](auto&) {}},
        {"MSP430F149", blown, {1, 5, 7}, [](auto&) {}},
        {"MSP430F149", failed("boost error"), {1, 5, 7}, [](auto& t) { t.pyrel.faults.boostFails = true; }},
        {"MSP430F149",
         failed("synchronization failed"),
         {1, 5},
         [](auto& t) { t.pyrel.faults.prepareCode = 4; }},
        {"MSP430F2274",
         failed("synchronization failed"),
         {1, 6, 6, 6},
         [](auto& t) { t.pyrel.faults.blowUnanswered = true; }},
        {"MSP430F2274", failed("fuse not blown"), {1, 6}, [](auto& t) { t.target.fuseResists = true; }},
        {"MSP430F2274", failed("not found"), {}, [](auto& t) { t.target.pyrel = nullptr; }},
        {"MSP430F2274", "0 Operation canceled by user", {}, [this](auto&) { sink_.answer = 0; }},
    };
    for (const auto& c : cases) {
        Connect(c.part);
        target_->target.pyrel = &target_->pyrel;  // on the cable, and the question answered yes
        target_->keepTrace = true;
        sink_.answer = 1;
        c.fault(*target_);
        EXPECT_EQ(RunFlags(kActionBlowFuse), c.line == blown ? kRunComplete : kRunActionFailed) << Log();
        EXPECT_EQ(sink_.LastLine(), c.line);
        EXPECT_EQ(target_->pyrel.commands, c.commands) << c.line;
        EXPECT_EQ(target_->target.fuseBlown, c.line == blown);
        if (c.line != blown) continue;
        EXPECT_EQ(Shifted("DR 7201"), std::string(c.part) == "MSP430F149");
        EXPECT_TRUE(Shifted("IR 22") && Shifted("IR 24"));
        EXPECT_EQ(target_->adapter->GetErrorCode(), 0);  // nothing stale after the success
        // From now on the chip cannot be reached.
        EXPECT_EQ(target_->adapter->Open(), -1);
        EXPECT_EQ(target_->adapter->GetErrorCode(), 13);
    }
}

TEST(PyrelDevice, IdentificationLinesThroughTheAdapter) {
    JtagSimTarget t;
    t.target.pyrel = &t.pyrel;
    char info[Adapter::kInfoSize];
    ASSERT_EQ(t.adapter->GetInfo(info), 0) << t.adapter->GetErrorCode();
    EXPECT_STREQ(info, "Pyrel hw 1.2 sw 3.4 sn 0A 05/06");
    t.pyrel.identification = {0xA7, 0x0F, 0x21, 0xFF};
    ASSERT_EQ(t.adapter->GetInfo(info), 0);
    EXPECT_STREQ(info, "Pyrel hw 10.7 sw 0.15 sn FF 01/02");
    // Afterwards the supply is on and the pins are released.
    EXPECT_EQ(t.target.ReadPort(0, 0) & 0xF0, 0xF0);
    EXPECT_EQ(t.target.ReadPort(2, 0), 0);

    // A corrupted reply, or one longer than eight bytes, is tried again, the third time after a reset
    // pulse; three detections later the device is not found.
    for (bool longReply : {false, true}) {
        t.pyrel.faults.corruptReply = !longReply;
        t.pyrel.faults.longReply = longReply;
        t.pyrel.commands.clear();
        uint32_t resets = t.pyrel.resetPulses;
        EXPECT_EQ(t.adapter->GetInfo(info), -1);
        EXPECT_EQ(t.adapter->GetErrorCode(), 14);
        // The device still sending the long reply misses the second request of each detection.
        EXPECT_EQ(t.pyrel.commands.size(), longReply ? 6u : 9u);
        EXPECT_EQ(t.pyrel.resetPulses - resets, 6u);
        EXPECT_STREQ(info, "");
    }
}

}  // namespace
}  // namespace quarzo
