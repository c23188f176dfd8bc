#include "addin/taskpane/PaneWindows.h"

#include <shlobj.h>

#include "addin/service/Settings.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

namespace kv {
namespace {

constexpr int kHandCursor = 218;
constexpr int kSearchButtonBitmap = 245;
constexpr int kAlignRight = 2;

std::wstring& DocumentsFolder() {
    static std::wstring folder;
    return folder;
}

}  // namespace

std::string WideToThreadAnsi(const wchar_t* text, size_t length) {
    if (!text || length == 0 || length > 0x100000) return std::string();
    const int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring AnsiToWideText(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring PaneDocumentsFolder() { return DocumentsFolder(); }

std::string WindowSearchBox::Text() {
    if (!edit_) return memory_.Text();
    wchar_t buffer[kNarrowTextBuffer] = {};
    const int n = ::GetWindowTextW(edit_, buffer, static_cast<int>(kNarrowTextBuffer));
    return CutCp949(WideToThreadAnsi(buffer, n > 0 ? static_cast<size_t>(n) : 0));
}

void WindowSearchBox::SetEnteredText(const std::string& text) {
    memory_.SetEnteredText(text);
    if (edit_) ::SetWindowTextW(edit_, AnsiToWideText(memory_.Text()).c_str());
}

void WindowSearchBox::Attach(HWND edit) {
    edit_ = edit;
    // What a caller put in before the window existed shows in it.
    if (edit_ && memory_.TextEntered()) ::SetWindowTextW(edit_, AnsiToWideText(memory_.Text()).c_str());
}

CPaneWindows::CPaneWindows(PaneActions& actions)
    : config_(LoadServiceConfig(SystemSettings())),
      client_(SystemNetwork(), SystemCookieSource(), config_),
      sender_(SystemNetwork(), config_),
      identity_(LoadSettings(SystemSettings(), std::string()).identity),
      controller_(PaneServices{client_, hosts_, sender_, SystemShell(), identity_, SystemSharedState(), actions, box_}) {
}

CPaneWindows::~CPaneWindows() { OnDestroy(); }

void CPaneWindows::OnCreate(HWND control) {
    control_ = control;
    // 1. The documents folder, for the clean-up at the last unload.
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        DocumentsFolder() = folder;
    }
    // 2. The result list; it shows what a search before the window found.
    if (list_.Create(control)) controller_.AttachList(&list_);
    // 3. The banner.
    controller_.LoadBanner();
    // 4. The search box and the search button.
    edit_.reset(::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                  2, 4, 100, 16, control, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdSearchBox)),
                                  nullptr, nullptr));
    if (edit_) {
        ::SendMessageW(edit_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ::SendMessageW(edit_.get(), EM_LIMITTEXT, kNarrowTextMax, 0);
        box_.Attach(edit_.get());
    }
    const RECT provisional{0, 0, 40, 20};
    if (searchButton_.Create(control, provisional, nullptr, WS_VISIBLE | BS_PUSHBUTTON, kIdSearchButton)) {
        searchButton_.SetBitmaps(kSearchButtonBitmap, kWhiteTransparent);
        searchButton_.SetBtnCursor(kHandCursor);
    }
    // 5. The banner button, captioned with the banner text (empty when the banner failed).
    const RECT bannerRect{0, 0, 100, 30};
    if (banner_.Create(control, bannerRect, nullptr, WS_VISIBLE | BS_PUSHBUTTON, kIdBanner)) {
        banner_.SetCaptionA(controller_.bannerText());
        banner_.SetAlign(kAlignRight);
        banner_.SetBtnCursor(kHandCursor);
    }
    // 6. The login level.
    controller_.RefreshLoginLevel();

    RECT client{};
    if (::GetClientRect(control, &client)) OnSize(client.right - client.left, client.bottom - client.top);
}

void CPaneWindows::OnDestroy() {
    controller_.DetachList();
    box_.Detach();
    banner_.Detach();
    searchButton_.Detach();
    edit_.reset();
    control_ = nullptr;
}

void CPaneWindows::OnSize(int width, int height) {
    if (!control_) return;
    const PaneLayout p = LayoutPane(width, height);
    if (edit_) ::MoveWindow(edit_.get(), p.searchBox.x, p.searchBox.y, p.searchBox.width, p.searchBox.height, TRUE);
    searchButton_.Move(p.searchButton.x, p.searchButton.y, p.searchButton.width, p.searchButton.height);
    if (p.searchButton.width != buttonWidth_) {
        searchButton_.SetShade(kShadeEntry, 3, 40, 5, 0);
        buttonWidth_ = p.searchButton.width;
    }
    list_.Move(p.list);
    banner_.Move(p.banner.x, p.banner.y, p.banner.width, p.banner.height);
    banner_.Show(true);
    if (p.banner.width != bannerWidth_) {
        banner_.SetShade(kShadeHeader, 3, 40, 5, 0);
        bannerWidth_ = p.banner.width;
    }
}

bool CPaneWindows::OnCommand(WPARAM wp, LPARAM) {
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    if (code != BN_CLICKED) return false;
    if (id == kIdSearchBox) return false;  // the box's notifications belong to the search box's own part
    return controller_.OnCommand(id);
}

}  // namespace kv
