#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quarzo::ui_test {

// Drags the files onto the screen point through OLE drag and drop, as a file manager does: the
// pointer is put on the point, and after a moment the button is "released" there.
// The drop effect the target reported; DROPEFFECT_NONE when nothing took the files.
DWORD DragFilesOnto(const std::vector<std::string>& files, POINT at);

}  // namespace quarzo::ui_test
