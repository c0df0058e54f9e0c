#pragma once

#include <windows.h>

namespace quarzo {

// A dialog driven by an object: the creating call passes Param(), and every message reaches the
// object's Handle, with dialog_ set from WM_INITDIALOG on.
class DialogWindow {
protected:
    virtual ~DialogWindow() = default;
    virtual INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            reinterpret_cast<DialogWindow*>(lParam)->dialog_ = dialog;
        }
        auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
        return self ? self->Handle(message, wParam, lParam) : FALSE;
    }
    LPARAM Param() { return reinterpret_cast<LPARAM>(static_cast<DialogWindow*>(this)); }

    HWND dialog_ = nullptr;
};

}  // namespace quarzo
