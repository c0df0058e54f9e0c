// The real console program, run as a process with a settings file of its own.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/command_line.h"
#include "quarzo_version.h"
#include "support/elf_builder.h"
#include "support/process.h"
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

    o = Run("--set \"rst delay=30\" --set IF_FET/Port=3 --settings");
    EXPECT_NE(o.out.find("IF_BSL/RST delay = 30\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("IF_FET/Port = 3\n"), std::string::npos);
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
    };
    for (const auto& r : refused) {
        Outcome bad = RunShell("QUARZO_INI='" + ini_ + "' " + QUARZO_CLI + " " + r.args + " 2>&1 >/dev/null");
        EXPECT_EQ(bad.status, 1) << r.args;
        EXPECT_EQ(bad.out, r.error);
    }

    o = Run("--set \"IF_BSL/RST invert=True\" --save-settings");
    EXPECT_EQ(o.status, 0);
    std::string saved = ReadFile(ini_);
    EXPECT_EQ(saved.rfind("; mine\r\n[IF_BSL]\r\nRST delay=5\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("RST invert=-1\r\n"), std::string::npos) << saved;
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

    // A folder that is a file.
    Outcome o = Run("in.hex -o old.txt/out.txt");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(Lines(o.out).back(), "Save failed. Can't open file.");

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
    o = Run("in.hex -o 'out file \xC3\xBC.txt'");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(dir_.File("out file \xC3\xBC.txt")), "@0000\r\n01 02 03 04\r\nq\r\n");
    // An input name with a leading dash reads as an option: refused, clearly.
    o = Run("-in.hex -o x.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out).back(), "Unknown options \"-in.hex\"");
}

TEST_F(Console, APortThatCannotBeOpenedExitsWithFour) {
    WriteFile(ini_, "[Ports]\r\nCOM1=/dev/quarzo-no-such-port\r\n");
    Outcome o = Run("+e -BSL=COM1");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(Lines(o.out).back(), "Init failed. Could not open port.");
}

}  // namespace
}  // namespace quarzo
