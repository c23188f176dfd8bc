// The built-in form browser's window: a child that paints the page's first image on white
// (for the preview) and a message-only window through which every load runs, so completion
// reaches the caller from the message loop (the host's, or a dialog's modal loop).
#include <windows.h>
#include <wincodec.h>

#include <cstring>
#include <vector>

#include "addin/features/webview/FormBrowser.h"
#include "addin/features/webview/ImageFit.h"
#include "addin/features/webview/WebView.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace kv {

namespace {

constexpr wchar_t kViewClass[] = L"KvFormBrowserView";
constexpr wchar_t kPostClass[] = L"KvFormBrowserPost";
constexpr UINT kRunLoad = WM_APP + 0x4B;
// Pictures bigger than this are not decoded (a preview is a few hundred pixels wide).
constexpr UINT kMaxImageSide = 4096;
// Pages are code page 949, as the service writes them.
constexpr UINT kPageCodePage = 949;

// Decodes an image file (PNG, JPEG, GIF, BMP) and composes it over white into a 32-bit DIB.
UniqueBitmap DecodeOnWhite(const std::string& bytes, int* width, int* height) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return UniqueBitmap();
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.putVoid())))
        return UniqueBitmap();
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put()))) return UniqueBitmap();
    if (FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size()))))
        return UniqueBitmap();
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return UniqueBitmap();
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return UniqueBitmap();
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put()))) return UniqueBitmap();
    if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return UniqueBitmap();
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide)
        return UniqueBitmap();

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(w);
    info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.get() || !bits) return UniqueBitmap();
    const UINT stride = w * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE*>(bits)))) return UniqueBitmap();
    // Premultiplied colour over white: c + (255 - alpha).
    BYTE* p = static_cast<BYTE*>(bits);
    for (UINT i = 0; i < w * h; ++i, p += 4) {
        const BYTE rest = static_cast<BYTE>(255 - p[3]);
        for (int c = 0; c < 3; ++c) p[c] = static_cast<BYTE>(p[c] + rest > 255 ? 255 : p[c] + rest);
        p[3] = 255;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return dib;
}

class FormBrowserView : public WebView, private LoadScheduler {
public:
    explicit FormBrowserView(const WebViewOptions& options)
        : events_(options.events),
          fetcher_(SystemNetwork(), SystemCookieSource(), options.cookieAddress),
          browser_(fetcher_, *this),
          showImage_(options.showFirstImage),
          hostFlags_(options.hostFlags) {
        browser_.SetLoadFirstImage(showImage_);
    }

    bool Create(const WebViewOptions& options) {
        if (!RegisterClasses()) return false;
        const RECT& r = options.rect;
        view_.reset(::CreateWindowExW(
            0, kViewClass, L"", WS_CHILD | WS_CLIPSIBLINGS | (options.visible ? WS_VISIBLE : 0), r.left, r.top,
            r.right - r.left, r.bottom - r.top, options.parent, nullptr, ::GetModuleHandleW(nullptr), this));
        post_.reset(::CreateWindowExW(0, kPostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      ::GetModuleHandleW(nullptr), this));
        return view_.get() && post_.get();
    }

    ~FormBrowserView() override {
        // The windows go first, so no message reaches a half-destroyed view.
        if (view_.get()) ::SetWindowLongPtrW(view_.get(), GWLP_USERDATA, 0);
        if (post_.get()) ::SetWindowLongPtrW(post_.get(), GWLP_USERDATA, 0);
    }

    WebViewKind kind() const override { return WebViewKind::FormBrowser; }
    HWND window() const override { return view_.get(); }

