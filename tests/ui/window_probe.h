#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quarzo::ui_test {

// quarzo.exe started from a folder of its own (it keeps quarzo.ini beside itself); the folder already
// holds the test's quarzo.ini and files.
class QuarzoProcess {
public:
    QuarzoProcess(const std::string& folder, const std::string& arguments);
    ~QuarzoProcess();

    // The main window of this process once it shows; null after the time-out.
    HWND Window(DWORD timeoutMs = 10000);
    // The exit code once the process ended within the time-out; -1 otherwise.
    int WaitForExit(DWORD timeoutMs);

private:
    PROCESS_INFORMATION info_{};
    HANDLE process_ = nullptr;
};

// Polls done every 50 ms until it holds; false on time-out.
bool Until(const std::function<bool()>& done, DWORD timeoutMs = 10000);
std::string TitleOf(HWND window);
// The log's text (the rich edit control of the lower pane).
std::string LogText(HWND frame);
bool WaitForLog(HWND frame, const std::string& text, DWORD timeoutMs = 15000);
HWND HexDialog(HWND frame);
HWND HexList(HWND frame);
HWND Toolbar(HWND frame);
bool ButtonEnabled(HWND frame, unsigned id);
// Lets the program reach its idle state, where it updates the command states.
void Settle(HWND frame);
// Chooses a menu command as a person would and waits for the dialog with that title.
HWND OpenDialogFrom(HWND frame, unsigned command, const char* title);
// Presses a dialog's button and waits until the dialog is gone.
bool PressAndWaitGone(HWND dialog, int button);
// Edits a property list's item in place as a person would: select, F2, the text or the choice of that
// name, Enter.
bool EditProperty(HWND list, int index, const std::string& text);
// Selects an item and presses Space (toggles a check item).
void ToggleProperty(HWND list, int index);
// The visible main windows of one process, or (pid 0) every main window.
std::vector<HWND> MainWindows(DWORD pid = 0);
// Drags the files from outside onto the screen point through OLE drag and drop, as a file manager does;
// the drop effect the target reported, DROPEFFECT_NONE when nothing took the files.
DWORD DragFilesOnto(const std::vector<std::string>& files, POINT at);
// Saves the whole screen as a 24-bit BMP file of that name in the folder QUARZO_SCREENSHOTS names, if set.
void SaveScreenshot(const std::string& name);

}  // namespace quarzo::ui_test
