// The real console program, run as a process with a settings file of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <sstream>
#include <thread>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "core/memory_image.h"
#include "engine/command_line.h"
#include "quarzo_version.h"
#include "support/elf_builder.h"
#include "support/process.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::Outcome;
using testing::ReadFile;
using testing::RunShell;
using testing::TempDir;
using testing::WriteFile;
using Strings = std::vector<std::string>;

const char kHex[] = ":0400000001020304F2\r\n:00000001FF\r\n";
const char kHexSaved[] = "@0000\r\n01 02 03 04\r\nq\r\n";

class Console : public ::testing::Test {
protected:
    Outcome Run(const std::string& args) {
        return testing::RunConsole(QUARZO_CLI, dir_.Path().string(), ini_, args);
    }
    // The console run in the test's folder after the shell's own words (prefix), stdout dropped: its
    // exit status and what it wrote to stderr.
    Outcome Errors(const std::string& args, const std::string& prefix = "") {
        return RunShell("cd '" + dir_.Path().string() + "' && " + prefix + " QUARZO_INI='" + ini_ + "' " +
                        QUARZO_CLI + " " + args + " 2>&1 >/dev/null </dev/null");
    }
    Strings Lines(const std::string& out) { return testing::UnstampedLines(out); }
    std::string Last(const Outcome& o) { return Lines(o.out).empty() ? "" : Lines(o.out).back(); }

    TempDir dir_;
    std::string ini_ = dir_.File("quarzo.ini");
};

TEST_F(Console, HelpVersionAndDevices) {
    std::string help = Run("--help").out;
    EXPECT_EQ(help.rfind(kCommandLineHelp, 0), 0u);  // the window's help first
    for (const char* part : {"--set KEY=VALUE", "--save-settings", "--detect", "--yes", "--list-devices",
                             "-BSL=/dev/ttyUSB0", "dialout", "COM256", "Exit status:"}) {
        EXPECT_NE(help.find(part), std::string::npos) << part;
    }
    EXPECT_NE(help.find("Settings file: " + ini_), std::string::npos) << help;
    Outcome none = Run("");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, help);
    EXPECT_EQ(Run("--version").out, "quarzo " QUARZO_VERSION_TEXT "\n");
    Outcome devices = Run("--list-devices");
    EXPECT_EQ(std::count(devices.out.begin(), devices.out.end(), '\n'), 58);
    EXPECT_NE(devices.out.find(" 7  MSP430F149               60KB+256B Flash, 2KB RAM\n"), std::string::npos);
}

// The FET's firmware is updated by its own option only, through the stored port or the one named.
TEST_F(Console, TheFetFirmwareIsUpdatedOnlyByItsOption) {
    setenv("QUARZO_FETLIB", FAKE_FET_CURRENT, 1);
    Outcome o = Run("--update-fet -FET=TIUSB");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(Lines(o.out), (Strings{"Updating the FET's firmware...", "Firmware update complete."}));
    EXPECT_EQ(Run("--update-fet +e").status, 1);
    unsetenv("QUARZO_FETLIB");
}

// The console's own options stand anywhere, each with its value; the rest is the command line, in its
// order. The parameter is where they go among the command line's tokens.
class ConsoleOptionsAt : public Console, public ::testing::WithParamInterface<size_t> {
protected:
    std::string LineWith(const std::string& options) {
        Strings tokens = {"+ebpvf", "file.txt", "-pi", "-o out.txt"};
        tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(GetParam()), options);
        std::string line;
        for (const std::string& token : tokens) line += (line.empty() ? "" : " ") + token;
        return line;
    }
};

TEST_P(ConsoleOptionsAt, AreTakenWithTheirValues) {
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    Outcome o = Run(LineWith("--set Adapter=3 --yes --settings"));
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("Application/Adapter = 3\n"), std::string::npos) << o.out;
    // The run's log follows the settings listing.
    Strings lines = Lines(o.out.substr(o.out.rfind('\n', o.out.find("Command line:")) + 1));
    EXPECT_EQ(lines[0], "Command line: +ebpvf file.txt -pi -o out.txt");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Blow fuse complete."), lines.end()) << o.out;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out.txt")));

    Outcome help = Run(LineWith("-h"));
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(kCommandLineHelp, 0), 0u);
    Outcome device = Errors(LineWith("--device MSP430F1"));
    EXPECT_EQ(device.status, 1);
    EXPECT_EQ(device.out, "quarzo: unknown device \"MSP430F1\" (--list-devices lists them)\n");
}

