// The FET library adapter through the real loading path, against the fake library from sim/.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <type_traits>

#include "adapters/adapter_set.h"
#include "adapters/fetdll/fet_dll_adapter.h"
#include "adapters/fetdll/fet_library.h"
#include "core/device_table.h"
#include "core/settings_store.h"
#include "engine/programmer.h"
#include "platform/shared_library.h"
#include "support/recording_log_sink.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using Strings = std::vector<std::string>;

void UseLibrary(const char* path) {
    setenv("QUARZO_FETLIB", path, 1);
}

// The fake's own controls, reached through the same loaded library the adapter uses.
class FakeFet {
public:
    explicit FakeFet(const char* path = FAKE_FET) : library_(LoadSharedLibrary(path)) {
        reset_ = Find<void (*)(const char*, int)>("FakeFet_Reset");
        fail_ = Find<void (*)(const char*, int32_t)>("FakeFet_Fail");
        log_ = Find<const char* (*)()>("FakeFet_Log");
        peek_ = Find<int (*)(int32_t)>("FakeFet_Peek");
        poke_ = Find<void (*)(int32_t, int)>("FakeFet_Poke");
        secured_ = Find<int (*)()>("FakeFet_IsSecured");
    }
    void Reset(const char* device = "MSP430F149", bool fillEnds = false) { reset_(device, fillEnds ? 1 : 0); }
    void Fail(const char* function, int32_t number) { fail_(function, number); }
    Strings Calls() const {
        Strings calls;
        std::istringstream in(log_());
        for (std::string line; std::getline(in, line);) calls.push_back(line);
        return calls;
    }
    int Peek(int32_t address) const { return peek_(address); }
    void Poke(int32_t address, int value) { poke_(address, value); }
    bool IsSecured() const { return secured_() != 0; }

private:
    template <typename F>
    F Find(const char* name) {
        void* entry = FindLibrarySymbol(library_, name);
        if (!entry) std::abort();
        return reinterpret_cast<F>(entry);
    }

    void* library_;
    void (*reset_)(const char*, int);
    void (*fail_)(const char*, int32_t);
    const char* (*log_)();
    int (*peek_)(int32_t);
    void (*poke_)(int32_t, int);
    int (*secured_)();
};

// A fake library chosen for the test's whole life, with a sink for engine runs.
template <typename Base>
class FetFixture : public Base {
protected:
    explicit FetFixture(const char* path) : fake_(path) {
        UseLibrary(path);
        fake_.Reset();
    }
    ~FetFixture() override { unsetenv("QUARZO_FETLIB"); }
    RunResult RunFlags(Programmer& p, ActionFlags flags) {
        sink_.Clear();
        p.Start(flags);
        return p.WaitForRun();
    }
    std::string LastLine() { return sink_.Lines().empty() ? "" : sink_.Lines().back(); }

    FakeFet fake_;
    RecordingLogSink sink_;
};

class FetDll : public FetFixture<::testing::Test> {
protected:
    FetDll() : FetFixture(FAKE_FET) {}
};

