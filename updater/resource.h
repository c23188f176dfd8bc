// Resource numbers of KVUpdater.exe.
#pragma once
#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDI_KVUPDATER 107
#define IDI_SMALL 108
#define IDC_KVUPDATER 109
#define IDI_ABOUT 128
