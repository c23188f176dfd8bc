// CMyEdit: the task pane's search box, a one-line "EDIT" superclass with a grey placeholder.
// It holds the box's state for the pane: the window (control id 1001), the font of the current
// state and the text-entered flag. Before the window exists (and after it is gone) a text set
// from outside is kept and shown once the window is created.
//
// The pane forwards to it: EN_SETFOCUS / EN_KILLFOCUS of the box (OnFocusGained/OnFocusLost)
// and WM_CTLCOLOREDIT for the box (OnColor). The search reads it through PaneSearchBox.
#pragma once
#include <windows.h>

#include <string>

#include "addin/widgets/pane/PaneController.h"
#include "platform/WinHandles.h"

namespace kv {

// The task pane's search box.
class CMyEdit : public PaneSearchBox {
public:
    static const wchar_t kClassName[];
    // Placeholder text (UTF-16) and its colour; the entered text is black.
    static const wchar_t kPlaceholder[];
    static constexpr COLORREF kPlaceholderColour = 0xC0C0C0;

    CMyEdit() = default;
    ~CMyEdit() override;
    CMyEdit(const CMyEdit&) = delete;
    CMyEdit& operator=(const CMyEdit&) = delete;

    // Creates the box as a visible child (no border, no automatic horizontal scrolling), in the
    // placeholder state unless a text was set before.
    bool Create(HWND parent, int id, const RECT& rect);
    void Destroy();
    HWND hwnd() const { return edit_.get(); }

    void OnFocusGained();
    void OnFocusLost();
    // The font for dpi (the window's DPI when it was created, else 96); the pane sets it again
    // when its DPI changes.
    void SetDpi(int dpi);
    // Text colour and background mode for the box's WM_CTLCOLOREDIT; the brush is the
    // system's window brush (no brush of our own).
    void OnColor(HDC dc) const;

    // PaneSearchBox: the text is read (at most 249 bytes, whole characters) only when the flag
    // is 1; the placeholder is never search text.
    bool TextEntered() override { return entered_; }
    std::string Text() override;
    void SetEnteredText(const std::string& text) override;

private:
    void SetPlaceholder();
    void SetStateFont(bool entered);
    std::string WindowText() const;

    UniqueWindow edit_;
    UniqueFont font_;
    bool entered_ = false;
    int dpi_ = 96;
    std::string text_;  // the text while there is no window
};

}  // namespace kv
