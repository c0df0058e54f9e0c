// The real console program, run as a process with a settings file of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
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
using testing::UnstampedLines;
using testing::WriteFile;

class Console : public ::testing::Test {
protected:
    Outcome Run(const std::string& args) {
        return testing::RunConsole(QUARZO_CLI, dir_.Path().string(), ini_, args);
    }
    std::vector<std::string> Lines(const std::string& out) { return UnstampedLines(out); }

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
    EXPECT_EQ(Lines(o.out),
              (std::vector<std::string>{"Updating the FET's firmware...", "Firmware update complete."}));
    EXPECT_EQ(Run("--update-fet +e").status, 1);
    unsetenv("QUARZO_FETLIB");
}

// The console's own options stand anywhere, each with its value; the rest is the command line, in its
// order. The parameter is where they go among the command line's tokens.
class ConsoleOptionsAt : public Console, public ::testing::WithParamInterface<size_t> {
protected:
    std::string LineWith(const std::string& options) {
        std::vector<std::string> tokens = {"+ebpvf", "file.txt", "-pi", "-o out.txt"};
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
    std::vector<std::string> lines = Lines(o.out.substr(o.out.rfind('\n', o.out.find("Command line:")) + 1));
    EXPECT_EQ(lines[0], "Command line: +ebpvf file.txt -pi -o out.txt");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Blow fuse complete."), lines.end()) << o.out;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out.txt")));

    Outcome help = Run(LineWith("-h"));
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(kCommandLineHelp, 0), 0u);
    Outcome device = RunShell("cd '" + dir_.Path().string() + "' && QUARZO_INI='" + ini_ + "' " + QUARZO_CLI +
                              " " + LineWith("--device MSP430F1") + " 2>&1 >/dev/null");
    EXPECT_EQ(device.status, 1);
    EXPECT_EQ(device.out, "quarzo: unknown device \"MSP430F1\" (--list-devices lists them)\n");
}

INSTANTIATE_TEST_SUITE_P(Console, ConsoleOptionsAt, ::testing::Values(0u, 1u, 2u, 3u, 4u));

TEST_F(Console, AFileAloneLoadsAndRunsNothing) {
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    Outcome o = Run("file.txt");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(Lines(o.out),
              (std::vector<std::string>{"Command line: file.txt", "Loading TI TXT file \"file.txt\"...",
                                        "Load 3 bytes."}));
    EXPECT_FALSE(std::filesystem::exists(ini_));  // nothing asked to save the settings
}

