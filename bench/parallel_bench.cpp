// A production station: eight console programmers at once, each with its own simulated chip paced like
// a real line, against one of them alone. Prints both times and their ratio (1.0 would be perfect).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

constexpr int kStations = 8;

double Seconds(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    quarzo::testing::TempDir dir;
    // 8 KB of program with its vectors.
    std::string image = "@E000\r\n";
    for (int row = 0; row < 512; ++row) {
        for (int i = 0; i < 16; ++i) image += (i ? " " : "") + std::string("3C");
        image += "\r\n";
    }
    quarzo::testing::WriteFile(dir.File("image.txt"), image + "q\r\n");
    std::vector<std::unique_ptr<quarzo::testing::SimProcess>> sims;
    for (int i = 0; i < kStations; ++i) {
        sims.push_back(std::make_unique<quarzo::testing::SimProcess>(
            QUARZO_SIM, "--pace --device MSP430F149", dir.File("sim" + std::to_string(i) + ".out")));
        if (sims.back()->DevicePath().empty()) return 1;
    }
    std::string setup =
        "cd '" + dir.Path().string() + "' && export QUARZO_INI='" + dir.File("quarzo.ini") + "'; ";
    auto station = [&](int i) {
        return "(" + std::string(QUARZO_CLI) +
               " +ebpv image.txt -BSL=" + sims[static_cast<size_t>(i)]->DevicePath() +
               " >/dev/null || exit 1)";
    };
    double alone = Seconds(setup + station(0));
    std::string all = setup;
    for (int i = 0; i < kStations; ++i) all += station(i) + " & ";
    all += "wait";
    double together = Seconds(all);
    std::printf("Program and verify 8 KB through the loader at 38400 baud (quarzo-sim --pace)\n");
    std::printf("  one station       %.2f s\n", alone);
    std::printf("  %d at once         %.2f s\n", kStations, together);
    std::printf("  ratio             %.2f\n", together / alone);
    return 0;
}
