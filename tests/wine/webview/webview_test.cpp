// The web-view layer under Wine against kvservice: the factory falls back to the built-in form
// browser (no web engine here), the login page is filled and submitted with completion always
// after the starting call, the member cookie is then in WinINet's store where the socket
// client reads it, and the preview's image is drawn into its rectangle.
//   webview_test.exe PORT [SCREENS_FOLDER]
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "addin/features/service/ServiceClient.h"
#include "addin/features/webview/ImageFit.h"
#include "addin/features/webview/WebView.h"
#include "platform/CookieSource.h"
#include "platform/Decimal.h"
#include "platform/Network.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

int g_port = 0;
std::wstring g_screens;

std::wstring Url(const wchar_t* path) {
    return L"http://127.0.0.1:" + std::to_wstring(g_port) + path;
}
const char kCookieAddress[] = "http://127.0.0.1/";

class Recorder : public WebViewEvents {
public:
    int completions = 0;
    bool insideCall = false;
    bool completedInsideCall = false;
    void DocumentComplete(WebView&) override {
        ++completions;
        if (insideCall) completedInsideCall = true;
    }
};

// Runs the thread's messages until done() or timeoutMs.
template <class F>
bool PumpUntil(F done, DWORD timeoutMs = 8000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(g_port, 0);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = L"KvWebViewTestHost";
        ::RegisterClassW(&wc);
        host_.reset(::CreateWindowExW(0, wc.lpszClassName, L"web view test", WS_POPUP | WS_VISIBLE, 0, 0, 320, 300,
                                      nullptr, nullptr, wc.hInstance, nullptr));
        ASSERT_NE(nullptr, host_.get());
    }

    WebViewOptions Options(bool visible) {
        WebViewOptions o;
        o.parent = host_.get();
        o.rect = {10, 10, 160, 250};
        o.visible = visible;
        o.events = &recorder_;
        o.cookieAddress = kCookieAddress;
        return o;
    }

    // Starts a load and checks that its completion comes only afterwards, from the message loop.
    template <class F>
    void LoadBy(F start) {
        const int before = recorder_.completions;
        recorder_.insideCall = true;
        ASSERT_TRUE(start());
        recorder_.insideCall = false;
        EXPECT_EQ(before, recorder_.completions) << "completion inside the starting call";
        ASSERT_TRUE(PumpUntil([&] { return recorder_.completions > before; })) << "no completion";
        EXPECT_FALSE(recorder_.completedInsideCall);
        EXPECT_EQ(before + 1, recorder_.completions);
    }

    void Login(WebView& view, const std::wstring& id, const std::wstring& pwd) {
        LoadBy([&] { return view.Navigate(Url(L"/k_app/login.asp")); });
        for (const wchar_t* e : {L"id", L"pwd", L"PID", L"bms_code", L"login_submit"})
            EXPECT_TRUE(view.HasElement(e)) << e;
        EXPECT_TRUE(view.SetInputValue(L"id", id));
        EXPECT_TRUE(view.SetInputValue(L"pwd", pwd));
        EXPECT_TRUE(view.SetInputValue(L"PID", L"{6F1C0D1E-0000-4000-8000-000000000001}"));
        EXPECT_TRUE(view.SetInputValue(L"bms_code", L"kv01"));
        EXPECT_FALSE(view.SetInputValue(L"login_form", L"x"));
        LoadBy([&] { return view.Click(L"login_submit"); });
    }

    static std::string StoredCookies() {
        std::string cookies;
        if (!SystemCookieSource().GetCookie(kCookieAddress, &cookies, 4096)) cookies.clear();
        return cookies;
    }
    // The pane's login status query: the socket client with the cookies of the same store.
    static std::string LoginStatus() {
        ServiceConfig config;
        config.serviceHost = "127.0.0.1";
        config.port = g_port;
        config.cookieAddress = kCookieAddress;
        ServiceClient client(SystemNetwork(), SystemCookieSource(), config);
        NetSession session(SystemNetwork());
        if (!client.HttpExchange(ReplySlot::FreeSearch, client.Address("/k_app/login_status.asp"))) return "(failed)";
        return client.Reply(ReplySlot::FreeSearch).body();
    }

    ComApartment com_;
    Recorder recorder_;
    UniqueWindow host_;
};

TEST_F(WebViewTest, FactoryFallsBackToTheFormBrowser) {
    DWORD t0 = ::GetTickCount();
    EXPECT_EQ(nullptr, CreateSystemBrowserView(Options(false))) << "no web engine under Wine here";
    std::printf("system browser attempt: %lu ms\n", static_cast<unsigned long>(::GetTickCount() - t0));
    t0 = ::GetTickCount();
    std::unique_ptr<WebView> view = CreateWebView(Options(false));
    std::printf("factory: %lu ms\n", static_cast<unsigned long>(::GetTickCount() - t0));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(WebViewKind::FormBrowser, view->kind());
    EXPECT_FALSE(::IsWindowVisible(view->window()));
    EXPECT_EQ(host_.get(), ::GetParent(view->window()));
    EXPECT_FALSE(view->HasDocument());
    std::wstring text;
    EXPECT_FALSE(view->BodyText(&text));
    EXPECT_FALSE(view->Navigate(L"file:///c:/windows/win.ini"));
    EXPECT_EQ(0, recorder_.completions);
    WebViewOptions noParent = Options(false);
    noParent.parent = nullptr;
    EXPECT_EQ(nullptr, CreateWebView(noParent));
}

