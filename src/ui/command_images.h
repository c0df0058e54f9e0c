#pragma once

#include <windows.h>

#include <commctrl.h>

namespace quarzo {

// The toolbar and menu images, drawn in code so that every one scales to the size asked for.
enum CommandImage {
    kImageOpen,
    kImageSave,
    kImageSetup,
    kImageAuto,
    kImageErase,
    kImageBlankCheck,
    kImageProgram,
    kImageVerify,
    kImageRead,
    kImageReset,
    kImageAbort,
    kImageAbout,
    kImageCount
};

HIMAGELIST CreateCommandImages(int size);
// The image of a command id, or -1.
int CommandImageOf(unsigned commandId);

}  // namespace quarzo
