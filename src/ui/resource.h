#pragma once

// Resource ids of the Windows program. Command ids live in model/window_model.h.
#define IDI_APP 100
#define IDR_MAINFRAME 128
#define IDR_HEXVIEW_MENU 129
#define IDR_LOGVIEW_MENU 130
#define IDD_HEXVIEW 201
#define IDD_LOGVIEW 202
#define IDD_FILEFORMAT 203
#define IDC_HEXLIST 1013
#define IDC_DEVICES 1002
#define IDC_DEVICE_SUMMARY 1003
#define IDC_LOG 1006
#define IDC_FORMAT_TXT 1101
#define IDC_FORMAT_HEX 1102
#define IDC_FORMAT_BIN 1103
#define IDM_RECENT_EMPTY 0xE10F
