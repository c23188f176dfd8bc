// Drives the preview popup, the loading splash and the search box under Wine; prints what it
// finds, one line per fact, for popup_test.py to judge.
//
//   popup_driver.exe popup RESOURCE_DLL PORT LEVEL CLASS DIR NAME [CLICK_ID]
//       runs CPreviewLayer (resources from the add-in library) against kvservice on PORT;
//       once both browsers have a document: the window tree, the preview's pixels, the
//       dialog's picture (DIR/NAME.bmp; NAME "-": none), then CLICK_ID is clicked
//       (226: the log-out's message box is pictured, DIR/NAME-message.bmp, and answered; 1013
//       and 1027: Enter and Escape pressed in the focused control) or the popup is closed; the
//       result and the addresses handed to the shell. With KV_TEST_HIGH_CONTRAST=1 the popup
//       is told the high-contrast setting is on and the system colours are a high-contrast
//       scheme for the run. The program is DPI-aware: it runs at the prefix's LogPixels.
//   popup_driver.exe splash RESOURCE_DLL DIR NAME
//       CCertDlg over a window: its size, whether it was painted before the thread blocks, and
//       its picture (DIR/NAME.bmp).
//   popup_driver.exe pane PORT DIR STEP...
//       "KestrovaSE.SimTaskPane" in Wine's AtlAxWin, a container that offers every key message
//       to the control's TranslateAccelerator first, given a word-processor application object
//       (put_Application). Steps: focus-box, focus-pane, focus-other, type TEXT (WM_CHAR to
//       the focus), clear (empties the box), key VK (decimal, key down and up to the focus), state (the box's text,
//       font and colours), mark NAME (a GET of /kvmark/NAME to kvservice on PORT, so that the
//       service's log shows where each step begins), shot NAME.
#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TarnwickLib_h.h"
#include "addin/base/ui/PlacePicture.h"
#include "addin/features/popup/CertDlg.h"
#include "addin/features/popup/PreviewLayer.h"
#include "addin/features/service/ServiceConfig.h"
#include "platform/Shell.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "tests/wine/support/WindowPicture.h"

