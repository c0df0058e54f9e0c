// The FET library adapter through the real loading path, against the fake libraries from sim/, which
// behave as the vendor's libraries of each generation do.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "adapters/adapter_set.h"
#include "adapters/fetdll/fet_dll_adapter.h"
#include "adapters/fetdll/fet_library.h"
#include "core/device_table.h"
#include "core/settings_store.h"
#include "engine/programmer.h"
#include "platform/shared_library.h"
#include "support/recording_log_sink.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using Strings = std::vector<std::string>;

// The fake library the adapter loads; "" for the one the system would load.
const char* UseLibrary(const char* path) {
#ifdef _WIN32
    _putenv_s("QUARZO_FETLIB", path);
#else
    setenv("QUARZO_FETLIB", path, 1);
#endif
    return path;
}

// The library as messages name it: on Windows by the name users know it by.
std::string Shown(const char* path) {
#ifdef _WIN32
    (void)path;
    return "msp430.dll";
#else
    return path;
#endif
}

bool Contains(const Strings& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The fake's own controls, reached through the same loaded library the adapter uses.
class FakeFet {
public:
    explicit FakeFet(const char* path = FAKE_FET) : library_(LoadSharedLibrary(path)) {}
    void Reset(const char* part = "MSP430F149") { Call<void>("FakeFet_Reset", part, 0); }
    void Fail(const char* function, int32_t number) { Call<void>("FakeFet_Fail", function, number); }
    void SetFets(const char* names, bool firstBusy = false) {
        Call<void>("FakeFet_SetFets", names, firstBusy ? 1 : 0, int32_t{0});
    }
    void SetFirmware(int32_t version) { Call<void>("FakeFet_SetFirmware", version); }
    Strings Calls() {
        Strings calls;
        std::istringstream in(Call<const char*>("FakeFet_Log"));
        for (std::string line; std::getline(in, line);) calls.push_back(line);
        return calls;
    }
    int Peek(int32_t address) { return Call<int>("FakeFet_Peek", address); }
    bool IsSecured() { return Call<int>("FakeFet_IsSecured") != 0; }
    // The interface is still initialized: the FET holds the target.
    bool IsOpen() { return Call<int>("FakeFet_IsOpen") != 0; }

private:
    template <typename R, typename... A>
    R Call(const char* name, A... args) {
        void* entry = FindLibrarySymbol(library_, name);
        if (!entry) std::abort();
        return reinterpret_cast<R (*)(A...)>(entry)(args...);
    }

    void* library_;
};

// A library missing or incomplete is named at every open, which looks for it again, so that the user knows
// what to install; a build whose integers are long is called only where long is 32 bits wide, elsewhere
// refused before any call.
TEST(FetDll, AnUnusableLibraryIsNamedAndLookedForAtEveryOpen) {
    UseLibrary("/nonexistent/libmsp430.so");
    FetDllAdapter missing;
    char name[Adapter::kNameSize], info[Adapter::kInfoSize];
    missing.GetName(name);
    EXPECT_STREQ(name, "FET DLL (TIUSB)");
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_EQ(missing.GetErrorCode(), 0);
    EXPECT_EQ(missing.GetErrorText(0), Shown("/nonexistent/libmsp430.so") + " not found");
    EXPECT_EQ(missing.GetInfo(info), -1);
    EXPECT_EQ(missing.Erase(2, 0x1100, 0xEF00), -1);
    EXPECT_EQ(missing.BlowFuse(), -1);
    UseLibrary(FAKE_FET_INCOMPLETE);
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_FALSE(missing.IsLibraryLoaded());
    EXPECT_EQ(std::string(missing.GetErrorText(0)), Shown(FAKE_FET_INCOMPLETE) + " not found");
    UseLibrary(FAKE_FET);
    EXPECT_EQ(missing.Open(), 0);
    EXPECT_TRUE(missing.IsLibraryLoaded());

    FakeFet longBuild(FAKE_FET_LONG);
    longBuild.Reset();
    UseLibrary(FAKE_FET_LONG);
    FetDllAdapter adapter;
    if (sizeof(long) == sizeof(int32_t)) {
        EXPECT_EQ(adapter.Open(), 0);
    } else {
        EXPECT_FALSE(adapter.IsLibraryLoaded());
        EXPECT_EQ(adapter.Open(), -1);
        EXPECT_EQ(std::string(adapter.GetErrorText(adapter.GetErrorCode())),
                  Shown(FAKE_FET_LONG) +
                      " is a 64-bit build with long integers (a version before 3.5), which this program "
                      "cannot call: install version 3.5 or later");
        EXPECT_TRUE(longBuild.Calls().empty());
    }
    UseLibrary("");
}

// The engine against each generation of the library: before 3.0 (identify), 3.0 to 3.2.4 (identify
// and OpenDevice, packed record), 3.9 to 3.13 (OpenDevice and the device database).
enum class Gen { kIdentify, kBoth, kCurrent };
struct Generation {
    const char* path;
    Gen gen;
};
std::string GenerationName(Gen gen) {
    return gen == Gen::kCurrent ? "Current" : gen == Gen::kBoth ? "IdentifyAndOpenDevice" : "Identify";
}

// The generation's fake library chosen for the test's whole life, with a sink for engine runs.
class FetGenerations : public ::testing::TestWithParam<Generation> {
protected:
    FetGenerations() {
        fake_.Reset();
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterFetDll);
    }
    ~FetGenerations() override { UseLibrary(""); }
    bool V3() const { return GetParam().gen != Gen::kIdentify; }
    RunResult RunFlags(Programmer& p, ActionFlags flags) {
        sink_.Clear();
        p.Start(flags);
        return p.WaitForRun();
    }

    FakeFet fake_{UseLibrary(GetParam().path)};
    RecordingLogSink sink_;
    AdapterSet adapters_;  // after the library is chosen
    Programmer programmer_{adapters_.List()};
};

