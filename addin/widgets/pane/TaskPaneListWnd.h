// CTaskPaneListWnd: the scrolling result list between the search box and the banner. A
// modeless child dialog (template IDD_RESULT_LIST) whose 33 push buttons are skinned buttons for the
// window's whole life; each layout only moves, re-captions, shows and hides them
// (LayoutList decides, this class applies). Commands and notifications of the children go on
// to the parent window, the control.
#pragma once
#include <windows.h>

#include <array>
#include <string>

#include "addin/base/ui/DialogBase.h"
#include "addin/base/ui/ShadeButtonST.h"
#include "addin/resources/resource.h"
#include "addin/widgets/pane/ListLayout.h"
#include "addin/widgets/pane/PaneController.h"
#include "platform/WinHandles.h"

namespace kv {

constexpr int kListDialogTemplate = IDD_RESULT_LIST;
constexpr int kListButtonCount = 33;

class CTaskPaneListWnd : public ResultListView, private DialogBase {
public:
    CTaskPaneListWnd() = default;
    ~CTaskPaneListWnd() override;

    // Creates the dialog as a hidden child of parent; module holds its template (null: the
    // library of this code). False when the dialog cannot be made.
    bool Create(HWND parent, HMODULE module = nullptr);
    HWND hwnd() const { return dialog_; }

    // ResultListView: copy of the state, scroll position and size reset, laid out.
    void Show(const ListState& state) override;
    // Places and shows the window (client coordinates of the parent); lays out again.
    void Move(const Rect& rect);
    // Recomputes and applies the layout for the window's present size.
    void Layout();
    // The window's DPI changed: fonts, pictures and the layout for the new one.
    void OnDpiChanged();
    int dpi() const { return dpi_; }

    int scrollPosition() const { return scrollPos_; }
    int contentHeight() const { return contentHeight_; }
    const ListLayout& lastLayout() const { return layout_; }
    const ListState& state() const { return state_; }
    // Scrolls so that the child with this id shows whole (the keyboard focus goes to it).
    void ScrollIntoView(int id);

private:
    // What was last given to one button, so a layout changes only what differs.
    struct Applied {
        bool known = false;
        std::string caption;
        int image1 = -1, image2 = -1, icon = -1, shade = -1;
        int width = -1, height = -1;
        bool dimmed = false;
    };

    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnFinalMessage() override {
        owned_.release();
        titleTips_.release();  // gone with its owner
    }
    void OnInitDialog();
    void LoadSeparatorBrush();
    HBRUSH Background() const;
    HBRUSH SeparatorBrush() const;
    void Apply(const ListLayout& layout);
    void ApplyButton(CShadeButtonST& button, Applied& applied, const ChildLayout& child);
    void UpdateScrollBar();
    void ScrollTo(int position);
    void OnVScroll(int code);
    void OnMouseWheel(int delta);
    int ViewHeight() const;
    CShadeButtonST* Button(int id);

    HWND parent_ = nullptr;
    UniqueWindow owned_;
    std::array<CShadeButtonST, kListButtonCount> buttons_;
    std::array<Applied, kListButtonCount> applied_;
    void AddTitleTips();
    bool TitleIsCut(HWND entry);

    UniqueWindow titleTips_;  // the whole title over an entry whose caption ends in "..."
    std::wstring tipText_;    // the text the tip shows, alive until the next question
    UniqueBrush white_;
    UniqueBrush dotted_;
    ListState state_;
    ListLayout layout_;
    int dpi_ = 96;
    int contentHeight_ = 1;
    int scrollPos_ = 0;
    int wheelRest_ = 0;
    bool inLayout_ = false;
};

}  // namespace kv