TEST_F(Console, SettingsAreListedChangedForOneRunAndSavedOnlyWhenAsked) {
    WriteFile(ini_, "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");
    Outcome o = Run("--settings");
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("IF_BSL/RST delay = 5\n    Additional reset pulse delay in milliseconds\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(
        o.out.find("IF_BSL/Patch to v1.50 = -1\n    Loadable version of BSL.  All features of BSL V1.60 are "
                   "supported.\n    Require 512b of RAM memory\n"),
        std::string::npos);
    EXPECT_EQ(o.out.find("WinSize"), std::string::npos);  // no description: not the user's to set here

    EXPECT_EQ(o.out.rfind("Settings file: " + ini_ + "\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("Ports/COM8 = /dev/ttyS7\nPorts/LPT1 = /dev/parport0\n"), std::string::npos)
        << o.out;

    o = Run("--set \"rst delay=30\" --set IF_FET/Port=3 --set Ports/COM12=/dev/ttyUSB0 --settings");
    EXPECT_NE(o.out.find("IF_BSL/RST delay = 30\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("IF_FET/Port = 3\n"), std::string::npos);
    EXPECT_NE(o.out.find("Ports/COM8 = /dev/ttyS7\nPorts/COM12 = /dev/ttyUSB0\n"), std::string::npos);
    EXPECT_EQ(ReadFile(ini_), "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");  // a run without --save-settings

    const struct {
        const char* args;
        const char* error;
    } refused[] = {
        {"--set Port=3",
         "quarzo: --set \"Port\" is in several sections: IF_RAW/Port, IF_FET/Port, IF_BSL/Port\n"},
        {"--set \"RST delay=abc\"", "quarzo: --set IF_BSL/RST delay: \"abc\" is not a valid value\n"},
        {"--set Colour=red", "quarzo: --set no setting \"Colour\" (--settings lists them)\n"},
        {"--set", "quarzo: --set needs KEY=VALUE (try --help)\n"},
        // Values that convert but that no adapter can use.
        {"--set \"Target VCC=5\"", "quarzo: --set IF_FET/Target VCC: \"5\" is not within 1.8 to 3.6\n"},
        {"--set IF_BSL/Port=300", "quarzo: --set IF_BSL/Port: \"300\" is not within 0 to 255\n"},
        {"--set IF_RAW/Port=-1", "quarzo: --set IF_RAW/Port: \"-1\" is not within 0 to 3\n"},
        {"--set Ports/COM0=/dev/ttyUSB0",
         "quarzo: --set \"Ports/COM0\": the ports are Ports/COM1 to Ports/COM256 and Ports/LPT1 to "
         "Ports/LPT3, each set to a device\n"},
    };
    for (const auto& r : refused) {
        Outcome bad = RunShell("QUARZO_INI='" + ini_ + "' " + QUARZO_CLI + " " + r.args + " 2>&1 >/dev/null");
        EXPECT_EQ(bad.status, 1) << r.args;
        EXPECT_EQ(bad.out, r.error);
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
    for (const char* args : {"+x", "+pv", "a b", "+e -RAW=LPT9", "+v '\"open'"}) {
        Outcome o = Run(args);
        EXPECT_EQ(o.status, 1) << args;
        EXPECT_EQ(Lines(o.out).size(), 2u) << o.out;
    }
}

TEST_F(Console, NullAdapterRunsTheWholeSequence) {
    WriteFile(ini_, "[Application]\r\nAdapter=3\r\n");
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    Outcome o = Run("+ebpv file.txt");
    EXPECT_EQ(o.status, 0) << o.out;
    auto lines = Lines(o.out);
    EXPECT_EQ(lines[3], "Initialize...");
    EXPECT_EQ(lines.back(), "Verify complete.");
}

TEST_F(Console, OutputFileConvertsForSrecCat) {
    WriteFile(dir_.File("in file.hex"), ":0400000001020304F2\r\n:00000001FF\r\n");
    Outcome o = Run("'in file.hex' -o out.txt");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(dir_.File("out.txt")), "@0000\r\n01 02 03 04\r\nq\r\n");
    std::string check = std::string(SREC_CMP) + " '" + dir_.File("out.txt") + "' -ti-txt '" +
                        dir_.File("in file.hex") + "' -intel";
    EXPECT_EQ(std::system(check.c_str()), 0);
}

TEST_F(Console, AnElfFileConvertsToTiTxtFromItsLoadAddresses) {
    // Code at 0xE000 and data for RAM stored right after it, as a compiler lays them out.
    WriteFile(dir_.File("firmware.elf"), testing::ElfBuilder()
                                             .Add(0xE000, {0x31, 0x40, 0x00, 0x03})
                                             .Add(0xE004, {0x2A, 0x00}, 0x0200, 8)
                                             .Build());
    Outcome o = Run("firmware.elf -o out.txt");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(Lines(o.out)[1], "Loading ELF file \"firmware.elf\"...");
    EXPECT_EQ(ReadFile(dir_.File("out.txt")), "@E000\r\n31 40 00 03 2A 00\r\nq\r\n");

    WriteFile(dir_.File("notes.out"), "not a program");
    o = Run("notes.out -o never.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out).back(), "Load failed. Error: Not an MSP430 ELF file.");
}

// Saving never loses the file that was there, whatever goes wrong, and odd names are names.
TEST_F(Console, OutputFilesFailCleanlyAndOddNamesWork) {
    WriteFile(ini_, "[Application]\r\nAdapter=3\r\n");
    WriteFile(dir_.File("in.hex"), ":0400000001020304F2\r\n:00000001FF\r\n");
    WriteFile(dir_.File("old.txt"), "the old file");

    // A folder that is a file: found before the run.
    Outcome o = Run("+e in.hex -o old.txt/out.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out), (std::vector<std::string>{"Command line: +e in.hex -o old.txt/out.txt",
                                                      "Cannot write \"old.txt/out.txt\": Not a directory"}));

    // A full disk, as a file size limit gives it: the old file stays as it was.
    std::string big;
    for (uint32_t a = 0; a < 0x10000; a += 16) {
        char line[64];
        std::snprintf(line, sizeof line, ":10%04X00000102030405060708090A0B0C0D0E0F%02X\r\n", a,
                      (0x100 - ((16 + (a >> 8) + (a & 0xFF) + 120) & 0xFF)) & 0xFF);
        big += line;
    }
    WriteFile(dir_.File("big.hex"), big + ":00000001FF\r\n");
    o = RunShell("cd '" + dir_.Path().string() + "' && ulimit -f 8 && QUARZO_INI='" + ini_ + "' " +
                 QUARZO_CLI + " big.hex -o old.txt 2>/dev/null");
    EXPECT_EQ(o.status, 4) << o.out;
    EXPECT_EQ(Lines(o.out).back(), "Save failed. I\\O Error.");
    EXPECT_EQ(ReadFile(dir_.File("old.txt")), "the old file");

    // Names with a leading dash (after -o), blanks and non-ASCII characters.
    o = Run("in.hex -o -dash.txt");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(dir_.File("-dash.txt")), "@0000\r\n01 02 03 04\r\nq\r\n");
    o = Run("in.hex -o --dash.txt");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(dir_.File("--dash.txt")), "@0000\r\n01 02 03 04\r\nq\r\n");
    o = Run("in.hex -o 'out file \xC3\xBC.txt'");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(dir_.File("out file \xC3\xBC.txt")), "@0000\r\n01 02 03 04\r\nq\r\n");
    // An input name with a leading dash reads as an option: refused, clearly.
    o = Run("-in.hex -o x.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out).back(), "Unknown options \"-in.hex\"");
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
        std::string command;
        std::string line;
    } cases[] = {
        {QUARZO_CLI " +e -BSL=COM1",
         "Init failed. Could not open port /dev/quarzo-no-such-port: No such file or directory."},
        {QUARZO_CLI " +e -BSL=" + dir_.File("plain"),
         "Init failed. Could not open port " + dir_.File("plain") + ": Inappropriate ioctl for device."},
        {asUser + QUARZO_CLI " +e -BSL=" + dir_.File("guarded"),
         "Init failed. Could not open port " + dir_.File("guarded") +
             ": Permission denied (the user needs to be in the dialout group)."},
    };
    for (const auto& c : cases) {
        Outcome o = RunShell("cd '" + dir_.Path().string() + "' && QUARZO_INI='" + ini_ + "' " + c.command +
                             " </dev/null 2>/dev/null");
        EXPECT_EQ(o.status, 4) << c.command;
        EXPECT_EQ(Lines(o.out).back(), c.line);
    }
}

