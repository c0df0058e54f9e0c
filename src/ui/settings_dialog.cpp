#include "ui/settings_dialog.h"

#include "platform/serial_port.h"
#include "ui/model/settings_pages.h"
#include "ui/resource.h"

namespace quarzo {

INT_PTR SettingsDialog::Show(HWND owner) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                                     DialogProc, Param());
    if (bold_) DeleteObject(bold_);
    bold_ = nullptr;
    return result;
}

void SettingsDialog::OnInit() {
    HWND key = GetDlgItem(dialog_, IDC_HELP_KEY);
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(key, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    bold_ = CreateFontIndirectA(&lf);
    SendMessageA(key, WM_SETFONT, reinterpret_cast<WPARAM>(bold_), TRUE);
    SetWindowTextA(key, "");
    SetDlgItemTextA(dialog_, IDC_HELP_TEXT, "Select an item to see what it does.");

    global_.Attach(dialog_, IDC_GLOBAL_LIST);
    adapter_.Attach(dialog_, IDC_ADAPTER_LIST);
    HWND choice = GetDlgItem(dialog_, IDC_ADAPTER_CHOICE);
    for (const char* name : kAdapterChoices)
        SendMessageA(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    int adapter = settings_.GetIntSetting(kSetAdapter);
    SendMessageA(choice, CB_SETCURSEL, adapter >= 0 && adapter < 3 ? adapter : -1, 0);
    presentPorts_ = PresentSerialPorts();
    adapter_.SetItems(AdapterItems(settings_, adapter, presentPorts_, fetPorts_));
    global_.SetItems(GlobalItems(settings_));
}

void SettingsDialog::OnAdapterChanged() {
    int shown = settings_.GetIntSetting(kSetAdapter);
    std::string refused = StoreAdapterPage(settings_, adapter_.Items(), shown);
    if (!refused.empty()) {
        MessageBoxA(dialog_, refused.c_str(), "Settings", MB_OK | MB_ICONWARNING);
        SendDlgItemMessageA(dialog_, IDC_ADAPTER_CHOICE, CB_SETCURSEL, shown, 0);
        return;
    }
    int chosen = static_cast<int>(SendDlgItemMessageA(dialog_, IDC_ADAPTER_CHOICE, CB_GETCURSEL, 0, 0));
    if (chosen == CB_ERR) return;
    settings_.SetIntSetting(kSetAdapter, chosen);
    adapter_.SetItems(AdapterItems(settings_, chosen, presentPorts_, fetPorts_));
}

void SettingsDialog::ShowHelp(int settingId) {
    SettingHelp help = HelpForItem(settings_, settingId);
    SetDlgItemTextA(dialog_, IDC_HELP_KEY, help.key.c_str());
    SetDlgItemTextA(dialog_, IDC_HELP_TEXT, help.description.c_str());
}

void SettingsDialog::OnOk() {
    std::string refused = StoreSettingsPages(settings_, global_.Items(), adapter_.Items());
    if (!refused.empty()) {
        // The dialog stays open so that the value can be put right.
        MessageBoxA(dialog_, refused.c_str(), "Settings", MB_OK | MB_ICONWARNING);
        return;
    }
    settings_.SaveSettings(settingsPath_);
    EndDialog(dialog_, IDOK);
}

INT_PTR SettingsDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            return TRUE;
        case WM_DRAWITEM: {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            (draw->CtlID == IDC_GLOBAL_LIST ? global_ : adapter_).Draw(*draw);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    OnOk();
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog_, IDCANCEL);
                    return TRUE;
                case IDC_ADAPTER_CHOICE:
                    if (HIWORD(wParam) == CBN_SELCHANGE) OnAdapterChanged();
                    if (HIWORD(wParam) == CBN_SETFOCUS) ShowHelp(kSetAdapter);
                    return TRUE;
                case IDC_GLOBAL_LIST:
                case IDC_ADAPTER_LIST:
                    if (HIWORD(wParam) == LBN_SELCHANGE) {
                        ShowHelp((LOWORD(wParam) == IDC_GLOBAL_LIST ? global_ : adapter_).SelectedId());
                    }
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace quarzo
