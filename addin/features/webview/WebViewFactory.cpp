// The run-time choice between the system browser control and the built-in form browser.
#include <windows.h>

#include "addin/features/webview/WebView.h"

namespace kv {

std::unique_ptr<WebView> CreateWebView(const WebViewOptions& options) {
    using Choice = WebViewOptions::Choice;
    std::unique_ptr<WebView> view;
    if (options.choice != Choice::FormBrowserOnly) view = CreateSystemBrowserView(options);
    if (!view && options.choice != Choice::SystemBrowserOnly) view = CreateFormBrowserView(options);
    // For whoever debugs the host, never for the user.
    ::OutputDebugStringW(!view ? L"KestrovaSE web view: none could be created\n"
                         : view->kind() == WebViewKind::SystemBrowser
                             ? L"KestrovaSE web view: system browser control\n"
                             : L"KestrovaSE web view: built-in form browser\n");
    return view;
}

std::unique_ptr<WebView> CreateWebViewInPlaceOf(HWND dialog, int placeholderId, WebViewOptions options,
                                                bool keepPlaceholder) {
    HWND placeholder = ::GetDlgItem(dialog, placeholderId);
    options.parent = dialog;
    if (placeholder) {
        ::GetWindowRect(placeholder, &options.rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&options.rect), 2);
    }
    std::unique_ptr<WebView> view = CreateWebView(options);
    const bool made = view && view->window();
    if (made) {
        ::SetWindowLongPtrW(view->window(), GWLP_ID, placeholderId);
        // Above whatever is drawn around the placeholder, as the placeholder was.
        if (placeholder) {
            ::SetWindowPos(view->window(), placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    if (placeholder && (made || !keepPlaceholder)) ::DestroyWindow(placeholder);
    return view;
}

}  // namespace kv
