// CButtonST: an owner-drawn push button with images, a hand cursor, hover feedback and an
// optional tooltip. A "BUTTON" child is subclassed after creation (or attached from a dialog)
// and from then on draws itself; CShadeButtonST (ShadeButtonST.h) adds the generated gradient
// backgrounds.
//
// Typical use in a dialog:
//     kv::CShadeButtonST header;
//     header.SubclassDlgItem(IDC_LIST_PICKS_HEADER, dialog); // the template's push button
//     header.SetAlign(kv::CButtonST::kAlignRight);
//     header.SetIcon(IDI_SECTION_CLOSED);                  // icon resource of the add-in
//     header.SetShade(kv::kShadeBlue, 3, 40, 5, 0);        // after every resize
//     header.SetTooltipText(L"...");
//
//     kv::CShadeButtonST entry;
//     entry.SubclassDlgItem(IDC_LIST_DAILY_1, dialog);
//     entry.SetBtnCursor(IDCUR_HAND);
//     entry.SetBitmaps(IDB_FILE_DOCUMENT, kv::kListTransparent);  // 0x808000
//     entry.SetDimmedBitmap(IDB_FILE_DOCUMENT_DIMMED, kv::kListTransparent);
//     entry.SetDimmedStyle(true);
//     entry.SetCaptionA(ansiTitle);
//     entry.Move(rect); entry.Show(true);
//
// Drawing needs no help from the parent: attaching also subclasses the parent window once, so
// the WM_DRAWITEM it receives for these buttons is drawn by the buttons (the parent's own
// window procedure never sees it). Other WM_DRAWITEM messages pass through unchanged.
//
// The object must outlive its window's use of it: the destructor detaches (removes the
// subclass) but does not destroy a window it attached to; a window it created itself with
// Create() is destroyed with it. All calls on the window's thread only.
#pragma once
#include <windows.h>

#include <string>

#include "addin/base/ui/ButtonPlacement.h"
#include "addin/base/ui/WindowScale.h"
#include "platform/WinHandles.h"

namespace kv {

// Transparent colours of the images (COLORREF values): the list's file-type images use
// 0x808000 (teal, red 0 green 128 blue 128), the popup's bitmaps white.
constexpr COLORREF kListTransparent = 0x808000;
constexpr COLORREF kWhiteTransparent = 0xFFFFFF;

class CButtonST {
public:
    enum Align { kAlignLeft = 0, kAlignTop = 1, kAlignRight = 2 };

    // Grey of the dimmed caption (0xA9A9A9).
    static constexpr COLORREF kDimmedCaption = RGB(0xA9, 0xA9, 0xA9);

    CButtonST();
    virtual ~CButtonST();
    CButtonST(const CButtonST&) = delete;
    CButtonST& operator=(const CButtonST&) = delete;

    // --- Window ----------------------------------------------------------------------------

    // Attaches to the push button with control id `id` in `parent` (a dialog item): adds
    // BS_OWNERDRAW (remembering whether it was BS_DEFPUSHBUTTON) and subclasses it.
    // False when there is no such child, it is not a "BUTTON", or this object is attached.
    bool SubclassDlgItem(int id, HWND parent);
    // The same for a button window at hand.
    bool Attach(HWND button);
    // Creates a "BUTTON" child with `style` (WS_CHILD is added; BS_DEFPUSHBUTTON is recorded
    // as the default-button state), the rectangle, the caption (may be null) and control id,
    // then attaches to it. The window belongs to this object and is destroyed with it.
    bool Create(HWND parent, const RECT& rect, const wchar_t* caption, DWORD style, int id);
    // Removes the subclass (and destroys the window if Create() made it).
    void Detach();
    HWND hwnd() const { return hwnd_; }

    // Caption = the window text; the button redraws. Narrow text is in the ANSI code page.
    void SetCaption(const wchar_t* text);
    void SetCaptionA(const std::string& ansi);
    void Show(bool visible);
    void Move(const RECT& rect, bool repaint = true);  // parent client coordinates
    void Move(int x, int y, int width, int height, bool repaint = true);

    // --- Images ----------------------------------------------------------------------------
    // Resource ids refer to `module`, by default the module this code is linked into (the
    // add-in library). Every setter frees what it replaces, and redraws. A failed load leaves
    // the button without that image (drawn without it) and returns false.

    // Two icons, in (hover/pressed) and out (0 = none, the in icon is used in every state).
    // Icons keep their resource size (the header icons are 32 x 16).
    bool SetIcon(int inId, int outId = 0, HMODULE module = nullptr);
    // Up to two bitmaps, each with a mask from its transparent colour (a COLORREF, e.g.
    // RGB(0xFF,0xFF,0xFF) for white). outId 0 = no out image: the in bitmap is used always.
    bool SetBitmaps(int inId, COLORREF inTransparent, int outId = 0, COLORREF outTransparent = 0,
                    HMODULE module = nullptr);
    // The image drawn instead of the first one in the dimmed style. 0 removes it.
    bool SetDimmedBitmap(int id, COLORREF transparent, HMODULE module = nullptr);
    // Grey caption, dimmed image (else the first image) and, for plain CButtonST, a white
    // background. Redraws when the flag changes.
    void SetDimmedStyle(bool on);
    bool dimmedStyle() const { return dimmed_; }

