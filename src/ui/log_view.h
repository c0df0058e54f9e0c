#pragma once

#include <windows.h>

#include <richedit.h>

#include <string>

#include "ui/dialog_window.h"

namespace quarzo {

// The lower pane: the device list with its summary line, and the time-stamped log (errors in red).
class LogView : public DialogWindow {
public:
    bool Create(HWND parent, int dpi);
    void SetDpi(int dpi);
    HWND Window() const { return dialog_; }
    HWND Log() const { return log_; }

    void AppendLogLine(const std::string& text, int level);
    void ClearLog();
    void CopyLog();
    // 0 when nothing is selected.
    int SelectedDevice() const;
    void SelectDevice(int index);
    // The summary for a part the device list does not hold, as the adapter named it; empty: the
    // selected device's.
    void ShowIdentified(const std::string& text);

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ShowSummary();
    void Layout(int width, int height);

    HWND devices_ = nullptr;
    HWND summary_ = nullptr;
    HWND log_ = nullptr;
    std::string identified_;
    CHARFORMAT2A formats_[2]{};
    int lineHeight_ = 16;
    int dpi_ = 96;
};

}  // namespace quarzo