TEST_F(FetDll, OpenCloseAndOperationsCallTheLibraryInOrder) {
    FetDllAdapter adapter;
    ASSERT_TRUE(adapter.IsLibraryLoaded());
    adapter.targetVcc = 2950;
    ASSERT_EQ(adapter.Open(), 0);
    EXPECT_EQ(fake_.Calls(), (Strings{"MSP430_Initialize(LPT1)", "MSP430_VCC(2950)",
                                      "MSP430_Identify(104, 0)", "MSP430_Configure(0, 1)"}));
    EXPECT_EQ(adapter.device.Name(), "MSP430F149");
    // The library left the ends out: a 256-byte information area and main memory to 0xFFFF.
    EXPECT_EQ(adapter.device.InfoStart(), 0x1000);
    EXPECT_EQ(adapter.device.InfoEnd(), 0x10FF);
    EXPECT_EQ(adapter.device.MainEnd(), 0xFFFFu);

    fake_.Reset();
    const uint8_t data[4] = {0x31, 0x40, 0x00, 0x0A};
    EXPECT_NE(adapter.VerifyMemory(0x1100, data, 4), 0);
    EXPECT_EQ(adapter.WriteMemory(0x1100, data, 4), -1);  // the fresh library is not initialized
    EXPECT_EQ(adapter.Reset(7, 1, 1), 0);
    EXPECT_EQ(fake_.Calls(), (Strings{"MSP430_VerifyMem(0x1100, 4)", "MSP430_Memory(0x1100, 4, 0)"}));

    ASSERT_EQ(adapter.Open(), 0);
    EXPECT_EQ(adapter.WriteMemory(0x1100, data, 4), 0);
    EXPECT_EQ(adapter.VerifyMemory(0x1100, data, 4), 0);
    uint8_t back[4] = {};
    EXPECT_EQ(adapter.ReadMemory(0x1100, back, 4), 0);
    EXPECT_EQ(back[3], 0x0A);
    EXPECT_EQ(adapter.BlankCheck(0x1100, 4), -1);
    EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()), "Fake FET: memory not erased");
    EXPECT_EQ(adapter.Erase(2, 0x1100, 0xEF00), 0);
    EXPECT_EQ(adapter.BlankCheck(0x1100, 4), 0);
    fake_.Reset();
    ASSERT_EQ(adapter.Open(), 0);
    fake_.Reset();
    EXPECT_EQ(adapter.Close(), 0);
    EXPECT_EQ(fake_.Calls(), (Strings{"MSP430_Reset(7, 1, 1)", "MSP430_Close(0)"}));
    EXPECT_EQ(adapter.Close(), 0);  // closed already: no calls
    EXPECT_EQ(fake_.Calls().size(), 2u);
}

TEST_F(FetDll, SupplyAndPortSettings) {
    SettingsStore settings;
    settings.SetSettingFromVariant(kSetFetTargetVcc, std::string("2.95"));
    settings.SetSettingFromVariant(kSetFetApplyVcc, std::string("0"));
    settings.SetSettingFromVariant(kSetAdapter, 1);
    FetDllAdapter adapter;
    adapter.ApplySettings(settings);
    EXPECT_EQ(adapter.targetVcc, 2950);
    ASSERT_EQ(adapter.Open(), 0);
    EXPECT_EQ(fake_.Calls(),
              (Strings{"MSP430_Initialize(LPT1)", "MSP430_Identify(104, 0)", "MSP430_Configure(0, 1)"}));

    char name[Adapter::kNameSize];
    adapter.portIndex = 7;
    adapter.GetName(name);
    EXPECT_STREQ(name, "FET DLL (LPT1)");
    EXPECT_EQ(adapter.portIndex, 0u);
    adapter.portIndex = 3;
    adapter.GetName(name);
    EXPECT_STREQ(name, "FET DLL (TIUSB)");
    adapter.devicePath = "/dev/ttyACM0";
    adapter.GetName(name);
    EXPECT_STREQ(name, "FET DLL (/dev/ttyACM0)");
    char info[Adapter::kInfoSize];
    fake_.Reset();
    EXPECT_EQ(adapter.GetInfo(info), 0);
    EXPECT_EQ(std::string(info), std::string(FAKE_FET) + " V20403");
    EXPECT_EQ(fake_.Calls(), Strings{"MSP430_Initialize(/dev/ttyACM0)"});
}

