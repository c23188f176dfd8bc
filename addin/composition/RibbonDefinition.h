// The ribbon definition the add-in object hands out from GetCustomUI, and the ribbon's
// pictures. The definition is the same text for every ribbon id.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace kv {

// The custom-UI text (2006/01 customui namespace).
extern const wchar_t kRibbonDefinition[];

// The seven ribbon pictures by the resource that backs them.
enum class RibbonImage { Cert, CustomButton, Pay, Homepage, Help, Info, SearchButton };

// A new picture object over the image's handle. Each icon and bitmap is loaded from the
// library's resources once and kept for the life of the library; the pictures do not own it.
// Null with an HRESULT when the resource or the picture cannot be had.
HRESULT NewRibbonPicture(RibbonImage image, IPictureDisp** picture);

}  // namespace kv
