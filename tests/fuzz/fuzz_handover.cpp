// The text field a second instance leaves in the shared block, however it was written: no NUL,
// overlong, any bytes. It is read within the field and then run as a command line.
#include <cstring>

#include "command_check.h"
#include "ui/model/window_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char field[quarzo::kHandoverTextSize];
    std::memset(field, 'x', sizeof field);  // whatever the block held before
    std::memcpy(field, data, size < sizeof field ? size : sizeof field);
    std::string text = quarzo::HandoverText(field);
    if (text.size() > sizeof field || text.find('\0') != std::string::npos) std::abort();
    quarzo::fuzz::CheckCommandLine(text);
    return 0;
}
