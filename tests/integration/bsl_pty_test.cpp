// The console program programs quarzo-sim through the POSIX serial port over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "core/memory_image.h"
#include "support/process.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::ReadFile;
using testing::RunShell;
using testing::SimProcess;
using testing::TempDir;
using testing::UnstampedLines;
using testing::WriteFile;
using Strings = std::vector<std::string>;

// A TI-TXT file as read by our reader.
MemoryImage Loaded(const std::string& path) {
    MemoryImage image;
    EXPECT_GT(FirmwareFile(image).Load(path, kFormatTiTxt), 0) << path;
    return image;
}

class BslOverPty : public ::testing::Test {
protected:
    testing::Outcome Quarzo(const std::string& args) {
        return testing::RunConsole(QUARZO_CLI, dir_.Path().string(), dir_.File("quarzo.ini"), args);
    }
    // quarzo-sim with these options; the path of its pseudo-terminal.
    std::string Sim(const std::string& args) {
        sim_ = std::make_unique<SimProcess>(QUARZO_SIM, args, dir_.File("sim.out"));
        EXPECT_FALSE(sim_->DevicePath().empty());
        return sim_->DevicePath();
    }
    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::string blink_ = std::string(QUARZO_SOURCE_DIR) + "/examples/blink.txt";
};

// A whole run, the simulator's trace, state and flash report; on a pseudo-terminal, which has no modem
// lines, every wiring answers to --detect; the simulator's own options.
TEST_F(BslOverPty, ProgramVerifyDetectAndTheSimulatorsOptions) {
    std::string trace = dir_.File("trace.txt"), state = dir_.File("state.txt");
    std::string pty = Sim("--trace '" + trace + "' --state '" + state + "' 2>'" + dir_.File("sim.err") + "'");

    // The run's log is checked by the console's tests; its frames here.
    testing::Outcome program = Quarzo("+ebpv '" + blink_ + "' -BSL=" + pty);
    EXPECT_EQ(program.status, 0) << program.out;

    testing::Outcome detect = Quarzo("--detect --save-settings -BSL=" + pty);
    EXPECT_EQ(detect.status, 0) << detect.out;
    Strings lines = UnstampedLines(detect.out);
    ASSERT_EQ(lines.size(), 6u) << detect.out;
    EXPECT_EQ(lines[4],
              "RST invert on, TST invert on, RST delay 0 ms: answers: device family F149, BSL v1.61");
    EXPECT_EQ(
        lines[5],
        "4 wirings answer: this port's DTR and RTS do not reach the target, so they cannot be told apart. "
        "The settings stay as they are.");
    EXPECT_EQ(ReadFile(dir_.File("quarzo.ini")).find("RST invert=-1"), std::string::npos);

    testing::Outcome wrong = Quarzo("--detect +e -BSL=" + pty);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(UnstampedLines(wrong.out).back(),
              "--detect takes only the loader's port: -BSL=COMn or a device path");

    EXPECT_NE(RunShell(std::string(QUARZO_SIM) + " --bsl-version 9.99 2>/dev/null").status, 0);
    EXPECT_NE(RunShell(std::string(QUARZO_SIM) + " --device NOPE 2>/dev/null").status, 0);

    EXPECT_EQ(sim_->Stop(), 0);
    std::string frames = ReadFile(trace);
    // The version command, answered before any password, identifies the chip.
    EXPECT_NE(frames.find("RX 80 1E 04 04 00 00 10 00 6B E5\nTX 80 00 10 10 F1 49"), std::string::npos);
    EXPECT_NE(frames.find("RX 80 12 22 22 00 11 1E 00 31 40 00 0A"),
              std::string::npos);  // the program's write
    // The loader's erase (its passes up to the cumulative erase time) and writes go through the flash
    // controller, its timing generator in range: all counted at exit, none incomplete.
    EXPECT_NE(frames.find("FLASH write 1100 "), std::string::npos);
    unsigned operations = 0, outside = 1, incomplete = 1;
    EXPECT_EQ(std::sscanf(ReadFile(dir_.File("sim.err")).c_str(),
                          "flash clock: %u operations, %u outside 257-476 kHz\nflash incomplete: %u",
                          &operations, &outside, &incomplete),
              3);
    EXPECT_GT(operations, 40u);
    EXPECT_EQ(outside + incomplete, 0u);
    // The state file keeps the programmed flash for the next run.
    EXPECT_EQ(Loaded(state).ValueAt(0x1104), 0xB2);
}

// The part the user names is the one the run works on: told that an F123 is an F149, the blank check meets
// memory the part does not have.
TEST_F(BslOverPty, AChosenDeviceIsBelieved) {
    std::string pty = Sim("--device MSP430F123");
    testing::Outcome wrong = Quarzo("--device MSP430F149 +eb -BSL=" + pty);
    EXPECT_EQ(wrong.status, 4);
    EXPECT_EQ(UnstampedLines(wrong.out).back(), "Blank check failed. Verification error.");
}