// The library's integers are 32 bits wide on every platform: the version it writes through the
// pointer fills 32 bits and nothing beside them.
TEST_F(FetDll, TheLibraryWritesThirtyTwoBitIntegers) {
    static_assert(std::is_same_v<FetInitialize, int32_t(QUARZO_FET_CALL*)(char*, int32_t*)>);
    static_assert(std::is_same_v<FetMemory, int32_t(QUARZO_FET_CALL*)(int32_t, char*, int32_t, int32_t)>);
    auto initialize =
        reinterpret_cast<FetInitialize>(FindLibrarySymbol(LoadSharedLibrary(FAKE_FET), "MSP430_Initialize"));
    ASSERT_NE(initialize, nullptr);
    uint32_t memory[3] = {0xA5A5A5A5u, 0xA5A5A5A5u, 0xA5A5A5A5u};
    char port[] = "TIUSB";
    ASSERT_EQ(initialize(port, reinterpret_cast<int32_t*>(&memory[1])), 0);
    EXPECT_EQ(memory[0], 0xA5A5A5A5u);
    EXPECT_EQ(memory[1], 20403u);
    EXPECT_EQ(memory[2], 0xA5A5A5A5u);
}

TEST_F(FetDll, AMissingOrIncompleteLibraryIsRetriedAtEveryOpen) {
    UseLibrary("/nonexistent/libmsp430.so");
    FetDllAdapter missing;
    char name[Adapter::kNameSize], info[Adapter::kInfoSize];
    missing.GetName(name);
    EXPECT_STREQ(name, "FET DLL (LPT1)");
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_EQ(missing.GetErrorCode(), 0);
    // Here the message names the library looked for, so the user knows what to install.
    EXPECT_STREQ(missing.GetErrorText(0), "/nonexistent/libmsp430.so not found");
    EXPECT_EQ(missing.GetInfo(info), -1);
    EXPECT_EQ(missing.Erase(2, 0x1100, 0xEF00), -1);
    EXPECT_EQ(missing.BlowFuse(), -1);

    UseLibrary(FAKE_FET_INCOMPLETE);
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_FALSE(missing.IsLibraryLoaded());
    EXPECT_EQ(std::string(missing.GetErrorText(0)), std::string(FAKE_FET_INCOMPLETE) + " not found");

    UseLibrary(FAKE_FET);
    EXPECT_EQ(missing.Open(), 0);
    EXPECT_TRUE(missing.IsLibraryLoaded());
}

// The engine against both generations of the library: the one with MSP430_Identify, and the current one.
struct Generation {
    const char* path;
    bool current;
};

class FetGenerations : public FetFixture<::testing::TestWithParam<Generation>> {
protected:
    FetGenerations() : FetFixture(GetParam().path) {
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterFetDll);
    }

    AdapterSet adapters_;  // after the library is chosen
    Programmer programmer_{adapters_.List()};
};

TEST_P(FetGenerations, EngineRunsLogWhatTheNullAdapterLogsWithTheIdentifiedDevice) {
    AdapterSet adapters;
    Programmer fet(adapters.List()), null(adapters.List());
    for (Programmer* p : {&fet, &null}) {
        p->SetSink(&sink_);
        for (uint32_t a = 0x1100; a < 0x1400; ++a) p->Image().SetByte(a, static_cast<uint8_t>(a * 3));
    }
    fet.SelectAdapter(kAdapterFetDll);
    null.SelectAdapter(kAdapterNull);
    // The null adapter reports whatever device it holds: give it the one the library identifies.
    FillDeviceInfo(FindDeviceByName("MSP430F149"), adapters.null.device);
    for (ActionFlags flags : {kDefaultAutoprogram, kActionRead}) {
        EXPECT_EQ(RunFlags(fet, flags), kRunComplete) << LastLine();
        Strings viaFet = sink_.Lines();
        EXPECT_EQ(RunFlags(null, flags), kRunComplete);
        Strings viaNull = sink_.Lines();
        ASSERT_GT(viaFet.size(), 1u);
        EXPECT_EQ(viaFet[1], "0 Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)");
        EXPECT_EQ(viaFet, viaNull);
    }
    EXPECT_EQ(fake_.Peek(0x1101), (0x1101 * 3) & 0xFF);
    EXPECT_EQ(fet.Image().ValueAt(0x1101), (0x1101 * 3) & 0xFF);  // read back from the device

    EXPECT_EQ(RunFlags(fet, kActionReset), kRunComplete);
    EXPECT_EQ(fake_.Calls().back(), "MSP430_Close(0)");

    sink_.answer = 1;
    EXPECT_EQ(RunFlags(fet, kActionBlowFuse), kRunComplete) << LastLine();
    EXPECT_TRUE(fake_.IsSecured());
}

