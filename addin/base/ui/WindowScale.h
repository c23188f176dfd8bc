// A window's DPI, the pictures and fonts for it, and the system's high-contrast setting.
// Windows only; the arithmetic is in Scale.h.
#pragma once
#include <windows.h>

#include "addin/base/ui/Scale.h"
#include "platform/WinHandles.h"

namespace kv {

// DPI messages by number: the headers declare them only for newer targets than ours.
constexpr UINT kWmDpiChanged = 0x02E0;             // top-level window; the new DPI in LOWORD(wParam)
constexpr UINT kWmDpiChangedAfterParent = 0x02E3;  // every child after its top-level window's change

// The DPI of window: per monitor where the system tells it (GetDpiForWindow), else the
// system's (the screen's LOGPIXELSY); 96 when neither answers.
int WindowDpi(HWND window);

// Picture id (IMAGE_BITMAP, IMAGE_ICON or IMAGE_CURSOR) from module in its copy drawn nearest to
// dpi; the 100% copy when that one is missing. flags as LoadImageW's (bitmaps and icons keep
// their drawn size). Null when neither exists.
HANDLE LoadPictureForDpi(HMODULE module, int id, UINT type, int dpi, UINT flags = 0);

// A font whose height is given in 96-DPI pixels, made for dpi (never a stretched one).
UniqueFont CreateUiFont(int height96, int weight, bool italic, const wchar_t* face, int dpi);

// A system metric (SM_CXVSCROLL...) at dpi: GetSystemMetricsForDpi where the system has it,
// else the process's own metric (right for a system-aware process at the system DPI).
int SystemMetricForDpi(int index, int dpi);

// True while the system's high-contrast setting is on: draw in the system colours then.
bool HighContrastOn();

}  // namespace kv
