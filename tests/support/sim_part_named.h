#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_parts.h"

namespace quarzo::testing {

// The simulated part of that name; a name the model does not know is a mistake in the test.
inline const sim::SimPart& PartNamed(const std::string& name) {
    const sim::SimPart* part = sim::FindSimPart(name);
    if (part == nullptr) {
        std::fprintf(stderr, "no simulated part \"%s\"; known: %s\n", name.c_str(),
                     sim::SimPartNames().c_str());
        std::abort();
    }
    return *part;
}

}  // namespace quarzo::testing
