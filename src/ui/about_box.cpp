// The about box with its two links.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "quarzo_version.h"
#include "ui/resource.h"
#include "ui/settings_dialog.h"

namespace quarzo {
namespace {

constexpr const char* kVersion = QUARZO_VERSION_TEXT;
constexpr const char* kTitle = "Quarzo MSP430 Flash Programmer";
constexpr const char* kWebsite = "https://quarzo.example/";
constexpr const char* kMail = "quarzo@example.org";
// The link's target, kept as a window property (an atom) so that any program may read it.
constexpr const char* kTargetProperty = "QuarzoLinkTarget";

COLORREF RegistryColour(const char* name, COLORREF fallback) {
    char text[64] = "";
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Settings", name,
                     RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
        return fallback;
    }
    int r, g, b;
    return std::sscanf(text, "%d,%d,%d", &r, &g, &b) == 3 ? RGB(r, g, b) : fallback;
}

struct AboutState {
    HFONT bold = nullptr;
    HFONT italic = nullptr;
    HFONT underline = nullptr;
    COLORREF linkColour = RGB(0, 0, 255);
    COLORREF visitedColour = RGB(128, 0, 128);
    bool visited[2] = {false, false};
};

HFONT DerivedFont(HWND control, LONG weight, BYTE italic, BYTE underline) {
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    if (weight) lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    return CreateFontIndirectA(&lf);
}

std::string LinkTarget(HWND link) {
    char text[256] = "";
    auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropA(link, kTargetProperty)));
    if (atom) GlobalGetAtomNameA(atom, text, sizeof text);
    return text;
}

LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_SETCURSOR) {
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(RemovePropA(link, kTargetProperty)));
        if (atom) GlobalDeleteAtom(atom);
        RemoveWindowSubclass(link, LinkProc, 3);
    }
    return DefSubclassProc(link, message, wParam, lParam);
}

void MakeLink(HWND dialog, int id, const std::string& target, HWND tooltip) {
    HWND link = GetDlgItem(dialog, id);
    SetWindowLongPtrA(link, GWL_STYLE, GetWindowLongPtrA(link, GWL_STYLE) | SS_NOTIFY);
    SetPropA(link, kTargetProperty,
             reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GlobalAddAtomA(target.c_str()))));
    SetWindowSubclass(link, LinkProc, 3, 0);
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(link);
    tool.lpszText = const_cast<char*>(target.c_str());
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<AboutState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<AboutState*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            RECT parent, box;
            GetWindowRect(GetParent(dialog) ? GetParent(dialog) : GetDesktopWindow(), &parent);
            GetWindowRect(dialog, &box);
            SetWindowPos(dialog, nullptr,
                         parent.left + (parent.right - parent.left - (box.right - box.left)) / 2,
                         parent.top + (parent.bottom - parent.top - (box.bottom - box.top)) / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
            state->linkColour = RegistryColour("Anchor Color", state->linkColour);
            state->visitedColour = RegistryColour("Anchor Color Visited", state->visitedColour);
            HWND tooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                           dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
            static std::string website = kWebsite;
            static std::string mail = std::string("mailto:") + kMail + "?subject=QUARZO_" + kVersion;
            MakeLink(dialog, IDC_ABOUT_WEB, website, tooltip);
            MakeLink(dialog, IDC_ABOUT_MAIL, mail, tooltip);
            SetDlgItemTextA(dialog, IDC_ABOUT_WEB, kWebsite);
            HWND title = GetDlgItem(dialog, IDC_ABOUT_TITLE);
            state->bold = DerivedFont(title, FW_BOLD, FALSE, FALSE);
            SendMessageA(title, WM_SETFONT, reinterpret_cast<WPARAM>(state->bold), TRUE);
            SetWindowTextA(title, kTitle);
            HWND version = GetDlgItem(dialog, IDC_ABOUT_VERSION);
            state->italic = DerivedFont(version, 0, TRUE, FALSE);
            SendMessageA(version, WM_SETFONT, reinterpret_cast<WPARAM>(state->italic), TRUE);
            SetWindowTextA(version, (std::string("version ") + kVersion).c_str());
            state->underline = DerivedFont(GetDlgItem(dialog, IDC_ABOUT_WEB), 0, FALSE, TRUE);
            for (int id : {IDC_ABOUT_WEB, IDC_ABOUT_MAIL}) {
                SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(state->underline), TRUE);
            }
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id != IDC_ABOUT_WEB && id != IDC_ABOUT_MAIL) return FALSE;
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, state->visited[id - IDC_ABOUT_WEB] ? state->visitedColour : state->linkColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_COMMAND: {
            int id = LOWORD(wParam);
            if ((id == IDC_ABOUT_WEB || id == IDC_ABOUT_MAIL) && HIWORD(wParam) == STN_CLICKED) {
                HWND link = GetDlgItem(dialog, id);
                auto opened = reinterpret_cast<INT_PTR>(
                    ShellExecuteA(dialog, "open", LinkTarget(link).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
                if (opened > 32) {
                    state->visited[id - IDC_ABOUT_WEB] = true;
                    InvalidateRect(link, nullptr, TRUE);
                }
                return TRUE;
            }
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(dialog, id);
                return TRUE;
            }
            break;
        }
        case WM_DESTROY:
            if (state) {
                DeleteObject(state->bold);
                DeleteObject(state->italic);
                DeleteObject(state->underline);
            }
            break;
    }
    return FALSE;
}

}  // namespace

void ShowAboutBox(HWND owner) {
    AboutState state;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&state));
}

}  // namespace quarzo
