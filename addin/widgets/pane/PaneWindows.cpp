#include "addin/widgets/pane/PaneWindows.h"

#include <shlobj.h>

#include "addin/base/ui/WindowScale.h"
#include "addin/features/service/Settings.h"
#include "addin/resources/resource.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

namespace kv {
namespace {

std::wstring& DocumentsFolder() {
    static std::wstring folder;
    return folder;
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
    if (searchButton_.Create(control, provisional, nullptr, WS_VISIBLE | BS_PUSHBUTTON, kIdSearchButton)) {
        searchButton_.SetBitmaps(IDB_SEARCH_BUTTON, kWhiteTransparent);
        searchButton_.SetBtnCursor(IDCUR_HAND);
    }
    // 5. The banner button, captioned with the banner text (empty when the banner failed).
    const RECT bannerRect{0, 0, 100, 30};
    if (banner_.Create(control, bannerRect, nullptr, WS_VISIBLE | BS_PUSHBUTTON, kIdBanner)) {
        banner_.SetCaptionA(controller_.bannerText());
        banner_.SetAlign(CButtonST::kAlignRight);
        banner_.SetBtnCursor(IDCUR_HAND);
    }
    // 6. The login level.
    controller_.RefreshLoginLevel();

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

}  // namespace kv
