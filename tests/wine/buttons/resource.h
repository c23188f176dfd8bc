// Ids of the skinned-button test's dialog (the list's own ids where it has them).
#pragma once
#define IDD_BUTTONS 500
#define IDC_HEADER 232
#define IDC_ENTRY 259
#define IDC_SELECTED 260
#define IDC_DIMMED 237
#define IDC_CLOSED_HEADER 236
#define IDC_MESSAGE 258
#define IDC_POPUP 900
#define IDC_RAISED 901
#define IDC_BANNER 1118
// A plain top-level dialog for the dialog base's test, and its one edit box.
#define IDD_PLAIN 501
#define IDC_PLAIN_EDIT 510