INSTANTIATE_TEST_SUITE_P(Console, ConsoleOptionsAt, ::testing::Values(0u, 1u, 2u, 3u, 4u));

TEST_F(Console, SettingsAreListedChangedForOneRunAndSavedOnlyWhenAsked) {
    WriteFile(ini_, "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");
    Outcome o = Run("--settings");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("Settings file: " + ini_ + "\n", 0), 0u) << o.out;
    for (const char* listed : {"IF_BSL/RST delay = 5\n    Additional reset pulse delay in milliseconds\n",
                               "IF_BSL/Patch to v1.50 = -1\n    Loadable version of BSL.  All features of "
                               "BSL V1.60 are supported.\n"
                               "    Require 512b of RAM memory\n",
                               "Ports/COM8 = /dev/ttyS7\nPorts/LPT1 = /dev/parport0\n"}) {
        EXPECT_NE(o.out.find(listed), std::string::npos) << listed;
    }
    EXPECT_EQ(o.out.find("WinSize"), std::string::npos);  // not the user's to set here

    o = Run("--set \"rst delay=30\" --set IF_FET/Port=3 --set Ports/COM12=/dev/ttyUSB0 --settings");
    for (const char* listed : {"IF_BSL/RST delay = 30\n", "IF_FET/Port = 3\n",
                               "Ports/COM8 = /dev/ttyS7\nPorts/COM12 = /dev/ttyUSB0\n"}) {
        EXPECT_NE(o.out.find(listed), std::string::npos) << listed;
    }
    EXPECT_EQ(ReadFile(ini_), "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");  // a run without --save-settings

    const std::pair<const char*, const char*> refused[] = {
        {"--set Port=3", "\"Port\" is in several sections: IF_RAW/Port, IF_FET/Port, IF_BSL/Port"},
        {"--set \"RST delay=abc\"", "IF_BSL/RST delay: \"abc\" is not a valid value"},
        {"--set Colour=red", "no setting \"Colour\" (--settings lists them)"},
        {"--set", "needs KEY=VALUE (try --help)"},
        // Values that convert but that no adapter can use.
        {"--set \"Target VCC=5\"", "IF_FET/Target VCC: \"5\" is not within 1.8 to 3.6"},
        {"--set IF_BSL/Port=300", "IF_BSL/Port: \"300\" is not within 0 to 255"},
        {"--set IF_RAW/Port=-1", "IF_RAW/Port: \"-1\" is not within 0 to 3"},
        {"--set Ports/COM0=/dev/ttyUSB0",
         "\"Ports/COM0\": the ports are Ports/COM1 to Ports/COM256 and Ports/LPT1 to Ports/LPT3, each set to "
         "a device"},
    };
    for (const auto& [args, error] : refused) {
        Outcome bad = Errors(args);
        EXPECT_EQ(bad.status, 1) << args;
        EXPECT_EQ(bad.out, std::string("quarzo: --set ") + error + "\n");
    }

    o = Run("--set \"IF_BSL/RST invert=True\" --set Ports/com12=/dev/ttyUSB0 --save-settings");
    EXPECT_EQ(o.status, 0);
    std::string saved = ReadFile(ini_);
    EXPECT_EQ(saved.rfind("; mine\r\n[IF_BSL]\r\nRST delay=5\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("RST invert=-1\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Ports]\r\nCOM12=/dev/ttyUSB0\r\n"), std::string::npos) << saved;

    // A value out of range in the file, written by hand, leaves the default.
    WriteFile(ini_, "[IF_FET]\r\nTarget VCC=5\r\n");
    EXPECT_NE(Run("--settings").out.find("IF_FET/Target VCC = 3.2\n"), std::string::npos);
}

TEST_F(Console, RejectionsExitWithOne) {
    for (const char* args : {"+x", "+pv", "a b", "+e -RAW=LPT9", "+v '\"open'", "-in.hex -o x.txt"}) {
        Outcome o = Run(args);
        EXPECT_EQ(o.status, 1) << args;
        EXPECT_EQ(Lines(o.out).size(), 2u) << o.out;
    }
}