TEST_P(FetGenerations, OpenIdentifiesThePartAndInfoGivesTheVersion) {
    fake_.Reset("MSP430F123");
    FetDllAdapter adapter;
    ASSERT_TRUE(adapter.IsLibraryLoaded());
    ASSERT_EQ(adapter.Open(), 0);
    EXPECT_EQ(adapter.device.DeviceIndex(), FindDeviceByName("MSP430F12x"));
    EXPECT_EQ(adapter.device.MainStart(), 0xE000);
    EXPECT_EQ(adapter.device.MainEnd(), 0xFFFFu);
    EXPECT_EQ(adapter.device.InfoStart(), 0x1000);
    EXPECT_EQ(adapter.device.InfoEnd(), 0x10FF);
    EXPECT_EQ(adapter.device.RamEnd(), 0x02FF);
    Strings calls = fake_.Calls();
    if (GetParam().current) {
        EXPECT_EQ(adapter.device.Name(), "MSP430F123");  // the library's own name for the part
        // It reads its device database before its first use.
        EXPECT_EQ(calls, (Strings{"MSP430_LoadDeviceDb((null))", "MSP430_Initialize(LPT1)",
                                  "MSP430_VCC(3000)", "MSP430_OpenDevice(DEVICE_UNKNOWN, \"\", 0, 0, 0)",
                                  "MSP430_GetFoundDevice(184)", "MSP430_Configure(0, 1)"}));
    } else {
        EXPECT_EQ(adapter.device.Name(), "MSP430F12x");
        EXPECT_EQ(calls[2], "MSP430_Identify(104, 0)");
    }
    char info[Adapter::kInfoSize];
    ASSERT_EQ(adapter.GetInfo(info), 0);
    EXPECT_EQ(std::string(info),
              std::string(GetParam().path) + (GetParam().current ? " V31501001" : " V20403"));
}

// Each call of the library failing in the phase that uses it: the run ends with that phase's failure
// and the library's own words, never with its "complete" line.
TEST_P(FetGenerations, EveryCallFailingInItsPhase) {
    const char* identify = GetParam().current ? "MSP430_OpenDevice" : "MSP430_Identify";
    // (MSP430_Reset is left out: the adapter's Reset makes no call, and the one at closing is not
    // examined.)
    const struct {
        const char* function;
        ActionFlags flags;
        const char* phase;
    } cells[] = {
        {"MSP430_Initialize", kDefaultAutoprogram, "Init"},
        {"MSP430_VCC", kDefaultAutoprogram, "Init"},
        {identify, kDefaultAutoprogram, "Init"},
        {"MSP430_Configure", kDefaultAutoprogram, "Init"},
        {"MSP430_Erase", kDefaultAutoprogram, "Erase"},
        {"MSP430_EraseCheck", kDefaultAutoprogram, "Blank check"},
        {"MSP430_Memory", kDefaultAutoprogram, "Program"},
        {"MSP430_Memory", kActionVerify, "Verify"},
        {"MSP430_Memory", kActionRead, "Read"},

        {"MSP430_Secure", kActionBlowFuse, "Blow fuse"},
    };
    sink_.answer = 1;
    for (uint32_t a = 0x1100; a < 0x1300; ++a) programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    for (const auto& cell : cells) {
        SCOPED_TRACE(std::string(cell.function) + " in " + cell.phase);
        fake_.Reset();
        fake_.Fail(cell.function, 42);
        EXPECT_EQ(RunFlags(programmer_, cell.flags), kRunActionFailed);
        EXPECT_EQ(LastLine(), std::string("1 ") + cell.phase + " failed. Fake FET: " + cell.function +
                                  " refused (error 42).");
        Strings lines = sink_.Lines();
        EXPECT_EQ(std::find(lines.begin(), lines.end(), std::string("0 ") + cell.phase + " complete."),
                  lines.end());
        if (std::string(cell.phase) == "Program") {
            EXPECT_TRUE(programmer_.Image().HasMismatch(0x1100, 0x200));
        }
    }
    // The library's own words reach the log unchanged, such as its complaint about the FET's firmware;
    // nothing here ever updates that firmware.
    fake_.Reset();
    fake_.Fail("MSP430_Initialize", 76);
    EXPECT_EQ(RunFlags(programmer_, kActionErase), kRunActionFailed);
    EXPECT_EQ(LastLine(),
              "1 Init failed. Fake FET: the FET's firmware does not match this library; update it with the "
              "vendor's tool.");
    for (const std::string& call : fake_.Calls()) EXPECT_EQ(call.find("Update"), std::string::npos) << call;
}

