#include "engine/programmer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "adapters/adapter_set.h"
#include "core/settings_store.h"
#include "support/recording_log_sink.h"
#include "support/scripted_adapter.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using testing::ScriptedAdapter;
using testing::TempDir;
using Strings = std::vector<std::string>;

class ProgrammerTest : public ::testing::Test {
protected:
    ProgrammerTest() {
        programmer_.SetSink(&sink_);
        programmer_.UseAdapter(&adapter_, kAdapterNull);
    }
    RunResult RunFlags(ActionFlags flags) {
        programmer_.Start(flags);
        return programmer_.WaitForRun();
    }
    // The bytes go into the image and, if asked, the same into the device.
    void Fill(uint32_t from, uint32_t to, uint8_t value, bool onDevice = false) {
        for (uint32_t a = from; a <= to; ++a) {
            programmer_.Image().SetByte(a, value);
            if (onDevice) adapter_.memory[static_cast<int>(a)] = value;
        }
    }
    // Starts an erase that waits until the run is cancelled.
    void StartBlockedErase() {
        size_t erases = CallsNamed("Erase").size();
        adapter_.blockCall = "Erase";
        programmer_.Start(kActionErase);
        while (CallsNamed("Erase").size() == erases)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // From "start LOW HIGH" on: positions within the range and never going back, then "end".
    void ExpectProgress(int low, int high) {
        Strings events = sink_.Events();
        auto at = std::find(events.begin(), events.end(),
                            "start " + std::to_string(low) + " " + std::to_string(high));
        ASSERT_NE(at, events.end());
        for (int last = low; ++at != events.end() && at->rfind("pos ", 0) == 0;
             last = std::stoi(at->substr(4))) {
            EXPECT_GE(std::stoi(at->substr(4)), last);
            EXPECT_LE(std::stoi(at->substr(4)), high + 1);
        }
        EXPECT_NE(std::find(at, events.end(), "end"), events.end());
    }
    Strings CallsNamed(const std::string& prefix) {
        Strings out;
        for (auto& c : adapter_.Calls()) {
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        }
        return out;
    }

    RecordingLogSink sink_;
    ScriptedAdapter adapter_;
    Programmer programmer_;
    TempDir dir_;
};

TEST_F(ProgrammerTest, AutoRunCallsTheAdapterInOrder) {
    Fill(0x1000, 0x10FF, 0x11);
    Fill(0xF000, 0xF1FF, 0x22);
    // The run keeps the options it started with: a change meanwhile is for the next run.
    adapter_.onCall = [this](const std::string& call) {
        if (call == "Open") programmer_.includeInfo = false;
    };
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete);
    EXPECT_EQ(adapter_.Calls(),
              (Strings{"Open", "Erase 0x2 0x1100 0xEF00", "BlankCheck 0x1000 0x100",
                       "BlankCheck 0x1100 0xEF00", "WriteMemory 0x1000 0x100", "WriteMemory 0xF000 0x200",
                       "ReadMemory 0x1000 0x100", "ReadMemory 0xF000 0x200", "Close"}));
    EXPECT_EQ(programmer_.deviceIndex, 7);
    EXPECT_EQ(sink_.Lines()[1], "0 Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)");
}

TEST_F(ProgrammerTest, WithoutInfoMemoryEraseAndProgramLeaveItAloneButVerifyComparesIt) {
    programmer_.includeInfo = false;
    Fill(0x1000, 0x103F, 0x11, true);
    EXPECT_EQ(RunFlags(kDefaultAutoprogram), kRunComplete);
    EXPECT_EQ(adapter_.Calls(), (Strings{"Open", "Erase 0x1 0x1100 0xEF00", "BlankCheck 0x1100 0xEF00",
                                         "ReadMemory 0x1000 0x40", "Close"}));
}