// Each file is loaded as what it is (by its extension, or by its content where the extension says
// nothing) and saved as TI TXT from its load addresses; a file alone runs nothing and saves no settings.
TEST_F(Console, FilesConvertToTiTxt) {
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    Outcome alone = Run("file.txt");
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(Lines(alone.out),
              (Strings{"Command line: file.txt", "Loading TI TXT file \"file.txt\"...", "Load 3 bytes."}));
    EXPECT_FALSE(std::filesystem::exists(ini_));

    WriteFile(dir_.File("in file.hex"), kHex);
    WriteFile(dir_.File("fw.ihex"), ":0411000001020304E1\r\n:00000001FF\r\n");
    WriteFile(dir_.File("fw.ti"), "\r\n@1100\r\n01 02 03 04\r\nq\r\n");
    WriteFile(dir_.File("firmware"), testing::ElfBuilder().Add(0x1100, {0x01, 0x02, 0x03, 0x04}).Build());
    // Code at 0xE000 and data for RAM stored right after it, as a compiler lays them out.
    WriteFile(dir_.File("firmware.elf"), testing::ElfBuilder()
                                             .Add(0xE000, {0x31, 0x40, 0x00, 0x03})
                                             .Add(0xE004, {0x2A, 0x00}, 0x0200, 8)
                                             .Build());
    WriteFile(dir_.File("blob.raw"), std::string("\x01\x02", 2));
    const struct {
        const char* file;
        const char* format;
        const char* saved;
    } cases[] = {
        {"'in file.hex'", "Intel HEX", kHexSaved},
        {"fw.ihex", "Intel HEX", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"fw.ti", "TI TXT", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"firmware", "ELF", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"firmware.elf", "ELF", "@E000\r\n31 40 00 03 2A 00\r\nq\r\n"},
        {"blob.raw", "Binary", "@0000\r\n01 02\r\nq\r\n"},
    };
    for (const auto& c : cases) {
        Outcome o = Run(std::string(c.file) + " -o out.txt");
        EXPECT_EQ(o.status, 0) << o.out;
        Strings lines = Lines(o.out);
        std::string name = c.file[0] == '\'' ? "in file.hex" : c.file;
        EXPECT_EQ(lines[1] == "Warning: Unknown file type. Load as binary.",
                  std::string(c.format) == "Binary");
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "Loading " + std::string(c.format) + " file \"" + name + "\"..."),
                  lines.end())
            << o.out;
        EXPECT_EQ(ReadFile(dir_.File("out.txt")), c.saved) << c.file;
    }
    // An independent reader agrees.
    EXPECT_EQ(RunShell(std::string(SREC_CMP) + " '" + dir_.File("out.txt") + "' -ti-txt '" +
                       dir_.File("blob.raw") + "' -binary")
                  .status,
              0);
    // With the setting off, the extension alone decides.
    Outcome o = Run("--set \"Autodetect format=0\" fw.ihex -o out.txt");
    EXPECT_EQ(Lines(o.out)[1], "Warning: Unknown file type. Load as binary.");
    EXPECT_EQ(ReadFile(dir_.File("out.txt")).rfind("@0000\r\n3A 30 34 31", 0), 0u);
    WriteFile(dir_.File("notes.out"), "not a program");
    o = Run("notes.out -o never.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Last(o), "Load failed. Error: Not an MSP430 ELF file.");
}