// The rules for F2xx parts hold through the library too: the calibration segment is neither
// blank-checked nor programmed, and an image with data there gets the warning.
TEST_P(FetGenerations, AnF2xxKeepsItsCalibrationSegment) {
    fake_.Reset("MSP430F2274");
    std::vector<int> calibration;
    for (int32_t a = 0x10C0; a <= 0x10FF; ++a) calibration.push_back(fake_.Peek(a));
    for (uint32_t a = 0x1000; a <= 0x10FF; ++a) programmer_.Image().SetByte(a, 0x00);
    for (uint32_t a = 0x8000; a < 0x8100; ++a) programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    EXPECT_EQ(RunFlags(programmer_, kDefaultAutoprogram), kRunComplete) << LastLine();
    Strings lines = sink_.Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  "0 Warning: Information segment A (0x10C0-0x10FF) holds the chip's calibration data; the "
                  "image's bytes there are left out."),
        lines.end());
    EXPECT_EQ(fake_.Peek(0x10BF), 0x00);  // segment B is programmed
    for (int32_t a = 0x10C0; a <= 0x10FF; ++a)
        EXPECT_EQ(fake_.Peek(a), calibration[static_cast<size_t>(a - 0x10C0)]);
}

// A stop in any phase ends the run at once and quietly: the stop is its own explanation.
TEST_P(FetGenerations, AStopInEveryPhaseEndsTheRun) {
    const struct {
        const char* startLine;
        ActionFlags flags;
        const char* notReached;  // a line of a later step
    } phases[] = {
        {"Erasing flash memory...", kDefaultAutoprogram, "Blank check device memory..."},
        {"Blank check device memory...", kDefaultAutoprogram, "Programming the device memory..."},
        {"Programming the device memory...", kDefaultAutoprogram, "Verifying device memory programming..."},
        {"Verifying device memory programming...", kDefaultAutoprogram, "Verify complete."},
        {"Reading device memory..", kActionRead, "Read complete."},
    };
    for (uint32_t a = 0x1100; a < 0x4100; ++a) programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    for (const auto& phase : phases) {
        SCOPED_TRACE(phase.startLine);
        sink_.onLine = [&](const std::string& text) {
            if (text == phase.startLine) programmer_.Worker().SignalStop();
        };
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunFlags(programmer_, phase.flags), kRunActionFailed);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
        Strings lines = sink_.Lines();
        for (const std::string& line : lines) EXPECT_EQ(line[0], '0') << line;
        EXPECT_EQ(std::find(lines.begin(), lines.end(), std::string("0 ") + phase.notReached), lines.end());
        EXPECT_EQ(fake_.Calls().back(), "MSP430_Close(0)");  // the library is let go
    }
    sink_.onLine = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Libraries, FetGenerations,
                         ::testing::Values(Generation{FAKE_FET, false}, Generation{FAKE_FET_CURRENT, true}),
                         [](const auto& info) {
                             return std::string(info.param.current ? "Current" : "Identify");
                         });

}  // namespace
}  // namespace quarzo