TEST_F(ProgrammerTest, AnImageOutsideThePartIsRefusedBeforeAnyAction) {
    Fill(0x0E00, 0x0E01, 0x01);
    Fill(0x2000, 0x2001, 0x03);
    Fill(0x10FFF, 0x11000, 0x02);  // across a page of the image
    Strings calls;
    for (ActionFlags flags : {kDefaultAutoprogram, ActionFlags{kActionVerify}}) {
        EXPECT_EQ(RunFlags(flags), kRunActionFailed);
        calls.insert(calls.end(), {"Open", "Close"});
        EXPECT_EQ(adapter_.Calls(), calls);
        EXPECT_EQ(sink_.Lines().back(),
                  "1 The image does not fit the MSP430F149 (Info 0x1000-0x10FF, Main 0x1100-0xFFFF): "
                  "0x0E00-0x0E01, 0x10FFF-0x11000 lie outside. Nothing was changed.");
    }
    // An erase or a read alone does not care what the image holds.
    EXPECT_EQ(RunFlags(kActionErase), kRunComplete);

    // Bytes the image could not hold stop it before the adapter is opened.
    size_t opens = CallsNamed("Open").size();
    programmer_.Image().NoteOutside(0x100000, 4);
    sink_.Clear();
    EXPECT_EQ(RunFlags(kActionProgram), kRunActionFailed);
    EXPECT_EQ(CallsNamed("Open").size(), opens);
    EXPECT_EQ(sink_.Lines().back(),
              "1 Error: 4 bytes of the file lie beyond the address space (up to 0xFFFFF), at "
              "0x100000-0x100003: nothing is programmed until the file leaves them out.");
}

