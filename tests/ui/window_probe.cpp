#include "ui/window_probe.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdlib>
#include <fstream>

namespace quarzo::ui_test {
namespace {

constexpr const char* kFrameClass = "Quarzo16xMainFrame";

LRESULT Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, w, l, SMTO_BLOCK, 5000, &result);
    return static_cast<LRESULT>(result);
}

// The first child of the frame that holds a control of that id.
HWND PaneWith(HWND frame, int id) {
    for (HWND child = FindWindowExA(frame, nullptr, nullptr, nullptr); child;
         child = FindWindowExA(frame, child, nullptr, nullptr)) {
        if (GetDlgItem(child, id)) return child;
    }
    return nullptr;
}

bool WaitGone(HWND window, DWORD timeoutMs = 10000) {
    return Until([window] { return !IsWindow(window); }, timeoutMs);
}

}  // namespace

QuarzoProcess::QuarzoProcess(const std::string& folder, const std::string& arguments) {
    std::string exe = folder + "\\quarzo.exe";
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string source = module;
    CopyFileA((source.substr(0, source.find_last_of('\\') + 1) + QUARZO_EXE).c_str(), exe.c_str(), FALSE);
    std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                       &startup, &info_)) {
        process_ = info_.hProcess;
        CloseHandle(info_.hThread);
    }
}

QuarzoProcess::~QuarzoProcess() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        if (HWND w = Window(0)) PostMessageA(w, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_, 5000) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
    }
    CloseHandle(process_);
}

HWND QuarzoProcess::Window(DWORD timeoutMs) {
    std::vector<HWND> frames;
    Until([&] { return !(frames = MainWindows(info_.dwProcessId)).empty(); }, timeoutMs);
    return frames.empty() ? nullptr : frames[0];
}

int QuarzoProcess::WaitForExit(DWORD timeoutMs) {
    DWORD code = 0;
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

bool Until(const std::function<bool()>& done, DWORD timeoutMs) {
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
    }
}

std::string TitleOf(HWND window) {
    char text[512] = "";
    Send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string LogText(HWND frame) {
    HWND pane = PaneWith(frame, 1006);
    if (!pane) return "";
    HWND log = GetDlgItem(pane, 1006);
    std::string text(static_cast<size_t>(Send(log, WM_GETTEXTLENGTH)) + 1, '\0');
    Send(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(strlen(text.c_str()));
    return text;
}

bool WaitForLog(HWND frame, const std::string& text, DWORD timeoutMs) {
    return Until([&] { return LogText(frame).find(text) != std::string::npos; }, timeoutMs);
}

HWND HexDialog(HWND frame) {
    return PaneWith(frame, 1013);
}

HWND HexList(HWND frame) {
    return GetDlgItem(HexDialog(frame), 1013);
}

HWND Toolbar(HWND frame) {
    return FindWindowExA(frame, nullptr, TOOLBARCLASSNAMEA, nullptr);
}

void Settle(HWND frame) {
    // A message round trip, then a moment for the idle update that follows it.
    Send(frame, WM_NULL);
    Sleep(300);
    Send(frame, WM_NULL);
}

bool ButtonEnabled(HWND frame, unsigned id) {
    return Send(Toolbar(frame), TB_ISBUTTONENABLED, id) != 0;
}

HWND OpenDialogFrom(HWND frame, unsigned command, const char* title) {
    Settle(frame);
    PostMessageA(frame, WM_COMMAND, command, 0);
    HWND dialog = nullptr;
    Until([&] { return (dialog = FindWindowA("#32770", title)) && IsWindowVisible(dialog); });
    return dialog;
}

bool PressAndWaitGone(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, button, 0);
    return WaitGone(dialog);
}

bool EditProperty(HWND list, int index, const std::string& text) {
    SendMessageA(list, LB_SETCURSEL, index, 0);
    PostMessageA(list, WM_KEYDOWN, VK_F2, 0);
    HWND editor = nullptr;
    if (!Until([&] { return (editor = FindWindowExA(list, nullptr, nullptr, nullptr)) != nullptr; }, 5000)) {
        return false;
    }
    char kind[32] = "";
    GetClassNameA(editor, kind, sizeof kind);
    auto value = reinterpret_cast<LPARAM>(text.c_str());
    if (lstrcmpiA(kind, "ComboBox") != 0) {
        SendMessageA(editor, WM_SETTEXT, 0, value);
    } else if (SendMessageA(editor, CB_SELECTSTRING, static_cast<WPARAM>(-1), value) == CB_ERR) {
        return false;
    }
    PostMessageA(editor, WM_KEYDOWN, VK_RETURN, 0);
    return WaitGone(editor, 5000);
}

void ToggleProperty(HWND list, int index) {
    // Sent, not posted: the next item's selection must not overtake this key.
    SendMessageA(list, LB_SETCURSEL, index, 0);
    Send(list, WM_KEYDOWN, VK_SPACE);
}

std::vector<HWND> MainWindows(DWORD pid) {
    std::vector<HWND> frames;
    for (HWND w = FindWindowExA(nullptr, nullptr, kFrameClass, nullptr); w;
         w = FindWindowExA(nullptr, w, kFrameClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (pid == 0 || (owner == pid && IsWindowVisible(w))) frames.push_back(w);
    }
    return frames;
}

void SaveScreenshot(const std::string& name) {
    const char* folder = std::getenv("QUARZO_SCREENSHOTS");
    if (!folder || !*folder) return;
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(static_cast<size_t>((width * 3 + 3) & ~3) * height, '\0');
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    std::ofstream out(std::string(folder) + "\\" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

namespace {

// Lets go after a few rounds of the drag loop over the target, as a hand that hovers a moment there. The
// loop asks on its own timer (every 50 ms under Wine): no second thread races the drag.
class LetGoAfterHovering : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDropSource ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return ++rounds_ < 5 ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    int rounds_ = 0;
};

}  // namespace

DWORD DragFilesOnto(const std::vector<std::string>& files, POINT at) {
    OleInitialize(nullptr);
    // The shell's own data object for the files of one folder, as a file manager hands them over.
    std::vector<PIDLIST_ABSOLUTE> paths;
    std::vector<PCUIDLIST_RELATIVE> names;
    for (const std::string& file : files) {
        paths.push_back(ILCreateFromPathA(file.c_str()));
        names.push_back(ILFindLastID(paths.back()));
    }
    PIDLIST_ABSOLUTE folder = ILClone(paths[0]);
    ILRemoveLastID(folder);
    IDataObject* data = nullptr;
    DWORD effect = DROPEFFECT_NONE;
    if (SUCCEEDED(CIDLData_CreateFromIDArray(folder, static_cast<UINT>(names.size()), names.data(), &data))) {
        LetGoAfterHovering source;
        SetCursorPos(at.x, at.y);
        if (DoDragDrop(data, &source, DROPEFFECT_COPY, &effect) != DRAGDROP_S_DROP) effect = DROPEFFECT_NONE;
        data->Release();
    }
    ILFree(folder);
    for (PIDLIST_ABSOLUTE path : paths) ILFree(path);
    return effect;
}

}  // namespace quarzo::ui_test