TEST_F(WebViewTest, LoginThroughTheHiddenBrowser) {
    std::unique_ptr<WebView> view = CreateWebView(Options(false));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ("", LoginStatus());

    Login(*view, L"kvfull", L"wrong");
    std::wstring text;
    ASSERT_TRUE(view->BodyText(&text));
    EXPECT_EQ(L"fail", text);
    EXPECT_EQ(std::string::npos, StoredCookies().find("KVMEMBER"));

    Login(*view, L"\xD68C\xC6D0", L"\xBE44\xBC00");  // Hangul id and password: code page 949 on the wire
    ASSERT_TRUE(view->BodyText(&text));
    EXPECT_EQ(L"fail", text);

    Login(*view, L"kvfull", L"full1234");
    ASSERT_TRUE(view->BodyText(&text));
    EXPECT_EQ(L"ok", text);
    EXPECT_NE(std::string::npos, StoredCookies().find("KVMEMBER=kvfull")) << StoredCookies();
    EXPECT_EQ("1", LoginStatus()) << "the socket client sends the member's cookie";

    LoadBy([&] { return view->Navigate(Url(L"/k_app/logout.asp")); });
    EXPECT_EQ("", LoginStatus()) << StoredCookies();

    // A service that is not there: completion still comes, with no document.
    LoadBy([&] { return view->Navigate(L"http://127.0.0.1:1/k_app/login.asp"); });
    EXPECT_FALSE(view->HasDocument());
    EXPECT_FALSE(view->BodyText(&text));
    EXPECT_FALSE(view->Click(L"login_submit"));
}

// The popup's way of using the layer: a modal dialog whose own loop delivers the completions,
// the login filled in from the first one and judged at the second, the dialog ended there.
struct ModalLogin : WebViewEvents {
    std::unique_ptr<WebView> view;
    int stage = 0;
    std::wstring answer;
    void DocumentComplete(WebView& v) override {
        HWND dialog = ::GetParent(v.window());
        if (stage == 0) {
            stage = 1;
            bool ok = v.SetInputValue(L"id", L"kvpremium") && v.SetInputValue(L"pwd", L"premium1234") &&
                      v.SetInputValue(L"PID", L"{6F1C0D1E-0000-4000-8000-000000000002}") &&
                      v.SetInputValue(L"bms_code", L"kv01") && v.Click(L"login_submit");
            if (!ok) ::EndDialog(dialog, 3);
            return;
        }
        if (!v.BodyText(&answer)) answer = L"(no body)";
        ::EndDialog(dialog, answer == L"ok" ? 1 : 2);
    }
    static INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            auto* self = reinterpret_cast<ModalLogin*>(lp);
            WebViewOptions o;
            o.parent = dialog;
            o.rect = {5, 5, 11, 11};
            o.visible = false;
            o.events = self;
            o.cookieAddress = kCookieAddress;
            self->view = CreateWebView(o);
            if (!self->view || !self->view->Navigate(Url(L"/k_app/login.asp"))) ::EndDialog(dialog, 4);
            ::SetTimer(dialog, 1, 10000, nullptr);
            return TRUE;
        }
        if (msg == WM_TIMER) ::EndDialog(dialog, 5);  // no completion in time
        return FALSE;
    }
};

TEST_F(WebViewTest, LoginInsideAModalDialog) {
    // An empty dialog template: popup with a caption, no controls.
    alignas(4) WORD tmpl[32] = {};
    auto* head = reinterpret_cast<DLGTEMPLATE*>(tmpl);
    head->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    head->cx = 100;
    head->cy = 60;
    ModalLogin login;
    INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), head, host_.get(), ModalLogin::Proc,
                                               reinterpret_cast<LPARAM>(&login));
    EXPECT_EQ(1, result) << "answer: " << std::string(login.answer.begin(), login.answer.end());
    EXPECT_EQ(L"ok", login.answer);
    EXPECT_EQ("2", LoginStatus());
    login.view.reset();
    EXPECT_TRUE(SystemCookieSource().SetCookie(kCookieAddress,
                                               "KVMEMBER=; Path=/; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ("", LoginStatus()) << "an expired cookie leaves the store";
}

struct Capture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;  // 0x00RRGGBB, top-down
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

// What the view draws, through WM_PRINTCLIENT into a DIB of its client size.
Capture Print(HWND w) {
    Capture c;
    RECT client;
    ::GetClientRect(w, &client);
    c.width = client.right;
    c.height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueBitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dib.get() || !dc.get()) return c;
    {
        SelectedObject selected(dc.get(), dib.get());
        ::SendMessageW(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
        ::GdiFlush();
    }
    const DWORD* p = static_cast<const DWORD*>(bits);
    c.pixels.assign(p, p + static_cast<size_t>(c.width) * c.height);
    return c;
}

// The same from the screen (Xvfb), where the window really drew.
Capture Screen(HWND w) {
    Capture c;
    RECT client;
    ::GetClientRect(w, &client);
    c.width = client.right;
    c.height = client.bottom;
    WindowDc screen(w);
    UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueBitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.get() || !dc.get()) return c;
    {
        SelectedObject selected(dc.get(), dib.get());
        ::BitBlt(dc.get(), 0, 0, c.width, c.height, screen.get(), 0, 0, SRCCOPY);
        ::GdiFlush();
    }
    const DWORD* p = static_cast<const DWORD*>(bits);
    c.pixels.assign(p, p + static_cast<size_t>(c.width) * c.height);
    return c;
}