// The generations since 3.0, which describe the part in their own record and know the FET's firmware.
class FetRecordGenerations : public FetGenerations {};

// Through each generation, the F123 is identified whole, as the table's F12x, and the engine's runs log
// what the null adapter logs holding that part; the supply is the default one, and the adapter's
// information gives the library's version.
TEST_P(FetGenerations, EngineRunsLogWhatTheNullAdapterLogsWithTheIdentifiedDevice) {
    fake_.Reset("MSP430F123");
    AdapterSet adapters;
    Programmer fet(adapters.List()), null(adapters.List());
    for (Programmer* p : {&fet, &null}) {
        p->SetSink(&sink_);
        for (uint32_t a = 0xE000; a < 0xE300; ++a) p->Image().SetByte(a, static_cast<uint8_t>(a * 3));
    }
    fet.SelectAdapter(kAdapterFetDll);
    null.SelectAdapter(kAdapterNull);
    FillDeviceInfo(FindDeviceByName("MSP430F12x"), adapters.null.device);
    for (ActionFlags flags : {kDefaultAutoprogram, kActionRead}) {
        EXPECT_EQ(RunFlags(fet, flags), kRunComplete) << sink_.LastLine();
        Strings viaFet = sink_.Lines();
        EXPECT_EQ(RunFlags(null, flags), kRunComplete);
        ASSERT_GT(viaFet.size(), 1u);
        EXPECT_EQ(viaFet[1], "0 Device: MSP430F12x. Info(0x1000-0x10FF), Main:(0xE000-0xFFFF)");
        EXPECT_EQ(viaFet, sink_.Lines());
    }
    EXPECT_EQ(adapters.fetDll.device.DeviceIndex(), FindDeviceByName("MSP430F12x"));
    EXPECT_TRUE(Contains(fake_.Calls(), "MSP430_VCC(3000)"));
    EXPECT_EQ(fake_.Peek(0xE001), (0xE001 * 3) & 0xFF);
    EXPECT_EQ(fet.Image().ValueAt(0xE001), (0xE001 * 3) & 0xFF);  // read back from the device

    EXPECT_EQ(RunFlags(fet, kActionAdapterInfo), kRunComplete) << sink_.LastLine();
    const char* version = GetParam().gen == Gen::kCurrent ? " V31300001"
                          : GetParam().gen == Gen::kBoth  ? " V30204000"
                                                          : " V20403";
    EXPECT_EQ(sink_.LastLine(), "0 Adapter: " + Shown(GetParam().path) + version);
    EXPECT_EQ(RunFlags(fet, kActionReset), kRunComplete);
    EXPECT_EQ(fake_.Calls().back(), "MSP430_Close(0)");
    sink_.answer = 1;
    EXPECT_EQ(RunFlags(fet, kActionBlowFuse), kRunComplete) << sink_.LastLine();
    EXPECT_TRUE(fake_.IsSecured());
}