// Output names: exactly the one given, or a refusal before anything runs; saving never loses the file
// that was there, whatever goes wrong.
TEST_F(Console, OutputFilesFailCleanlyAndOddNamesWork) {
    WriteFile(ini_, "[Application]\r\nAdapter=3\r\n");
    WriteFile(dir_.File("in.hex"), kHex);
    WriteFile(dir_.File("old.txt"), "the old file");
    for (std::string name : {"back.srec", "back", "back.elf"}) {
        Outcome o = Run("+ebpv in.hex -o " + name);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(Last(o), "Unknown output file type \"" + name +
                               "\": the extensions written are .hex, .a43, .txt, .bin, .tsk, .dat");
    }
    // A folder that is a file: found before the run.
    Outcome o = Run("+e in.hex -o old.txt/out.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out), (Strings{"Command line: +e in.hex -o old.txt/out.txt",
                                     "Cannot write \"old.txt/out.txt\": Not a directory"}));
    EXPECT_EQ(dir_.EntryCount(), 3u);  // nothing written under any name

    // A full disk, as a file size limit gives it: the old file stays as it was.
    WriteFile(dir_.File("big.bin"), std::string(0x8000, 'U'));
    o = RunShell("cd '" + dir_.Path().string() + "' && ulimit -f 8 && QUARZO_INI='" + ini_ + "' " +
                 QUARZO_CLI + " big.bin -o old.txt 2>/dev/null");
    EXPECT_EQ(o.status, 4) << o.out;
    EXPECT_EQ(Last(o), "Save failed. I\\O Error.");
    EXPECT_EQ(ReadFile(dir_.File("old.txt")), "the old file");

    // Names with a leading dash (after -o), blanks and non-ASCII characters.
    for (std::string name : {"-dash.txt", "--dash.txt", "out file \xC3\xBC.txt"}) {
        o = Run("in.hex -o '" + name + "'");
        EXPECT_EQ(o.status, 0) << o.out;
        EXPECT_EQ(ReadFile(dir_.File(name)), kHexSaved);
    }
}

// A port that cannot be opened is named with the system's reason, and what helps where that is known.
TEST_F(Console, APortThatCannotBeOpenedSaysWhichAndWhy) {
    WriteFile(dir_.File("plain"), "");
    WriteFile(dir_.File("guarded"), "");
    std::filesystem::permissions(dir_.File("guarded"), std::filesystem::perms::owner_read);
    std::filesystem::permissions(dir_.Path(), std::filesystem::perms::all);
    WriteFile(ini_, "[Ports]\r\nCOM1=/dev/quarzo-no-such-port\r\n");
    // Root may open anything: the permission case then runs as nobody.
    std::string asUser = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    const struct {
        std::string command, line;
    } cases[] = {
        {QUARZO_CLI " +e -BSL=COM1", "/dev/quarzo-no-such-port: No such file or directory."},
        {QUARZO_CLI " +e -BSL=" + dir_.File("plain"),
         dir_.File("plain") + ": Inappropriate ioctl for device."},
        {asUser + QUARZO_CLI " +e -BSL=" + dir_.File("guarded"),
         dir_.File("guarded") + ": Permission denied (the user needs to be in the dialout group)."},
    };
    for (const auto& c : cases) {
        Outcome o = RunShell("cd '" + dir_.Path().string() + "' && QUARZO_INI='" + ini_ + "' " + c.command +
                             " </dev/null 2>/dev/null");
        EXPECT_EQ(o.status, 4) << c.command;
        EXPECT_EQ(Last(o), "Init failed. Could not open port " + c.line);
    }
}

// The console against quarzo-sim on a pseudo-terminal, and against ports nobody answers on.
class ConsoleAndSim : public Console {
protected:
    std::string Sim(const std::string& args) {
        sim_ = std::make_unique<testing::SimProcess>(QUARZO_SIM, args, dir_.File("sim.out"));
        EXPECT_FALSE(sim_->DevicePath().empty());
        return sim_->DevicePath();
    }
    // The console program beside the test, its output read as it comes.
    std::unique_ptr<testing::Child> Start(const std::string& args) {
        return std::make_unique<testing::Child>("cd '" + dir_.Path().string() + "' && QUARZO_INI='" + ini_ +
                                                "' exec " + QUARZO_CLI + " " + args +
                                                " </dev/null 2>/dev/null");
    }
    // Stops a run once it logged text, after a moment more; what it wrote.
    Outcome StopAfter(testing::Child& run, const std::string& text, int ms) {
        EXPECT_NE(run.ReadUntil(text).find(text), std::string::npos);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        EXPECT_TRUE(run.Running());
        run.Signal(SIGINT);
        return run.Wait();
    }
    void TearDown() override {
        if (dead_ >= 0) close(dead_);
    }

    std::unique_ptr<testing::SimProcess> sim_;
    int dead_ = -1;
    std::string blink_ = std::string(QUARZO_SOURCE_DIR) + "/examples/blink.txt";
};

