#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/settings_store.h"
#include "ui/dialog_window.h"
#include "ui/property_list.h"

namespace quarzo {

// The modal "Settings" dialog: the global switches and Autoprogram steps, the adapter choice and the
// chosen adapter's settings, with a help area for the selected item.
class SettingsDialog : public DialogWindow {
public:
    SettingsDialog(SettingsStore& settings, std::string settingsPath)
        : settings_(settings), settingsPath_(std::move(settingsPath)) {}
    // IDOK once the settings were stored and written, IDCANCEL otherwise.
    INT_PTR Show(HWND owner);

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInit();
    void OnAdapterChanged();
    void ShowHelp(int settingId);
    void OnOk();

    SettingsStore& settings_;
    std::string settingsPath_;
    HFONT bold_ = nullptr;
    std::vector<int> presentPorts_;  // serial ports found when the dialog opened
    PropertyList global_;
    PropertyList adapter_;
};

// The about box: title, version and two links.
void ShowAboutBox(HWND owner);

}  // namespace quarzo