// Parts by the library's own names and records, through a whole run: erase, blank check, program,
// verify, read. The F5529's flash reaches 0x243FF, beyond what the image holds today (0x1F3FF): its
// data is placed within both and the read keeps what fits.
TEST_P(FetRecordGenerations, EveryPartTheLibraryKnowsIsProgrammedByItsRecord) {
    const struct {
        const char* part;
        const char* name;  // as the library gives it
        uint32_t mainStart, mainEnd, infoStart, infoEnd;
        bool calibration;
    } parts[] = {
        {"MSP430F149", "MSP430F149", 0x1100, 0xFFFF, 0x1000, 0x10FF, false},
        {"MSP430F2012", "F20x2_G2x2x_G2x3x", 0xF800, 0xFFFF, 0x1000, 0x10FF, true},
        {"MSP430G2553", "MSP430G2xx3", 0xC000, 0xFFFF, 0x1000, 0x10FF, true},
        {"MSP430F5529", "MSP430F5529", 0x4400, 0x243FF, 0x1800, 0x19FF, false},
    };
    for (const auto& p : parts) {
        SCOPED_TRACE(p.part);
        fake_.Reset(p.part);
        MemoryImage& image = programmer_.Image();
        image.Clear();
        for (uint32_t a = p.infoStart; a < p.infoStart + 0x40; ++a)
            image.SetByte(a, static_cast<uint8_t>(a ^ 0x5A));
        if (p.calibration) {
            for (uint32_t a = 0x10C0; a <= 0x10FF; ++a) image.SetByte(a, 0x00);
        }
        for (uint32_t a = p.mainStart; a < p.mainStart + 0x100; ++a)
            image.SetByte(a, static_cast<uint8_t>(a));
        for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) image.SetByte(a, static_cast<uint8_t>(a));
        if (p.mainEnd > 0xFFFF) {
            for (uint32_t a = 0x10000; a < 0x10100; ++a) image.SetByte(a, static_cast<uint8_t>(a * 5));
        }
        ASSERT_EQ(RunFlags(programmer_, kDefaultAutoprogram), kRunComplete) << sink_.LastLine();
        char line[160];
        std::snprintf(line, sizeof line, "0 Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)", p.name,
                      p.infoStart, p.infoEnd, p.mainStart, p.mainEnd);
        EXPECT_EQ(sink_.Lines()[1], line);
        EXPECT_EQ(fake_.Peek(static_cast<int32_t>(p.mainStart + 1)),
                  static_cast<int>((p.mainStart + 1) & 0xFF));
        EXPECT_EQ(fake_.Peek(0xFFFE), 0xFE);
        if (p.mainEnd > 0xFFFF) {
            EXPECT_EQ(fake_.Peek(0x10001), 0x05);
        }
        // The factory's calibration data stays, and is neither programmed nor blank-checked.
        EXPECT_EQ(Contains(sink_.Lines(),
                           "0 Warning: Information segment A (0x10C0-0x10FF) holds the chip's calibration "
                           "data; the image's bytes there are left out."),
                  p.calibration);
        if (p.calibration) {
            EXPECT_EQ(fake_.Peek(0x10C1), (0x10C1 * 7 + 1) & 0xFF);
        }
        EXPECT_EQ(fake_.Peek(static_cast<int32_t>(p.infoStart + 1)),
                  static_cast<int>(((p.infoStart + 1) ^ 0x5A) & 0xFF));
        image.Clear();
        ASSERT_EQ(RunFlags(programmer_, kActionRead), kRunComplete) << sink_.LastLine();
        EXPECT_EQ(image.ValueAt(p.mainStart + 2), (p.mainStart + 2) & 0xFF);
        if (p.mainEnd > 0xFFFF) {
            EXPECT_EQ(image.ValueAt(0x10002), 0x0A);
        }
    }
}