// Output names: exactly the one given, or a refusal before anything runs.
class OutputNames : public Console, public ::testing::WithParamInterface<const char*> {};

TEST_P(OutputNames, AnExtensionThatIsNotWrittenIsRefusedBeforeTheRun) {
    WriteFile(ini_, "[Application]\r\nAdapter=3\r\n");
    WriteFile(dir_.File("in.hex"), ":0400000001020304F2\r\n:00000001FF\r\n");
    WriteFile(dir_.File("back.bin"), "kept");
    std::string name = GetParam();
    Outcome o = Run("+ebpv in.hex -o " + name);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out), (std::vector<std::string>{
                                "Command line: +ebpv in.hex -o " + name,
                                "Unknown output file type \"" + name +
                                    "\": the extensions written are .hex, .a43, .txt, .bin, .tsk, .dat"}));
    EXPECT_EQ(ReadFile(dir_.File("back.bin")), "kept");
    EXPECT_EQ(dir_.EntryCount(), 3u);  // nothing written under any name
}

INSTANTIATE_TEST_SUITE_P(Console, OutputNames,
                         ::testing::Values("back.srec", "back.s19", "back", "back.elf"));

// A file whose extension says nothing is loaded as what its content is, when the setting allows.
TEST_F(Console, AnUnknownExtensionIsLoadedAsWhatTheContentIs) {
    WriteFile(ini_, "[Application]\r\nAdapter=3\r\n");
    WriteFile(dir_.File("fw.ihex"), ":0411000001020304E1\r\n:00000001FF\r\n");
    WriteFile(dir_.File("fw.ti"), "\r\n@1100\r\n01 02 03 04\r\nq\r\n");
    WriteFile(dir_.File("firmware"), testing::ElfBuilder().Add(0x1100, {0x01, 0x02, 0x03, 0x04}).Build());
    WriteFile(dir_.File("blob.raw"), std::string("\x01\x02", 2));
    const struct {
        const char* file;
        const char* format;
        const char* saved;
    } cases[] = {
        {"fw.ihex", "Intel HEX", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"fw.ti", "TI TXT", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"firmware", "ELF", "@1100\r\n01 02 03 04\r\nq\r\n"},
        {"blob.raw", "Binary", "@0000\r\n01 02\r\nq\r\n"},
    };
    for (const auto& c : cases) {
        Outcome o = Run(std::string(c.file) + " -o out.txt");
        EXPECT_EQ(o.status, 0) << o.out;
        auto lines = Lines(o.out);
        EXPECT_EQ(lines[1] == "Warning: Unknown file type. Load as binary.",
                  std::string(c.format) == "Binary");
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "Loading " + std::string(c.format) + " file \"" + c.file + "\"..."),
                  lines.end())
            << o.out;
        EXPECT_EQ(ReadFile(dir_.File("out.txt")), c.saved) << c.file;
    }
    // With the setting off, the extension alone decides.
    Outcome o = Run("--set \"Autodetect format=0\" fw.ihex -o out.txt");
    EXPECT_EQ(Lines(o.out)[1], "Warning: Unknown file type. Load as binary.");
    EXPECT_EQ(ReadFile(dir_.File("out.txt")).rfind("@0000\r\n3A 30 34 31", 0), 0u);
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
    // A pseudo-terminal whose other end the test holds and never answers: a target without supply.
    std::string DeadPort() {
        dead_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(dead_, 0);
        grantpt(dead_);
        unlockpt(dead_);
        return ptsname(dead_);
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
    auto lines = Lines(o.out);
    EXPECT_EQ(
        lines.back(),
        "The image does not fit the MSP430F2274 (Info 0x1000-0x10FF, Main 0x8000-0xFFFF): 0x1100-0x111D lie "
        "outside. Nothing was changed.");
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Erasing flash memory..."), lines.end()) << o.out;
    EXPECT_EQ(sim_->Stop(), 0);
    MemoryImage kept;  // nothing erased
    ASSERT_GT(FirmwareFile(kept).Load(state, kFormatTiTxt), 0);
    EXPECT_EQ(kept.ValueAt(0x8000), 0x11);
    EXPECT_EQ(kept.ValueAt(0x8001), 0x22);
}

