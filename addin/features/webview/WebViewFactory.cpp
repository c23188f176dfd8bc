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

}  // namespace kv
