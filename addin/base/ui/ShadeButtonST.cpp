#include "addin/base/ui/ShadeButtonST.h"

namespace kv {

bool DrawDib(HDC dc, const CxDib& dib, int x, int y) {
    if (!dc || dib.empty()) return false;
    const int lines = ::SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(dib.width()), static_cast<DWORD>(dib.height()),
                                          0, 0, 0, static_cast<UINT>(dib.height()), dib.Pixels(),
                                          reinterpret_cast<const BITMAPINFO*>(dib.Info()), DIB_RGB_COLORS);
    return lines > 0;
}

bool CShadeButtonST::SetShade(int kind, int, int, int, int) {
    if (!hwnd()) return false;
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    CxDib normal, hover;
    if (!BuildShade(kind, client.right - client.left, client.bottom - client.top, &normal, &hover)) return false;
    normal_ = std::move(normal);
    hover_ = std::move(hover);
    kind_ = kind;
    Redraw();
    return true;
}

CButtonST::SystemColours CShadeButtonST::HighContrastColours() const {
    switch (kind_) {
        case kShadeOrange: return SystemColours{COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
        case kShadeWhite: return SystemColours{COLOR_WINDOW, COLOR_HOTLIGHT};
        default: return SystemColours{COLOR_BTNFACE, COLOR_BTNTEXT};
    }
}

void CShadeButtonST::DrawBackground(HDC dc, const RECT& rect, const ButtonDrawState& state) {
    // White under the picture: a button resized since its last SetShade still paints every pixel.
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (!state.mouseOver) {
        DrawDib(dc, normal_, 0, 0);
    } else if (state.pressed) {
        // Pressed: the picture moves down-right; the line it uncovers keeps the frame colour.
        DrawDib(dc, hover_, 0, 0);
        DrawDib(dc, hover_, 1, 1);
    } else {
        DrawDib(dc, hover_, 0, 0);
    }
}

}  // namespace kv
