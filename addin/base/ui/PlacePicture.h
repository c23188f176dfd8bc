// A picture made for its place: the copy drawn nearest to the window's DPI, drawn into the
// place's size where that copy is not already that size. Windows only.
//
//     UniqueBitmap picture = PictureForPlace(module, IDB_ABOUT, WindowDpi(dialog), {w, h});
//     SetStaticPicture(control, std::move(picture), &held);   // the static shows it
#pragma once
#include <windows.h>

#include "platform/WinHandles.h"

namespace kv {

// Bitmap resource id from module for a place of size pixels at dpi: the copy nearest to dpi
// as it is when it has the place's size, else that copy drawn into the size (halftone). Null
// when the resource is missing or the size is empty or absurd.
UniqueBitmap PictureForPlace(HMODULE module, int id, int dpi, SIZE size);

// The width and height of a bitmap; {0, 0} for none.
SIZE BitmapSize(HBITMAP bitmap);

// Gives the static control (SS_BITMAP) picture to show; *held keeps it for as long as the
// control shows it and frees the one it replaces. The image the control had before (loaded
// from the dialog template) is freed too.
void SetStaticPicture(HWND control, UniqueBitmap picture, UniqueBitmap* held);

}  // namespace kv