TEST_F(ConsoleAndSim, AReadNeedsAWritableOutputFileBeforeItStarts) {
    std::string pty = Sim("--load '" + blink_ + "'");
    WriteFile(dir_.File("old.txt"), "the old file");
    const struct {
        std::string args;
        std::string line;
    } refused[] = {
        {"+r -BSL=" + pty, "+r needs -o FILE: the console keeps what it reads only in a file"},
        {"+r -o /no/such/dir/out.txt -BSL=" + pty,
         "Cannot write \"/no/such/dir/out.txt\": No such file or directory"},
    };
    for (const auto& r : refused) {
        Outcome o = Run(r.args);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(Lines(o.out), (std::vector<std::string>{"Command line: " + r.args, r.line}));
    }
    // A failed run leaves the file that was there; a good one replaces it.
    Outcome failed = Run("+r -o old.txt -BSL=/dev/quarzo-no-such-port");
    EXPECT_EQ(failed.status, 4);
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
    EXPECT_EQ(Lines(second.out).back(),
              "Init failed. Could not open port " + pty + ": port in use (another program has it open).");
    EXPECT_TRUE(first->Running());
    // Stopped here to save the test the rest of a paced read; it was not disturbed.
    first->Signal(SIGINT);
    Outcome o = first->Wait();
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("failed"), std::string::npos) << o.out;
    EXPECT_EQ(Lines(o.out).back(), "Break current operation...");
}

TEST_F(ConsoleAndSim, ALoaderThatNeverAnswersStopsTheRunAtInitialize) {
    std::string port = DeadPort();
    Outcome o = Run("+ebpv '" + blink_ + "' -BSL=" + port);
    EXPECT_EQ(o.status, 4);
    auto lines = Lines(o.out);
    EXPECT_EQ(lines.size(), 5u) << o.out;
    EXPECT_EQ(lines.back(), "Init failed. No answer from the loader on " + port +
                                ": check the wiring and the supply, or try --detect.");
}

TEST_F(ConsoleAndSim, ALockedChipSaysWhatOpensIt) {
    std::string pty = Sim("--load '" + blink_ + "'");
    Outcome o = Run("+r -o out.txt -BSL=" + pty);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(Lines(o.out).back(),
              "Read failed. Protected function. Password not match: the chip opens with the firmware file it "
              "holds (its interrupt vectors are the password), or after an erase.");
    EXPECT_EQ(Run("+r '" + blink_ + "' -o out.txt -BSL=" + pty).status, 0);
}

TEST_F(ConsoleAndSim, TheFuseIsNotAskedAboutWhereTheAdapterCannotBlowIt) {
    std::string pty = Sim("");
    for (const char* yes : {"", " --yes"}) {
        Outcome o = Run("+f -BSL=" + pty + yes);
        EXPECT_EQ(o.status, 4);
        EXPECT_EQ(Lines(o.out), (std::vector<std::string>{
                                    "Command line: +f -BSL=" + pty,
                                    "Blow fuse failed. The adapter BSL(" + pty + ") cannot blow the fuse."}));
    }
}

