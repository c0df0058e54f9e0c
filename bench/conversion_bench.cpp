// Converting a whole image from Intel HEX to TI TXT with the console program (null adapter, no
// device), against srec_cat doing the same, as whole processes alternating in one run: the ratio of
// their median wall times. The goal is at most 0.5.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

constexpr uint32_t kImageSize = 0x1F400;  // the flash reach of the largest F4xx parts
constexpr int kRounds = 31;

std::string FullIntelHex() {
    std::mt19937 random(11);
    std::string text;
    char line[64];
    for (uint32_t a = 0; a < kImageSize; a += 16) {
        if ((a & 0xFFFF) == 0) {
            unsigned upper = a >> 16;
            std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", upper,
                          (0x100 - ((6 + upper) & 0xFF)) & 0xFF);
            text += line;
        }
        unsigned sum = 16 + ((a >> 8) & 0xFF) + (a & 0xFF);
        std::snprintf(line, sizeof line, ":10%04X00", a & 0xFFFF);
        text += line;
        for (int i = 0; i < 16; ++i) {
            unsigned byte = random() & 0xFF;
            sum += byte;
            std::snprintf(line, sizeof line, "%02X", byte);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

double Seconds(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    quarzo::testing::TempDir dir;
    quarzo::testing::WriteFile(dir.File("full.hex"), FullIntelHex());
    quarzo::testing::WriteFile(dir.File("quarzo.ini"), "[Application]\r\nAdapter=3\r\n");
    std::string folder = "cd '" + dir.Path().string() + "' && ";
    std::string quarzo =
        folder + "QUARZO_INI=quarzo.ini " + QUARZO_CLI + " full.hex -o quarzo.txt >/dev/null";
    std::string srec = folder + SREC_CAT + " full.hex -intel -o srec.txt -ti-txt";
    std::vector<double> ours, theirs;
    for (int i = 0; i < kRounds; ++i) {
        ours.push_back(Seconds(quarzo));
        theirs.push_back(Seconds(srec));
    }
    double a = Median(ours), b = Median(theirs);
    std::printf(
        "convert %u bytes Intel HEX -> TI TXT, median of %d: quarzo %.1f ms, srec_cat %.1f ms, ratio %.2f "
        "(goal <= 0.5)\n",
        kImageSize, kRounds, a * 1000, b * 1000, a / b);
    return 0;
}
