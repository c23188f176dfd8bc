// The web-view layer: one small interface for the browsers of the preview popup (the preview
// picture, control 223, and the hidden login browser, control 213) and of the login-complete
// dialog. Two implementations stand behind it, chosen at run time by CreateWebView:
//   - the system web browser control (SystemBrowserView.cpp), where it can be created and
//     shows pages;
//   - the built-in form browser (FormBrowserView.cpp over FormBrowser.h) everywhere else, for
//     instance under Wine, which has no web engine here.
// Windows only.
//
// How a dialog uses it (all on the dialog's thread, inside its modal loop):
//     WebViewOptions o;
//     o.parent = dialog; o.rect = the control's rectangle in the dialog's client coordinates
//     (e.g. from a placeholder control); o.visible = false for the hidden login browser;
//     o.events = the dialog; o.hostFlags = kPreviewHostFlags and o.showFirstImage = true for
//     the preview; o.cookieAddress = the service configuration's cookie address.
//     std::unique_ptr<WebView> view = CreateWebView(o);   // never null unless out of memory
//     view->Navigate(L"http://service/k_app/login.asp");   // returns at once
//   later, from the message loop: events->DocumentComplete(*view) for the top-level document
//   (also after a failed load, then with no or an empty document). Then:
//     view->SetInputValue(L"id", text); ...; view->Click(L"login_submit");   // next completion
//     view->BodyText(&text) == true && text == L"ok"
// The view's window is a child of the parent and goes away with the view. A view must not be
// destroyed from inside its own DocumentComplete; end the dialog there and destroy it after.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

namespace kv {

class WebView;

class WebViewEvents {
public:
    virtual ~WebViewEvents() = default;
    // The top-level document has completed loading (frames do not count). Always delivered
    // from the message loop, after the call that started the load has returned.
    virtual void DocumentComplete(WebView& view) = 0;
};

enum class WebViewKind { SystemBrowser, FormBrowser };

// Document-host flags of the preview: no 3-D border, no scroll bars, no outer 3-D border.
constexpr DWORD kPreviewHostFlags = 0x20000C;

class WebView {
public:
    virtual ~WebView() = default;
    virtual WebViewKind kind() const = 0;
    virtual HWND window() const = 0;

    // Starts loading url (an http:// address); false when the load cannot start.
    virtual bool Navigate(const std::wstring& url) = 0;
    // True while a document is loaded (false before the first completion and after a failed load).
    virtual bool HasDocument() = 0;
    // The text of the document's body; false when there is no document or body, or the text
    // cannot be read.
    virtual bool BodyText(std::wstring* text) = 0;
    virtual bool HasElement(const std::wstring& id) = 0;
    // Sets the value of the input element id; false when it is missing or not an input.
    virtual bool SetInputValue(const std::wstring& id, const std::wstring& value) = 0;
    // Clicks element id (a submit element sends its form); false when it is missing.
    virtual bool Click(const std::wstring& id) = 0;
    // The document-host flags for documents loaded from now on.
    virtual void SetHostFlags(DWORD flags) = 0;
    virtual void Show(bool visible) = 0;
    // rect in the parent's client coordinates.
    virtual void Move(const RECT& rect) = 0;
};

struct WebViewOptions {
    enum class Choice { Automatic, SystemBrowserOnly, FormBrowserOnly };

    HWND parent = nullptr;
    RECT rect = {0, 0, 0, 0};
    bool visible = true;
    WebViewEvents* events = nullptr;
    DWORD hostFlags = 0;
    // The form browser shows the page's first image, scaled into the rectangle (a preview).
    bool showFirstImage = false;
    // Where the socket client reads its cookies: the form browser keeps a page's cookies there.
    std::string cookieAddress;
    Choice choice = Choice::Automatic;
};

// The system browser control when it can be created and shows a page, else the built-in form
// browser. The choice goes to the debugger output only. Null only when neither can be made
// (no parent window, out of memory).
std::unique_ptr<WebView> CreateWebView(const WebViewOptions& options);

// In a dialog whose template holds a placeholder control where the browser goes: the browser
// takes the placeholder's rectangle, control id and place in the z-order (options.parent and
// rect are set here), and the placeholder goes. When no browser can be made the placeholder
// goes too unless keepPlaceholder.
std::unique_ptr<WebView> CreateWebViewInPlaceOf(HWND dialog, int placeholderId, WebViewOptions options,
                                                bool keepPlaceholder = false);

// The two implementations on their own (null when they cannot be created).
std::unique_ptr<WebView> CreateSystemBrowserView(const WebViewOptions& options);
std::unique_ptr<WebView> CreateFormBrowserView(const WebViewOptions& options);

}  // namespace kv