TEST_F(ConsoleAndSim, AnImageOutsideThePartsMemoryIsRefusedBeforeTheErase) {
    // The program in the chip has the same vectors, so that the loader opens with the image's password
    // (a loader of this version erases the chip on a wrong one).
    std::string vectors = "@FFE0\r\n";
    for (int i = 0; i < 15; ++i) vectors += "1C 11 ";
    WriteFile(dir_.File("kept.txt"), "@8000\r\n11 22\r\n" + vectors + "00 11\r\nq\r\n");
    std::string state = dir_.File("state.txt");
    std::string pty = Sim("--device MSP430F2274 --bsl-version 2.02 --load '" + dir_.File("kept.txt") +
                          "' --state '" + state + "'");
    Outcome o = Run("+ebpv '" + blink_ + "' -BSL=" + pty);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(
        Last(o),
        "The image does not fit the MSP430F2274 (Info 0x1000-0x10FF, Main 0x8000-0xFFFF): 0x1100-0x111D lie "
        "outside. Nothing was changed.");
    EXPECT_EQ(o.out.find("Erasing flash memory..."), std::string::npos) << o.out;
    EXPECT_EQ(sim_->Stop(), 0);
    MemoryImage kept;  // nothing erased
    ASSERT_GT(FirmwareFile(kept).Load(state, kFormatTiTxt), 0);
    EXPECT_EQ(kept.ValueAt(0x8000), 0x11);
    EXPECT_EQ(kept.ValueAt(0x8001), 0x22);
}

// A read needs a file it can write before it starts, and a locked chip says what opens it; a failed
// run leaves the file that was there, a good one replaces it.
TEST_F(ConsoleAndSim, AReadOfALockedChipKeepsTheFileUntilItSucceeds) {
    std::string pty = Sim("--load '" + blink_ + "'");
    WriteFile(dir_.File("old.txt"), "the old file");
    const std::pair<std::string, std::string> refused[] = {
        {"+r -BSL=" + pty, "+r needs -o FILE: the console keeps what it reads only in a file"},
        {"+r -o /no/such/dir/out.txt -BSL=" + pty,
         "Cannot write \"/no/such/dir/out.txt\": No such file or directory"},
    };
    for (const auto& [args, line] : refused) {
        Outcome o = Run(args);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(Lines(o.out), (Strings{"Command line: " + args, line}));
    }
    Outcome locked = Run("+r -o old.txt -BSL=" + pty);
    EXPECT_EQ(locked.status, 4);
    EXPECT_EQ(Last(locked),
              "Read failed. Protected function. Password not match: the chip opens with the firmware file it "
              "holds (its interrupt vectors are the password), or after an erase.");
    EXPECT_EQ(ReadFile(dir_.File("old.txt")), "the old file");
    Outcome read = Run("+r '" + blink_ + "' -o old.txt -BSL=" + pty);
    EXPECT_EQ(read.status, 0) << read.out;
    EXPECT_EQ(ReadFile(dir_.File("old.txt")).rfind("@1100\r\n31 40 00 0A", 0), 0u);
}

TEST_F(ConsoleAndSim, ASecondProgramFindsThePortInUseAndTheFirstGoesOn) {
    std::string pty = Sim("--pace");
    auto first = Start("+r -o first.txt -BSL=" + pty);
    ASSERT_NE(first->ReadUntil("Reading device memory..").find("Reading device memory.."), std::string::npos);
    Outcome second = Run("+e -BSL=" + pty);
    EXPECT_EQ(second.status, 4);
    EXPECT_EQ(Last(second),
              "Init failed. Could not open port " + pty + ": port in use (another program has it open).");
    // Stopped here to save the test the rest of a paced read; it was not disturbed.
    Outcome o = StopAfter(*first, "Reading device memory..", 0);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("failed"), std::string::npos) << o.out;
    EXPECT_EQ(Last(o), "Break current operation...");
}

