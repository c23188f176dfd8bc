// Resource and control ids of KestrovaSE.dll, one name per meaning. The resource scripts and
// the code both take their numbers from here; where two names share a number they name
// different things that happen to be numbered alike (a bitmap and a control, or controls of two
// dialogs), and neither stands for the other.
//
// Plain #defines only: windres preprocesses this file, and the portable core includes it, so it
// includes no Windows header. draw_images.py and draw_ribbon_images.py keep their own numbers
// (they only name the files they draw).
#ifndef KV_ADDIN_RESOURCES_RESOURCE_H
#define KV_ADDIN_RESOURCES_RESOURCE_H

// ---- Type libraries (TYPELIB resources, loaded as "<library>" and "<library>\2") --------------
#define IDR_TYPELIB_TARNWICK 1
#define IDR_TYPELIB_OFFICE_ADDIN 2

// ---- Dialog templates ----------------------------------------------------------------------------
#define IDD_LOADING_SPLASH 135  // CCertDlg
#define IDD_PREVIEW_POPUP 136   // CPreviewLayer
#define IDD_LOGIN_COMPLETE 137  // CLogoutDlg
#define IDD_RESULT_LIST 140     // CTaskPaneListWnd
#define IDD_ABOUT 242           // CAboutDlg

// ---- Pictures at 150% and 200% -------------------------------------------------------------------
// Every cursor, icon and bitmap drawn by draw_images.py has copies drawn at 150% and 200% under its
// id + 1000 and id + 2000 (PaneImages.rc); kPicture150Offset and kPicture200Offset in
// addin/base/ui/Scale.h name the offsets for the code.

// ---- Cursor and icons ----------------------------------------------------------------------------
#define IDCUR_HAND 218          // over every skinned button
#define IDI_SECTION_OPEN 221    // result-list header, section open
#define IDI_SECTION_CLOSED 223  // result-list header, section closed
#define IDI_RIBBON_CERT 277
#define IDI_RIBBON_HELP 278
#define IDI_RIBBON_HOMEPAGE 279
#define IDI_RIBBON_INFO 280
#define IDI_RIBBON_PAY 281

// ---- Bitmaps -------------------------------------------------------------------------------------
#define IDB_TOOLBOX 130  // the control's toolbox picture (ToolboxBitmap32)
// File-type images of the list entries, and their dimmed forms.
#define IDB_FILE_SPREADSHEET 226
#define IDB_FILE_DOCUMENT 236
#define IDB_FILE_PRESENTATION 237
#define IDB_FILE_PRESENTATION_DIMMED 238
#define IDB_FILE_DOCUMENT_DIMMED 239
#define IDB_FILE_SPREADSHEET_DIMMED 240
// The pane's search button, the list's separator pattern.
#define IDB_SEARCH_BUTTON 245
#define IDB_LIST_SEPARATOR 275
// The preview popup.
#define IDB_POPUP_CLOSE 256
#define IDB_POPUP_TEMPLATE_PAGE 257
#define IDB_POPUP_LOG_IN 258
#define IDB_POPUP_LOG_OUT 259
#define IDB_POPUP_WEEK_UPDATE 260
#define IDB_POPUP_VERTICAL_LINE 262
#define IDB_POPUP_HORIZONTAL_LINE 263
#define IDB_POPUP_LOGIN_PICTURE 264
#define IDB_POPUP_PREMIUM_WEEK_UPDATE 266
#define IDB_POPUP_UPGRADE 267
#define IDB_POPUP_PREMIUM_UPGRADE 268
// The loading splash, the login-complete dialog and the about box.
#define IDB_LOADING_SPLASH 273
#define IDB_LOGIN_COMPLETE 265
#define IDB_ABOUT 270
// The ribbon.
#define IDB_RIBBON_CUSTOM_BUTTON 249
#define IDB_RIBBON_SEARCH_BUTTON 254