namespace {

using namespace kv;

// What this program prints and hands on: text that does not convert still shows, substituted.
std::string Utf8(const std::wstring& w) {
    return WideToCodePageLossy(CP_UTF8, w);
}
std::string Ansi(const std::wstring& w) {
    return WideToCodePageLossy(CP_ACP, w);
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::wstring Text(HWND w) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(w, buffer, 1024);
    return buffer;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Announces NAME.ready with the screen rectangle and waits (pumping) for NAME.done.
void Shot(const std::wstring& dir, const std::wstring& name, HWND window, bool pump) {
    // Wine hands the window's pixels to the display from the message loop.
    for (int i = 0; pump && i < 5; ++i) {
        Pump();
        Sleep(100);
    }
    RECT r;
    GetWindowRect(window, &r);
    const std::wstring ready = dir + L"\\" + name + L".ready", done = dir + L"\\" + name + L".done";
    const std::string text = std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + " " +
                             std::to_string(r.left) + " " + std::to_string(r.top);
    UniqueFile f(CreateFileW((ready + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (f) WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    f.reset();
    MoveFileExW((ready + L".tmp").c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING);
    for (int i = 0; i < 300 && !Exists(done); ++i) {
        if (pump) Pump();
        Sleep(100);
    }
    std::printf("shot %s %s\n", Utf8(name).c_str(), Exists(done) ? "taken" : "MISSING");
}

// The window as it drew itself (frame and children): under Xvfb the display showed these dialogs
// black however long the loop ran.
void SaveWindow(HWND window, const std::wstring& path) {
    const bool ok = kv::testing::SaveWindowPicture(
        window, path,
        [] {
            for (int i = 0; i < 3; ++i) {
                Pump();
                Sleep(100);
            }
        },
        10);
    std::printf("saved %s %s\n", Utf8(path.substr(path.find_last_of(L'\\') + 1)).c_str(), ok ? "ok" : "FAILED");
}

// Pixels of a window's client area as it draws itself (WM_PRINTCLIENT).
std::vector<DWORD> Print(HWND w, int* width, int* height) {
    RECT client;
    GetClientRect(w, &client);
    *width = client.right;
    *height = client.bottom;
    std::vector<DWORD> pixels;
    if (*width <= 0 || *height <= 0) return pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dib || !dc) return pixels;
    {
        SelectedObject selected(dc.get(), dib.get());
        SendMessageW(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
        GdiFlush();
    }
    const DWORD* p = static_cast<const DWORD*>(bits);
    pixels.assign(p, p + static_cast<size_t>(*width) * *height);
    return pixels;
}

// ---- popup -----------------------------------------------------------------------------------

// The popup on its own, without the membership part: a login is never sent, and a page that
// completes leaves nothing pending.
class SilentLogin final : public LoginSubmitter {
public:
    Outcome Submit(PopupLogin&) override {
        std::printf("login submitted\n");
        return Outcome::NotYet;
    }
    void AnswerLoaded(PopupLogin& popup) override { popup.SetPendingAction(0); }
};

struct PopupRun {
    CPreviewLayer* popup = nullptr;
    std::wstring dir, name;
    int click = 0;
    int phase = 0;
    DWORD start = 0;
    bool answered = false;
};
PopupRun g_run;

// Non-white pixels of a column (x) or a row (y) of the window's client drawing, between 1/4
// and 3/4 of its length: a picture that fills its place reaches its right and bottom edges.
int InkAcross(const std::vector<DWORD>& px, int w, int h, bool column) {
    int ink = 0;
    const int length = column ? h : w;
    for (int i = length / 4; i < length * 3 / 4; ++i) {
        const DWORD p = column ? px[static_cast<size_t>(i) * w + (w - 1)] : px[static_cast<size_t>(h - 1) * w + i];
        ink += (p & 0xFFFFFF) != 0xFFFFFF;
    }
    return ink;
}

// The popup's scale, focus, tab order and pictures: each picture against its place.
void DumpLook(HWND dialog) {
    using DpiFn = UINT(WINAPI*)(HWND);
    const auto dpiFor = reinterpret_cast<DpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    // The focus as the dialog keeps it: the control a dialog's focus goes to at activation.
    HWND focus = GetFocus();
    wchar_t focusClass[32] = {};
    if (focus) GetClassNameW(focus, focusClass, 32);
    std::printf("dpi=%u focus=%d focus-class=%s focus-parent-is-dialog=%d\n", dpiFor ? dpiFor(dialog) : 0,
                focus ? GetDlgCtrlID(focus) : 0, Utf8(focusClass).c_str(), GetParent(focus) == dialog ? 1 : 0);
    std::printf("taborder");
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    HWND c = first;
    for (int i = 0; c && i < 30; ++i) {
        std::printf(" %d", GetDlgCtrlID(c));
        c = GetNextDlgTabItem(dialog, c, FALSE);
        if (c == first) break;
    }
    std::printf("\n");
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT place;
        GetClientRect(w, &place);
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && _wcsicmp(cls, L"Static") == 0) {
            const SIZE shown = BitmapSize(reinterpret_cast<HBITMAP>(SendMessageW(w, STM_GETIMAGE, IMAGE_BITMAP, 0)));
            std::printf("picture %d place=%ldx%ld bitmap=%ldx%ld\n", GetDlgCtrlID(w), place.right, place.bottom,
                        shown.cx, shown.cy);
        } else if (GetPropW(w, kPopupBitmapProperty)) {
            int pw = 0, ph = 0;
            const std::vector<DWORD> px = Print(w, &pw, &ph);
            if (px.empty()) continue;
            std::printf("button %d place=%dx%d right-ink=%d of %d bottom-ink=%d of %d\n", GetDlgCtrlID(w), pw, ph,
                        InkAcross(px, pw, ph, true), ph * 3 / 4 - ph / 4, InkAcross(px, pw, ph, false),
                        pw * 3 / 4 - pw / 4);
        }
    }
    // The ground at the client area's top right corner, as the window drew it.
    RECT client;
    GetClientRect(dialog, &client);
    COLORREF ground = CLR_INVALID;
    UniqueMemoryDc mem(CreateCompatibleDC(nullptr));
    HDC dc = GetDC(dialog);
    UniqueBitmap one(dc ? CreateCompatibleBitmap(dc, 1, 1) : nullptr);
    if (dc && mem && one) {
        SelectedObject selected(mem.get(), one.get());
        BitBlt(mem.get(), 0, 0, 1, 1, dc, client.right - 3, 3, SRCCOPY);
        ground = GetPixel(mem.get(), 0, 0);
    }
    if (dc) ReleaseDC(dialog, dc);
    std::printf("ground=%06lX window=%06lX\n", static_cast<unsigned long>(ground),
                static_cast<unsigned long>(GetSysColor(COLOR_WINDOW)));
}

void DumpPopup(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    std::printf("dialog %ld %ld caption=\"%s\"\n", client.right, client.bottom, Escape(Utf8(Text(dialog))).c_str());
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        if (id <= 0 || id == 0xFFFF) continue;
        wchar_t cls[64] = {};
        GetClassNameW(c, cls, 64);
        const INT_PTR bitmap = reinterpret_cast<INT_PTR>(GetPropW(c, kPopupBitmapProperty));
        std::printf("ctl %d class=%s visible=%d bitmap=%d text=\"%s\"\n", id, Utf8(cls).c_str(),
                    (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) ? 1 : 0, static_cast<int>(bitmap),
                    Escape(Utf8(Text(c))).c_str());
    }
    if (WebView* preview = g_run.popup->previewBrowser()) {
        int w = 0, h = 0;
        const std::vector<DWORD> px = Print(preview->window(), &w, &h);
        size_t coloured = 0;
        for (DWORD p : px) coloured += (p & 0xFFFFFF) != 0xFFFFFF;
        RECT r;
        GetWindowRect(preview->window(), &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        std::printf("preview kind=%s rect=%ld,%ld,%ld,%ld document=%d coloured=%zu of %zu\n",
                    preview->kind() == WebViewKind::FormBrowser ? "form" : "system", r.left, r.top, r.right - r.left,
                    r.bottom - r.top, preview->HasDocument() ? 1 : 0, coloured, px.size());
    }
    if (WebView* login = g_run.popup->loginBrowser()) {
        std::printf("login document=%d id=%d pwd=%d submit=%d\n", login->HasDocument() ? 1 : 0,
                    login->HasElement(L"id") ? 1 : 0, login->HasElement(L"pwd") ? 1 : 0,
                    login->HasElement(L"login_submit") ? 1 : 0);
    }
    std::fflush(stdout);
}

void CALLBACK PopupTick(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = g_run.popup ? g_run.popup->dialog() : nullptr;
    if (!dialog) return;
    const DWORD elapsed = GetTickCount() - g_run.start;
    switch (g_run.phase) {
        case 0: {
            WebView* login = g_run.popup->loginBrowser();
            WebView* preview = g_run.popup->previewBrowser();
            const bool previewWanted = preview && (GetWindowLongW(preview->window(), GWL_STYLE) & WS_VISIBLE);
            const bool ready = login && login->HasDocument() && (!previewWanted || preview->HasDocument());
            if (!ready && elapsed < 8000) return;
            g_run.phase = 1;
            DumpPopup(dialog);
            DumpLook(dialog);
            if (g_run.name != L"-") {
                // Painted now; the display gets the pixels while the wait pumps (this tick is
                // past its phase, so the nested ticks do nothing).
                RedrawWindow(dialog, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
                GdiFlush();
                SaveWindow(dialog, g_run.dir + L"\\" + g_run.name + L".bmp");
            }
            if (g_run.click > 1000) {
                // A key pressed where the focus is, as the user presses it.
                const UINT vk = static_cast<UINT>(g_run.click - 1000);
                std::printf("key %u\n", vk);
                HWND focus = GetFocus() ? GetFocus() : dialog;
                PostMessageW(focus, WM_KEYDOWN, vk, 1);
                PostMessageW(focus, WM_KEYUP, vk, 1 | 0xC0000000);
                g_run.start = GetTickCount();
                g_run.phase = 2;
            } else if (g_run.click) {
                std::printf("click %d\n", g_run.click);
                PostMessageW(GetDlgItem(dialog, g_run.click), BM_CLICK, 0, 0);
                g_run.start = GetTickCount();
                g_run.phase = 2;
            } else {
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            return;
        }
        case 2: {
            // A message box the click led to.
            HWND box = FindWindowW(L"#32770", L"로그아웃");
            if (box && GetWindow(box, GW_OWNER) == dialog) {
                std::string text;
                for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    if (GetDlgCtrlID(c) == 0xFFFF && !Text(c).empty()) text = Utf8(Text(c));
                }
                std::printf("messagebox \"로그아웃\" text=\"%s\"\n", Escape(text).c_str());
                if (g_run.name != L"-") SaveWindow(box, g_run.dir + L"\\" + g_run.name + L"-message.bmp");
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                g_run.phase = 3;
                return;
            }
            if (g_run.click > 1000 && elapsed > 1500) {
                std::printf("open after the key=%d\n", IsWindow(dialog) ? 1 : 0);
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                g_run.phase = 3;
                return;
            }
            if (elapsed > 4000) {
                std::printf("no message box after the click\n");
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                g_run.phase = 3;
            }
            return;
        }
        default: return;
    }
}

int RunPopup(const std::wstring& dll, int port, int level, int cls, const std::wstring& dir, const std::wstring& name,
             int click) {
    const UniqueModule resourceModule(LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HMODULE resources = resourceModule.get();
    if (!resources) {
        std::printf("FAIL: cannot load %s\n", Utf8(dll).c_str());
        return 1;
    }
    ServiceConfig config = ServiceConfigFrom("127.0.0.1:" + std::to_string(port), "");
    Identity identity;
    identity.installId = "{11111111-2222-3333-4444-555555555555}";
    identity.distributionCode = "kvtest";
    RecordingShell shell;
    SilentLogin login;
    PopupContext context{config, identity, shell, login, resources, WebViewOptions::Choice::Automatic};
    const bool highContrast = _wgetenv(L"KV_TEST_HIGH_CONTRAST") && _wgetenv(L"KV_TEST_HIGH_CONTRAST")[0] == L'1';
    // Wine never reports the setting: the popup is told, and the system colours are those of
    // a high-contrast scheme for the run (given back at its end).
    const int kinds[] = {COLOR_WINDOW,    COLOR_WINDOWTEXT,    COLOR_BTNFACE,  COLOR_BTNTEXT,
                         COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT, COLOR_3DFACE};
    const COLORREF scheme[] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(0, 0, 0),   RGB(255, 255, 0),
                               RGB(0, 255, 255), RGB(0, 0, 0),       RGB(0, 255, 0), RGB(0, 0, 0)};
    COLORREF before[8] = {};
    for (int i = 0; i < 8; ++i) before[i] = GetSysColor(kinds[i]);
    if (highContrast) {
        context.highContrast = [] { return true; };
        SetSysColors(8, kinds, scheme);
    }
    PreviewRequest request;
    request.loginLevel = level;
    request.templateClass = cls;
    request.previewAddress = "/k_app/preview_image.asp?image=p111.png";
    request.link = cls == -1 ? "" : "http://127.0.0.1:" + std::to_string(port) + "/k_app/template_view.asp?idx=111";
    request.title = cls == -1 ? Ansi(L"회원인증") : Ansi(L"사업계획서_창업");

    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 600, nullptr,
                                 nullptr, nullptr, nullptr);
    CPreviewLayer popup(context, request);
    g_run.popup = &popup;
    g_run.dir = dir;
    g_run.name = name;
    g_run.click = click;
    g_run.start = GetTickCount();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, PopupTick);
    const int result = popup.Run(owner);
    KillTimer(nullptr, timer);
    if (highContrast) SetSysColors(8, kinds, before);
    std::printf("result=%d\n", result);
    for (const std::string& a : shell.opened) std::printf("opened %s\n", a.c_str());
    DestroyWindow(owner);
    return 0;
}

// ---- splash ----------------------------------------------------------------------------------

int RunSplash(const std::wstring& dll, const std::wstring& dir, const std::wstring& name) {
    const UniqueModule resourceModule(LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HMODULE resources = resourceModule.get();
    if (!resources) {
        std::printf("FAIL: cannot load %s\n", Utf8(dll).c_str());
        return 1;
    }
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600, 500, nullptr,
                                 nullptr, nullptr, nullptr);
    Pump();
    CCertDlg splash(resources);
    const bool shown = splash.Show(owner);
    // No pumping from here on, as during the fetch: what is on the screen was painted by Show.
    RECT r{};
    GetWindowRect(splash.hwnd(), &r);
    std::printf("splash shown=%d size=%ld %ld visible=%d\n", shown ? 1 : 0, r.right - r.left, r.bottom - r.top,
                IsWindowVisible(splash.hwnd()) ? 1 : 0);
    RECT o{};
    GetWindowRect(owner, &o);
    std::printf("owner %ld %ld %ld %ld splash %ld %ld\n", o.left, o.top, o.right, o.bottom, r.left, r.top);
    // The window's pixels, read without pumping: what Show painted.
    const WindowDc screenDc(splash.hwnd());
    HDC screen = screenDc.get();
    int matching = 0, samples = 0;
    UniqueBitmap picture(
        static_cast<HBITMAP>(LoadImageW(resources, MAKEINTRESOURCEW(273), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    UniqueMemoryDc mem(CreateCompatibleDC(screen));
    if (picture && mem) {
        SelectedObject selected(mem.get(), picture.get());
        for (int y = 5; y < r.bottom - r.top; y += 17) {
            for (int x = 5; x < r.right - r.left; x += 23) {
                ++samples;
                matching += GetPixel(screen, x, y) == GetPixel(mem.get(), x, y);
            }
        }
    }
    std::printf("splash pixels matching=%d of %d\n", matching, samples);
    std::fflush(stdout);
    if (name != L"-") SaveWindow(splash.hwnd(), dir + L"\\" + name + L".bmp");
    HWND window = splash.hwnd();
    splash.Destroy();
    std::printf("splash destroyed=%d\n", IsWindow(window) ? 0 : 1);
    DestroyWindow(owner);
    return 0;
}

// ---- pane ------------------------------------------------------------------------------------

// The host application object: a word processor as far as the probe goes ("Documents" exists).
class FakeApplication final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives as long as the program
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1 || !names || !ids) return E_INVALIDARG;
        if (_wcsicmp(names[0], L"Documents") == 0) {
            ids[0] = 1;
            return S_OK;
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != 1 || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = 1;
        }
        return S_OK;
    }
};

// One GET to kvservice whose target marks the log.
void Mark(int port, const std::string& name) {
    const UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) return;
    const SOCKET s = socket.get();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request = "GET /kvmark/" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[512];
        while (recv(s, buffer, sizeof buffer, 0) > 0) {}
    }
}