// A port nobody answers on: the run stops at Initialize; --detect tries every wiring in turn (half a
// minute in all), each line reaching a pipe as it happens.
TEST_F(ConsoleAndSim, ALoaderThatNeverAnswers) {
    dead_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(dead_, 0);
    grantpt(dead_);
    unlockpt(dead_);
    std::string port = ptsname(dead_);
    Outcome o = Run("+ebpv '" + blink_ + "' -BSL=" + port);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(Lines(o.out).size(), 5u) << o.out;
    EXPECT_EQ(Last(o), "Init failed. No answer from the loader on " + port +
                           ": check the wiring and the supply, or try --detect.");
    auto detect = Start("--detect -BSL=" + port);
    StopAfter(*detect, "RST invert off, TST invert off, RST delay 0 ms: no answer", 0);
}

// The fuse is blown only where the adapter can, and without a terminal only with --yes.
TEST_F(ConsoleAndSim, TheFuseIsBlownOnlyWhereItCanBeAndWhenAsked) {
    Outcome cancelled = Run("--set Adapter=3 +f");
    EXPECT_EQ(cancelled.status, 4);
    EXPECT_EQ(Last(cancelled), "Operation canceled by user");
    std::string pty = Sim("");
    for (const char* yes : {"", " --yes"}) {
        Outcome o = Run("+f -BSL=" + pty + yes);
        EXPECT_EQ(o.status, 4);
        EXPECT_EQ(Lines(o.out),
                  (Strings{"Command line: +f -BSL=" + pty,
                           "Blow fuse failed. The adapter BSL(" + pty + ") cannot blow the fuse."}));
    }
}

TEST_F(ConsoleAndSim, AStoppedVerifyListsNoRanges) {
    std::string image = "@1100\r\n";
    for (int i = 0; i < 0xEF00; ++i) image += i % 16 == 15 ? "00\r\n" : "00 ";
    WriteFile(dir_.File("zeros.txt"), image + "q\r\n");
    std::string pty = Sim("--pace");
    auto run = Start("+v zeros.txt -BSL=" + pty);
    // Several blocks have been compared, and differ, before the stop.
    Outcome o = StopAfter(*run, "Verifying", 1500);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("Differs at"), std::string::npos) << o.out;
    EXPECT_EQ(Last(o), "Break current operation...");
}

TEST_F(ConsoleAndSim, SavedSettingsKeepTheAdapterAndThePortOfTheCommandLine) {
    std::string pty = Sim("");
    Outcome o = Run("--detect --save-settings -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    std::string saved = ReadFile(ini_);
    for (const std::string& part :
         Strings{"Adapter=2\r\n", "[IF_BSL]\r\nPort=8\r\n", "[Ports]\r\nCOM9=" + pty + "\r\n"}) {
        EXPECT_NE(saved.find(part), std::string::npos) << part << saved;
    }
    // The next run needs no adapter option.
    o = Run("+ebpv '" + blink_ + "'");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(Last(o), "Verify complete.");
    // A device that a port name already stands for is kept as that name.
    o = Run("--save-settings +v '" + blink_ + "' -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(ini_).find("COM10="), std::string::npos) << ReadFile(ini_);
    // A failed run saves nothing.
    o = Run("--save-settings --set \"RST delay=7\" +e -BSL=/dev/quarzo-no-such-port");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(ReadFile(ini_).find("RST delay=7"), std::string::npos);
}

TEST_F(ConsoleAndSim, ALinkIsNeverMadeOverAPathThatExists) {
    WriteFile(dir_.File("mine"), "mine");
    std::string sim = "timeout 10 " + std::string(QUARZO_SIM) + " --link '";
    Outcome o = RunShell(sim + dir_.File("mine") + "' 2>&1 </dev/null");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "quarzo-sim: cannot link \"" + dir_.File("mine") +
                         "\": it exists; remove it first or choose another path\n");
    EXPECT_EQ(ReadFile(dir_.File("mine")), "mine");
    // Nor over another simulator's link, which keeps working.
    std::string link = dir_.File("tty");
    std::string pty = Sim("--link '" + link + "'");
    EXPECT_EQ(RunShell(sim + link + "' 2>/dev/null </dev/null").status, 1);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);
}

