#include "ui/property_list.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/dpi.h"
#include "ui/model/window_model.h"

namespace quarzo {

void PropertyList::Attach(HWND dialog, int id) {
    dialog_ = dialog;
    list_ = GetDlgItem(dialog, id);
    SetWindowSubclass(list_, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void PropertyList::SetItems(std::vector<PropertyItem> items) {
    EndEdit(false);
    items_ = std::move(items);
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
    // The names are kept as the list's strings too, so that anyone may read them.
    for (const PropertyItem& item : items_)
        SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.name.c_str()));
}

const std::vector<PropertyItem>& PropertyList::Items() {
    EndEdit(true);
    return items_;
}

int PropertyList::SelectedId() const {
    LRESULT index = SendMessageA(list_, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || static_cast<size_t>(index) >= items_.size()) return -1;
    return items_[static_cast<size_t>(index)].id;
}

int PropertyList::NameWidth() const {
    RECT client;
    GetClientRect(list_, &client);
    return (client.right - client.left) / 2;
}

RECT PropertyList::ValueRect(int index) const {
    RECT r{};
    SendMessageA(list_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    r.left += NameWidth();
    return r;
}

void PropertyList::Draw(const DRAWITEMSTRUCT& d) {
    if (d.itemID == static_cast<UINT>(-1) || d.itemID >= items_.size()) return;
    const PropertyItem& item = items_[d.itemID];
    HDC dc = d.hDC;
    RECT r = d.rcItem;
    bool selected = (d.itemState & ODS_SELECTED) != 0;
    int split = r.left + NameWidth();
    // Margins scale with the display, like the rows that hold them.
    const int dpi = WindowDpi(list_);
    const int margin = ScalePixels(4, dpi), checkWidth = ScalePixels(18, dpi),
              checkInset = ScalePixels(3, dpi);
    SetBkMode(dc, TRANSPARENT);
    if (item.kind == PropertyKind::kCategory) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        LOGFONTA lf{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        HFONT bold = CreateFontIndirectA(&lf);
        HGDIOBJ old = SelectObject(dc, bold);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        RECT text{r.left + margin, r.top, r.right, r.bottom};
        DrawTextA(dc, item.name.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SelectObject(dc, old);
        DeleteObject(bold);
    } else {
        RECT name{r.left, r.top, split, r.bottom};
        FillRect(dc, &name, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        RECT value{split, r.top, r.right, r.bottom};
        FillRect(dc, &value, GetSysColorBrush(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT text{r.left + margin + (item.kind == PropertyKind::kCheck ? checkWidth : 0), r.top,
                  split - margin / 2, r.bottom};
        if (item.kind == PropertyKind::kCheck) {
            int box = r.bottom - r.top - 2 * checkInset;
            RECT check{r.left + margin, r.top + checkInset, r.left + margin + box, r.top + checkInset + box};
            DrawFrameControl(dc, &check, DFC_BUTTON, DFCS_BUTTONCHECK | (item.choice ? DFCS_CHECKED : 0));
        }
        DrawTextA(dc, item.name.c_str(), -1, &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        std::string shown;
        if (item.kind == PropertyKind::kEdit) {
            shown = item.text;
        } else if (item.kind != PropertyKind::kCheck && item.choice >= 0 &&
                   static_cast<size_t>(item.choice) < item.options.size()) {
            shown = item.options[static_cast<size_t>(item.choice)];
        }
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        RECT valueText{split + margin, r.top, r.right - margin / 2, r.bottom};
        DrawTextA(dc, shown.c_str(), -1, &valueText,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        HPEN grid = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
        HGDIOBJ oldPen = SelectObject(dc, grid);
        MoveToEx(dc, split, r.top, nullptr);
        LineTo(dc, split, r.bottom);
        MoveToEx(dc, r.left, r.bottom - 1, nullptr);
        LineTo(dc, r.right, r.bottom - 1);
        SelectObject(dc, oldPen);
        DeleteObject(grid);
    }
    if (d.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

void PropertyList::Toggle(int index) {
    PropertyItem& item = items_[static_cast<size_t>(index)];
    if (item.kind != PropertyKind::kCheck) return;
    item.choice = item.choice ? 0 : 1;
    RECT r;
    SendMessageA(list_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    InvalidateRect(list_, &r, TRUE);
}

void PropertyList::BeginEdit(int index) {
    EndEdit(true);
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
    PropertyItem& item = items_[static_cast<size_t>(index)];
    if (item.kind == PropertyKind::kCategory) return;
    if (item.kind == PropertyKind::kCheck) {
        Toggle(index);
        return;
    }
    RECT r = ValueRect(index);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0));
    if (item.kind == PropertyKind::kEdit) {
        editor_ = CreateWindowExA(
            0, "EDIT", item.text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, r.left, r.top,
            r.right - r.left, r.bottom - r.top, list_, nullptr, GetModuleHandleA(nullptr), nullptr);
        SendMessageA(editor_, EM_SETSEL, 0, -1);
    } else {
        editor_ = CreateWindowExA(0, "COMBOBOX", nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, r.left, r.top - 2,
                                  r.right - r.left, 200, list_, nullptr, GetModuleHandleA(nullptr), nullptr);
        for (const std::string& option : item.options) {
            SendMessageA(editor_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(option.c_str()));
        }
        SendMessageA(editor_, CB_SETCURSEL, item.choice, 0);
    }
    SendMessageA(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SetWindowSubclass(editor_, EditorProc, 2, reinterpret_cast<DWORD_PTR>(this));
    editing_ = index;
    SetFocus(editor_);
}

void PropertyList::EndEdit(bool commit) {
    if (!editor_ || ending_) return;
    ending_ = true;
    PropertyItem& item = items_[static_cast<size_t>(editing_)];
    if (commit) {
        if (item.kind == PropertyKind::kEdit) {
            char text[256] = "";
            GetWindowTextA(editor_, text, sizeof text);
            item.text = text;
        } else {
            LRESULT choice = SendMessageA(editor_, CB_GETCURSEL, 0, 0);
            if (choice != CB_ERR) item.choice = static_cast<int>(choice);
        }
    }
    HWND editor = editor_;
    editor_ = nullptr;
    editing_ = -1;
    bool hadFocus = GetFocus() == editor;
    DestroyWindow(editor);
    if (hadFocus) SetFocus(list_);
    InvalidateRect(list_, nullptr, TRUE);
    ending_ = false;
}

LRESULT CALLBACK PropertyList::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data) {
    auto* self = reinterpret_cast<PropertyList*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTCHARS;
        case WM_KEYDOWN: {
            int index = static_cast<int>(SendMessageA(window, LB_GETCURSEL, 0, 0));
            if (wParam == VK_F2 || wParam == VK_RETURN) {
                self->BeginEdit(index);
                return 0;
            }
            if (wParam == VK_SPACE && index >= 0) {
                self->Toggle(index);
                return 0;
            }
            break;
        }
        case WM_CHAR:
            if (wParam == ' ') return 0;
            break;
        case WM_LBUTTONDOWN: {
            LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            LRESULT hit = SendMessageA(window, LB_ITEMFROMPOINT, 0, lParam);
            int index = LOWORD(hit);
            if (!HIWORD(hit) && index >= 0 && static_cast<size_t>(index) < self->items_.size()) {
                const PropertyItem& item = self->items_[static_cast<size_t>(index)];
                bool onValue = GET_X_LPARAM(lParam) >= self->NameWidth();
                if (item.kind == PropertyKind::kCheck) {
                    self->Toggle(index);
                } else if (onValue) {
                    self->BeginEdit(index);
                }
            }
            return result;
        }
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            self->EndEdit(true);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, ListProc, 1);
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK PropertyList::EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
    auto* self = reinterpret_cast<PropertyList*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                self->EndEdit(true);
                return 0;
            }
            if (wParam == VK_ESCAPE) {
                self->EndEdit(false);
                return 0;
            }
            if (wParam == VK_TAB) {
                self->EndEdit(true);
                SendMessageA(self->dialog_, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, FALSE);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == '\r' || wParam == 27 || wParam == '\t') return 0;
            break;
        case WM_KILLFOCUS: {
            // A drop-down list keeps its editor while its own list is open.
            LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            HWND to = reinterpret_cast<HWND>(wParam);
            if (!to || GetParent(to) != window) self->EndEdit(true);
            return result;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, EditorProc, 2);
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace quarzo
