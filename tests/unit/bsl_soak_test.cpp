// Many runs in one process, as a production line does: memory and open files stay where they were.
#include <gtest/gtest.h>

#ifdef __linux__
#include <dirent.h>
#include <unistd.h>

#include <cstdio>

#include "support/sim_target.h"

namespace quarzo {
namespace {

size_t ResidentKilobytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

size_t OpenFiles() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

TEST(BslSoak, TwoHundredAutoRunsDoNotGrowMemoryOrFiles) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer keeps freed memory back; its own leak check covers this build";
#endif
    testing::SimRun r;
    size_t memoryAfterWarmUp = 0, filesAfterWarmUp = 0;
    for (int run = 0; run < 200; ++run) {
        r.Fill(0xF000, 0xF3FF, static_cast<unsigned>(run));
        ASSERT_EQ(r.Run(kDefaultAutoprogram), kRunComplete) << "run " << run << ": " << r.LastLine();
        if (run == 19) {
            memoryAfterWarmUp = ResidentKilobytes();
            filesAfterWarmUp = OpenFiles();
        }
    }
    EXPECT_EQ(OpenFiles(), filesAfterWarmUp);
    EXPECT_LT(ResidentKilobytes(), memoryAfterWarmUp + 2048);  // a margin for the allocator, far below a leak
}

}  // namespace
}  // namespace quarzo
#endif
