#include "addin/widgets/pane/PaneWindows.h"

#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "addin/base/ui/WindowScale.h"
#include "addin/features/service/Settings.h"
#include "addin/resources/resource.h"
#include "addin/widgets/pane/EntryClick.h"
#include "addin/widgets/pane/PaneAccessible.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/WinText.h"

namespace kv {
namespace {

std::wstring& DocumentsFolder() {
    static std::wstring folder;
    return folder;
}

// What screen readers call the controls without a caption of their own.
const wchar_t kSearchBoxName[] = L"서식 검색어";
const wchar_t kSearchButtonName[] = L"검색";
const wchar_t kBannerName[] = L"서식 사이트";
const wchar_t kNeedsLoginDescription[] = L"회원 로그인이 필요한 서식";

std::wstring TextOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(std::max(0, ::GetWindowTextW(window, text.data(), length + 1))));
    return text;
}

bool Within(HWND control, HWND window) {
    return control && window && (window == control || ::IsChild(control, window));
}

}  // namespace

std::wstring PaneDocumentsFolder() {
    return DocumentsFolder();
}

CPaneWindows::CPaneWindows(PaneActions& actions)
    : config_(LoadServiceConfig(SystemSettings())),
      client_(SystemNetwork(), SystemCookieSource(), config_),
      sender_(SystemNetwork(), config_),
      identity_(LoadSettings(SystemSettings(), std::string()).identity),
      actions_(actions),
      controller_(
          PaneServices{client_, hosts_, sender_, SystemShell(), identity_, SystemSharedState(), actions, box_}) {}

CPaneWindows::~CPaneWindows() {
    OnDestroy();
}

void CPaneWindows::OnCreate(HWND control) {
    control_ = control;
    // 1. The documents folder, for the last host's templates clean-up.
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        DocumentsFolder() = folder;
    }
    // 2. The result list; it shows what a search before the window found.
    if (list_.Create(control)) controller_.AttachList(&list_);
    // 3. The banner.
    controller_.LoadBanner();
    // 4. The search box and the search button.
    const RECT boxRect{2, 4, 102, 20};
    box_.Create(control, kIdSearchBox, boxRect);
    const RECT provisional{0, 0, 40, 20};
    if (searchButton_.Create(control, provisional, nullptr, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdSearchButton)) {
        searchButton_.SetBitmaps(IDB_SEARCH_BUTTON, kWhiteTransparent);
        searchButton_.SetBtnCursor(IDCUR_HAND);
        searchButton_.SetFocusMark(true);
        searchButton_.SetHighContrastText(kSearchButtonName);
    }
    // 5. The banner button, captioned with the banner text (empty when the banner failed).
    const RECT bannerRect{0, 0, 100, 30};
    if (banner_.Create(control, bannerRect, nullptr, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdBanner)) {
        banner_.SetCaptionA(controller_.bannerText());
        banner_.SetAlign(CButtonST::kAlignRight);
        banner_.SetBtnCursor(IDCUR_HAND);
        banner_.SetFocusMark(true);
    }
    // 6. The login level.
    controller_.RefreshLoginLevel();
    AttachAccessibility();

    RECT client{};
    if (::GetClientRect(control, &client)) OnSize(client.right - client.left, client.bottom - client.top);
}

void CPaneWindows::OnDestroy() {
    controller_.DetachList();
    banner_.Detach();
    searchButton_.Detach();
    // The box's last focus notification comes while it goes: no activation then.
    control_ = nullptr;
    box_.Destroy();
}

void CPaneWindows::OnDpiChanged() {
    if (!control_) return;
    const int dpi = WindowDpi(control_);
    box_.SetDpi(dpi);
    searchButton_.SetDpi(dpi);
    banner_.SetDpi(dpi);
    list_.OnDpiChanged();
    RECT client{};
    if (::GetClientRect(control_, &client)) OnSize(client.right - client.left, client.bottom - client.top);
}

