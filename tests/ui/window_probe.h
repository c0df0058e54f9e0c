#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quarzo::ui_test {

// quarzo.exe started from a folder of its own (it keeps quarzo.ini beside itself), and what a person
// would see of its window, read through window messages.
class QuarzoProcess {
public:
    // Copies the program into folder, which already holds the test's quarzo.ini and files.
    QuarzoProcess(const std::string& folder, const std::string& arguments);
    ~QuarzoProcess();

    bool Started() const { return process_ != nullptr; }
    // The main window of this process, once it shows; null after the time-out.
    HWND Window(DWORD timeoutMs = 10000);
    // The exit code once the process ended within the time-out; -1 otherwise.
    int WaitForExit(DWORD timeoutMs);

private:
    PROCESS_INFORMATION info_{};
    HANDLE process_ = nullptr;
};

std::string TitleOf(HWND window);
// The log's text (the rich edit control of the lower pane).
std::string LogText(HWND frame);
// Waits until the window's title is the one given; false on time-out.
bool WaitForTitle(HWND frame, const std::string& title, DWORD timeoutMs = 10000);
// Waits until the log holds text; false on time-out.
bool WaitForLog(HWND frame, const std::string& text, DWORD timeoutMs = 15000);
HWND HexList(HWND frame);
HWND HexDialog(HWND frame);
HWND Toolbar(HWND frame);
HWND StatusBar(HWND frame);
bool ButtonEnabled(HWND frame, unsigned id);
// Lets the program reach its idle state, where it updates the command states.
void Settle(HWND frame);
// A dialog of this process family with that title, once it shows; null after the time-out.
HWND FindDialog(const char* title, DWORD timeoutMs = 10000);
// Chooses a menu command as a person would (the window sees the same message) and waits for the
// dialog it opens.
HWND OpenDialogFrom(HWND frame, unsigned command, const char* title);
// Presses a dialog's button and waits until the dialog is gone.
bool PressAndWaitGone(HWND dialog, int button);
// Waits until the window is gone; false on time-out.
bool WaitGone(HWND window, DWORD timeoutMs = 10000);
// The strings of a list box with strings, read across processes.
std::vector<std::string> ListStrings(HWND list);
// Edits a property list's item in place as a person would with the keyboard: select, F2, the new
// text or choice, Enter.
bool EditProperty(HWND list, int index, const std::string& text);
bool ChooseProperty(HWND list, int index, int choice);
// Selects an item and presses Space (toggles a check item).
void ToggleProperty(HWND list, int index);
// Every top-level window of the main window's class.
std::vector<HWND> MainWindows();
// Saves the whole screen as a 24-bit BMP file.
bool SaveScreenshot(const std::string& path);

std::string TempFolder(const std::string& name);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

}  // namespace quarzo::ui_test