void SaveBmp(const Capture& c, const std::wstring& path) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER head = {};
    head.biSize = sizeof(head);
    head.biWidth = c.width;
    head.biHeight = -c.height;
    head.biPlanes = 1;
    head.biBitCount = 32;
    const DWORD bytes = static_cast<DWORD>(c.pixels.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(head);
    file.bfSize = file.bfOffBits + bytes;
    UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f) return;
    DWORD written = 0;
    ::WriteFile(f.get(), &file, sizeof(file), &written, nullptr);
    ::WriteFile(f.get(), &head, sizeof(head), &written, nullptr);
    ::WriteFile(f.get(), c.pixels.data(), bytes, &written, nullptr);
}

// p111.png (140 x 180) fitted into the view: white outside, its blue title band at the top of
// the fitted box, white paper with grey lines below it.
void ExpectPreviewDrawn(const Capture& c, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(150, c.width);
    ASSERT_EQ(240, c.height);
    const FitBox box = FitImage(140, 180, c.width, c.height);
    ASSERT_EQ(150, box.width);
    ASSERT_EQ(192, box.height);
    int outsideNotWhite = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if ((y < box.y - 1 || y > box.y + box.height) && c.At(x, y) != 0xFFFFFF) ++outsideNotWhite;
    EXPECT_EQ(0, outsideNotWhite) << "the letterbox is white";
    auto blue = [](DWORD px) {
        int r = (px >> 16) & 255, b = px & 255;
        return b > r + 40 && b > 100;
    };
    int bandBlue = 0, bandTotal = 0;
    for (int y = box.y + 3; y < box.y + 20; ++y)
        for (int x = 10; x < c.width - 10; ++x, ++bandTotal)
            if (blue(c.At(x, y))) ++bandBlue;
    EXPECT_GT(bandBlue, bandTotal * 8 / 10) << "title band at the top of the fitted picture";
    EXPECT_FALSE(blue(c.At(c.width / 2, box.y + box.height * 3 / 4)));
    EXPECT_FALSE(blue(c.At(c.width / 2, box.y - 3))) << "nothing above the fitted box";
}

TEST_F(WebViewTest, PreviewDrawsTheFirstImageIntoItsRectangle) {
    WebViewOptions o = Options(true);
    o.showFirstImage = true;
    o.hostFlags = kPreviewHostFlags;
    std::unique_ptr<WebView> view = CreateWebView(o);
    ASSERT_NE(nullptr, view);
    ASSERT_TRUE(::IsWindowVisible(view->window()));
    LoadBy([&] { return view->Navigate(Url(L"/k_app/preview_image.asp?image=p111.png")); });
    ASSERT_TRUE(view->HasElement(L"preview"));
    ::UpdateWindow(view->window());
    PumpUntil([] { return false; }, 300);
    Capture printed = Print(view->window());
    ExpectPreviewDrawn(printed, "printed");
    Capture screen = Screen(view->window());
    ExpectPreviewDrawn(screen, "on the screen");
    if (!g_screens.empty()) SaveBmp(screen, g_screens + L"\\webview_preview.bmp");

    // Moved and resized: the picture follows into the new rectangle.
    view->Move({20, 20, 170, 260});
    RECT r;
    ::GetWindowRect(view->window(), &r);
    ::MapWindowPoints(nullptr, host_.get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(20, r.left);
    EXPECT_EQ(20, r.top);
    view->Show(false);
    EXPECT_FALSE(::IsWindowVisible(view->window()));

    // A page without a picture, then a broken one: an all-white rectangle, no crash.
    LoadBy([&] { return view->Navigate(Url(L"/k_app/preview_image.asp?image=nothing.png")); });
    Capture empty = Print(view->window());
    for (DWORD px : empty.pixels) ASSERT_EQ(0xFFFFFFu, px & 0xFFFFFF);
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) kv::g_port = kv::ReadDecimal(argv[1]);
    if (argc > 2) {
        std::string s = argv[2];
        kv::g_screens.assign(s.begin(), s.end());
    }
    return RUN_ALL_TESTS();
}