void CPaneWindows::OnSystemColours() {
    // High contrast is read whenever something draws: drawing everything again is enough.
    if (control_) ::RedrawWindow(control_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CPaneWindows::OnSize(int width, int height) {
    if (!control_) return;
    const int dpi = WindowDpi(control_);
    const PaneLayout p = LayoutPane(width, height, dpi);
    if (box_.hwnd())
        ::MoveWindow(box_.hwnd(), p.searchBox.x, p.searchBox.y, p.searchBox.width, p.searchBox.height, TRUE);
    searchButton_.Move(p.searchButton.x, p.searchButton.y, p.searchButton.width, p.searchButton.height);
    // The shade pictures have the buttons' sizes: made again when a size changes.
    if (p.searchButton.width != buttonWidth_ || p.searchButton.height != buttonHeight_) {
        searchButton_.SetShade(kShadeEntry, 3, 40, 5, 0);
        buttonWidth_ = p.searchButton.width;
        buttonHeight_ = p.searchButton.height;
    }
    list_.Move(p.list);
    banner_.Move(p.banner.x, p.banner.y, p.banner.width, p.banner.height);
    banner_.Show(true);
    if (p.banner.width != bannerWidth_ || p.banner.height != bannerHeight_) {
        banner_.SetShade(kShadeHeader, 3, 40, 5, 0);
        bannerWidth_ = p.banner.width;
        bannerHeight_ = p.banner.height;
    }
}

bool CPaneWindows::OnCommand(WPARAM wp, LPARAM) {
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    if (id == kIdSearchBox) {
        // Keyboard input needs the container's activation: the user interface one when the box
        // gains the focus; when it loses it only the in-place one, which never takes the focus
        // back from where the user went.
        if (code == EN_SETFOCUS) {
            box_.OnFocusGained();
            if (control_) actions_.RequestUiActivation();
        } else if (code == EN_KILLFOCUS) {
            box_.OnFocusLost();
            if (control_) actions_.RequestInPlaceActivation();
        } else {
            return false;
        }
        return true;
    }
    if (code != BN_CLICKED) return false;
    return controller_.OnCommand(id);
}

bool CPaneWindows::OnEditColor(HDC dc, HWND window) {
    if (!window || window != box_.hwnd()) return false;
    box_.OnColor(dc);
    return true;
}

void CPaneWindows::AttachAccessibility() {
    // The placeholder is a hint (the description), never the box's value.
    AttachAccessible(box_.hwnd(), [this] {
        AccessibleText text;
        text.name = kSearchBoxName;
        text.description = CMyEdit::kPlaceholder;
        text.role = ROLE_SYSTEM_TEXT;
        if (box_.TextEntered()) text.value = TextOf(box_.hwnd());
        return text;
    });
    AttachAccessible(searchButton_.hwnd(), [] {
        AccessibleText text;
        text.name = kSearchButtonName;
        text.role = ROLE_SYSTEM_PUSHBUTTON;
        return text;
    });
    AttachAccessible(banner_.hwnd(), [this] {
        AccessibleText text;
        text.name = TextOf(banner_.hwnd());
        if (text.name.empty()) text.name = kBannerName;
        text.role = ROLE_SYSTEM_LINK;
        return text;
    });
    for (int id : kListChildIds) {
        if (id == kIdPicksSeparator || id == kIdResultsSeparator) continue;
        HWND window = ::GetDlgItem(list_.hwnd(), id);
        AttachAccessible(window, [this, id, window] {
            AccessibleText text;
            // An entry's caption is its whole title: the ellipsis is only drawn.
            text.name = TextOf(window);
            const ListState& state = list_.state();
            if (id == kIdPicksHeader || id == kIdResultsHeader) {
                text.role = ROLE_SYSTEM_OUTLINEBUTTON;
                const bool open = (id == kIdPicksHeader ? state.picksOpen : state.resultsOpen) != 0;
                text.expanded = open ? AccessibleText::Expanded::Open : AccessibleText::Expanded::Closed;
            } else if (id == kIdMoreResults) {
                text.role = ROLE_SYSTEM_LINK;
            } else if (id == kIdMessageBox) {
                text.role = ROLE_SYSTEM_STATICTEXT;
            } else {
                text.role = ROLE_SYSTEM_PUSHBUTTON;
                if (DecideEntryClick(id, state.items, controller_.loginLevel()).action == EntryClick::Action::Preview)
                    text.description = kNeedsLoginDescription;
            }
            return text;
        });
    }
}

HWND CPaneWindows::StopWindow(int id) const {
    if (id == kIdSearchBox) return box_.hwnd();
    if (id == kIdSearchButton) return searchButton_.hwnd();
    if (id == kIdBanner) return banner_.hwnd();
    return list_.hwnd() ? ::GetDlgItem(list_.hwnd(), id) : nullptr;
}

CPaneWindows::FocusMove CPaneWindows::OnFocusKey(FocusKey key, FocusEnds ends) {
    HWND focus = ::GetFocus();
    if (key == FocusKey::None || !Within(control_, focus)) return FocusMove::NotMine;
    // The stops that can take the focus now, in tab order.
    std::vector<FocusStop> stops;
    for (const FocusStop& stop : PaneFocusOrder(list_.lastLayout())) {
        HWND window = StopWindow(stop.id);
        if (window && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) stops.push_back(stop);
    }
    int current = -1;
    for (size_t i = 0; i < stops.size(); ++i) {
        if (StopWindow(stops[i].id) == focus) current = static_cast<int>(i);
    }
    const bool onButton = current >= 0 && stops[current].id != kIdSearchBox;
    if (key == FocusKey::Activate) {
        if (!onButton) return FocusMove::NotMine;  // a blank in the box
        ::SendMessageW(focus, BM_CLICK, 0, 0);
        return FocusMove::Done;
    }
    // Outside the list the arrows are the box's caret keys.
    if ((key == FocusKey::Up || key == FocusKey::Down) && (current < 0 || !stops[current].inList)) {
        return FocusMove::NotMine;
    }
    const int next = NextFocusStop(stops, current, key, ends);
    if (next < 0) return FocusMove::AtEnd;
    if (next == current) return FocusMove::Done;
    const FocusStop& stop = stops[next];
    if (stop.inList) list_.ScrollIntoView(stop.id);
    ::SetFocus(StopWindow(stop.id));
    return FocusMove::Done;
}

void CPaneWindows::OnControlFocus(HWND previous) {
    if (!control_ || Within(control_, previous) || !box_.hwnd()) return;
    ::SetFocus(box_.hwnd());
}

}  // namespace kv
