#pragma once

#include "adapters/bsl/bsl_adapter.h"
#include "adapters/fetdll/fet_dll_adapter.h"
#include "adapters/jtag/raw_jtag_adapter.h"
#include "adapters/null_adapter.h"

namespace quarzo {

// The four adapters of one programmer, built together by the front end and handed to the engine as
// interfaces. Each set is independent: two programmers in one process share nothing.
class AdapterSet {
public:
    AdapterList List() { return {&rawJtag, &fetDll, &bsl, &null}; }

    RawJtagAdapter rawJtag;
    FetDllAdapter fetDll;
    BslAdapter bsl;
    NullAdapter null;
};

}  // namespace quarzo
