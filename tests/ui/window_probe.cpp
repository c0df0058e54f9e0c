#include "ui/window_probe.h"

#include <commctrl.h>

#include <fstream>
#include <sstream>

namespace quarzo::ui_test {
namespace {

constexpr const char* kFrameClass = "Quarzo16xMainFrame";

using FrameSearch = std::pair<DWORD, std::vector<HWND>>;

// A named callback: on 32-bit Windows a lambda does not convert to the stdcall WNDENUMPROC.
BOOL CALLBACK AddFrame(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<FrameSearch*>(param);
    char name[64];
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((s->first == 0 || owner == s->first) && GetClassNameA(window, name, sizeof name) &&
        lstrcmpA(name, kFrameClass) == 0 && (s->first == 0 || IsWindowVisible(window))) {
        s->second.push_back(window);
    }
    return TRUE;
}

// The visible main windows, of one process or (pid 0) of all.
std::vector<HWND> Frames(DWORD pid) {
    FrameSearch search{pid, {}};
    EnumWindows(AddFrame, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

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
    HWND found = nullptr;
    Until(
        [&] {
            std::vector<HWND> frames = Frames(info_.dwProcessId);
            found = frames.empty() ? nullptr : frames[0];
            return found != nullptr;
        },
        timeoutMs);
    return found;
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
    HWND dialog = HexDialog(frame);
    return dialog ? GetDlgItem(dialog, 1013) : nullptr;
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

namespace {

// Selects the item, opens its editor (a child of the list) with F2, sets it and commits it with Enter.
bool EditWith(HWND list, int index, const char* editorClass, UINT message, WPARAM w, LPARAM l) {
    SendMessageA(list, LB_SETCURSEL, index, 0);
    PostMessageA(list, WM_KEYDOWN, VK_F2, 0);
    HWND editor = nullptr;
    if (!Until([&] { return (editor = FindWindowExA(list, nullptr, editorClass, nullptr)) != nullptr; },
               5000))
        return false;
    SendMessageA(editor, message, w, l);
    PostMessageA(editor, WM_KEYDOWN, VK_RETURN, 0);
    return WaitGone(editor, 5000);
}

}  // namespace

bool EditProperty(HWND list, int index, const std::string& text) {
    return EditWith(list, index, "Edit", WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool ChooseProperty(HWND list, int index, int choice) {
    return EditWith(list, index, "ComboBox", CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
}

void ToggleProperty(HWND list, int index) {
    // Sent, not posted: the next item's selection must not overtake this key.
    SendMessageA(list, LB_SETCURSEL, index, 0);
    Send(list, WM_KEYDOWN, VK_SPACE);
}

std::vector<HWND> MainWindows() {
    return Frames(0);
}

void SaveScreenshot(const std::string& path) {
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
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

std::string TempFolder(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder =
        std::string(base) + "quarzo-ui-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

}  // namespace quarzo::ui_test
