// CShadeButtonST: a CButtonST whose backgrounds are two generated 8-bit pictures of the
// button's size (ShadePalette.h): the normal one, and the hover one shown while the pointer is
// over the button (one pixel down-right while it is pressed).
#pragma once
#include "addin/base/ui/ButtonST.h"
#include "addin/base/ui/ShadePalette.h"
#include "addin/base/ui/xDib.h"

namespace kv {

// Draws a CxDib unscaled with its top-left corner at (x, y). False when it is empty or the
// device refuses it.
bool DrawDib(HDC dc, const CxDib& dib, int x, int y);

class CShadeButtonST : public CButtonST {
public:
    // Rebuilds both pictures from the button's current client size for kind 9, 10 or 11 and
    // redraws. The further arguments are accepted for the callers' sake and have no effect
    // (the system passes 3, 40, 5, 0). Call it again after every resize: the pictures depend
    // on the size. False for another kind or when the button has no window; the previous
    // pictures then stay.
    bool SetShade(int kind, int granularity = 8, int highlight = 10, int coloring = 0, int color = 0);
    int shade() const { return kind_; }

    const CxDib& normalPicture() const { return normal_; }
    const CxDib& hoverPicture() const { return hover_; }

protected:
    void DrawBackground(HDC dc, const RECT& rect, const ButtonDrawState& state) override;
    // Flat under high contrast: entries as links on the window colour, the chosen entry
    // highlighted, headers on the button face.
    SystemColours HighContrastColours() const override;

private:
    CxDib normal_;
    CxDib hover_;
    int kind_ = 0;
};

}  // namespace kv