ComPtr<IOleInPlaceActiveObject> g_active;
HWND g_box = nullptr;
HWND g_control = nullptr;

// A container's loop: key messages go to the control's TranslateAccelerator first; S_OK means
// the control (or the container through it) translated the key.
void PumpAsContainer(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && g_active) {
                const HRESULT hr = g_active->TranslateAccelerator(&msg);
                if (msg.message == WM_KEYDOWN)
                    std::printf("translate key=%u hr=%s\n", static_cast<unsigned>(msg.wParam),
                                hr == S_OK      ? "S_OK"
                                : hr == S_FALSE ? "S_FALSE"
                                                : "other");
                if (hr == S_OK) continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

void PrintBoxState() {
    LOGFONTW lf{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(g_box, WM_GETFONT, 0, 0));
    if (font) GetObjectW(font, sizeof lf, &lf);
    // The colours the pane gives the box, asked the way the box asks.
    const WindowDc boxDc(g_box);
    HDC dc = boxDc.get();
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkMode(dc, OPAQUE);
    SendMessageW(g_control, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(g_box));
    const COLORREF colour = GetTextColor(dc);
    const int mode = GetBkMode(dc);
    std::printf(
        "box text=\"%s\" face=%s height=%ld weight=%ld italic=%d charset=%d colour=%06lX transparent=%d focus=%d\n",
        Escape(Utf8(Text(g_box))).c_str(), Utf8(lf.lfFaceName).c_str(), lf.lfHeight, lf.lfWeight, lf.lfItalic ? 1 : 0,
        lf.lfCharSet, static_cast<unsigned long>(colour), mode == TRANSPARENT ? 1 : 0, GetFocus() == g_box ? 1 : 0);
    std::fflush(stdout);
}

int RunPane(int port, const std::wstring& dir, int argc, wchar_t** argv, int first) {
    OleInitialize(nullptr);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto init =
        atl ? reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit"))) : nullptr;
    auto getControl = atl ? reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
                                reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")))
                          : nullptr;
    if (!init || !getControl || !init()) {
        std::printf("FAIL: no AtlAxWin\n");
        return 1;
    }
    HWND top = CreateWindowExW(0, L"STATIC", L"pane", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 320,
                               600, nullptr, nullptr, nullptr, nullptr);
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 540, 300, 20, top, nullptr,
                                 nullptr, nullptr);
    HWND host = CreateWindowExW(0, L"AtlAxWin", L"KestrovaSE.SimTaskPane", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                0, 300, 530, top, nullptr, nullptr, nullptr);
    ComPtr<IUnknown> unknown;
    if (!host || FAILED(getControl(host, unknown.put())) || !unknown ||
        FAILED(unknown.as(IID_IOleInPlaceActiveObject, &g_active))) {
        std::printf("FAIL: the control was not created\n");
        return 1;
    }
    g_active->GetWindow(&g_control);
    ComPtr<ISimTaskPane> pane;
    static FakeApplication application;
    if (FAILED(unknown.as(IID_ISimTaskPane, &pane)) || FAILED(pane->put_Application(&application))) {
        std::printf("FAIL: put_Application\n");
        return 1;
    }
    g_box = GetDlgItem(g_control, 1001);
    wchar_t cls[64] = {};
    GetClassNameW(g_box, cls, 64);
    std::printf("box class=%s style=%08lX\n", Utf8(cls).c_str(),
                static_cast<unsigned long>(GetWindowLongW(g_box, GWL_STYLE)));
    PumpAsContainer(300);
    for (int i = first; i < argc; ++i) {
        const std::wstring step = argv[i];
        const std::wstring arg = i + 1 < argc ? argv[i + 1] : L"";
        if (step == L"focus-box") {
            SetFocus(g_box);
        } else if (step == L"focus-pane") {
            SetFocus(g_control);
        } else if (step == L"clear") {
            SetWindowTextW(g_box, L"");
        } else if (step == L"focus-other") {
            SetFocus(other);
        } else if (step == L"type") {
            ++i;
            for (wchar_t ch : arg) PostMessageW(GetFocus(), WM_CHAR, ch, 1);
        } else if (step == L"key") {
            ++i;
            const UINT vk = static_cast<UINT>(_wtoi(arg.c_str()));
            HWND target = GetFocus();
            PostMessageW(target, WM_KEYDOWN, vk, 1);
            PostMessageW(target, WM_KEYUP, vk, 1 | 0xC0000000);
        } else if (step == L"state") {
            PumpAsContainer(200);
            PrintBoxState();
            continue;
        } else if (step == L"shot") {
            ++i;
            PumpAsContainer(300);
            Shot(dir, arg, top, true);
            continue;
        } else if (step == L"mark") {
            ++i;
            Mark(port, Utf8(arg));
        } else if (step == L"sleep") {
            ++i;
            PumpAsContainer(static_cast<DWORD>(_wtoi(arg.c_str())));
            continue;
        } else {
            std::printf("FAIL: unknown step %s\n", Utf8(step).c_str());
            return 1;
        }
        std::printf("step %s\n", Utf8(step).c_str());
        std::fflush(stdout);
        PumpAsContainer(400);
    }
    std::fflush(stdout);
    // The control goes before its window and the apartment.
    g_active.reset();
    pane.reset();
    unknown.reset();
    WSACleanup();
    DestroyWindow(top);
    OleUninitialize();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    // Wine tells only DPI-aware programs the prefix's DPI.
    using AwarenessFn = BOOL(WINAPI*)(HANDLE);
    const auto aware = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!aware || !aware(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"popup" && argc >= 8) {
        return RunPopup(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]), argv[6], argv[7],
                        argc > 8 ? _wtoi(argv[8]) : 0);
    }
    if (mode == L"splash" && argc >= 5) return RunSplash(argv[2], argv[3], argv[4]);
    if (mode == L"pane" && argc >= 4) return RunPane(_wtoi(argv[2]), argv[3], argc, argv, 4);
    std::printf("usage: popup_driver popup|splash|pane ...\n");
    return 2;
}