// ---- Controls ------------------------------------------------------------------------------------
// A static that no code addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The pane's own children (created by the control, not from a template).
#define IDC_PANE_SEARCH_BOX 1001
#define IDC_PANE_SEARCH_BUTTON 1002
#define IDC_PANE_BANNER 1118

// The result list (IDD_RESULT_LIST): two section headers, three daily and three weekly picks,
// three free and twenty member results, the more-results button, the message box, and the two
// separators.
#define IDC_LIST_PICKS_HEADER 232
#define IDC_LIST_DAILY_1 259
#define IDC_LIST_DAILY_2 260
#define IDC_LIST_DAILY_3 261
#define IDC_LIST_PICKS_SEPARATOR 266
#define IDC_LIST_WEEKLY_1 262
#define IDC_LIST_WEEKLY_2 263
#define IDC_LIST_WEEKLY_3 264
#define IDC_LIST_RESULTS_HEADER 236
#define IDC_LIST_FREE_1 233
#define IDC_LIST_FREE_2 234
#define IDC_LIST_FREE_3 235
#define IDC_LIST_RESULTS_SEPARATOR 267
#define IDC_LIST_MEMBER_1 237
#define IDC_LIST_MEMBER_2 238
#define IDC_LIST_MEMBER_3 239
#define IDC_LIST_MEMBER_4 240
#define IDC_LIST_MEMBER_5 241
#define IDC_LIST_MEMBER_6 242
#define IDC_LIST_MEMBER_7 243
#define IDC_LIST_MEMBER_8 244
#define IDC_LIST_MEMBER_9 245
#define IDC_LIST_MEMBER_10 246
#define IDC_LIST_MEMBER_11 247
#define IDC_LIST_MEMBER_12 248
#define IDC_LIST_MEMBER_13 249
#define IDC_LIST_MEMBER_14 250
#define IDC_LIST_MEMBER_15 251
#define IDC_LIST_MEMBER_16 252
#define IDC_LIST_MEMBER_17 253
#define IDC_LIST_MEMBER_18 254
#define IDC_LIST_MEMBER_19 255
#define IDC_LIST_MEMBER_20 256
#define IDC_LIST_MORE_RESULTS 257
#define IDC_LIST_MESSAGE 258

// The preview popup (IDD_PREVIEW_POPUP). The preview and the hidden login browser are
// placeholders whose places and ids the browsers' windows take at run time.
#define IDC_POPUP_LEFT_PICTURE 234
#define IDC_POPUP_PREVIEW 223
#define IDC_POPUP_PREVIEW_FRAME 236
#define IDC_POPUP_TEMPLATE_PAGE 219
#define IDC_POPUP_TITLE 216
#define IDC_POPUP_MESSAGE 225
#define IDC_POPUP_WEEK_UPDATE 230
#define IDC_POPUP_ID_FRAME 228
#define IDC_POPUP_PASSWORD_FRAME 229
#define IDC_POPUP_ID 211
#define IDC_POPUP_PASSWORD 212
#define IDC_POPUP_LOG_IN 215
#define IDC_POPUP_UPGRADE 235
#define IDC_POPUP_SIGN_UP 231
#define IDC_POPUP_FIND_ID 232
#define IDC_POPUP_FIND_PASSWORD 233
#define IDC_POPUP_LOG_OUT 226
#define IDC_POPUP_CLOSE 2  // the dialog's cancel id (IDCANCEL)
#define IDC_POPUP_LOGIN_BROWSER 213

// The login-complete dialog (IDD_LOGIN_COMPLETE): its hidden browser's placeholder.
#define IDC_LOGIN_COMPLETE_BROWSER 213

// The about box (IDD_ABOUT): the two version lines.
#define IDC_ABOUT_ADDIN_VERSION 226
#define IDC_ABOUT_NEWEST_VERSION 224

#endif  // KV_ADDIN_RESOURCES_RESOURCE_H
