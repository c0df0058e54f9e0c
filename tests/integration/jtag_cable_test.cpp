// The console program programs quarzo-sim's chip through the virtual parallel-port cable on a real Unix
// socket, the loader on the pseudo-terminal reads the same chip back, and the fuse-blow device on the
// cable blows its fuse.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

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

class JtagOverSocket : public ::testing::Test {
protected:
    testing::Outcome Quarzo(const std::string& args) {
        return testing::RunConsole(QUARZO_CLI, dir_.Path().string(), dir_.File("quarzo.ini"), args);
    }
    TempDir dir_;
    std::string blink_ = std::string(QUARZO_SOURCE_DIR) + "/examples/blink.txt";
};

TEST_F(JtagOverSocket, ProgramReadBackAndBlowTheFuseThroughTheCable) {
    std::string socket = dir_.File("cable"), trace = dir_.File("trace.txt"), state = dir_.File("state.txt");
    std::string simArgs = "--lpt '" + socket + "' --pyrel --state '" + state + "'";
    auto sim = std::make_unique<SimProcess>(
        QUARZO_SIM, simArgs + " --trace '" + trace + "' 2>'" + dir_.File("sim.err") + "'",
        dir_.File("sim.out"));
    ASSERT_FALSE(sim->DevicePath().empty());

    testing::Outcome program = Quarzo("+ebpv '" + blink_ + "' -RAW=" + socket);
    EXPECT_EQ(program.status, 0) << program.out;
    EXPECT_EQ(UnstampedLines(program.out).back(), "Verify complete.") << program.out;
    // As root the worker runs at real-time priority and the simulator on the other end still keeps up;
    // without the privilege the log says so.
    EXPECT_EQ(program.out.find("Note: running at normal priority; this system does not grant real-time "
                               "scheduling here, so JTAG timing may vary.") != std::string::npos,
              geteuid() != 0)
        << program.out;

    // The cable reads the chip back, and the loader reads the same from the same chip.
    testing::Outcome read = Quarzo("+r -o cable.txt -RAW=" + socket);
    EXPECT_EQ(read.status, 0) << read.out;
    testing::Outcome loader = Quarzo("+r '" + blink_ + "' -o loader.txt -BSL=" + sim->DevicePath());
    EXPECT_EQ(loader.status, 0) << loader.out;
    EXPECT_EQ(ReadFile(dir_.File("loader.txt")), ReadFile(dir_.File("cable.txt")));

    // On a terminal, "n" typed at the question blows nothing.
    testing::Outcome no = RunShell("cd '" + dir_.Path().string() + "' && printf 'n\\n' | QUARZO_INI='" +
                                   dir_.File("quarzo.ini") + "' script -qec \"" + QUARZO_CLI +
                                   " +f -RAW=" + socket + "\" /dev/null");
    EXPECT_EQ(no.status, 4) << no.out;
    EXPECT_NE(no.out.find("[y/n]"), std::string::npos) << no.out;
    EXPECT_NE(no.out.find("Operation canceled by user"), std::string::npos) << no.out;

    testing::Outcome yes = Quarzo("+f -RAW=" + socket + " --yes");
    EXPECT_EQ(yes.status, 0) << yes.out;
    EXPECT_EQ(UnstampedLines(yes.out).back(), "Blow fuse complete.");

    EXPECT_EQ(sim->Stop(), 0);
    std::string shifts = ReadFile(trace);
    EXPECT_NE(shifts.find("IR 13\nDR 2401 "), std::string::npos);
    // Over a real socket the host's process can be held up within a burst: the chip then sees that
    // operation's clock out of range, and the host gives it again (the verify above found every word).
    std::string summary = ReadFile(dir_.File("sim.err"));
    unsigned operations = 0, outside = 1, incomplete = 1;
    ASSERT_EQ(std::sscanf(summary.c_str(),
                          "flash clock: %u operations, %u outside 257-476 kHz\nflash incomplete: %u",
                          &operations, &outside, &incomplete),
              3)
        << summary;
    EXPECT_GT(operations, 40u);
    // A host pacing TCLK at the wrong rate spoils nearly every operation; a held-up burst, a few.
    EXPECT_LE(outside * 20, operations) << summary;
    EXPECT_LE(incomplete * 20, operations) << summary;
    // The state keeps the fuse blown for the next run of the simulator.
    sim = std::make_unique<SimProcess>(QUARZO_SIM, simArgs, dir_.File("sim2.out"));
    ASSERT_FALSE(sim->DevicePath().empty());
    testing::Outcome after = Quarzo("+e -RAW=" + socket);
    EXPECT_EQ(after.status, 4);
    EXPECT_EQ(UnstampedLines(after.out).back(),
              "Init failed. Could not access device - security fuse is blown.");
}

}  // namespace
}  // namespace quarzo