// Each call of the library failing in the phase that uses it: the run ends with that phase's failure
// and the library's own words, never with its "complete" line. A failure after MSP430_Initialize
// closes the interface again, so that the FET does not keep the target halted and powered.
TEST_P(FetGenerations, EveryCallFailingInItsPhase) {
    const char* identify = V3() ? "MSP430_OpenDevice" : "MSP430_Identify";
    // (MSP430_Reset is left out: the adapter's Reset makes no call, and the one at closing is not
    // examined.)
    struct Cell {
        const char* function;
        ActionFlags flags;
        const char* phase;
    };
    std::vector<Cell> cells = {
        {"MSP430_Initialize", kDefaultAutoprogram, "Init"},
        {"MSP430_VCC", kDefaultAutoprogram, "Init"},
        {identify, kDefaultAutoprogram, "Init"},
        {"MSP430_Erase", kDefaultAutoprogram, "Erase"},
        {"MSP430_EraseCheck", kDefaultAutoprogram, "Blank check"},
        {"MSP430_Memory", kDefaultAutoprogram, "Program"},
        {"MSP430_Memory", kActionVerify, "Verify"},
        {"MSP430_Memory", kActionRead, "Read"},
        {"MSP430_Secure", kActionBlowFuse, "Blow fuse"},
    };
    if (V3()) cells.push_back({"MSP430_GetFoundDevice", kDefaultAutoprogram, "Init"});
    if (!V3()) cells.push_back({"MSP430_Configure", kDefaultAutoprogram, "Init"});
    if (GetParam().gen == Gen::kCurrent)
        cells.push_back({"MSP430_LoadDeviceDb", kDefaultAutoprogram, "Init"});
    sink_.answer = 1;
    for (uint32_t a = 0x1100; a < 0x4100; ++a) programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    for (const auto& cell : cells) {
        SCOPED_TRACE(std::string(cell.function) + " in " + cell.phase);
        fake_.Reset();
        fake_.Fail(cell.function, 42);
        EXPECT_EQ(RunFlags(programmer_, cell.flags), kRunActionFailed);
        EXPECT_EQ(sink_.LastLine(), std::string("1 ") + cell.phase + " failed. Fake FET: " + cell.function +
                                        " refused (error 42).");
        Strings lines = sink_.Lines();
        EXPECT_FALSE(Contains(lines, std::string("0 ") + cell.phase + " complete."));
        EXPECT_FALSE(fake_.IsOpen());
    }
    // A stop ends the run as quietly, being its own explanation, and lets the library go as well.
    sink_.onLine = [&](const std::string& text) {
        if (text == "Programming the device memory...") programmer_.Worker().SignalStop();
    };
    fake_.Reset();
    EXPECT_EQ(RunFlags(programmer_, kDefaultAutoprogram), kRunActionFailed);
    for (const std::string& line : sink_.Lines()) EXPECT_EQ(line[0], '0') << line;
    EXPECT_FALSE(Contains(sink_.Lines(), "0 Verifying device memory programming..."));
    EXPECT_FALSE(fake_.IsOpen());
    sink_.onLine = nullptr;
}

#ifdef _WIN32
const std::string kUpdateHow = "the menu Tools, Update FET firmware";
#else
const std::string kUpdateHow = "\"quarzo --update-fet\"";
#endif

