#include "adapters/bsl/bsl_wiring.h"

#include <gtest/gtest.h>

#include "adapters/bsl/bsl_adapter.h"
#include "support/sim_target.h"

namespace quarzo {
namespace {

using testing::SimTarget;

// The simulated cable wired each of the four ways: exactly the matching combination starts the loader.
TEST(BslWiring, OnlyTheMatchingInversionsStartTheLoader) {
    for (int wiring = 0; wiring < 4; ++wiring) {
        SimTarget target;
        BslAdapter adapter;
        target.Attach(adapter.link);
        target.line.rstWiringInverted = wiring & 1;
        target.line.tstWiringInverted = !(wiring & 2);
        adapter.link.Configure({.rstDelay = 7});
        std::vector<WiringTrial> trials = TryWirings(adapter);
        // Tried in order, RST inversion first; only the wiring's own combination answers, and says who.
        ASSERT_EQ(trials.size(), 4u) << "wiring " << wiring;
        for (int i = 0; i < 4; ++i) {
            const WiringTrial& t = trials[static_cast<size_t>(i)];
            EXPECT_EQ(t.rstInvert + 2 * t.tstInvert, i);
            EXPECT_EQ(t.rstDelay, 7u);
            EXPECT_EQ(t.answered, i == wiring) << "wiring " << wiring << " try " << i;
            EXPECT_EQ(t.identified, i == wiring);
        }
        EXPECT_EQ(trials[static_cast<size_t>(wiring)].version, 0x0160);
        // The adapter's own settings are as they were.
        EXPECT_FALSE(adapter.link.Settings().rstInvert);
        EXPECT_FALSE(adapter.link.Settings().tstInvert);
        EXPECT_EQ(adapter.link.Settings().rstDelay, 7u);
    }
}

TEST(BslWiring, ASilentTargetGetsASecondRoundWithALongerResetPulse) {
    SimTarget target;
    BslAdapter adapter;
    target.Attach(adapter.link);
    target.line.SetSilent(true);
    std::vector<WiringTrial> trials = TryWirings(adapter);
    ASSERT_EQ(trials.size(), 8u);
    EXPECT_EQ(trials[3].rstDelay, 0u);
    EXPECT_EQ(trials[4].rstDelay, kLongRstDelayMs);
    for (const WiringTrial& t : trials) EXPECT_FALSE(t.answered);

    // A locked chip still answers. From 1.50 the version command identifies it without a password, so a
    // loader that erases on a wrong one keeps the chip; older loaders refuse the password.
    for (const char* version : {"2.02", "1.30"}) {
        SimTarget locked(version);
        BslAdapter other;
        locked.Attach(other.link);
        locked.SetVectors(0x11);
        locked.Flash(0x2000, {0x00});
        trials = TryWirings(other);
        ASSERT_EQ(trials.size(), 4u) << version;
        EXPECT_TRUE(trials[0].answered) << version;
        bool modern = version[0] == '2';
        EXPECT_EQ(trials[0].identified, modern) << version;
        if (modern) {
            EXPECT_EQ(trials[0].version, 0x0202);
        }
        EXPECT_EQ(locked.device.Read(0x2000), 0x00) << version;
        size_t passwords = 0;
        for (const std::string& command : locked.Commands()) passwords += command.substr(0, 2) == "10";
        if (modern) {
            EXPECT_EQ(passwords, 0u);
        } else {
            EXPECT_GT(passwords, 0u);
        }
    }
}

}  // namespace
}  // namespace quarzo
