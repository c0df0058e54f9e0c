#include "ui/hex_view.h"

#include <windowsx.h>

#include <algorithm>
#include <chrono>

#include "core/memory_image.h"
#include "ui/model/hex_rows.h"
#include "ui/model/window_model.h"
#include "ui/resource.h"

namespace quarzo {

namespace {

constexpr int kFontHeight = 14;  // pixels at 100%

TEXTMETRICA FontMetrics(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics;
}

}  // namespace

HexView::~HexView() {
    if (font_) DeleteObject(font_);
    if (separator_) DeleteObject(separator_);
}

bool HexView::Create(HWND parent, int dpi) {
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_HEXVIEW), parent, DialogProc,
                                 Param());
    if (!dialog_) return false;
    list_ = GetDlgItem(dialog_, IDC_HEXLIST);
    // The rows follow the dialog's font, which the system scales; kept as at 100% for a later move to
    // a monitor of another scale.
    int rowHeight = static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, 0, 0));
    rowHeightAtBase_ = std::max(1, rowHeight * kBaseDpi / std::max(1, dpi));
    MakeFont(dpi);
    SendMessageA(list_, LB_SETCOUNT, 100, 0);
    TakeColours();
    return true;
}

void HexView::MakeFont(int dpi) {
    if (font_) DeleteObject(font_);
    font_ = CreateFontA(ScalePixels(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                        "Courier");
    TEXTMETRICA metrics = FontMetrics(list_, font_);
    charWidth_ = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 8;
    // The rows are drawn with it; its height stays readable from outside (the window tests).
    SetPropA(list_, "QuarzoTextHeight", reinterpret_cast<HANDLE>(static_cast<intptr_t>(metrics.tmHeight)));
}

void HexView::SetDpi(int dpi) {
    MakeFont(dpi);
    SendMessageA(list_, LB_SETITEMHEIGHT, 0, ScalePixels(rowHeightAtBase_, dpi));
    InvalidateRect(list_, nullptr, TRUE);
}

void HexView::TakeColours() {
    background_ = GetSysColor(COLOR_WINDOW);
    address_ = RGB(0, 0, 255);
    absent_ = GetSysColor(COLOR_GRAYTEXT);
    verified_ = RGB(0, 128, 0);
    mismatch_ = RGB(240, 0, 0);
    present_ = RGB(0, 0, 128);
    characters_ = GetSysColor(COLOR_WINDOWTEXT);
    if (separator_) DeleteObject(separator_);
    separator_ = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
    if (list_) InvalidateRect(list_, nullptr, TRUE);
}

namespace {

// A run holds the image only for moments; a lock that does not come at once means the holder is stuck,
// and the view then skips a frame rather than hang the window.
constexpr auto kImageWait = std::chrono::milliseconds(100);

}  // namespace

bool HexView::SetImage(const MemoryImage* image, std::timed_mutex* lock) {
    std::unique_lock<std::timed_mutex> guard;
    if (image && lock) {
        guard = std::unique_lock<std::timed_mutex>(*lock, kImageWait);
        if (!guard) return false;
    }
    image_ = image;
    lock_ = lock;
    rows_ = image ? BuildHexRows(*image) : std::vector<uint32_t>{};
    if (guard) guard.unlock();  // the list may draw its rows at once
    SendMessageA(list_, LB_SETCOUNT, rows_.size(), 0);
    Redraw();
    return true;
}

void HexView::NextError() {
    if (rows_.empty() || !image_) return;
    RECT client;
    GetClientRect(list_, &client);
    int rowHeight = static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, 0, 0));
    LRESULT hit = SendMessageA(list_, LB_ITEMFROMPOINT, 0, MAKELPARAM(2, client.bottom - rowHeight / 2));
    size_t start = HIWORD(hit) ? rows_.size() - 1 : LOWORD(hit);
    if (start >= rows_.size()) start = rows_.size() - 1;
    std::unique_lock<std::timed_mutex> guard;
    if (lock_) guard = std::unique_lock<std::timed_mutex>(*lock_, kImageWait);
    if (lock_ && !guard) return;
    auto row = NextErrorRow(*image_, rows_, start);
    if (guard) guard.unlock();
    if (row) SendMessageA(list_, LB_SETTOPINDEX, *row, 0);
}

void HexView::DrawRow(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    HGDIOBJ oldFont = SelectObject(dc, font_);
    HBRUSH background = CreateSolidBrush(background_);
    FillRect(dc, &r, background);
    DeleteObject(background);
    HGDIOBJ oldPen = SelectObject(dc, separator_);
    MoveToEx(dc, r.left, r.bottom - 1, nullptr);
    LineTo(dc, r.right, r.bottom - 1);
    SelectObject(dc, oldPen);
    std::unique_lock<std::timed_mutex> guard;
    if (lock_) guard = std::unique_lock<std::timed_mutex>(*lock_, kImageWait);
    if (image_ && item.itemID < rows_.size() && (!lock_ || guard)) {
        SetBkMode(dc, TRANSPARENT);
        HexRow row = FormatHexRow(*image_, rows_[item.itemID]);
        if (guard) guard.unlock();
        auto text = [&](int x, const std::string& s, COLORREF colour) {
            SetTextColor(dc, colour);
            RECT box{x, r.top, r.right, r.bottom};
            DrawTextA(dc, s.c_str(), static_cast<int>(s.size()), &box,
                      DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP);
        };
        int x = r.left + 2;
        text(x, row.address, address_);
        x += 6 * charWidth_;
        for (size_t i = 0; i < row.bytes.size(); ++i) {
            static const COLORREF* const kColour[] = {&absent_, &verified_, &mismatch_, &present_};
            text(x, row.bytes[i] + " ", *kColour[static_cast<int>(row.colours[i])]);
            x += 3 * charWidth_;
        }
        text(x + charWidth_, row.characters, characters_);
    }
    SelectObject(dc, oldFont);
}

INT_PTR HexView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_SIZE:
            MoveWindow(GetDlgItem(dialog_, IDC_HEXLIST), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return TRUE;
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (item->itemID != static_cast<UINT>(-1)) DrawRow(*item);
            return TRUE;
        }
        case WM_CONTEXTMENU: {
            HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_HEXVIEW_MENU));
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (at.x == -1 && at.y == -1) GetCursorPos(&at);
            TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, dialog_, nullptr);
            DestroyMenu(menu);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == kCmdNextError) {
                NextError();
                return TRUE;
            }
            return FALSE;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            TakeColours();
            return TRUE;
    }
    return FALSE;
}

}  // namespace quarzo
