// The main window: creation, layout, messages from the worker and the hand-over, and idle enabling.
#include "ui/main_frame.h"

#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "core/memory_image.h"
#include "ui/command_images.h"
#include "ui/dpi.h"
#include "ui/model/window_model.h"
#include "ui/resource.h"
#include "ui/shared_memory.h"

namespace quarzo {
namespace {

constexpr int kProgressWidth = 100;
constexpr int kAdapterPanePadding = 16;
constexpr int kSmallImage = 16;  // menu images
constexpr int kLargeImage = 24;  // toolbar images
constexpr int kMenuImageBox = 18;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
constexpr auto kImageWait = std::chrono::milliseconds(100);  // a run holds the image only for moments

struct ToolbarButton {
    unsigned id;
    BYTE style;
};

constexpr ToolbarButton kToolbar[] = {
    {kCmdOpen, BTNS_DROPDOWN},
    {kCmdSave, BTNS_BUTTON},
    {0, BTNS_SEP},
    {kCmdSetup, BTNS_BUTTON},
    {0, BTNS_SEP},
    {kCmdAuto, BTNS_BUTTON},
    {kCmdErase, BTNS_BUTTON},
    {kCmdBlankCheck, BTNS_BUTTON},
    {kCmdProgram, BTNS_BUTTON},
    {kCmdVerify, BTNS_BUTTON},
    {kCmdRead, BTNS_BUTTON},
    {kCmdReset, BTNS_BUTTON},
    {kCmdAbort, BTNS_BUTTON},
    {0, BTNS_SEP},
    {kCmdAbout, BTNS_BUTTON},
};

// Keeps handling messages sent to this thread while it waits, so that a worker that is sending a
// log line to the window can finish and end.
void PumpSentMessagesUntil(const std::function<bool()>& ended, int timeoutMs) {
    DWORD start = GetTickCount();
    while (!ended() && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

MainFrame::MainFrame(SettingsStore& settings, const std::string& settingsPath, SharedMemory& shared)
    : settings_(settings), settingsPath_(settingsPath), shared_(shared) {
    programmer_.Worker().SetWaitHook(PumpSentMessagesUntil);
}

MainFrame::~MainFrame() {
    if (largeImages_) ImageList_Destroy(largeImages_);
    if (smallImages_) ImageList_Destroy(smallImages_);
}

bool MainFrame::Create(int show) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);
    accelerators_ = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    window_ = CreateWindowExA(WS_EX_ACCEPTFILES, kClassName, "QUARZO - []",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance, this);
    if (!window_) return false;
    ShowWindow(window_, show);
    UpdateWindow(window_);
    return true;
}

LRESULT CALLBACK MainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<MainFrame*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT MainFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case kSinkMessage:
            OnSinkNotice(wParam, lParam);
            return 0;
        case kHandoverMessage:
            if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
            SetForegroundWindow(window_);
            if (shared_.IsAvailable()) RunCommandLine(shared_.Text());
            return 0;
        case WM_TIMER:
            if (wParam == kRunTimer && !programmer_.IsBusy()) {
                KillTimer(window_, kRunTimer);
                Refresh(false);
            }
            return 0;
        case WM_DROPFILES:
            OnDrop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_MENUSELECT: {
            const CommandRow* row = (HIWORD(wParam) & MF_POPUP) ? nullptr : FindCommand(LOWORD(wParam));
            std::string text = row ? row->statusText : "Ready";
            SendMessageA(status_, SB_SETTEXTA, 0,
                         reinterpret_cast<LPARAM>(text.substr(0, text.find('\n')).c_str()));
            return 0;
        }
        case WM_EXITMENULOOP:
            SendMessageA(status_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("Ready"));
            return 0;
        case WM_MEASUREITEM: {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (measure->CtlType != ODT_MENU) break;
            measure->itemWidth = static_cast<UINT>(Scale(kMenuImageBox));
            measure->itemHeight = static_cast<UINT>(Scale(kMenuImageBox));
            return TRUE;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (item->CtlType != ODT_MENU) break;
            int image = CommandImageOf(item->itemID);
            if (image >= 0) {
                UINT style =
                    (item->itemState & ODS_DISABLED) ? ILD_TRANSPARENT | ILD_BLEND50 : ILD_TRANSPARENT;
                ImageList_Draw(smallImages_, image, item->hDC, item->rcItem.left + 1, item->rcItem.top + 1,
                               style);
            }
            return TRUE;
        }
        case WM_SETCURSOR: {
            POINT at;
            GetCursorPos(&at);
            ScreenToClient(window_, &at);
            RECT bar = SplitterBar();
            if (LOWORD(lParam) == HTCLIENT && PtInRect(&bar, at)) {
                SetCursor(LoadCursorA(nullptr, IDC_SIZENS));
                return TRUE;
            }
            break;
        }
        case WM_LBUTTONDOWN: {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            RECT bar = SplitterBar();
            if (PtInRect(&bar, at)) {
                dragging_ = true;
                SetCapture(window_);
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (dragging_) {
                RECT bar = SplitterBar();
                SetSplit(split_ + GET_Y_LPARAM(lParam) - (bar.top + Scale(kSplitterBar) / 2));
            }
            return 0;
        case WM_LBUTTONUP:
            if (dragging_) {
                dragging_ = false;
                ReleaseCapture();
            }
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            SendMessageA(hexView_.Window(), message, wParam, lParam);
            SendMessageA(toolbar_, message, wParam, lParam);
            break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void MainFrame::OnCreate() {
    dpi_ = WindowDpi(window_);
    // A first start (the default still stored) opens at the default scaled to the display; a size the
    // user left is used as it is.
    int size = settings_.GetIntSetting(kSetWinSize);
    if (size == kDefaultWinSize) size = FirstStartWinSize(dpi_);
    if (WinSizeWidth(size) > 100 && WinSizeHeight(size) > 100) {
        SetWindowPos(window_, nullptr, 0, 0, WinSizeWidth(size), WinSizeHeight(size),
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    CreateImages();
    CreateToolbar();
    CreateStatusBar();
    SetMenuImages(GetMenu(window_));
    hexView_.Create(window_, dpi_);
    logView_.Create(window_, dpi_);
    split_ = settings_.GetIntSetting(kSetWinSplit);
    if (split_ == kDefaultWinSplit) split_ = Scale(kDefaultWinSplit);

    recentMenu_ = GetSubMenu(GetSubMenu(GetMenu(window_), 0), 3);
    recent_.maximum = RecentFileList::kDefaultMaximum;
    LoadRecentFiles(settingsPath_, recent_);
    UpdateRecentMenu();

    sink_.SetWindow(window_, kSinkMessage);
    programmer_.SetSink(&sink_);
    programmer_.ApplySettings(settings_);
    logView_.SelectDevice(programmer_.deviceIndex);
    // Both ways files arrive: WM_DROPFILES, and OLE drag and drop for sources that use it.
    DragAcceptFiles(window_, TRUE);
    RegisterDragDrop(window_, &dropTarget_);
    Layout();
    Refresh(true);
    // The memory view takes the keyboard, not the device list.
    SetFocus(hexView_.List());
}

void MainFrame::OnDestroy() {
    RevokeDragDrop(window_);
    programmer_.StopWorker();
    if (settings_.GetBoolSetting(kSetSaveWindow) && !IsIconic(window_) && !IsZoomed(window_)) {
        RECT r;
        GetWindowRect(window_, &r);
        settings_.SetIntSetting(kSetWinSize, PackWinSize(r.right - r.left, r.bottom - r.top));
        settings_.SetIntSetting(kSetWinSplit, split_);
    }
    settings_.SetIntSetting(kSetDeviceIndex, logView_.SelectedDevice());
    PostQuitMessage(1);
}

void MainFrame::CreateToolbar() {
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0,
                               window_, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    SendMessageA(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(largeImages_));
    std::vector<TBBUTTON> buttons;
    for (const ToolbarButton& b : kToolbar) {
        TBBUTTON button{};
        button.iBitmap = b.style == BTNS_SEP ? 6 : CommandImageOf(b.id);
        button.idCommand = static_cast<int>(b.id);
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = b.style;
        buttons.push_back(button);
    }
    SendMessageA(toolbar_, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
}

void MainFrame::CreateImages() {
    // Drawn at the size of the scale, not stretched.
    if (largeImages_) ImageList_Destroy(largeImages_);
    if (smallImages_) ImageList_Destroy(smallImages_);
    largeImages_ = CreateCommandImages(Scale(kLargeImage));
    smallImages_ = CreateCommandImages(Scale(kSmallImage));
}

void MainFrame::OnDpiChanged(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    int oldSplit = split_;
    CreateImages();
    SendMessageA(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(largeImages_));
    SendMessageA(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(Scale(kLargeImage), Scale(kLargeImage)));
    hexView_.SetDpi(dpi_);
    logView_.SetDpi(dpi_);
    lowerHeight_ = -1;
    split_ = oldSplit;
    if (suggested) {
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Layout();
    InvalidateRect(window_, nullptr, TRUE);
}

void MainFrame::CreateStatusBar() {
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "Ready", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                              0, window_, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void MainFrame::SetMenuImages(HMENU menu) {
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            SetMenuImages(sub);
            continue;
        }
        unsigned id = GetMenuItemID(menu, i);
        if (CommandImageOf(id) < 0) continue;
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = HBMMENU_CALLBACK;
        SetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    }
}

MainFrame::PaneArea MainFrame::Panes() const {
    RECT client{}, tb{}, sb{};
    GetClientRect(window_, &client);
    if (toolbar_) GetWindowRect(toolbar_, &tb);
    if (status_) GetWindowRect(status_, &sb);
    int top = tb.bottom - tb.top;
    return PaneArea{top, client.bottom - top - (sb.bottom - sb.top), client.right};
}

RECT MainFrame::SplitterBar() const {
    PaneArea area = Panes();
    return RECT{0, area.top + split_, area.width, area.top + split_ + Scale(kSplitterBar)};
}

void MainFrame::SetSplit(int position) {
    // Layout keeps the lower pane's height and limits the split.
    lowerHeight_ = Panes().height - position - Scale(kSplitterBar);
    Layout();
}

void MainFrame::Layout() {
    if (!toolbar_ || !status_) return;
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageA(status_, WM_SIZE, 0, 0);
    PaneArea panes = Panes();
    int top = panes.top, area = panes.height;
    SplitLayout split = LayOutSplit(area, split_, lowerHeight_, dpi_);
    split_ = split.split;
    lowerHeight_ = split.lowerHeight;
    MoveWindow(hexView_.Window(), 0, top, panes.width, split_, TRUE);
    MoveWindow(logView_.Window(), 0, top + split_ + Scale(kSplitterBar), panes.width,
               std::max(0, lowerHeight_), TRUE);

    HDC dc = GetDC(status_);
    SIZE adapter{};
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(status_, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, "WWW WWW(WWWW)", 13, &adapter);
    SelectObject(dc, old);
    ReleaseDC(status_, dc);
    int progress = progress_ ? Scale(kProgressWidth) : 0;
    int adapterPane = static_cast<int>(adapter.cx) + Scale(kAdapterPanePadding);
    int parts[3] = {std::max(0, panes.width - adapterPane - progress), std::max(0, panes.width - adapterPane),
                    -1};
    SendMessageA(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    if (progress_) {
        RECT pane;
        SendMessageA(status_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&pane));
        MoveWindow(progress_, pane.left, pane.top, pane.right - pane.left, pane.bottom - pane.top, TRUE);
    }
}

void MainFrame::ShowProgress(int low, int high) {
    if (!progress_) {
        progress_ = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, status_,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    SendMessageA(progress_, PBM_SETRANGE32, low, high);
    SendMessageA(progress_, PBM_SETPOS, low, 0);
    Layout();
}

void MainFrame::HideProgress() {
    if (progress_) DestroyWindow(progress_);
    progress_ = nullptr;
    Layout();
}

void MainFrame::OnSinkNotice(WPARAM notice, LPARAM value) {
    switch (notice) {
        case WindowLogSink::kAppendLine:
            logView_.AppendLogLine(sink_.Text(), static_cast<int>(value));
            break;
        case WindowLogSink::kProgressStart: {
            int low, high;
            UnpackProgressRange(static_cast<uint32_t>(value), low, high);
            ShowProgress(low, high);
            break;
        }
        case WindowLogSink::kProgressStartWide: {
            int low, high;
            sink_.WideRange(low, high);
            ShowProgress(low, high);
            break;
        }
        case WindowLogSink::kProgressPos:
            if (progress_) SendMessageA(progress_, PBM_SETPOS, value, 0);
            break;
        case WindowLogSink::kProgressEnd:
            HideProgress();
            break;
        case WindowLogSink::kRefresh:
            Refresh(false);
            break;
    }
}

LRESULT MainFrame::OnNotify(NMHDR* header) {
    if (header->code == TTN_GETDISPINFOA) {
        auto* tip = reinterpret_cast<NMTTDISPINFOA*>(header);
        unsigned id = static_cast<unsigned>(header->idFrom);
        static std::string text;
        if (id == kCmdAbout) {
            text = "About";
        } else if (const CommandRow* row = FindCommand(id)) {
            std::string status = row->statusText;
            size_t nl = status.find('\n');
            text = nl == std::string::npos ? status : status.substr(nl + 1);
        }
        tip->lpszText = const_cast<char*>(text.c_str());
        return 0;
    }
    if (header->code == TBN_DROPDOWN && header->hwndFrom == toolbar_) {
        auto* drop = reinterpret_cast<NMTOOLBARA*>(header);
        RECT button;
        SendMessageA(toolbar_, TB_GETRECT, drop->iItem, reinterpret_cast<LPARAM>(&button));
        MapWindowPoints(toolbar_, nullptr, reinterpret_cast<POINT*>(&button), 2);
        TrackPopupMenu(recentMenu_, TPM_LEFTALIGN | TPM_TOPALIGN, button.left, button.bottom, 0, window_,
                       nullptr);
        return TBDDRET_DEFAULT;
    }
    return 0;
}

void MainFrame::OnIdle() {
    bool busy = programmer_.IsBusy();
    bool empty = imageEmpty_;
    std::unique_lock<std::timed_mutex> guard(programmer_.ImageLock(), std::try_to_lock);
    if (guard) empty = imageEmpty_ = programmer_.Image().UsedSize() == 0;
    if (guard) guard.unlock();
    HMENU menu = GetMenu(window_);
    for (const CommandRow& row : CommandTable()) {
        bool enabled = IsCommandEnabled(row.id, busy, empty);
        EnableMenuItem(menu, row.id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        SendMessageA(toolbar_, TB_ENABLEBUTTON, row.id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    }
}

bool MainFrame::TranslateAccelerator(MSG& msg) {
    return accelerators_ && ::TranslateAcceleratorA(window_, accelerators_, &msg);
}

void MainFrame::Refresh(bool force) {
    if (programmer_.viewChanged.exchange(false) || force) {
        MemoryImage& image = programmer_.Image();
        std::unique_lock<std::timed_mutex> guard(programmer_.ImageLock(), std::defer_lock);
        if (hexView_.SetImage(&image, &programmer_.ImageLock()) && guard.try_lock_for(kImageWait)) {
            std::string title = WindowTitle(image.FileName(), image.IsModified());
            guard.unlock();
            SetWindowTextA(window_, title.c_str());
        } else {
            programmer_.viewChanged = true;  // the run held the image: the next refresh shows it
        }
    }
    hexView_.Redraw();
    if (logView_.SelectedDevice() != programmer_.deviceIndex) logView_.SelectDevice(programmer_.deviceIndex);
    char name[Adapter::kNameSize] = "";
    if (Adapter* adapter = programmer_.CurrentAdapter()) {
        adapter->GetName(name);
        // A part outside the device list, as the adapter identified it (the FET library's own name).
        bool outside = programmer_.deviceIndex == 0 && !programmer_.IsBusy();
        logView_.ShowIdentified(outside ? IdentifiedDeviceText(adapter->device) : "");
    }
    SendMessageA(status_, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>(name));
}

void MainFrame::StartAction(ActionFlags flags) {
    if (flags == 0) return;
    programmer_.deviceIndex = logView_.SelectedDevice();
    programmer_.Start(flags);
    SetTimer(window_, kRunTimer, kRunTimerMs, nullptr);
}

void MainFrame::RunCommandLine(const std::string& text) {
    if (text.empty()) return;
    programmer_.BreakRunningWorker();
    programmer_.ApplySettings(settings_);
    sink_.Log(kLogInfo, "Command line: %s", text.c_str());
    programmer_.StartCommandLine(text.c_str());
    SetTimer(window_, kRunTimer, kRunTimerMs, nullptr);
}

}  // namespace quarzo
