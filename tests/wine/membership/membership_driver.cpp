// Drives the member login, the logout, the login-complete dialog and the about box under Wine
// against kvservice; prints one line per fact for membership_test.py to judge. A robot thread
// plays the user: it types into the popup's fields, clicks, reads and answers message boxes
// while the main thread sits in the modal loops.
//
//   membership_driver.exe login RESOURCE_DLL DIR ID WRONG_PASSWORD PASSWORD DEAD_PORT
//       the control "KestrovaSE.SimTaskPane" in AtlAxWin (its service is the registry's), then:
//       a member entry clicked while logged out; the popup with a wrong and then the right
//       password; put_SearchList and the level; the member entry clicked again; the popup's
//       logout; put_SearchList and the level; a logout while the service cannot be reached.
//   membership_driver.exe dialogs RESOURCE_DLL DIR [SUFFIX]
//       CLogoutDlg answered by OK, Escape and the close box, and without a possible browser;
//       CAboutDlg with and without a newest version, and closed by Escape; each picture against
//       its place; screenshots login-complete SUFFIX and about SUFFIX. The program is DPI-aware:
//       it runs at the prefix's LogPixels.
// Screenshots: DIR/NAME.ready (window rectangle) is answered by the test with DIR/NAME.done.
#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TarnwickLib_h.h"
#include "addin/features/membership/MembershipDialogs.h"
#include "addin/features/membership/MembershipWin.h"
#include "addin/features/popup/PreviewLayer.h"
#include "addin/features/service/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "tests/wine/support/WindowPicture.h"

namespace {

using namespace kv;

DWORD g_mainThread = 0;

std::string Utf8(const std::wstring& w) {
    std::string out;
    WideToUtf8(w, &out);
    return out;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
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

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Announces NAME.ready with the window's screen rectangle and waits for NAME.done (called from
// the robot thread, so the window keeps painting).
void Shot(const std::wstring& dir, const std::wstring& name, HWND window) {
    Sleep(400);
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
    for (int i = 0; i < 300 && !Exists(done); ++i) Sleep(100);
    Say("shot " + Utf8(name) + (Exists(done) ? " taken" : " MISSING"));
}

// Polls until found() gives a window or ms pass.
HWND WaitFor(const std::function<HWND()>& found, DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    do {
        if (HWND w = found()) return w;
        Sleep(50);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
    return nullptr;
}

// Top-level dialogs of the main thread, optionally only those with the given caption.
std::vector<HWND> Dialogs() {
    std::vector<HWND> out;
    EnumThreadWindows(
        g_mainThread,
        [](HWND w, LPARAM p) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (std::wstring(cls) == L"#32770" && IsWindowVisible(w))
                reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

HWND DialogWith(const wchar_t* caption, int childId = 0) {
    for (HWND w : Dialogs()) {
        if (caption && Text(w) != caption) continue;
        if (childId && !GetDlgItem(w, childId)) continue;
        return w;
    }
    return nullptr;
}

// The message box's text (its static with id 0xFFFF).
std::string BoxText(HWND box) {
    std::string text;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) == 0xFFFF && !Text(c).empty()) text = Utf8(Text(c));
    }
    return text;
}

// The message box's icon (its SS_ICON static), as the system's shared icons.
std::string BoxIcon(HWND box) {
    HICON icon = nullptr;
    for (HWND c = GetWindow(box, GW_CHILD); c && !icon; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0));
    }
    if (icon && icon == LoadIconW(nullptr, IDI_HAND)) return "error";
    if (icon && icon == LoadIconW(nullptr, IDI_ASTERISK)) return "information";
    return icon ? "other" : "none";
}

HWND MainFocus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(g_mainThread, &info) ? info.hwndFocus : nullptr;
}

void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// The window as it drew itself (frame and children): under Xvfb the display showed these dialogs
// black however long the loop ran.
void SaveWindow(HWND window, const std::wstring& path) {
    const bool ok = kv::testing::SaveWindowPicture(
        window, path, [] { Sleep(300); }, 10);
    std::printf("saved %s %s\n", Utf8(path.substr(path.find_last_of(L'\\') + 1)).c_str(), ok ? "ok" : "FAILED");
}

// ---- the popup --------------------------------------------------------------------------

