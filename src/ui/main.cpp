// The Windows program: settings, the single-instance hand-over, the main window and its message loop.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "core/settings_store.h"
#include "platform/settings_path.h"
#include "ui/main_frame.h"
#include "ui/model/window_model.h"
#include "ui/shared_memory.h"

namespace {

// The argument text after the program's own name, as the process received it.
std::string ArgumentText() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// True when the command line went to the instance that already runs.
bool HandOver(quarzo::SharedMemory& shared, const std::string& text) {
    if (!shared.IsAvailable()) return false;
    CreateMutexA(nullptr, FALSE, "Local\\quarzo16x_OneInstance");
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    HWND running = shared.Window();
    if (!running || !IsWindow(running)) return false;
    // A command line that does not fit is not cut short: this start then runs its own window.
    if (!shared.SetText(text)) return false;
    PostMessageA(running, quarzo::MainFrame::kHandoverMessage, 0, 0);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // COM for the thread, with OLE drag and drop.
    OleInitialize(nullptr);
    quarzo::SettingsStore settings;
    std::string settingsPath = quarzo::platform::SettingsFilePath();
    settings.LoadSettings(settingsPath);
    quarzo::SharedMemory shared;
    shared.Open();
    std::string arguments = ArgumentText();

    if (settings.GetBoolSetting(quarzo::kSetSingleInstance) && HandOver(shared, arguments)) {
        shared.Close();
        OleUninitialize();
        return 0;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES |
                                                       ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS |
                                                       ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS |
                                                       ICC_ANIMATE_CLASS | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryA("RICHED20.DLL");

    int exitCode = 0;
    {
        quarzo::MainFrame frame(settings, settingsPath, shared);
        if (frame.Create(show)) {
            frame.RunCommandLine(arguments);
            shared.SetWindow(frame.Window());
            MSG msg;
            for (;;) {
                while (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                    frame.OnIdle();
                    WaitMessage();
                }
                if (!GetMessageA(&msg, nullptr, 0, 0)) break;
                if (!frame.TranslateAccelerator(msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
            }
            exitCode = static_cast<int>(msg.wParam);
        }
    }
    settings.SaveSettings(settingsPath);
    shared.Close();
    OleUninitialize();
    return exitCode;
}
