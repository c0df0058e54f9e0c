#include "ui/window_probe.h"

#include <commctrl.h>

#include <fstream>
#include <sstream>

namespace quarzo::ui_test {
namespace {

constexpr const char* kFrameClass = "Quarzo16xMainFrame";

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char name[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && GetClassNameA(window, name, sizeof name) &&
        lstrcmpA(name, kFrameClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectFrames(HWND window, LPARAM param) {
    char name[64];
    if (GetClassNameA(window, name, sizeof name) && lstrcmpA(name, kFrameClass) == 0) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    }
    return TRUE;
}

HWND ChildOfClass(HWND parent, const char* className) {
    return FindWindowExA(parent, nullptr, className, nullptr);
}

}  // namespace

QuarzoProcess::QuarzoProcess(const std::string& folder, const std::string& arguments) {
    std::string exe = folder + "\\quarzo.exe";
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string source = module;
    source = source.substr(0, source.find_last_of('\\') + 1) + QUARZO_EXE;
    CopyFileA(source.c_str(), exe.c_str(), FALSE);
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
    DWORD start = GetTickCount();
    do {
        Search search{info_.dwProcessId, nullptr};
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && IsWindowVisible(search.found)) return search.found;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

int QuarzoProcess::WaitForExit(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

std::string TitleOf(HWND window) {
    char text[512] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        nullptr);
    return text;
}

std::string LogText(HWND frame) {
    for (HWND child = FindWindowExA(frame, nullptr, nullptr, nullptr); child;
         child = FindWindowExA(frame, child, nullptr, nullptr)) {
        if (HWND log = GetDlgItem(child, 1006)) {
            DWORD_PTR length = 0;
            SendMessageTimeoutA(log, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length);
            std::string text(length + 1, '\0');
            SendMessageTimeoutA(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                SMTO_BLOCK, 5000, nullptr);
            text.resize(strlen(text.c_str()));
            return text;
        }
    }
    return "";
}

bool WaitForLog(HWND frame, const std::string& text, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        if (LogText(frame).find(text) != std::string::npos) return true;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

bool WaitForTitle(HWND frame, const std::string& title, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        if (TitleOf(frame) == title) return true;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

HWND HexDialog(HWND frame) {
    for (HWND child = FindWindowExA(frame, nullptr, nullptr, nullptr); child;
         child = FindWindowExA(frame, child, nullptr, nullptr)) {
        if (GetDlgItem(child, 1013)) return child;
    }
    return nullptr;
}

HWND HexList(HWND frame) {
    HWND dialog = HexDialog(frame);
    return dialog ? GetDlgItem(dialog, 1013) : nullptr;
}

HWND Toolbar(HWND frame) {
    return ChildOfClass(frame, TOOLBARCLASSNAMEA);
}

HWND StatusBar(HWND frame) {
    return ChildOfClass(frame, STATUSCLASSNAMEA);
}

void Settle(HWND frame) {
    // A message round trip, then a moment for the idle update that follows it.
    DWORD_PTR ignored;
    SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    Sleep(300);
    SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
}

bool ButtonEnabled(HWND frame, unsigned id) {
    DWORD_PTR enabled = 0;
    SendMessageTimeoutA(Toolbar(frame), TB_ISBUTTONENABLED, id, 0, SMTO_BLOCK, 5000, &enabled);
    return enabled != 0;
}

HWND FindDialog(const char* title, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        HWND dialog = FindWindowA("#32770", title);
        if (dialog && IsWindowVisible(dialog)) return dialog;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND OpenDialogFrom(HWND frame, unsigned command, const char* title) {
    Settle(frame);
    PostMessageA(frame, WM_COMMAND, command, 0);
    return FindDialog(title);
}

bool PressAndWaitGone(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, button, 0);
    return WaitGone(dialog);
}

bool WaitGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

std::vector<std::string> ListStrings(HWND list) {
    std::vector<std::string> strings;
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        // A buffer of its own size: across processes the length query is not to be trusted, and the
        // text crosses as UTF-16 whatever the list holds.
        std::wstring wide(1024, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        wide.resize(wcsnlen(wide.c_str(), wide.size()));
        std::string text(wide.size() * 4 + 1, '\0');
        int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        strings.push_back(text);
    }
    return strings;
}

namespace {

// Selects the item and opens its editor with F2; the editor is a child of the list.
HWND OpenEditor(HWND list, int index, const char* editorClass) {
    SendMessageA(list, LB_SETCURSEL, index, 0);
    PostMessageA(list, WM_KEYDOWN, VK_F2, 0);
    for (int i = 0; i < 100; ++i) {
        if (HWND editor = FindWindowExA(list, nullptr, editorClass, nullptr)) return editor;
        Sleep(50);
    }
    return nullptr;
}

bool CommitEditor(HWND list, HWND editor) {
    PostMessageA(editor, WM_KEYDOWN, VK_RETURN, 0);
    return WaitGone(editor, 5000) && list;
}

}  // namespace

bool EditProperty(HWND list, int index, const std::string& text) {
    HWND editor = OpenEditor(list, index, "Edit");
    if (!editor) return false;
    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return CommitEditor(list, editor);
}

bool ChooseProperty(HWND list, int index, int choice) {
    HWND editor = OpenEditor(list, index, "ComboBox");
    if (!editor) return false;
    SendMessageA(editor, CB_SETCURSEL, choice, 0);
    return CommitEditor(list, editor);
}

void ToggleProperty(HWND list, int index) {
    SendMessageA(list, LB_SETCURSEL, index, 0);
    PostMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    DWORD_PTR ignored;
    SendMessageTimeoutA(list, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
}

std::vector<HWND> MainWindows() {
    std::vector<HWND> frames;
    EnumWindows(CollectFrames, reinterpret_cast<LPARAM>(&frames));
    return frames;
}

bool SaveScreenshot(const std::string& path) {
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int stride = (width * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * height, '\0');
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{0x4D42,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + pixels.size()), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof header};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
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
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace quarzo::ui_test