// Libraries since 3.0 write -1 (or -3) as the version when the FET's firmware must be updated. The
// run stops with a line that says how to update it; only the update asked for updates it, with its
// progress, and then the FET works.
TEST_P(FetRecordGenerations, AFirmwareMismatchStopsTheRunAndOnlyTheUpdateAskedForMendsIt) {
    for (int32_t version : {-1, -3}) {
        SCOPED_TRACE(version);
        fake_.Reset();
        fake_.SetFirmware(version);
        EXPECT_EQ(RunFlags(programmer_, kActionErase), kRunActionFailed);
        EXPECT_EQ(sink_.LastLine(), "1 Init failed. The FET's firmware does not match " +
                                        Shown(GetParam().path) + " (it reports version " +
                                        std::to_string(version) + "): update it with " + kUpdateHow + ".");
        EXPECT_FALSE(fake_.IsOpen());
        EXPECT_EQ(RunFlags(programmer_, kActionAdapterInfo), kRunActionFailed);
        EXPECT_FALSE(fake_.IsOpen());
        for (const std::string& call : fake_.Calls())
            EXPECT_EQ(call.find("FwUpdate"), std::string::npos) << call;

        EXPECT_EQ(RunFlags(programmer_, kActionUpdateFirmware), kRunComplete) << sink_.LastLine();
        Strings events = sink_.Events();
        EXPECT_EQ(events.front(), "0 Updating the FET's firmware...");
        EXPECT_TRUE(Contains(events, "pos 50"));
        EXPECT_TRUE(Contains(events, "pos 100"));
        EXPECT_EQ(sink_.LastLine(), "0 Firmware update complete.");
        EXPECT_TRUE(Contains(fake_.Calls(), "MSP430_FET_FwUpdate((null))"));
        EXPECT_FALSE(fake_.IsOpen());
        EXPECT_EQ(RunFlags(programmer_, kActionErase), kRunComplete) << sink_.LastLine();
    }
    // Another adapter has no firmware of this kind.
    programmer_.SelectAdapter(kAdapterNull);
    EXPECT_EQ(RunFlags(programmer_, kActionUpdateFirmware), kRunActionFailed);
    EXPECT_EQ(sink_.LastLine(), "1 Error: Available only with the FET library.");
}

// Ports as each generation takes them. Before 3.0 the parallel ports, and nothing reaches the target
// before an open; afterwards a write and a blank check do, the supply is the one set (none where the FET
// may not apply one), and closing twice is harmless. Since 3.0 no parallel port: the library refuses "LPT..."
// with its own words, the default is TIUSB (the first free FET), and the FETs it lists are offered, on Linux
// by their device paths, which it also takes.
TEST_P(FetGenerations, PortsAsTheLibraryTakesThem) {
    FetDllAdapter adapter;
    std::vector<Adapter::PortChoice> choices = adapter.PortChoices();
    if (!V3()) {
        EXPECT_EQ(choices.size(), 4u);
        const uint8_t data[4] = {0x31, 0x40, 0x00, 0x0A};
        EXPECT_NE(adapter.VerifyMemory(0x1100, data, 4), 0);
        EXPECT_EQ(adapter.WriteMemory(0x1100, data, 4), -1);
        SettingsStore settings;
        settings.SetSettingFromVariant(kSetFetTargetVcc, std::string("2.95"));
        adapter.ApplySettings(settings);
        ASSERT_EQ(adapter.Open(), 0);
        EXPECT_TRUE(Contains(fake_.Calls(), "MSP430_VCC(2950)"));
        EXPECT_EQ(adapter.WriteMemory(0x1100, data, 4), 0);
        EXPECT_EQ(adapter.BlankCheck(0x1100, 4), -1);
        EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()), "Verification error");
        fake_.Reset();
        EXPECT_EQ(adapter.Close(), 0);
        EXPECT_EQ(adapter.Close(), 0);
        EXPECT_EQ(fake_.Calls(), (Strings{"MSP430_Reset(7, 1, 1)", "MSP430_Close(0)"}));

        settings.SetSettingFromVariant(kSetFetApplyVcc, std::string("0"));
        adapter.ApplySettings(settings);
        fake_.Reset();
        adapter.portIndex = 1;
        ASSERT_EQ(adapter.Open(), 0);
        EXPECT_EQ(fake_.Calls().front(), "MSP430_Initialize(LPT2)");
        for (const std::string& call : fake_.Calls()) EXPECT_EQ(call.find("MSP430_VCC"), std::string::npos);
        char name[Adapter::kNameSize];
        const std::pair<unsigned, const char*> names[] = {{0, "FET DLL (LPT1)"}, {7, "FET DLL (TIUSB)"}};
        for (const auto& [port, shown] : names) {
            adapter.portIndex = port;  // 7: a FET the library does not list, the first free one
            adapter.GetName(name);
            EXPECT_STREQ(name, shown);
        }
        adapter.devicePath = "/dev/ttyACM0";
        adapter.GetName(name);
        EXPECT_STREQ(name, "FET DLL (/dev/ttyACM0)");
        char info[Adapter::kInfoSize];
        fake_.Reset();
        EXPECT_EQ(adapter.GetInfo(info), 0);
        EXPECT_EQ(fake_.Calls(), Strings{"MSP430_Initialize(/dev/ttyACM0)"});
        return;
    }