struct Popup {
    ServiceConfig config;
    Identity identity;
    RecordingShell shell;
    PopupMembership login;
    HMODULE resources;
    std::unique_ptr<CPreviewLayer> layer;
    std::atomic<CPreviewLayer*>& published;

    Popup(const ServiceConfig& c, HMODULE r, std::atomic<CPreviewLayer*>& p)
        : config(c), login(c, r, WebViewOptions::Choice::Automatic), resources(r), published(p) {
        identity.installId = "{11111111-2222-3333-4444-555555555555}";
        identity.distributionCode = "kvtest";
    }
    int Run(HWND owner, int level) {
        PopupContext context{config, identity, shell, login, resources, WebViewOptions::Choice::Automatic};
        PreviewRequest request;
        request.loginLevel = level;
        request.templateClass = -1;
        request.previewAddress = "/k_app/preview_image.asp?image=";
        request.title = "login";
        layer = std::make_unique<CPreviewLayer>(context, request);
        published = layer.get();
        const int result = layer->Run(owner);
        published = nullptr;
        layer.reset();
        return result;
    }
};

// Waits for the popup and for its hidden login page (up to ms; a page that cannot load is
// waited for the whole time).
HWND WaitForPopup(std::atomic<CPreviewLayer*>& layer, DWORD ms) {
    HWND dialog = WaitFor(
        [&]() -> HWND {
            CPreviewLayer* p = layer.load();
            return p ? p->dialog() : nullptr;
        },
        8000);
    if (!dialog) return nullptr;
    WaitFor(
        [&]() -> HWND {
            CPreviewLayer* p = layer.load();
            WebView* page = p ? p->loginBrowser() : nullptr;
            return page && page->HasDocument() && page->HasElement(L"login_submit") ? dialog : nullptr;
        },
        ms);
    Sleep(200);
    return dialog;
}

void SetField(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Answers the one message box with the given caption owned by owner; prints it; then makes
// sure no second one comes within quiet ms.
bool AnswerBox(HWND owner, const wchar_t* caption, const std::string& what, const std::wstring& dir,
               const std::wstring& shot, DWORD holdMs = 1500, DWORD quietMs = 2000) {
    HWND box = WaitFor(
        [&]() -> HWND {
            HWND b = DialogWith(caption);
            return b && GetWindow(b, GW_OWNER) == owner ? b : nullptr;
        },
        8000);
    if (!box) {
        Say(what + " messagebox none");
        return false;
    }
    Say(what + " messagebox caption=\"" + Utf8(Text(box)) + "\" text=\"" + Escape(BoxText(box)) + "\"");
    Say(what + " icon=" + BoxIcon(box));
    if (!shot.empty()) Shot(dir, shot, box);
    // Held open: a completion arriving inside its modal loop (the login page's reload) must
    // not bring a second box.
    Sleep(holdMs);
    int boxes = 0;
    for (HWND w : Dialogs()) boxes += GetWindow(w, GW_OWNER) == owner && Text(w) == caption;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&]() -> HWND { return IsWindow(box) ? nullptr : owner; }, 3000);
    Sleep(quietMs);
    for (HWND w : Dialogs())
        boxes += GetWindow(w, GW_OWNER) == owner && w != box && IsWindow(w) && GetDlgItem(w, 0xFFFF);
    Say(what + " boxes=" + std::to_string(boxes));
    return true;
}

// ---- the control ---------------------------------------------------------------------------

class FakeApplication final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
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

void Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

