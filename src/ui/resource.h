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
#define IDD_SETTINGS 204
#define IDD_ABOUT 205
#define IDC_ADAPTER_LIST 1019
#define IDC_GLOBAL_LIST 1020
#define IDC_ADAPTER_CHOICE 1021
#define IDC_HELP_KEY 1024
#define IDC_HELP_TEXT 1025
#define IDC_ABOUT_WEB 1039
#define IDC_ABOUT_MAIL 1040
#define IDC_ABOUT_TITLE 1041
#define IDC_ABOUT_VERSION 1042
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
