#include "ui/log_view.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "core/device_table.h"
#include "ui/model/window_model.h"
#include "ui/resource.h"

namespace quarzo {

bool LogView::Create(HWND parent, int dpi) {
    dpi_ = dpi;
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOGVIEW), parent, DialogProc,
                                 Param());
    return dialog_ != nullptr;
}

INT_PTR LogView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            devices_ = GetDlgItem(dialog_, IDC_DEVICES);
            summary_ = GetDlgItem(dialog_, IDC_DEVICE_SUMMARY);
            log_ = GetDlgItem(dialog_, IDC_LOG);
            SendMessageA(log_, EM_AUTOURLDETECT, TRUE, 0);
            SendMessageA(log_, EM_SETEVENTMASK, 0, ENM_LINK);
            formats_[0].cbSize = sizeof formats_[0];
            SendMessageA(log_, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&formats_[0]));
            formats_[1].cbSize = sizeof formats_[1];
            formats_[1].dwMask = CFM_COLOR;
            formats_[1].crTextColor = RGB(224, 0, 0);
            HDC dc = GetDC(log_);
            lineHeight_ = MulDiv(formats_[0].yHeight, GetDeviceCaps(dc, LOGPIXELSY), 1440);
            ReleaseDC(log_, dc);
            if (lineHeight_ <= 0) lineHeight_ = 16;
            SendMessageA(devices_, CB_RESETCONTENT, 0, 0);
            for (int i = 0; i < kDeviceCount; ++i)
                SendMessageA(devices_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(DeviceName(i)));
            SelectDevice(0);
            return TRUE;
        }
        case WM_SIZE:
            Layout(LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_DEVICES && HIWORD(wParam) == CBN_SELCHANGE) {
                ShowSummary();
                return TRUE;
            }
            if (LOWORD(wParam) == kCmdCopy) {
                CopyLog();
                return TRUE;
            }
            if (LOWORD(wParam) == kCmdClearLog) {
                ClearLog();
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* link = reinterpret_cast<ENLINK*>(lParam);
            if (link->nmhdr.hwndFrom == log_ && link->nmhdr.code == EN_LINK && link->msg == WM_LBUTTONUP) {
                std::string url(static_cast<size_t>(link->chrg.cpMax - link->chrg.cpMin) + 1, '\0');
                TEXTRANGEA range{link->chrg, url.data()};
                SendMessageA(log_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
                ShellExecuteA(dialog_, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == log_) {
                HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LOGVIEW_MENU));
                POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                if (at.x == -1 && at.y == -1) GetCursorPos(&at);
                TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, dialog_, nullptr);
                DestroyMenu(menu);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

void LogView::SetDpi(int dpi) {
    dpi_ = dpi;
    RECT client;
    GetClientRect(dialog_, &client);
    Layout(client.right, client.bottom);
}

void LogView::Layout(int width, int height) {
    RECT combo;
    GetWindowRect(devices_, &combo);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&combo), 2);
    RECT text;
    GetWindowRect(summary_, &text);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&text), 2);
    MoveWindow(summary_, text.left, text.top, std::max<int>(0, width - text.left - ScalePixels(4, dpi_)),
               text.bottom - text.top, TRUE);
    // Below the device list, which grows with the dialog font.
    int top = std::max(static_cast<int>(combo.top) + ScalePixels(24, dpi_),
                       static_cast<int>(combo.bottom) + ScalePixels(3, dpi_));
    MoveWindow(log_, combo.left, top, std::max<int>(0, width - 2 * combo.left),
               std::max(0, height - top - ScalePixels(2, dpi_)), TRUE);
}

void LogView::ShowSummary() {
    std::string text =
        identified_.empty() || SelectedDevice() != 0 ? DeviceDescription(SelectedDevice()) : identified_;
    SetWindowTextA(summary_, text.c_str());
}

void LogView::ShowIdentified(const std::string& text) {
    if (text == identified_) return;
    identified_ = text;
    ShowSummary();
}

int LogView::SelectedDevice() const {
    LRESULT index = SendMessageA(devices_, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? 0 : static_cast<int>(index);
}

void LogView::SelectDevice(int index) {
    SendMessageA(devices_, CB_SETCURSEL, index, 0);
    ShowSummary();
}

void LogView::AppendLogLine(const std::string& text, int level) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string line = LogLineText(now.wHour, now.wMinute, now.wSecond, text);
    CHARFORMAT2A& format = formats_[level == 1 ? 1 : 0];
    int end = GetWindowTextLengthA(log_);
    SendMessageA(log_, EM_SETSEL, end, end);
    SendMessageA(log_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageA(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    RECT box;
    SendMessageA(log_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&box));
    int visible = (box.bottom - box.top) / lineHeight_;
    int lines = static_cast<int>(SendMessageA(log_, EM_GETLINECOUNT, 0, 0));
    int first = static_cast<int>(SendMessageA(log_, EM_GETFIRSTVISIBLELINE, 0, 0));
    if (int scroll = LogScrollLines(lines, first, visible); scroll > 0)
        SendMessageA(log_, EM_LINESCROLL, 0, scroll);
}

void LogView::ClearLog() {
    SetWindowTextA(log_, "");
}

void LogView::CopyLog() {
    SendMessageA(log_, WM_COPY, 0, 0);
}

}  // namespace quarzo
