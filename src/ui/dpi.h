#pragma once

#include <windows.h>

namespace quarzo {

// The DPI of the monitor a window is on: GetDpiForWindow where the system has it, else the screen's.
int WindowDpi(HWND window);

}  // namespace quarzo