HWND FindVisibleChild(HWND root, int id) {
    std::pair<int, HWND> f(id, nullptr);
    EnumChildWindows(
        root,
        [](HWND w, LPARAM p) -> BOOL {
            auto* q = reinterpret_cast<std::pair<int, HWND>*>(p);
            if (GetDlgCtrlID(w) == q->first && IsWindowVisible(w)) {
                q->second = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.second;
}

// Clicks the first member result of the pane (button 237) and reports whether a popup came:
// a member entry that may be opened goes straight to the fetch.
void ClickMemberEntry(HWND control, const std::string& what) {
    HWND entry = FindVisibleChild(control, 237);
    if (!entry) {
        Say(what + " entry none");
        return;
    }
    Say(what + " entry text=\"" + Escape(Utf8(Text(entry))) + "\"");
    std::atomic<bool> popup{false};
    std::thread robot([&] {
        HWND d = WaitFor([] { return DialogWith(nullptr, 215); }, 5000);
        if (d) {
            popup = true;
            Sleep(300);
            PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        }
    });
    // The click runs the pane's handler on this thread (a popup's modal loop, or the fetch).
    SendMessageW(GetParent(entry), WM_COMMAND, MAKEWPARAM(237, BN_CLICKED), reinterpret_cast<LPARAM>(entry));
    Pump(300);
    robot.join();
    Say(what + " popup=" + std::string(popup ? "1" : "0"));
}

int RunLogin(const std::wstring& dll, const std::wstring& dir, const std::wstring& id, const std::wstring& wrong,
             const std::wstring& password, int deadPort) {
    const kv::UniqueModule resourceModule(LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HMODULE resources = resourceModule.get();
    if (!resources) {
        Say("FAIL: cannot load the resources");
        return 1;
    }
    OleInitialize(nullptr);
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto init =
        atl ? reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit"))) : nullptr;
    auto getControl = atl ? reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
                                reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")))
                          : nullptr;
    if (!init || !getControl || !init()) {
        Say("FAIL: no AtlAxWin");
        return 1;
    }
    HWND top = CreateWindowExW(0, L"STATIC", L"pane", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 320,
                               600, nullptr, nullptr, nullptr, nullptr);
    HWND host = CreateWindowExW(0, L"AtlAxWin", L"KestrovaSE.SimTaskPane", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                0, 300, 560, top, nullptr, nullptr, nullptr);
    ComPtr<IUnknown> unknown;
    ComPtr<ISimTaskPane> pane;
    if (!host || FAILED(getControl(host, unknown.put())) || !unknown ||
        FAILED(unknown->QueryInterface(IID_ISimTaskPane, pane.putVoid()))) {
        Say("FAIL: the control was not created");
        return 1;
    }
    static FakeApplication application;
    pane->put_Application(&application);
    Pump(500);
    auto level = [&](const std::string& what) {
        SHORT value = 0;
        const HRESULT hr = pane->get_LoginStatus(&value);
        Say(what + " level=" + std::to_string(SUCCEEDED(hr) ? value : 9999));
    };
    level("created");
    ClickMemberEntry(host, "logged-out");

    const ServiceConfig config = LoadServiceConfig(SystemSettings());
    std::atomic<CPreviewLayer*> current{nullptr};

    // 1. A wrong password, then the right one.
    {
        Popup popup(config, resources, current);
        std::thread robot([&] {
            HWND d = WaitForPopup(current, 8000);
            if (!d) {
                Say("login popup none");
                return;
            }
            Say(std::string("start focus-on-id=") + (MainFocus() == GetDlgItem(d, 211) ? "1" : "0"));
            SetField(d, 211, id);
            SetField(d, 212, wrong);
            // Enter where the typing is: the popup's default button logs in.
            HWND field = MainFocus() ? MainFocus() : d;
            PostMessageW(field, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageW(field, WM_KEYUP, VK_RETURN, 0xC01C0001);
            AnswerBox(d, L"로그인 실패", "wrong", dir, L"login-refused");
            Say(std::string("wrong focus-on-id=") + (MainFocus() == GetDlgItem(d, 211) ? "1" : "0"));
            CPreviewLayer* p = current.load();
            WebView* page = p ? p->loginBrowser() : nullptr;
            Say(std::string("wrong form-again=") + (page && page->HasElement(L"login_submit") ? "1" : "0"));
            SetField(d, 212, password);
            Click(d, 215);
            HWND done = WaitFor([] { return DialogWith(L"인증 완료"); }, 8000);
            if (!done) {
                Say("right complete-dialog none");
                return;
            }
            RECT r{};
            GetClientRect(done, &r);
            Say("right complete-dialog owner-is-popup=" + std::string(GetWindow(done, GW_OWNER) == d ? "1" : "0") +
                " popup-open=" + (IsWindow(d) && IsWindowVisible(d) ? "1" : "0") +
                " default-focus=" + (MainFocus() == GetDlgItem(done, IDOK) ? "1" : "0") +
                " cancel-visible=" + (IsWindowVisible(GetDlgItem(done, IDCANCEL)) ? "1" : "0"));
            Shot(dir, L"login-complete", done);
            Sleep(1000);
            Say(std::string("right popup-open-before-ok=") + (IsWindow(d) ? "1" : "0"));
            Click(done, IDOK);
        });
        // The layer is published once Run has made it; the robot waits for its dialog.
        SHORT before = -1;
        pane->get_LoginStatus(&before);
        const int result = popup.Run(top, before);
        robot.join();
        Say("login result=" + std::to_string(result));
    }
    pane->put_SearchList();
    Pump(500);
    level("after-login");
    ClickMemberEntry(host, "logged-in");

    // 2. The logout of the popup.
    {
        Popup popup(config, resources, current);
        std::thread robot([&] {
            HWND d = WaitForPopup(current, 8000);
            if (!d) {
                Say("logout popup none");
                return;
            }
            Say(std::string("logout button-visible=") + (IsWindowVisible(GetDlgItem(d, 226)) ? "1" : "0"));
            Click(d, 226);
            AnswerBox(d, L"로그아웃", "logout", dir, L"logout-message", 1000, 500);
        });
        SHORT before = -1;
        pane->get_LoginStatus(&before);
        const int result = popup.Run(top, before);
        robot.join();
        Say("logout result=" + std::to_string(result));
    }
    pane->put_SearchList();
    Pump(500);
    level("after-logout");

    // 3. A logout while the service cannot be reached: the popup talks to a closed port.
    {
        ServiceConfig dead = config;
        dead.port = deadPort;
        Popup popup(dead, resources, current);
        std::thread robot([&] {
            HWND d = WaitForPopup(current, 2500);
            if (!d) {
                Say("unreachable popup none");
                return;
            }
            Click(d, 226);
            AnswerBox(d, L"로그아웃", "unreachable", dir, L"", 500, 500);
            Say(std::string("unreachable popup-open=") + (IsWindow(d) ? "1" : "0"));
            PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        });
        const int result = popup.Run(top, 1);
        robot.join();
        Say("unreachable result=" + std::to_string(result));
    }

    pane = nullptr;
    unknown = nullptr;
    DestroyWindow(top);
    OleUninitialize();
    return 0;
}

// ---- the two dialogs on their own ------------------------------------------------------

// The dialog's picture static: its bitmap's size against its place, and whether it covers
// the client area.
std::string PictureFit(HWND d) {
    RECT client{};
    GetClientRect(d, &client);
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        RECT place{};
        GetClientRect(c, &place);
        BITMAP bm{};
        HBITMAP shown = reinterpret_cast<HBITMAP>(SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0));
        if (shown) GetObjectW(shown, sizeof bm, &bm);
        return "place=" + std::to_string(place.right) + "x" + std::to_string(place.bottom) +
               " shown=" + std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) +
               " client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom);
    }
    return "place=none";
}

int RunDialogs(const std::wstring& dll, const std::wstring& dir, const std::wstring& suffix) {
    const kv::UniqueModule resourceModule(LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HMODULE resources = resourceModule.get();
    if (!resources) {
        Say("FAIL: cannot load the resources");
        return 1;
    }
    OleInitialize(nullptr);
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 560, nullptr,
                                 nullptr, nullptr, nullptr);
    struct Answer {
        const char* name;
        WebViewOptions::Choice browser;
        std::function<void(HWND)> act;
    };
    const Answer answers[] = {
        {"ok", WebViewOptions::Choice::Automatic, [](HWND d) { Click(d, IDOK); }},
        {"escape", WebViewOptions::Choice::Automatic,
         [](HWND d) {
             HWND focus = MainFocus();
             PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
             PostMessageW(focus ? focus : d, WM_KEYUP, VK_ESCAPE, 0xC0010001);
         }},
        {"close-box", WebViewOptions::Choice::Automatic, [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"no-browser", WebViewOptions::Choice::SystemBrowserOnly, [](HWND d) { Click(d, IDOK); }},
    };
    for (const Answer& a : answers) {
        CLogoutDlg done(resources, a.browser);
        std::thread robot([&] {
            HWND d = WaitFor([] { return DialogWith(L"인증 완료"); }, 5000);
            if (!d) {
                Say(std::string("complete ") + a.name + " none");
                return;
            }
            RECT client{};
            GetClientRect(d, &client);
            HWND picture = nullptr;
            for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) picture = c;
            }
            // The resource's own size and depth (the control holds a screen-compatible copy),
            // and whether the picture covers the dialog's client area.
            BITMAP bm{};
            UniqueBitmap resource(static_cast<HBITMAP>(
                LoadImageW(resources, MAKEINTRESOURCEW(CLogoutDlg::kBitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
            if (resource) GetObjectW(resource.get(), sizeof bm, &bm);
            RECT pr{};
            if (picture) GetWindowRect(picture, &pr);
            MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&pr), 2);
            const bool fills = pr.left <= 0 && pr.top <= 0 && pr.right >= client.right && pr.bottom >= client.bottom;
            const LONG style = GetWindowLongW(d, GWL_STYLE);
            Say(std::string("complete ") + a.name + " fit " + PictureFit(d));
            // Pictured from its own drawing: under Xvfb the display can show this dialog black.
            if (std::string(a.name) == "ok") {
                Sleep(500);
                SaveWindow(d, dir + L"\\login-complete" + suffix + L".bmp");
            }
            Say(std::string("complete ") + a.name + " open caption=\"" + Utf8(Text(d)) + "\" picture=" +
                std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) + "x" + std::to_string(bm.bmBitsPixel) +
                " fills=" + (fills ? "1" : "0") + " caption-bar=" + ((style & WS_CAPTION) == WS_CAPTION ? "1" : "0") +
                " sysmenu=" + ((style & WS_SYSMENU) ? "1" : "0") + " ok=\"" + Utf8(Text(GetDlgItem(d, IDOK))) +
                "\" cancel-visible=" + (IsWindowVisible(GetDlgItem(d, IDCANCEL)) ? "1" : "0") +
                " focus-ok=" + (MainFocus() == GetDlgItem(d, IDOK) ? "1" : "0"));
            Sleep(300);
            a.act(d);
        });
        const int result = done.Run(owner);
        robot.join();
        Say(std::string("complete ") + a.name + " result=" + std::to_string(result) +
            " browser=" + (done.browser() ? "1" : "0"));
    }

    for (const char* newest : {"0.9.9.7", "", "escape"}) {
        const bool escape = std::string(newest) == "escape";
        if (escape) newest = "";
        CAboutDlg about(newest, resources);
        std::thread robot([&] {
            HWND d = WaitFor([] { return DialogWith(nullptr, CAboutDlg::kAddinVersionLabel); }, 5000);
            if (!d) {
                Say("about none");
                return;
            }
            const LONG style = GetWindowLongW(d, GWL_STYLE);
            Say("about own=\"" + Utf8(Text(GetDlgItem(d, 226))) + "\" newest=\"" + Utf8(Text(GetDlgItem(d, 224))) +
                "\" caption-bar=" + ((style & WS_CAPTION) == WS_CAPTION ? "1" : "0") + " ok=\"" +
                Utf8(Text(GetDlgItem(d, IDOK))) + "\"");
            Say("about fit " + PictureFit(d));
            if (*newest) Shot(dir, L"about" + suffix, d);
            Sleep(300);
            if (escape) {
                HWND focus = MainFocus();
                PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(focus ? focus : d, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            } else {
                Click(d, IDOK);
            }
        });
        const int result = about.Run(owner);
        robot.join();
        Say("about result=" + std::to_string(result));
    }
    DestroyWindow(owner);
    OleUninitialize();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    g_mainThread = GetCurrentThreadId();
    // Wine tells only DPI-aware programs the prefix's DPI.
    using AwarenessFn = BOOL(WINAPI*)(HANDLE);
    const auto aware = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!aware || !aware(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"login" && argc >= 8) return RunLogin(argv[2], argv[3], argv[4], argv[5], argv[6], _wtoi(argv[7]));
    if (mode == L"dialogs" && argc >= 4) return RunDialogs(argv[2], argv[3], argc > 4 ? argv[4] : L"");
    Say("usage: membership_driver login|dialogs ...");
    return 2;
}