TEST_F(ConsoleAndSim, AStoppedVerifyListsNoRanges) {
    std::string image = "@1100\r\n";
    for (int i = 0; i < 0xEF00; ++i) image += i % 16 == 15 ? "00\r\n" : "00 ";
    WriteFile(dir_.File("zeros.txt"), image + "q\r\n");
    std::string pty = Sim("--pace");
    auto run = Start("+v zeros.txt -BSL=" + pty);
    ASSERT_NE(run->ReadUntil("Verifying").find("Verifying"), std::string::npos);
    // Several blocks have been compared, and differ, before the stop.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(run->Running());
    run->Signal(SIGINT);
    Outcome o = run->Wait();
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("Differs at"), std::string::npos) << o.out;
    EXPECT_EQ(Lines(o.out).back(), "Break current operation...");
}

TEST_F(ConsoleAndSim, EachLineReachesAPipeAsItHappens) {
    // Every wiring is tried in turn on a port that never answers: half a minute in all.
    auto detect = Start("--detect -BSL=" + DeadPort());
    std::string out = detect->ReadUntil("RST invert off, TST invert off, RST delay 0 ms: no answer");
    EXPECT_NE(out.find("no answer"), std::string::npos) << out;
    EXPECT_TRUE(detect->Running());
    detect->Signal(SIGINT);
    detect->Wait();
}

TEST_F(ConsoleAndSim, SavedSettingsKeepTheAdapterAndThePortOfTheCommandLine) {
    std::string pty = Sim("");
    Outcome o = Run("--detect --save-settings -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    std::string saved = ReadFile(ini_);
    EXPECT_NE(saved.find("Adapter=2\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Ports]\r\nCOM9=" + pty + "\r\n"), std::string::npos) << saved;
    // The next run needs no adapter option.
    o = Run("+ebpv '" + blink_ + "'");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(Lines(o.out).back(), "Verify complete.");
    EXPECT_NE(saved.find("[IF_BSL]\r\nPort=8\r\n"), std::string::npos) << saved;
    // A device that a port name already stands for is kept as that name.
    o = Run("--save-settings +v '" + blink_ + "' -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(ini_).find("COM10="), std::string::npos) << ReadFile(ini_);
}

TEST_F(ConsoleAndSim, ALinkIsNeverMadeOverAPathThatExists) {
    WriteFile(dir_.File("mine"), "mine");
    Outcome o = RunShell("timeout 10 " + std::string(QUARZO_SIM) + " --link '" + dir_.File("mine") +
                         "' 2>&1 </dev/null");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "quarzo-sim: cannot link \"" + dir_.File("mine") +
                         "\": it exists; remove it first or choose another path\n");
    EXPECT_EQ(ReadFile(dir_.File("mine")), "mine");
    // Nor over another simulator's link, which keeps working.
    std::string link = dir_.File("tty");
    std::string pty = Sim("--link '" + link + "'");
    o = RunShell("timeout 10 " + std::string(QUARZO_SIM) + " --link '" + link + "' 2>/dev/null </dev/null");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);
}

// The command examples of a document: the lines of the README's shell blocks that start with
// quarzo, or the bold lines of a manual page's EXAMPLES section, as a reader would type them.
std::vector<std::string> Examples(const std::string& document) {
    std::string text = ReadFile(std::string(QUARZO_SOURCE_DIR) + "/" + document);
    std::vector<std::string> commands;
    bool manual = document.find(".1") != std::string::npos, inside = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (manual) {
            if (line.rfind(".SH", 0) == 0) inside = line == ".SH EXAMPLES";
            if (!inside || line.rfind(".B ", 0) != 0) continue;
            line = line.substr(3);
            for (size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
            commands.push_back(line);
        } else {
            if (line.rfind("```", 0) == 0) inside = line == "```sh";
            if (inside && line.rfind("quarzo", 0) == 0) commands.push_back(line);
        }
    }
    return commands;
}

// Every example of the README and the manual pages runs as printed, in a folder with the files they
// name, against quarzo-sim: the serial and parallel devices they name are its link and its cable,
// COM1 stands for it, and the FET library is the fake one.
TEST_F(ConsoleAndSim, EveryExampleOfTheDocumentsRuns) {
    std::string link = dir_.File("ttyUSB0"), cable = dir_.File("parport0");
    Sim("--link '" + link + "' --lpt '" + cable + "'");
    std::filesystem::copy_file(blink_, dir_.File("blink.txt"));
    std::filesystem::copy_file(std::string(QUARZO_SOURCE_DIR) + "/examples/blink-f2274.txt",
                               dir_.File("blink-f2274.txt"));
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
