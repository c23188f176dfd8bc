// Sizes at a window's DPI. Every size the pane, the popup and the dialogs are drawn with is a
// 96-DPI pixel value; these turn it into the window's pixels. Portable.
#pragma once

namespace kv {

constexpr int kBaseDpi = 96;

// A 96-DPI length at dpi, rounded to the nearest pixel (halves away from zero, as MulDiv).
// A dpi of 0 or less counts as 96.
int ScalePx(int px, int dpi);
// The other way: a length at dpi in 96-DPI pixels.
int UnscalePx(int px, int dpi);

// The pictures are drawn for 100%, 150% and 200%; the scale (in percent) of the copy nearest
// to dpi, the smaller one on a tie (a picture never outgrows its place).
int NearestPictureScale(int dpi);
// The resource id of picture id's copy for dpi: id at 100%, id + 1000 at 150%, id + 2000 at 200%.
constexpr int kPicture150Offset = 1000;
constexpr int kPicture200Offset = 2000;
int PictureResourceId(int id, int dpi);

}  // namespace kv
