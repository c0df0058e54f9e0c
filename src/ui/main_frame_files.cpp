// The main window's commands and its file handling: open, save, recent files, drops.
#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include "core/file_format.h"
#include "core/memory_image.h"
#include "engine/command_line.h"
#include "ui/file_drop_target.h"
#include "ui/main_frame.h"
#include "ui/model/window_model.h"
#include "ui/resource.h"
#include "ui/settings_dialog.h"

namespace quarzo {
namespace {

const char kFileFilter[] =
    "All Known Files "
    "(.bin;.dat;.tsk;.txt;.hex;.a43;.elf;.out)\0*.bin;*.dat;*.tsk;*.txt;*.hex;*.a43;*.elf;*.out\0"
    "Binary Files (.bin;.dat;.tsk)\0*.bin;*.dat;*.tsk\0"
    "TI TXT Files (.txt)\0*.txt\0"
    "Intel HEX Files (.hex;.a43)\0*.hex;*.a43\0"
    "ELF Files (.elf;.out)\0*.elf;*.out\0"
    "All Files (*.*)\0*.*\0";
// Saving writes only the formats that can be read back by every tool.
const char kSaveFilter[] =
    "All Known Files (.bin;.dat;.tsk;.txt;.hex;.a43)\0*.bin;*.dat;*.tsk;*.txt;*.hex;*.a43\0"
    "Binary Files (.bin;.dat;.tsk)\0*.bin;*.dat;*.tsk\0"
    "TI TXT Files (.txt)\0*.txt\0"
    "Intel HEX Files (.hex;.a43)\0*.hex;*.a43\0"
    "All Files (*.*)\0*.*\0";

INT_PTR CALLBACK FileFormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CheckRadioButton(dialog, IDC_FORMAT_TXT, IDC_FORMAT_BIN, IDC_FORMAT_BIN);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        int type = IsDlgButtonChecked(dialog, IDC_FORMAT_TXT)   ? kFormatTiTxt
                   : IsDlgButtonChecked(dialog, IDC_FORMAT_HEX) ? kFormatIntelHex
                                                                : kFormatBinary;
        EndDialog(dialog, type);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void MainFrame::OnCommand(unsigned id) {
    if (const CommandRow* row = FindCommand(id); row && row->action != 0) {
        if (id == kCmdAbort) {
            programmer_.BreakRunningWorker();
        } else if (!programmer_.IsBusy()) {
            StartAction(row->action);
        }
        return;
    }
    if (id >= kCmdRecentFirst && id <= kCmdRecentLast) {
        OnRecent(id);
        return;
    }
    switch (id) {
        case kCmdAuto:
            if (!programmer_.IsBusy()) StartAction(programmer_.autoprogram);
            break;
        case kCmdOpen:
            OnOpen();
            break;
        case kCmdSave:
            OnSave();
            break;
        case kCmdSetup:
            OnSetup();
            break;
        case kCmdAbout:
            ShowAboutBox(window_);
            break;
        case kCmdCommandLineHelp:
            MessageBoxA(window_, kCommandLineHelp, "Using command line", MB_OK | MB_ICONINFORMATION);
            break;
        case kCmdCopy:
            logView_.CopyLog();
            break;
        case kCmdClearLog:
            logView_.ClearLog();
            break;
        case kCmdNextError:
            hexView_.NextError();
            break;
        case kCmdExit:
            DestroyWindow(window_);
            break;
    }
}

void MainFrame::OnSetup() {
    if (programmer_.IsBusy()) return;
    Adapter* fet = programmer_.AdapterOfKind(kAdapterFetDll);
    SettingsDialog dialog(settings_, settingsPath_,
                          fet ? fet->PortChoices() : std::vector<Adapter::PortChoice>{});
    if (dialog.Show(window_) != IDOK) return;
    programmer_.ApplySettings(settings_);
    settings_.SaveSettings(settingsPath_);
    Refresh(false);
}

bool MainFrame::OpenFile(const std::string& path, bool addToRecent) {
    // A run in progress shares the image; it ends before the file replaces it.
    programmer_.BreakRunningWorker();
    int type = FormatFromExtension(path);
    if (type == kFormatUnknown) type = AskFileFormat();
    bool loaded = programmer_.LoadFile(path, type);
    if (loaded && addToRecent) AddRecent(path);
    Refresh(true);
    return loaded;
}

int MainFrame::AskFileFormat() {
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FILEFORMAT),
                                            window_, FileFormatProc, 0));
}

// The open or save dialog, starting at the image's file name; false when the user cancels.
bool MainFrame::AskFileName(bool save, std::string& chosen) {
    char path[MAX_PATH] = "";
    lstrcpynA(path, programmer_.Image().FileName().c_str(), MAX_PATH);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = window_;
    ofn.lpstrFilter = save ? kSaveFilter : kFileFilter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn))) return false;
    chosen = path;
    return true;
}

void MainFrame::OnOpen() {
    std::string path;
    if (AskFileName(false, path)) OpenFile(path, true);
}

void MainFrame::OnSave() {
    std::string path;
    if (!AskFileName(true, path)) return;
    std::string name = path;
    int type = SaveFormatFromExtension(name);
    if (type == kFormatUnknown) {
        type = AskFileFormat();
        static const char* const kExtensions[] = {"bin", "hex", "txt"};
        name += std::string(".") + kExtensions[type];
    }
    if (programmer_.SaveFile(name, type)) AddRecent(name);
    Refresh(true);
}

void MainFrame::OnRecent(unsigned id) {
    size_t index = id - kCmdRecentFirst;
    if (index >= recent_.files.size()) {
        MessageBeep(MB_OK);
        return;
    }
    std::string path = recent_.files[index];
    if (OpenFile(path, false)) {
        AddRecentFile(recent_.files, path, recent_.maximum);
    } else {
        RemoveRecentFile(recent_.files, index);
    }
    SaveRecentFiles(settingsPath_, recent_);
    UpdateRecentMenu();
}

void MainFrame::OnDrop(HDROP drop) {
    std::vector<std::string> dropped = DroppedFiles(drop);
    DragFinish(drop);
    OpenDropped(dropped);
}

void MainFrame::OpenDropped(const std::vector<std::string>& dropped) {
    if (auto path = DroppedFileToOpen(dropped)) OpenFile(*path, true);
}

void MainFrame::AddRecent(const std::string& path) {
    AddRecentFile(recent_.files, path, recent_.maximum);
    SaveRecentFiles(settingsPath_, recent_);
    UpdateRecentMenu();
}

void MainFrame::UpdateRecentMenu() {
    while (GetMenuItemCount(recentMenu_) > 0) DeleteMenu(recentMenu_, 0, MF_BYPOSITION);
    if (recent_.files.empty()) {
        AppendMenuA(recentMenu_, MF_STRING | MF_GRAYED, IDM_RECENT_EMPTY, "(empty)");
        return;
    }
    for (size_t i = 0; i < recent_.files.size() && i <= kCmdRecentLast - kCmdRecentFirst; ++i) {
        AppendMenuA(recentMenu_, MF_STRING, kCmdRecentFirst + i, RecentMenuText(i, recent_.files[i]).c_str());
    }
}

}  // namespace quarzo
