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
    // fetPorts: the ports the loaded FET library takes (stored index, name); empty for the fixed list.
    SettingsDialog(SettingsStore& settings, std::string settingsPath,
                   std::vector<std::pair<int, std::string>> fetPorts = {})
        : settings_(settings), settingsPath_(std::move(settingsPath)), fetPorts_(std::move(fetPorts)) {}
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
    std::vector<std::pair<int, std::string>> fetPorts_;
    PropertyList global_;
    PropertyList adapter_;
};

// The about box: title, version and two links.
void ShowAboutBox(HWND owner);

}  // namespace quarzo