// A failed write marks its chunk and ends the run.
TEST_F(ProgrammerTest, ProgramAndVerifyChunkAtTwiceTheBlockSize) {
    adapter_.blockSize = 250;
    Fill(0x2000, 0x23FF, 0x33);
    EXPECT_EQ(RunFlags(kActionProgram | kActionVerify), kRunComplete);
    EXPECT_EQ(CallsNamed("WriteMemory"),
              (Strings{"WriteMemory 0x2000 0x1F4", "WriteMemory 0x21F4 0x1F4", "WriteMemory 0x23E8 0x18"}));
    EXPECT_EQ(CallsNamed("ReadMemory"),
              (Strings{"ReadMemory 0x2000 0x1F4", "ReadMemory 0x21F4 0x1F4", "ReadMemory 0x23E8 0x18"}));
    ExpectProgress(0x2000, 0x23FF);

    Fill(0x2000, 0x23FF, 0x44);
    adapter_.failCall = "WriteMemory";
    adapter_.failOnCount = 5;
    EXPECT_EQ(RunFlags(kActionProgram | kActionVerify), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Program failed. Scripted failure.");
    MemoryImage& image = programmer_.Image();
    EXPECT_FALSE(image.HasMismatch(0x2000, 0x1F4));
    EXPECT_EQ(image.FlagsAt(0x21F4), EntryMismatch);
    EXPECT_EQ(image.FlagsAt(0x23E7), EntryMismatch);
    EXPECT_FALSE(image.HasMismatch(0x23E8, 0x18));
    EXPECT_EQ(CallsNamed("ReadMemory").size(), 3u);
}

TEST_F(ProgrammerTest, ReadTakesInfoThenMainInBlockSizeChunks) {
    adapter_.identified.SetMainStart(0xFC00);
    adapter_.memory[0xFC00] = 0x42;
    programmer_.Image().SetFileName("old.txt");
    EXPECT_EQ(RunFlags(kActionRead), kRunComplete);
    EXPECT_EQ(CallsNamed("ReadMemory"),
              (Strings{"ReadMemory 0x1000 0x100", "ReadMemory 0xFC00 0x100", "ReadMemory 0xFD00 0x100",
                       "ReadMemory 0xFE00 0x100", "ReadMemory 0xFF00 0x100"}));
    EXPECT_EQ(programmer_.Image().ValueAt(0xFC00), 0x42);
    EXPECT_EQ(programmer_.Image().Lowest(), 0x1000u);
    EXPECT_EQ(programmer_.Image().Highest(), 0xFFFFu);
    EXPECT_EQ(programmer_.Image().FileName(), "");
    Strings events = sink_.Events();
    EXPECT_LT(
        std::find(events.begin(), events.end(), "refresh 1"),
        std::find(events.begin(), events.end(), "0 Reading device memory.."));  // the view empties first
    ExpectProgress(0x1000, 0xFFFF);
}

TEST_F(ProgrammerTest, VerifyCountsDifferingBytesAndMarksEach) {
    Fill(0x3000, 0x33FF, 0x55, true);
    adapter_.memory[0x3001] = 0;
    adapter_.memory[0x3002] = 0;
    adapter_.memory[0x3300] = 0;
    EXPECT_EQ(RunFlags(kActionVerify), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Verify failed. Found 3 errors");
    EXPECT_EQ(programmer_.Image().FlagsAt(0x3000), EntryVerified);
    EXPECT_EQ(programmer_.Image().FlagsAt(0x3001), EntryMismatch);
    EXPECT_EQ(programmer_.Image().FlagsAt(0x3300), EntryMismatch);

    adapter_.failCall = "ReadMemory";
    adapter_.failOnCount = static_cast<int>(CallsNamed("ReadMemory").size()) + 1;
    EXPECT_EQ(RunFlags(kActionVerify), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Verify failed. Scripted failure.");
}

// A run that cannot go on ends with one line saying why, and an opened adapter is closed again.
TEST_F(ProgrammerTest, RunsThatCannotGoOnEndWithTheirReason) {
    EXPECT_EQ(RunFlags(kActionReload | kActionErase), kRunReloadFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Load failed. Error: Can't open file.");
    EXPECT_TRUE(adapter_.Calls().empty());

    sink_.Clear();
    adapter_.failCall = "Open";
    EXPECT_EQ(RunFlags(kActionErase), kRunActionFailed);
    EXPECT_EQ(sink_.Lines(), (Strings{"0 Initialize...", "1 Init failed. Scripted failure."}));
    EXPECT_EQ(programmer_.Flags(), kActionErase);  // what did not run stays requested

    adapter_.failCall.clear();
    adapter_.throwCall = "Erase";
    EXPECT_EQ(RunFlags(kActionErase | kActionProgram), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Error: Unhandled exception detected!");
    EXPECT_EQ(adapter_.Calls().back(), "Close");

    // A no to the fuse's question ends the run before the fuse is blown.
    EXPECT_EQ(RunFlags(kActionBlowFuse), kRunActionFailed);
    Strings events = sink_.Events();
    EXPECT_EQ(events[events.size() - 3],
              "ask Warning, blow fuse operation is irreversible!\r\nNote, that JTAG access will no longer be "
              "available after this operation.\r\nAre you still want to continue?");
    EXPECT_EQ(sink_.Lines().back(), "0 Operation canceled by user");
    EXPECT_TRUE(CallsNamed("BlowFuse").empty());

    sink_.Clear();
    programmer_.UseAdapter(nullptr, kAdapterNull);
    EXPECT_EQ(RunFlags(kActionErase), kRunNoAdapter);
    EXPECT_TRUE(sink_.Lines().empty());
}

TEST_F(ProgrammerTest, ResetEraseBlankCheckProgressAndLines) {
    EXPECT_EQ(RunFlags(kActionReset | kActionBlankCheck), kRunComplete);
    EXPECT_EQ(adapter_.Calls(), (Strings{"Open", "Reset 0x7 0x1 0x1", "BlankCheck 0x1000 0x100",
                                         "BlankCheck 0x1100 0xEF00", "Close"}));
    EXPECT_EQ(sink_.Lines(),
              (Strings{"0 Initialize...", sink_.Lines()[1], "0 Reset target...", "0 Reset complete.",
                       "0 Blank check device memory...", "0 Blank check complete."}));
    ExpectProgress(0, 6);

    adapter_.failCall = "BlankCheck";
    adapter_.failOnCount = 3;
    EXPECT_EQ(RunFlags(kActionBlankCheck), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Blank check failed. Scripted failure.");
    EXPECT_EQ(CallsNamed("BlankCheck").size(), 3u);  // the info check failed; main was not checked
}

TEST_F(ProgrammerTest, AdapterInformationAndTheDumps) {
    EXPECT_EQ(RunFlags(kActionAdapterInfo | kActionDumpRam), kRunComplete);
    Strings lines = sink_.Lines();
    EXPECT_EQ(lines[1], "0 Adapter: Scripted adapter v1");
    EXPECT_EQ(lines.back(), "0 Dump complete.");
    EXPECT_EQ(CallsNamed("ReadMemory"), (Strings{"ReadMemory 0x200 0x800"}));
    EXPECT_EQ(programmer_.Image().Lowest(), 0x200u);
    EXPECT_EQ(programmer_.Image().Highest(), 0x9FFu);

    EXPECT_EQ(RunFlags(kActionDumpBsl), kRunComplete);
    EXPECT_EQ(CallsNamed("ReadMemory").back(), "ReadMemory 0xC00 0x400");

    // The identification dump only with the JTAG kind.
    sink_.Clear();
    programmer_.UseAdapter(&adapter_, kAdapterBsl);
    EXPECT_EQ(RunFlags(kActionDumpDeviceId), kRunActionFailed);
    EXPECT_EQ(sink_.Lines(), (Strings{"1 Error: Available only in RAW mode."}));

    programmer_.UseAdapter(&adapter_, kAdapterRawJtag);
    adapter_.identified.IdBytes()[0] = 0xF1;
    adapter_.identified.IdBytes()[1] = 0x49;
    adapter_.identified.SetFuseValue(0x1234);
    EXPECT_EQ(RunFlags(kActionDumpDeviceId), kRunComplete);
    MemoryImage& image = programmer_.Image();
    EXPECT_EQ(image.ValueAt(0x0FF0), 0xF1);
    EXPECT_EQ(image.ValueAt(0x0FF1), 0x49);
    EXPECT_EQ(image.ValueAt(0x1000), 0x34);
    EXPECT_EQ(image.ValueAt(0x1001), 0x12);

    // A failed initialization still dumps the cleared values, and the run fails.
    adapter_.failCall = "Open";
    adapter_.failOnCount = static_cast<int>(CallsNamed("Open").size()) + 1;
    EXPECT_EQ(RunFlags(kActionDumpDeviceId), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Init failed. Scripted failure.");
    EXPECT_EQ(image.ValueAt(0x0FF0), 0x00);
    EXPECT_EQ(image.ValueAt(0x1000), 0xFF);
}

TEST_F(ProgrammerTest, ThePasswordComesFromAWholeVectorTable) {
    for (uint32_t a = 0xFFE0; a <= 0xFFFE; ++a) programmer_.Image().SetByte(a, static_cast<uint8_t>(a));
    RunFlags(kActionReset);
    EXPECT_FALSE(adapter_.password);  // ends at 0xFFFE: nothing offered

    programmer_.Image().SetByte(0xFFFF, 0x11);
    RunFlags(kActionReset);
    ASSERT_TRUE(adapter_.password);
    EXPECT_EQ((*adapter_.password)[0], 0xE0);
    EXPECT_EQ((*adapter_.password)[31], 0x11);
}

// Idle, a stop does nothing; a stop or a new start ends the running run at once.
TEST_F(ProgrammerTest, AStopOrANewStartEndsTheRunningOne) {
    programmer_.Start(kActionStop);
    EXPECT_FALSE(programmer_.IsBusy());
    EXPECT_TRUE(sink_.Lines().empty());

    StartBlockedErase();
    auto t0 = std::chrono::steady_clock::now();
    programmer_.Start(kActionStop);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(3000));
    EXPECT_FALSE(programmer_.IsBusy());
    EXPECT_EQ(programmer_.Result(), kRunActionFailed);
    // The stop is the only explanation: the cancelled operation adds no failure line.
    EXPECT_EQ(sink_.Lines().back(), "0 Break current operation...");
    EXPECT_EQ(adapter_.Calls().back(), "Close");

    StartBlockedErase();
    sink_.Clear();
    EXPECT_EQ(RunFlags(kActionReset), kRunComplete);
    EXPECT_EQ(sink_.Lines()[0], "0 Break current operation...");
    EXPECT_EQ(sink_.Lines().back(), "0 Reset complete.");
}

// The window reads the image during a run holding the image lock; the run changes it only under
// the same lock (the thread sanitizer build checks every access).
TEST_F(ProgrammerTest, AReaderHoldingTheImageLockSeesWholeChanges) {
    Fill(0x2000, 0x2FFF, 0x66, true);
    std::atomic<bool> done{false}, torn{false};
    std::atomic<uint32_t> views{0};
    std::thread window([&] {
        while (!done) {
            std::lock_guard<Programmer::ImageMutex> guard(programmer_.ImageLock());
            const MemoryImage& image = programmer_.Image();
            if (!image.IsEmpty() && image.Lowest() > image.Highest()) torn = true;
            ++views;
        }
    });
    // The read of the information memory, into an image just emptied, waits for a look of the window's.
    adapter_.onCall = [&](const std::string& call) {
        for (uint32_t seen = views; call == "ReadMemory 0x1000 0x100" && views == seen;)
            std::this_thread::yield();
    };
    EXPECT_EQ(RunFlags(kActionVerify | kActionRead | kActionDumpRam), kRunComplete);
    done = true;
    window.join();
    EXPECT_FALSE(torn);
}

TEST_F(ProgrammerTest, LoadAndSaveLogTheirSteps) {
    std::string hex = dir_.File("app.a43");
    testing::WriteFile(hex, ":0400000001020304F2\r\n:00000001FF\r\n");
    EXPECT_TRUE(programmer_.LoadFile(hex, -1));
    EXPECT_EQ(programmer_.Image().FileName(), hex);
    EXPECT_TRUE(programmer_.viewChanged);

    // Never under another name than the one given: a file of that name would be replaced unasked.
    sink_.Clear();
    std::string odd = dir_.File("dump.xyz");
    std::string bin = dir_.File("dump.bin");
    EXPECT_FALSE(programmer_.SaveFile(odd, -1));
    EXPECT_EQ(sink_.Lines(), (Strings{"1 Save failed. Unknown file type \"" + odd +
                                      "\": the extensions written are .hex, .a43, .txt, .bin, .tsk, .dat."}));
    EXPECT_FALSE(std::filesystem::exists(odd));
    EXPECT_FALSE(std::filesystem::exists(bin));

    sink_.Clear();
    EXPECT_TRUE(programmer_.SaveFile(bin, -1));
    EXPECT_EQ(sink_.Lines(), (Strings{"0 Saving Binary file \"" + bin + "\"...", "0 Save complete."}));
    EXPECT_EQ(programmer_.Image().FileName(), bin);
    // Gap removal keeps the whole first block, so the absent bytes after the data are written too.
    EXPECT_EQ(testing::ReadFile(bin), std::string("\x01\x02\x03\x04", 4) + std::string(12, '\xFF'));

    sink_.Clear();
    testing::WriteFile(dir_.File("bad.hex"), ":0400000001020304F3\r\n");
    EXPECT_FALSE(programmer_.LoadFile(dir_.File("bad.hex"), -1));
    EXPECT_EQ(programmer_.Image().UsedSize(), 0u);
    EXPECT_EQ(programmer_.Image().FileName(), "");

    // What lies beyond the address space, or beyond the chosen part's memory, is named.
    sink_.Clear();
    programmer_.deviceIndex = 7;  // MSP430F149, memory up to 0xFFFF
    std::string wide = dir_.File("f5.txt");
    testing::WriteFile(wide, "@FF00\n01\n@24300\n02 03\n@100000\n04\nq\n");
    EXPECT_TRUE(programmer_.LoadFile(wide, -1));
    EXPECT_EQ(
        sink_.Lines(),
        (Strings{"0 Loading TI TXT file \"" + wide + "\"...", "0 Load 82946 bytes.",
                 "0 Warning: 1 byte of the file lies beyond the address space (up to 0xFFFFF), at "
                 "0x100000-0x100000; it is not loaded.",
                 "0 Warning: 2 bytes of the file lie beyond the memory of the MSP430F149 (up to 0xFFFF), at "
                 "0x24300-0x24301."}));

    sink_.Clear();
    programmer_.Image().Clear();
    Fill(0x2000, 0x201F, 0xFF);
    programmer_.Image().SetByte(0x2020, 0x55);
    std::string txt = dir_.File("gaps.txt");
    EXPECT_TRUE(programmer_.SaveFile(txt, -1));
    EXPECT_EQ(sink_.Lines()[0], "0 Remove 32 gap bytes.");
    EXPECT_EQ(testing::ReadFile(txt), "@2020\r\n55 FF\r\nq\r\n");
    EXPECT_FALSE(programmer_.Image().IsModified());
}

// The programmer with the real adapters, where no hardware is.
class ProgrammerWithAdapters : public ::testing::Test {
protected:
    ProgrammerWithAdapters() {
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterNull);
        testing::WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    }
    RunResult RunLine(const std::string& text) {
        sink_.Clear();
        if (!programmer_.StartCommandLine(text.c_str())) return -1;
        return programmer_.WaitForRun();
    }
    std::string File(const std::string& name) { return "\"" + dir_.File(name) + "\""; }

    TempDir dir_;
    RecordingLogSink sink_;
    AdapterSet adapters_;
    Programmer programmer_{adapters_.List()};
};

// The console's runs check the lines of a port that fails and of an output file that cannot be written.
TEST_F(ProgrammerWithAdapters, CommandLineAdapterOptionPortAndOutputFile) {
    adapters_.bsl.portPaths[2] = "/dev/quarzo-no-such-port";
    EXPECT_EQ(RunLine("+b -O " + File("never.txt") + " " + File("file.txt") + " -pi -bsl=com3"),
              kRunActionFailed);
    EXPECT_EQ(programmer_.Kind(), kAdapterBsl);
    EXPECT_EQ(adapters_.bsl.PortIndex(), 2u);
    EXPECT_FALSE(programmer_.includeInfo);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("never.txt")));  // written only after success
    char name[Adapter::kNameSize];
#ifndef _WIN32  // Windows opens COM3 itself (under Wine it may even exist)
    // A device path names the serial port for this run; a COM name afterwards forgets it.
    EXPECT_EQ(RunLine("+e -BSL=/dev/quarzo-no-such-tty"), kRunActionFailed);
    adapters_.bsl.GetName(name);
    EXPECT_STREQ(name, "BSL(/dev/quarzo-no-such-tty)");
    EXPECT_EQ(adapters_.bsl.PortIndex(), 2u);
    EXPECT_EQ(RunLine("+e -BSL=COM3"), kRunActionFailed);
    EXPECT_EQ(adapters_.bsl.devicePath, "");
#endif

    // A load failure or a fault after the adapter option leaves the adapter as it was, but the port index
    // is already stored.
    programmer_.SelectAdapter(kAdapterNull);
    EXPECT_EQ(RunLine("missing.hex -FET=LPT2"), kRunCommandLineRejected);
    EXPECT_EQ(programmer_.Kind(), kAdapterNull);
    EXPECT_EQ(adapters_.fetDll.portIndex, 1u);
    EXPECT_EQ(RunLine("-RAW=LPT3 -x"), kRunCommandLineRejected);
    adapters_.rawJtag.GetName(name);
    EXPECT_STREQ(name, "FET RAW (LPT3)");
}

TEST_F(ProgrammerWithAdapters, SettingsReachTheOptionsAndEachAdapter) {
    SettingsStore settings;
    settings.SetSettingFromVariant(kSetEraseInfo, false);
    settings.SetIntSetting(kSetAutoprogram, 24);
    settings.SetIntSetting(kSetDeviceIndex, 42);
    settings.SetSettingFromVariant(kSetFetTargetVcc, 2.95);
    settings.SetIntSetting(kSetRawCustomAddress, 0x278);
    settings.SetIntSetting(kSetBslPort, 2);
    settings.SetSettingFromVariant(kSetBslRstInvert, true);
    settings.SetIntSetting(kSetAdapter, 7);
    programmer_.includeInfo = true;
    programmer_.ApplySettings(settings);
    EXPECT_FALSE(programmer_.includeInfo);
    EXPECT_EQ(programmer_.autoprogram, 24u);
    EXPECT_EQ(programmer_.deviceIndex, 42);
    EXPECT_EQ(adapters_.fetDll.targetVcc, 2950);
    EXPECT_EQ(adapters_.rawJtag.CustomAddress(), 0x278);
    EXPECT_TRUE(adapters_.bsl.link.Settings().rstInvert);
    EXPECT_EQ(adapters_.bsl.devicePath, "");  // a path named for one run is forgotten
    // Any kind but 0, 1 and 2 is the null adapter.
    EXPECT_EQ(programmer_.Kind(), kAdapterNull);
    char name[Adapter::kNameSize];
    programmer_.CurrentAdapter()->GetName(name);
    EXPECT_STREQ(name, "STUB(NULL)");

    // A command line changes the port for its run; the next application restores the stored one.
    adapters_.bsl.SetPortIndex(5);
    programmer_.ApplySettings(settings);
    EXPECT_EQ(adapters_.bsl.PortIndex(), 2u);

    // Without a FET library (the Windows tests find a fake one beside them) the run names the one sought.
    if (!adapters_.fetDll.IsLibraryLoaded()) {
        programmer_.SelectAdapter(kAdapterFetDll);
        programmer_.Start(kActionErase);
        EXPECT_EQ(programmer_.WaitForRun(), kRunActionFailed);
#ifdef _WIN32
        std::string library = "msp430.dll";
#else
        std::string library = std::getenv("QUARZO_FETLIB") ? std::getenv("QUARZO_FETLIB") : "libmsp430.so";
#endif
        EXPECT_EQ(sink_.Lines().back(), "1 Init failed. " + library + " not found.");
    }
}

}  // namespace
}  // namespace quarzo
