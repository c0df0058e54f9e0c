#pragma once

namespace quarzo::platform {

unsigned long CurrentProcessId();

}  // namespace quarzo::platform