// A loader that erases the chip on a wrong password: a plain read of a programmed chip must not wipe it.
TEST_F(BslOverPty, AReadOfALockedF2xxNeverSendsAGuessedPassword) {
    // Its code, then the whole vector table with the reset vector: the file gives the password.
    std::string vectors = "@FFE0\r\n";
    for (int i = 0; i < 30; ++i) vectors += "FF ";
    WriteFile(dir_.File("fw.txt"), "@8000\r\n31 40 00 03 3F 40 12 34\r\n" + vectors + "00 80\r\nq\r\n");
    std::string pty = Sim("--device MSP430F2274 --bsl-version 2.02 --load '" + dir_.File("fw.txt") + "'");
    testing::Outcome read = Quarzo("+r -o back.txt -BSL=" + pty);
    EXPECT_EQ(read.status, 4) << read.out;
    EXPECT_EQ(
        UnstampedLines(read.out).back(),
        "Read failed. Password needed: this loader erases the whole chip, calibration data included, on a "
        "wrong password. Give the firmware file that is in the chip (its interrupt vectors are the "
        "password), or name it in the setting IF_BSL/Password file, or erase the chip.");
    // The chip keeps its program, and the firmware file, as the setting names it, opens it.
    testing::Outcome named = Quarzo("--set \"IF_BSL/Password file=fw.txt\" +r -o back.txt -BSL=" + pty);
    EXPECT_EQ(named.status, 0) << named.out;
    MemoryImage back = Loaded(dir_.File("back.txt"));
    EXPECT_EQ(back.ValueAt(0x8006), 0x12);
    EXPECT_EQ(back.ValueAt(0xFFFF), 0x80);
    EXPECT_EQ(sim_->Stop(), 0);
}

// A simulator loaded with the firmware verifies it without programming: another file's differences, two
// changed bytes next to each other and one further on, are all it finds.
TEST_F(BslOverPty, VerifyAgainstALoadedSimulatorListsTheRangesThatDiffer) {
    std::string pty = Sim("--load '" + blink_ + "' --bsl-version 1.10");
    std::string other = ReadFile(blink_);
    other.replace(other.find("31 40 00 0A"), 11, "32 41 00 0A");
    other.replace(other.find("21 00 3F"), 8, "21 00 3E");
    WriteFile(dir_.File("other.txt"), other);
    testing::Outcome verify = Quarzo("+v other.txt -BSL=" + pty);
    EXPECT_EQ(verify.status, 4);
    Strings lines = UnstampedLines(verify.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Strings(lines.end() - 3, lines.end()),
              (Strings{"Verify failed. Found 3 errors", "Differs at 0x1100-0x1101 (2 bytes)",
                       "Differs at 0x1112 (1 byte)"}))
        << verify.out;
}

// A production station: several programmers at once, each on its own chip.
TEST_F(BslOverPty, FourTargetsAtOnceEachHoldTheirOwnImage) {
    constexpr int kTargets = 4;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::string commands;
    for (int i = 0; i < kTargets; ++i) {
        std::string n = std::to_string(i);
        sims.push_back(std::make_unique<SimProcess>(
            QUARZO_SIM, "--state '" + dir_.File("chip" + n + ".txt") + "'", dir_.File("sim" + n + ".out")));
        ASSERT_FALSE(sims.back()->DevicePath().empty());
        // Each image differs: its own bytes at its own place.
        std::string image = "@" + std::to_string(2000 + 100 * i) + "\r\n";
        for (int k = 0; k < 16; ++k) image += (k ? " " : "") + std::string(1, "0123456789ABCDEF"[i]) + "5";
        WriteFile(dir_.File("image" + n + ".txt"), image + "\r\nq\r\n");
        commands += "(" + std::string(QUARZO_CLI) + " +ebpv image" + n +
                    ".txt -BSL=" + sims.back()->DevicePath() + " >out" + n + ".log 2>&1; echo $? >status" +
                    n + ") & ";
    }
    testing::Outcome all = RunShell("cd '" + dir_.Path().string() + "' && export QUARZO_INI='" +
                                    dir_.File("quarzo.ini") + "'; " + commands + "wait");
    EXPECT_EQ(all.status, 0);
    for (int i = 0; i < kTargets; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(ReadFile(dir_.File("status" + n)), "0\n") << ReadFile(dir_.File("out" + n + ".log"));
        EXPECT_EQ(sims[static_cast<size_t>(i)]->Stop(), 0);
        MemoryImage chip = Loaded(dir_.File("chip" + n + ".txt")),
                    image = Loaded(dir_.File("image" + n + ".txt"));
        // Its own image, and nothing of the others'.
        for (uint32_t a = 0x2000; a < 0x2000 + 0x100 * kTargets; ++a) {
            EXPECT_EQ(chip.ValueAt(a), image.FlagsAt(a) & EntryAbsent ? 0xFF : image.ValueAt(a)) << a;
        }
    }
}

// A USB serial adapter pulled out in the middle of a run: the run ends with the link's own error, soon,
// and without spinning the processor while it waits.
TEST_F(BslOverPty, ThePortVanishingMidRunEndsTheRunPromptly) {
    std::string pty = Sim("--pace");
    testing::Outcome run = RunShell(
        "cd '" + dir_.Path().string() + "' && QUARZO_INI='" + dir_.File("quarzo.ini") +
        "' bash -c 'TIMEFORMAT=\"%R %U %S\"; time (" + QUARZO_CLI + " +r -o out.txt -BSL=" + pty +
        " >run.log 2>/dev/null)' 2>&1 & sleep 1.5; kill -9 " + std::to_string(sim_->Pid()) + "; wait");
    double real = 0, user = 0, system = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "%lf %lf %lf", &real, &user, &system), 3) << run.out;
    Strings lines = UnstampedLines(ReadFile(dir_.File("run.log")));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Read failed. ", 0), 0u) << lines.back();
    EXPECT_LT(real, 1.5 + 8.0);          // the time-outs of one frame at most, after the pull
    EXPECT_LT(user + system, real / 4);  // waiting, not spinning
}

}  // namespace
}  // namespace quarzo