// The command examples of a document: the lines of the README's shell blocks that start with quarzo,
// or the bold lines of a manual page's EXAMPLES section, as a reader would type them.
Strings Examples(const std::string& document) {
    std::istringstream lines(ReadFile(std::string(QUARZO_SOURCE_DIR) + "/" + document));
    Strings commands;
    bool manual = document.find(".1") != std::string::npos, inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(manual ? ".SH" : "```", 0) == 0) inside = line == (manual ? ".SH EXAMPLES" : "```sh");
        if (!inside || line.rfind(manual ? ".B " : "quarzo", 0) != 0) continue;
        if (manual) line = line.substr(3);
        for (size_t at; manual && (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
        commands.push_back(line);
    }
    return commands;
}

// Every example of the README and the manual pages runs as printed, in a folder with the files they
// name, against quarzo-sim: the serial and parallel devices they name are its link and its cable,
// COM1 stands for it, and the FET library is the fake one.
TEST_F(ConsoleAndSim, EveryExampleOfTheDocumentsRuns) {
    std::string link = dir_.File("ttyUSB0"), cable = dir_.File("parport0");
    Sim("--link '" + link + "' --lpt '" + cable + "'");
    for (const char* example : {"blink.txt", "blink-f2274.txt"}) {
        std::filesystem::copy_file(std::string(QUARZO_SOURCE_DIR) + "/examples/" + example,
                                   dir_.File(example));
    }
    // The blinking program as a compiler would give it.
    std::vector<uint8_t> code = {0x31, 0x40, 0x00, 0x0A, 0xB2, 0x40, 0x80, 0x5A, 0x20, 0x01,
                                 0xD2, 0xD3, 0x22, 0x00, 0xD2, 0xE3, 0x21, 0x00, 0x3F, 0x40,
                                 0x50, 0xC3, 0x1F, 0x83, 0xFE, 0x23, 0xF9, 0x3F, 0x00, 0x13};
    std::vector<uint8_t> vectors;
    for (int i = 0; i < 15; ++i) vectors.insert(vectors.end(), {0x1C, 0x11});
    vectors.insert(vectors.end(), {0x00, 0x11});
    WriteFile(dir_.File("firmware.elf"),
              testing::ElfBuilder().Add(0x1100, code).Add(0xFFE0, vectors).Build());
    ASSERT_EQ(Run("--set Adapter=3 firmware.elf -o firmware.hex").status, 0);
    Outcome same = RunShell(std::string(SREC_CMP) + " '" + dir_.File("firmware.hex") + "' -intel '" + blink_ +
                            "' -ti-txt");
    ASSERT_EQ(same.status, 0) << same.out;
    std::string bin = std::filesystem::path(QUARZO_CLI).parent_path().string();
    std::string sim = std::filesystem::path(QUARZO_SIM).parent_path().string();
    const std::string environment = "cd '" + dir_.Path().string() + "' && export PATH='" + bin + ":" + sim +
                                    ":'\"$PATH\" QUARZO_INI='" + ini_ + "' QUARZO_FETLIB='" + FAKE_FET + "'";
    size_t count = 0;
    for (const char* document : {"README.md", "doc/quarzo.1", "doc/quarzo-sim.1"}) {
        WriteFile(ini_, "[Ports]\r\nCOM1=" + link + "\r\n");
        std::string script = environment + "\ntrap 'kill $(jobs -p) 2>/dev/null || true' EXIT\nset -e\n";
        for (std::string command : Examples(document)) {
            for (const auto& [printed, here] : {std::pair<std::string, std::string>{"/dev/ttyUSB0", link},
                                                {"/dev/parport0", cable},
                                                {"/tmp/cable", dir_.File("cable")}}) {
                for (size_t at; (at = command.find(printed)) != std::string::npos;)
                    command.replace(at, printed.size(), here);
            }
            std::string shown = command;
            for (size_t at = 0; (at = shown.find('\'', at)) != std::string::npos; at += 4)
                shown.replace(at, 1, "'\\''");
            script += "echo '$ " + shown + "'\n" + command + " </dev/null\n";
            ++count;
        }
        WriteFile(dir_.File("examples.sh"), script + "echo all ran\n");
        Outcome o = RunShell("bash '" + dir_.File("examples.sh") + "' 2>&1");
        EXPECT_EQ(o.status, 0) << document << ":\n" << o.out;
        EXPECT_NE(o.out.find("all ran"), std::string::npos) << document << ":\n" << o.out;
    }
    EXPECT_EQ(count, 16u);
}

}  // namespace
}  // namespace quarzo
