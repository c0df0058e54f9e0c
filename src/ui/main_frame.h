#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "adapters/adapter_set.h"
#include "core/settings_store.h"
#include "engine/programmer.h"
#include "ui/file_drop_target.h"
#include "ui/hex_view.h"
#include "ui/log_view.h"
#include "ui/model/window_model.h"
#include "ui/window_log_sink.h"

namespace quarzo {

class SharedMemory;

// The program's one top-level window: menus, toolbar, status bar, the memory view above the log
// pane, and the Programmer it drives.
class MainFrame {
public:
    static constexpr const char* kClassName = "Quarzo16xMainFrame";
    static constexpr UINT kSinkMessage = 0x8001;
    static constexpr UINT kHandoverMessage = 0x8002;
    static constexpr UINT_PTR kRunTimer = 1000;
    static constexpr UINT kRunTimerMs = 200;  // how often the window looks whether a run has ended

    MainFrame(SettingsStore& settings, const std::string& settingsPath, SharedMemory& shared);
    ~MainFrame();

    bool Create(int show);
    HWND Window() const { return window_; }
    // Runs a command line as given at start or handed over; an empty text does nothing.
    void RunCommandLine(const std::string& text);
    // Applies the enabling rules; called whenever the message queue is empty.
    void OnIdle();
    bool TranslateAccelerator(MSG& msg);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnDestroy();
    void OnCommand(unsigned id);
    void OnSinkNotice(WPARAM notice, LPARAM value);
    LRESULT OnNotify(NMHDR* header);
    void Layout();
    void Refresh(bool force);
    void StartAction(ActionFlags flags);

    void CreateToolbar();
    void CreateImages();
    void OnDpiChanged(int dpi, const RECT* suggested);
    int Scale(int pixels) const { return ScalePixels(pixels, dpi_); }
    void CreateStatusBar();
    void SetMenuImages(HMENU menu);
    void ShowProgress(int low, int high);
    void HideProgress();

    // Files.
    bool OpenFile(const std::string& path, bool addToRecent);
    bool AskFileName(bool save, std::string& chosen);
    void OnOpen();
    void OnSetup();
    void OnSave();
    void OnRecent(unsigned id);
    void OnDrop(HDROP drop);
    void OpenDropped(const std::vector<std::string>& dropped);
    void UpdateRecentMenu();
    void AddRecent(const std::string& path);
    int AskFileFormat();

    // Splitter. The panes fill the client area between the toolbar and the status bar.
    struct PaneArea {
        int top;
        int height;
        int width;
    };
    PaneArea Panes() const;
    RECT SplitterBar() const;
    void SetSplit(int position);

    SettingsStore& settings_;
    std::string settingsPath_;
    SharedMemory& shared_;
    HWND window_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND status_ = nullptr;
    HWND progress_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HIMAGELIST largeImages_ = nullptr;
    HIMAGELIST smallImages_ = nullptr;
    HMENU recentMenu_ = nullptr;
    HexView hexView_;
    LogView logView_;
    WindowLogSink sink_;
    AdapterSet adapters_;  // before the Programmer, which stops its run before they go
    Programmer programmer_{adapters_.List()};
    RecentFileList recent_;
    FileDropTarget dropTarget_{[this](const std::vector<std::string>& files) { OpenDropped(files); }};

    int dpi_ = 96;                  // of the monitor the window is on
    int split_ = kDefaultWinSplit;  // the bar's distance from the top of the panes' area
    int lowerHeight_ = -1;          // kept when the window is resized
    bool dragging_ = false;
    bool imageEmpty_ = true;  // as last seen: while a run changes the image the toolbar keeps it
};

}  // namespace quarzo
