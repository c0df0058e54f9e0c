#include "adapters/bsl/bsl_wiring.h"

#include <algorithm>

#include "adapters/bsl/bsl_adapter.h"

namespace quarzo {

namespace {

WiringTrial Try(BslAdapter& adapter, bool rstInvert, bool tstInvert, uint32_t rstDelay) {
    BslLink& link = adapter.link;
    WiringTrial trial{rstInvert, tstInvert, rstDelay, false, false, {0, 0}, 0};
    BslLinkSettings line = link.Settings();
    line.rstInvert = rstInvert;
    line.tstInvert = tstInvert;
    line.rstDelay = rstDelay;
    link.Configure(line);
    link.ForgetLoader();
    if (!link.OpenLink(adapter.SystemPortName())) return trial;
    link.ResetTarget(true);
    // Each frame synchronises first: a loader that never answers the sync fails with that error. The
    // version command answers while locked from 1.50; older loaders, which never erase on a wrong
    // password, are asked through the password. A loader that would erase is never sent one here.
    bool versioned = link.ReadVersion();
    trial.answered = versioned || link.LastError() != BslLink::kSync;
    if (versioned || (trial.answered && !link.ErasesOnWrongPassword() && link.SendPassword() &&
                      link.ReadChipInfo())) {
        trial.identified = true;
        trial.family[0] = link.State().chipInfo[0];
        trial.family[1] = link.State().chipInfo[1];
        trial.version = static_cast<uint16_t>(link.State().romVersion);
    }
    link.CloseLink();
    return trial;
}

}  // namespace

std::vector<WiringTrial> TryWirings(BslAdapter& adapter,
                                    const std::function<void(const WiringTrial&)>& onTrial) {
    BslLink& link = adapter.link;
    const BslLinkSettings saved = link.Settings();
    BslLinkSettings closing = saved;
    closing.keepPortOpen = false;  // each try starts from a closed port
    link.Configure(closing);
    const uint32_t rstDelay = saved.rstDelay;
    std::vector<WiringTrial> trials;
    bool anyAnswered = false;
    for (uint32_t delay : {rstDelay, std::max(rstDelay, kLongRstDelayMs)}) {
        for (int combination = 0; combination < 4 && !adapter.IsCancelled(); ++combination) {
            trials.push_back(Try(adapter, combination & 1, combination & 2, delay));
            anyAnswered = anyAnswered || trials.back().answered;
            if (onTrial) onTrial(trials.back());
        }
        if (anyAnswered || delay >= kLongRstDelayMs || adapter.IsCancelled()) break;
    }
    link.Configure(saved);
    link.ForgetLoader();
    return trials;
}

}  // namespace quarzo