    // 0 image left of the caption, 1 above it, 2 at the right. Other values are ignored
    // (false; the previous alignment stays).
    bool SetAlign(int align, bool repaint = true);
    int align() const { return align_; }

    // --- Behaviour and look ----------------------------------------------------------------

    // Cursor resource (the pane uses IDCUR_HAND, the hand) shown over the button; the previous one
    // is destroyed. 0 goes back to the class cursor. False when the resource cannot be loaded.
    bool SetBtnCursor(int id, HMODULE module = nullptr);
    // A tooltip shown over the button; an empty text or null removes it.
    void SetTooltipText(const wchar_t* text);
    void SetTooltipTextA(const std::string& ansi);
    HWND tooltip() const { return tooltip_.get(); }  // null without a tooltip

    // Flat buttons (the default) have no 3-D edge and track hover; non-flat ones never do.
    void SetFlat(bool flat);
    // Non-flat buttons always mark the keyboard focus; flat ones only after this (where the
    // keyboard moves through them), as a dotted frame inside the edge.
    void SetFocusMark(bool on);
    // Under high contrast, text drawn in the system colours in place of a picture-only button's image.
    void SetHighContrastText(const wchar_t* text);
    // Background of plain CButtonST: in = hovered or pressed, out = otherwise; caption colour.
    void SetColors(COLORREF in, COLORREF out, COLORREF caption);

    // Pointer over the button (hover), for callers and tests.
    bool mouseOver() const { return mouseOver_; }
    // Whether the caption shows whole at the button's present size (a longer one is drawn
    // ending in an ellipsis).
    bool CaptionShowsWhole() const;

    // --- Scale ---------------------------------------------------------------------------------

    // The caption font, the images and the cursor for dpi: made again from their resources
    // (the copy drawn for the nearest scale) and the button redraws. Attaching takes the
    // window's DPI; the button follows a change of it itself (WM_DPICHANGED_AFTERPARENT).
    void SetDpi(int dpi);
    int dpi() const { return dpi_; }

protected:
    // Background of the class (step 3 of the drawing); CShadeButtonST replaces it.
    virtual void DrawBackground(HDC dc, const RECT& rect, const ButtonDrawState& state);
    void Redraw();

    // Under high contrast the button is drawn flat in system colours: a fill, a 1-pixel border
    // and the caption. The colour indexes (COLOR_...) of the fill and the caption in a state
    // that is not hovered, pressed, dimmed or disabled; CShadeButtonST picks them by its kind.
    struct SystemColours {
        int fill;
        int text;
    };
    virtual SystemColours HighContrastColours() const;

private:
    struct Image {
        UniqueBitmap bitmap;
        UniqueBitmap mask;
        UniqueIcon icon;
        int width = 0;
        int height = 0;
        // Where it came from, to load it again for another DPI.
        int id = 0;
        COLORREF transparent = 0;
        HMODULE module = nullptr;
        explicit operator bool() const { return bitmap || icon; }
        void reset();
    };

    static LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK ParentProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnMouseMove(LPARAM lp, WPARAM wp);
    void CancelHover();
    void Draw(const DRAWITEMSTRUCT& item);
    void Paint(HDC dc, const RECT& client, const ButtonDrawState& state);
    const Image* ChooseImage(const ButtonDrawState& state) const;
    void DrawImage(HDC dc, const Image& image, const IntRect& where, bool disabled) const;
    // The image and the caption in the area it leaves; CLR_INVALID: the caption's own colours.
    void DrawContent(HDC dc, const RECT& area, const ButtonDrawState& state, COLORREF captionColour);
    void DrawCaption(HDC dc, const RECT& area, const ButtonDrawState& state, COLORREF colour);
    void PaintHighContrast(HDC dc, const RECT& client, const ButtonDrawState& state);
    // The keyboard focus: a dotted frame inside the edge (flat buttons: see SetFocusMark).
    void DrawKeyboardFocus(HDC dc, const RECT& rect, const ButtonDrawState& state);
    bool LoadBitmapImage(Image* image, int id, COLORREF transparent, HMODULE module);
    bool LoadIconImage(Image* image, int id, HMODULE module);
    bool ReloadCursor();
    void MakeFont();
    bool HookParent(HWND parent);
    void UnhookParent();

    HWND hwnd_ = nullptr;
    HWND parent_ = nullptr;
    UniqueWindow owned_;  // set when Create() made the window
    bool defaultButton_ = false;
    bool flat_ = true;
    bool dimmed_ = false;
    bool mouseOver_ = false;
    bool focusMark_ = false;
    std::wstring highContrastText_;
    int align_ = kAlignLeft;
    Image in_, out_, dimmedImage_;
    UniqueIcon cursor_;
    int cursorId_ = 0;
    HMODULE cursorModule_ = nullptr;
    UniqueFont font_;
    int dpi_ = kBaseDpi;
    UniqueWindow tooltip_;
    COLORREF colorIn_;
    COLORREF colorOut_;
    COLORREF colorCaption_;
};

}  // namespace kv