#ifdef _WIN32
    const std::string listed = "COM7";
#else
    const std::string listed = "/dev/ttyACM0";
#endif
    EXPECT_EQ(choices, (std::vector<Adapter::PortChoice>{{3, "TIUSB"}, {4, listed}}));
    EXPECT_EQ(adapter.portIndex, 3u);  // the default
    adapter.portIndex = 4;
    fake_.Reset();
    ASSERT_EQ(adapter.Open(), 0) << adapter.GetErrorText(adapter.GetErrorCode());
    EXPECT_TRUE(Contains(fake_.Calls(), "MSP430_Initialize(ttyACM0)") ||
                Contains(fake_.Calls(), "MSP430_Initialize(COM7)"));
    adapter.Close();

    if (GetParam().gen == Gen::kCurrent) {
        adapter.portIndex = 0;
        EXPECT_EQ(adapter.Open(), -1);
        EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()),
                     "Parallel port FET (MSP-FETP430IF) is no longer supported.");
    }
    fake_.Reset();
    fake_.SetFets("ttyACM0,ttyACM1", true);
    adapter.portIndex = 3;
    ASSERT_EQ(adapter.Open(), 0);  // TIUSB: the first free one
    adapter.Close();
    adapter.portIndex = 4;
    adapter.PortChoices();
    EXPECT_EQ(adapter.Open(), -1);
    EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()), "MSP-FET430UIF is already in use");
#ifndef _WIN32
    // A path to the device, also through a link, as udev makes them.
    testing::TempDir dir;
    testing::WriteFile(dir.File("ttyACM1"), "");
    std::filesystem::create_symlink(dir.File("ttyACM1"), dir.File("fet-by-id"));
    adapter.devicePath = dir.File("fet-by-id");
    EXPECT_EQ(adapter.Open(), 0) << adapter.GetErrorText(adapter.GetErrorCode());
    adapter.Close();
    adapter.devicePath = dir.File("absent");
    EXPECT_EQ(adapter.Open(), -1);
    EXPECT_STREQ(adapter.GetErrorText(adapter.GetErrorCode()),
                 "Could not find MSP-FET430UIF on specified COM port");
#endif
}

INSTANTIATE_TEST_SUITE_P(Libraries, FetGenerations,
                         ::testing::Values(Generation{FAKE_FET, Gen::kIdentify},
                                           Generation{FAKE_FET_BOTH, Gen::kBoth},
                                           Generation{FAKE_FET_CURRENT, Gen::kCurrent}),
                         [](const auto& info) { return GenerationName(info.param.gen); });
INSTANTIATE_TEST_SUITE_P(Libraries, FetRecordGenerations,
                         ::testing::Values(Generation{FAKE_FET_BOTH, Gen::kBoth},
                                           Generation{FAKE_FET_CURRENT, Gen::kCurrent}),
                         [](const auto& info) { return GenerationName(info.param.gen); });

}  // namespace
}  // namespace quarzo