    bool Navigate(const std::wstring& url) override {
        std::string narrow;
        if (!WideToCodePage(kPageCodePage, url, &narrow)) return false;
        return browser_.Navigate(narrow);
    }
    bool HasDocument() override { return browser_.hasDocument(); }
    bool BodyText(std::wstring* text) override {
        text->clear();
        if (!browser_.hasDocument()) return false;
        return CodePageToWide(kPageCodePage, browser_.BodyText(), text);
    }
    bool HasElement(const std::wstring& id) override {
        std::string narrow;
        return WideToCodePage(kPageCodePage, id, &narrow) && browser_.FindElement(narrow) >= 0;
    }
    bool SetInputValue(const std::wstring& id, const std::wstring& value) override {
        std::string narrowId, narrowValue;
        if (!WideToCodePage(kPageCodePage, id, &narrowId) || !WideToCodePage(kPageCodePage, value, &narrowValue))
            return false;
        return browser_.SetInputValue(narrowId, narrowValue);
    }
    bool Click(const std::wstring& id) override {
        std::string narrow;
        return WideToCodePage(kPageCodePage, id, &narrow) && browser_.Click(narrow);
    }
    // The form browser draws no borders or scroll bars in any case; the flags are kept only so
    // both implementations answer alike.
    void SetHostFlags(DWORD flags) override { hostFlags_ = flags; }
    void Show(bool visible) override { ::ShowWindow(view_.get(), visible ? SW_SHOWNA : SW_HIDE); }
    void Move(const RECT& r) override {
        ::MoveWindow(view_.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }

private:
    void ScheduleLoad() override { ::PostMessageW(post_.get(), kRunLoad, 0, 0); }

    void RunLoad() {
        if (!browser_.RunPending()) return;
        picture_.reset();
        pictureWidth_ = pictureHeight_ = 0;
        if (showImage_) picture_ = DecodeOnWhite(browser_.imageBytes(), &pictureWidth_, &pictureHeight_);
        ::InvalidateRect(view_.get(), nullptr, TRUE);
        // Last: the handler may start the next load or end its dialog.
        if (events_) events_->DocumentComplete(*this);
    }

    void Paint(HWND w, HDC dc) {
        RECT client;
        ::GetClientRect(w, &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        if (!picture_.get()) return;
        FitBox box = FitImage(pictureWidth_, pictureHeight_, client.right, client.bottom);
        UniqueMemoryDc memory(::CreateCompatibleDC(dc));
        if (!memory.get()) return;
        SelectedObject selected(memory.get(), picture_.get());
        const int oldMode = ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, box.x, box.y, box.width, box.height, memory.get(), 0, 0, pictureWidth_, pictureHeight_,
                     SRCCOPY);
        ::SetStretchBltMode(dc, oldMode);
    }

    static LRESULT CALLBACK ViewProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrW(w, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<FormBrowserView*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
        switch (msg) {
            case WM_ERASEBKGND: return 1;
            case WM_PAINT: {
                PaintDc paint(w);
                if (self && paint.get()) self->Paint(w, paint.get());
                return 0;
            }
            case WM_PRINTCLIENT:
                if (self) self->Paint(w, reinterpret_cast<HDC>(wp));
                return 0;
            default: return ::DefWindowProcW(w, msg, wp, lp);
        }
    }

    static LRESULT CALLBACK PostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrW(w, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        if (msg == kRunLoad) {
            auto* self = reinterpret_cast<FormBrowserView*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
            if (self) self->RunLoad();
            return 0;
        }
        return ::DefWindowProcW(w, msg, wp, lp);
    }

    static bool RegisterClasses() {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        if (!::GetClassInfoExW(instance, kViewClass, &wc)) {
            wc = WNDCLASSEXW{};
            wc.cbSize = sizeof(wc);
            wc.style = CS_HREDRAW | CS_VREDRAW;
            wc.lpfnWndProc = ViewProc;
            wc.hInstance = instance;
            wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
            wc.lpszClassName = kViewClass;
            if (!::RegisterClassExW(&wc)) return false;
        }
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        if (!::GetClassInfoExW(instance, kPostClass, &wc)) {
            wc = WNDCLASSEXW{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = PostProc;
            wc.hInstance = instance;
            wc.lpszClassName = kPostClass;
            if (!::RegisterClassExW(&wc)) return false;
        }
        return true;
    }

    WebViewEvents* events_;
    SocketPageFetcher fetcher_;
    FormBrowser browser_;
    bool showImage_;
    DWORD hostFlags_;
    UniqueWindow view_;
    UniqueWindow post_;
    UniqueBitmap picture_;
    int pictureWidth_ = 0, pictureHeight_ = 0;
};

}  // namespace

std::unique_ptr<WebView> CreateFormBrowserView(const WebViewOptions& options) {
    if (!options.parent) return nullptr;
    std::unique_ptr<FormBrowserView> view(new (std::nothrow) FormBrowserView(options));
    if (!view || !view->Create(options)) return nullptr;
    return view;
}

}  // namespace kv
