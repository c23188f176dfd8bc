// Drives the task-pane control in an independent container: Wine's AtlAxWin creates
// "KestrovaSE.SimTaskPane" by its ProgID in a top-level window of the given size, then the
// steps of the command line run in order, each printing one line:
//
//   pane_driver.exe --width W --height H --out DIR [--dpi-aware 1] [--progid ID] STEP...
//     --dpi-aware 1    the process declares itself DPI aware first (prints dpi=N either way)
//     --follow-dpi 1   the library's DPI question is answered by this program from the start,
//                      so that --dpi-change can move it to another DPI
//     --keys LIST      UI-activates the control as a container does, then types the
//                      comma-separated keys (TAB, SHIFT+TAB, UP, DOWN, SPACE); key messages
//                      go to the control's TranslateAccelerator first; prints the focused id
//                      after each ("key TAB focus 1002")
//     --progid ID      creates that control instead and ends after printing created_ms
//     --search TEXT    put_SearchText by name through IDispatch, with a host application
//                      object of this program (it offers "Documents": a word processor)
//     --search2 TEXT   put_SearchText2 through the vtable (TEXT in code page 949)
//     --file NAME      put_SearchFileName through the vtable
//     --click ID       a click on the result list's child ID (BM_CLICK)
//     --hover ID       the pointer over the list's child ID
//     --scroll N       N line-down scroll requests to the result list (WM_VSCROLL)
//     --wheel N        N wheel notches towards the user over the result list (WM_MOUSEWHEEL)
//     --mapping        the session's shared block: prints its DACL's entries (count, and
//                      whether the one entry allows the current user) and the block's ready
//                      flag and NextOpenIsUserDocument
//     --login          prints login=LEVEL (get_LoginStatus)
//     --dump NAME      another process (this program as "dump HWND FILE") writes the window
//                      tree under the top-level window to DIR/NAME.txt
//     --shot NAME      writes DIR/NAME.ready (the pane's screen rectangle: W H LEFT TOP) and
//                      waits (up to 30 s, pumping messages) for DIR/NAME.done: the test takes a
//                      screenshot meanwhile
//     --netref HOST:PORT PATHS
//                      for comparison with the pane's own times: ten rounds of plain GET
//                      exchanges of the comma-separated PATHS over Winsock, one connection
//                      each, read to the end; prints the median round in ms
//     --wait NAME      prints "waiting NAME", then waits (up to 120 s, pumping messages) for
//                      DIR/NAME.done: keeps this process, and with it the shared state, alive
//                      while others run (or read its windows)
//     --dpi-change N   the container's window moves to a screen of N DPI while the pane is open,
//                      as far as the pane can tell (needs --follow-dpi 1): see ChangeDpi below
//     --fonts          prints "font ID CLASS HEIGHT" for each window under the container that has a font
//                      (WM_GETFONT), HEIGHT the font's height in pixels
//     --highcontrast   the system's high-contrast setting on, as far as the pane sees it, and a
//                      high-contrast colour scheme: see HighContrastOn below
//
// The program is per-monitor DPI aware (its manifest), as an office host is; it prints the
// DPI of its window (dpi=) and the screen's (logpixels=) after creation.
//
// A dump line: depth, class, control id, x, y, width, height (in the parent's client area),
// visible (the window's own style bit), caption as UTF-8 with \r \n \t \\ escaped.
#include <winsock2.h>
#include <windows.h>
#include <aclapi.h>
#include <oleauto.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "HighContrastStandIn.h"
#include "TarnwickLib_h.h"
#include "platform/Decimal.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace {

using kv::ComPtr;

// For what this program prints: a caption that does not convert still shows, substituted.
std::string Utf8(const std::wstring& w) {
    return kv::WideToCodePageLossy(CP_UTF8, w);
}

// The command line's text in code page 949, as the host would hand it on.
std::string Ansi(const std::wstring& w) {
    return kv::WideToCodePageLossy(CP_ACP, w);
}

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// A click may open a modal dialog of the pane (a member entry's preview popup while logged
// out): the timer closes it with Cancel, as a user would, so that the click returns.
BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (IsWindowVisible(window) && wcscmp(cls, L"#32770") == 0) {
        std::printf("closed a dialog the click opened\n");
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

void CALLBACK CancelDialogsTick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
}

// The control's active object while it is UI-active: as in the office hosts, a key message goes
// to it first (TranslateAccelerator) and is dispatched only when it is left untranslated.
ComPtr<IOleInPlaceActiveObject> g_activeControl;

bool OfferKeyToControl(MSG* msg) {
    if (!g_activeControl || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
    return g_activeControl->TranslateAccelerator(msg) == S_OK;
}

void Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (OfferKeyToControl(&msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

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
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs_); }  // lives on the stack
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

private:
    LONG refs_ = 1;
};

void Escaped(FILE* f, const std::string& s) {
    for (char c : s) {
        switch (c) {
            case '\r': std::fputs("\\r", f); break;
            case '\n': std::fputs("\\n", f); break;
            case '\t': std::fputs("\\t", f); break;
            case '\\': std::fputs("\\\\", f); break;
            default: std::fputc(c, f);
        }
    }
}

void DumpTree(FILE* f, HWND parent, int depth) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[64] = {};
        GetClassNameW(child, cls, 64);
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        const int length = GetWindowTextLengthW(child);
        std::wstring text(length + 1, L'\0');
        GetWindowTextW(child, &text[0], length + 1);
        text.resize(wcslen(text.c_str()));
        const bool visible = (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
        std::fprintf(f, "%d\t%s\t%d\t%ld\t%ld\t%ld\t%ld\t%d\t", depth, Utf8(cls).c_str(), GetDlgCtrlID(child), r.left,
                     r.top, r.right - r.left, r.bottom - r.top, visible ? 1 : 0);
        Escaped(f, Utf8(text));
        std::fputc('\n', f);
        DumpTree(f, child, depth + 1);
    }
}

// The dumper: runs in its own process, so every text is read across processes.
int Dump(HWND top, const wchar_t* file) {
    FILE* f = _wfopen(file, L"wb");
    if (!f) return 3;
    DumpTree(f, top, 0);
    std::fclose(f);
    return 0;
}

HWND FindList(HWND top) {
    struct Search {
        HWND found = nullptr;
    } s;
    EnumChildWindows(
        top,
        [](HWND w, LPARAM p) -> BOOL {
            if (GetDlgCtrlID(w) == 232 && GetParent(w)) {
                reinterpret_cast<Search*>(p)->found = GetParent(w);
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// One GET exchange read to the peer's close; false when it could not be made.
bool Exchange(const std::string& host, int port, const std::string& path) {
    kv::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) return false;
    const SOCKET s = socket.get();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = inet_addr(host.c_str());
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    if (ok) ok = send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size());
    char buffer[16384];
    while (ok) {
        const int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
    }
    return ok;
}

double NetReference(const std::string& hostPort, const std::string& paths) {
    const size_t colon = hostPort.find(':');
    const std::string host = hostPort.substr(0, colon);
    const int port = colon == std::string::npos ? 80 : kv::ReadDecimal(std::string_view(hostPort).substr(colon + 1));
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
    std::vector<double> rounds;
    for (int round = 0; round < 10; ++round) {
        const double t0 = Now();
        size_t start = 0;
        for (;;) {
            const size_t comma = paths.find(',', start);
            Exchange(host, port, paths.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        rounds.push_back(Now() - t0);
    }
    WSACleanup();
    std::sort(rounds.begin(), rounds.end());
    return (rounds[4] + rounds[5]) / 2;
}

void ShowMapping() {
    kv::UniqueKernelHandle token;
    BYTE buffer[512];
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) {
        std::printf("mapping=no-token\n");
        return;
    }
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    wchar_t* sidText = nullptr;
    ConvertSidToStringSidW(user, &sidText);
    const kv::UniqueLocal sidOwner(sidText);
    const std::wstring name = std::wstring(L"Local\\KestrovaSE.SharedState.v1.") + (sidText ? sidText : L"");
    kv::UniqueKernelHandle mapping(OpenFileMappingW(FILE_MAP_READ | READ_CONTROL, FALSE, name.c_str()));
    if (!mapping) {
        std::printf("mapping=missing error=%lu\n", GetLastError());
        return;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    int aces = -1, userOnly = 0;
    const DWORD got = GetSecurityInfo(mapping.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &dacl, nullptr, &sd);
    const kv::UniqueLocal sdOwner(sd);
    if (got == ERROR_SUCCESS && dacl) {
        aces = dacl->AceCount;
        void* ace = nullptr;
        if (aces == 1 && GetAce(dacl, 0, &ace)) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            userOnly = allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                       EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), user);
        }
    }
    const kv::UniqueView mapped(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    const auto* view = static_cast<const unsigned char*>(mapped.get());
    int ready = -1, next = -1;
    if (view) {
        ready = *reinterpret_cast<const int*>(view);
        next = view[12];
    }
    std::printf("mapping=open aces=%d user_only=%d ready=%d next=%d\n", aces, userOnly, ready, next);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// `message` (no parameters) to every window under top, parents before their children, as the
// system passes a change on; then everything is drawn again.
void TellEveryWindowUnder(HWND top, UINT message) {
    EnumChildWindows(
        top,
        [](HWND child, LPARAM m) -> BOOL {
            SendMessageW(child, static_cast<UINT>(m), 0, 0);
            return TRUE;
        },
        static_cast<LPARAM>(message));
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// Wine 8 cannot move a window to a screen of another DPI. The library asks for a window's DPI
// through GetDpiForWindow, looked up with GetProcAddress: its import of GetProcAddress is pointed
// here before it first asks, and the DPI it hears can then change. A change is played as the
// system does it: the top-level window takes its suggested rectangle (the same client area in
// logical pixels), WM_DPICHANGED goes to it, and WM_DPICHANGED_AFTERPARENT to every window
// under it; the container sizes the control's site to the new client area.
std::atomic<UINT> g_dpiHeard{0};  // 0: the system's answer
UINT(WINAPI* g_realDpiForWindow)(HWND) = nullptr;

UINT WINAPI HeardDpiForWindow(HWND window) {
    const UINT dpi = g_dpiHeard.load();
    if (dpi) return dpi;
    return g_realDpiForWindow ? g_realDpiForWindow(window) : 0;
}

FARPROC WINAPI AnswerDpiLookups(HMODULE module, LPCSTR name) {
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && strcmp(name, "GetDpiForWindow") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&HeardDpiForWindow));
    }
    return GetProcAddress(module, name);
}

// The registered library loaded ahead of COM (which then finds it loaded), its lookups answered here.
bool FollowDpi(const std::wstring& progId) {
    g_realDpiForWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return false;
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return false;
    HMODULE library = LoadLibraryW(path);  // kept for the process's life
    return library && kv::testing::RedirectImport(library, "kernel32.dll", "GetProcAddress",
                                                  reinterpret_cast<void*>(&AnswerDpiLookups));
}

bool ChangeDpi(HWND top, HWND site, UINT dpi) {
    const UINT before = GetDpiForWindow(top);
    RECT client{};
    GetClientRect(top, &client);
    if (!before || !dpi) return false;
    const int w = MulDiv(client.right, static_cast<int>(dpi), static_cast<int>(before));
    const int h = MulDiv(client.bottom, static_cast<int>(dpi), static_cast<int>(before));
    g_dpiHeard = dpi;
    RECT window{0, 0, w, h};
    AdjustWindowRect(&window, WS_OVERLAPPEDWINDOW, FALSE);
    RECT now{};
    GetWindowRect(top, &now);
    OffsetRect(&window, now.left - window.left, now.top - window.top);
    SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&window));
    SetWindowPos(top, nullptr, window.left, window.top, window.right - window.left, window.bottom - window.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(site, nullptr, 0, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    TellEveryWindowUnder(top, WM_DPICHANGED_AFTERPARENT);
    GetClientRect(top, &client);
    std::printf("dpi changed to %u: client %ldx%ld\n", dpi, client.right, client.bottom);
    return client.right == w && client.bottom == h;
}

// High contrast for the pane: the black scheme's colours (until the driver ends), the setting
// reported on to the library, and WM_SYSCOLORCHANGE passed to every window of the
// container, as a host passes it to the controls it holds.
bool HighContrastOn(HWND top, std::unique_ptr<kv::testing::BlackScheme>* scheme) {
    const bool redirected = kv::testing::ReportHighContrastTo(GetModuleHandleW(L"KestrovaSE.dll"));
    if (!*scheme) *scheme = std::make_unique<kv::testing::BlackScheme>();
    const bool coloured = (*scheme)->applied();
    TellEveryWindowUnder(top, WM_SYSCOLORCHANGE);
    return redirected && coloured;
}

}  // namespace

// The focused control's id; inside the result list also the list's scroll position and whether
// the control shows whole in the list's view.
std::string FocusText() {
    HWND focus = GetFocus();
    char line[64];
    std::snprintf(line, sizeof line, "%d", focus ? GetDlgCtrlID(focus) : -1);
    HWND list = focus ? GetParent(focus) : nullptr;
    if (!list || list != FindList(GetAncestor(focus, GA_ROOT))) return line;
    RECT view{}, r{};
    GetClientRect(list, &view);
    GetWindowRect(focus, &r);
    MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&r), 2);
    const bool shown = r.top >= view.top && r.bottom <= view.bottom;
    std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line), " scroll %d shown %d",
                  GetScrollPos(list, SB_VERT), shown ? 1 : 0);
    return line;
}

// The container UI-activates the control (the office hosts' F6), then each comma-separated key
// (TAB, SHIFT+TAB, UP, DOWN, SPACE) is typed through SendInput; the focused control's id after each.
void TypeKeys(const ComPtr<IUnknown>& control, HWND host, const std::wstring& keys) {
    ComPtr<IOleObject> object;
    ComPtr<IOleClientSite> site;
    if (SUCCEEDED(control.as(IID_IOleObject, &object)) && SUCCEEDED(object->GetClientSite(site.put()))) {
        RECT rect{};
        GetClientRect(host, &rect);
        object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site.get(), 0, host, &rect);
    }
    control.as(IID_IOleInPlaceActiveObject, &g_activeControl);
    SetForegroundWindow(GetAncestor(host, GA_ROOT));
    Pump(300);
    std::printf("keys start focus %s\n", FocusText().c_str());
    size_t from = 0;
    while (from <= keys.size()) {
        const size_t comma = keys.find(L',', from);
        const std::wstring name = keys.substr(from, comma == std::wstring::npos ? std::wstring::npos : comma - from);
        from = comma == std::wstring::npos ? keys.size() + 1 : comma + 1;
        const bool shift = name.rfind(L"SHIFT+", 0) == 0;
        const std::wstring key = shift ? name.substr(6) : name;
        const WORD vk = key == L"TAB"     ? VK_TAB
                        : key == L"UP"    ? VK_UP
                        : key == L"DOWN"  ? VK_DOWN
                        : key == L"SPACE" ? VK_SPACE
                                          : 0;
        if (vk == 0) continue;
        std::vector<INPUT> inputs;
        auto add = [&](WORD code, bool up) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = code;
            in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(in);
        };
        if (shift) add(VK_SHIFT, false);
        add(vk, false);
        add(vk, true);
        if (shift) add(VK_SHIFT, true);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        Pump(300);
        std::printf("key %s focus %s\n", Utf8(name).c_str(), FocusText().c_str());
    }
    g_activeControl.reset();
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"dump") == 0) {
        return Dump(reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(argv[2], nullptr, 10))), argv[3]);
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    int width = 300, height = 700;
    std::wstring out = L".";
    std::wstring progId = L"KestrovaSE.SimTaskPane";
    bool dpiAware = false;
    bool followDpi = false;
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        if (wcscmp(argv[first], L"--width") == 0)
            width = _wtoi(argv[first + 1]);
        else if (wcscmp(argv[first], L"--height") == 0)
            height = _wtoi(argv[first + 1]);
        else if (wcscmp(argv[first], L"--out") == 0)
            out = argv[first + 1];
        else if (wcscmp(argv[first], L"--progid") == 0)
            progId = argv[first + 1];
        else if (wcscmp(argv[first], L"--dpi-aware") == 0)
            dpiAware = _wtoi(argv[first + 1]) != 0;
        else if (wcscmp(argv[first], L"--follow-dpi") == 0)
            followDpi = _wtoi(argv[first + 1]) != 0;
        else
            break;
    }

    // Aware of the display's DPI, the program sees the real one (else Wine scales a 96 DPI view).
    if (dpiAware) SetProcessDPIAware();
    {
        kv::WindowDc screen(nullptr);
        std::printf("dpi=%d\n", GetDeviceCaps(screen.get(), LOGPIXELSY));
    }
    if (FAILED(OleInitialize(nullptr))) return 10;
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto init =
        atl ? reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit"))) : nullptr;
    auto getControl = atl ? reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
                                reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")))
                          : nullptr;
    if (!init || !getControl || !init()) {
        std::printf("FAIL: no AtlAxWin\n");
        return 11;
    }

    if (followDpi && !FollowDpi(progId)) {
        std::printf("FAIL: the library's DPI lookups cannot be answered here\n");
        return 14;
    }

    // The top-level window's client area is exactly W x H.
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND top = CreateWindowExW(0, L"STATIC", L"pane", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, nullptr, nullptr);
    const double t0 = Now();
    HWND host = CreateWindowExW(0, L"AtlAxWin", progId.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width,
                                height, top, nullptr, nullptr, nullptr);
    ComPtr<IUnknown> unknown;
    if (!host || FAILED(getControl(host, unknown.put())) || !unknown) {
        std::printf("FAIL: control not created (error %lu)\n", GetLastError());
        return 12;
    }
    const double t1 = Now();
    std::printf("created_ms=%.1f\n", t1 - t0);
    // Another control (the benchmark's floor): its creation is all there is to measure.
    if (progId != L"KestrovaSE.SimTaskPane") return 0;
    POINT origin{0, 0};
    ClientToScreen(top, &origin);
    std::printf("origin=%ld,%ld\n", origin.x, origin.y);
    ComPtr<ISimTaskPane> pane;
    ComPtr<IDispatch> dispatch;
    if (FAILED(unknown.as(IID_ISimTaskPane, &pane)) || FAILED(unknown.as(IID_IDispatch, &dispatch))) {
        std::printf("FAIL: no ISimTaskPane / IDispatch\n");
        return 13;
    }
    // The pointer away from the pane: a hover left by an earlier run would change the pictures.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Pump(200);
    std::printf("list=%s\n", FindList(top) ? "yes" : "no");
    std::printf("vscroll=%d\n", GetSystemMetrics(SM_CXVSCROLL));
    {
        HDC screen = GetDC(nullptr);
        std::printf("dpi=%u\nlogpixels=%d\n", GetDpiForWindow(top), screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0);
        if (screen) ReleaseDC(nullptr, screen);
    }
    UINT wheelLines = 0;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &wheelLines, 0);
    std::printf("wheel_lines=%u\n", wheelLines);

    FakeApplication app;
    std::unique_ptr<kv::testing::BlackScheme> scheme;
    int failures = 0;
    for (int i = first; i < argc; ++i) {
        const std::wstring step = argv[i];
        const std::wstring arg = i + 1 < argc ? argv[i + 1] : L"";
        if (step == L"--mapping") {
            ShowMapping();
            continue;
        }
        if (step == L"--fonts") {
            EnumChildWindows(
                top,
                [](HWND child, LPARAM) -> BOOL {
                    const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
                    LOGFONTW face{};
                    wchar_t cls[64] = {};
                    GetClassNameW(child, cls, 64);
                    if (font && GetObjectW(font, sizeof face, &face) == sizeof face)
                        std::printf("font %d %s %ld\n", GetDlgCtrlID(child), Utf8(cls).c_str(),
                                    face.lfHeight < 0 ? -face.lfHeight : face.lfHeight);
                    return TRUE;
                },
                0);
            continue;
        }
        if (step == L"--dpi-change" && i + 1 < argc) {
            ++i;
            if (!ChangeDpi(top, host, static_cast<UINT>(_wtoi(arg.c_str())))) ++failures;
            continue;
        }
        if (step == L"--highcontrast") {
            const bool on = HighContrastOn(top, &scheme);
            std::printf("highcontrast=%s\n", on ? "on" : "FAILED");
            if (!on) ++failures;
            continue;
        }
        if (step == L"--login") {
            SHORT level = 99;
            const HRESULT hr = pane->get_LoginStatus(&level);
            std::printf("login=%d hr=0x%08lx\n", level, static_cast<unsigned long>(hr));
            continue;
        }
        ++i;
        if (step == L"--search") {
            LPOLESTR name = const_cast<LPOLESTR>(L"put_SearchText");
            DISPID id = 0;
            HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
            kv::VariantArray args(2);
            args[1].vt = VT_BSTR;  // arguments go in reverse order
            args[1].bstrVal = SysAllocString(arg.c_str());
            args[0].vt = VT_DISPATCH;
            args[0].pdispVal = &app;
            app.AddRef();  // the array's clearing releases it
            DISPPARAMS params{args.data(), nullptr, 2, 0};
            const double s0 = Now();
            if (SUCCEEDED(hr))
                hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                      nullptr);
            std::printf("search id=%ld hr=0x%08lx ms=%.1f\n", id, static_cast<unsigned long>(hr), Now() - s0);
            if (FAILED(hr)) ++failures;
        } else if (step == L"--search2" || step == L"--file") {
            std::string text = Ansi(arg);
            const double s0 = Now();
            const HRESULT hr =
                step == L"--file" ? pane->put_SearchFileName(&text[0]) : pane->put_SearchText2(&text[0], &app);
            std::printf("%s hr=0x%08lx ms=%.1f\n", Utf8(step).c_str(), static_cast<unsigned long>(hr), Now() - s0);
        } else if (step == L"--scroll") {
            HWND list = FindList(top);
            const int n = _wtoi(arg.c_str());
            for (int k = 0; list && k < n; ++k) SendMessageW(list, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
            std::printf("scroll %d%s\n", n, list ? "" : " (no list)");
        } else if (step == L"--wheel") {
            HWND list = FindList(top);
            const int n = _wtoi(arg.c_str());
            for (int k = 0; list && k < n; ++k) SendMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
            std::printf("wheel %d%s\n", n, list ? "" : " (no list)");
        } else if (step == L"--click" || step == L"--hover") {
            HWND list = FindList(top);
            HWND child = list ? GetDlgItem(list, _wtoi(arg.c_str())) : nullptr;
            if (!child) {
                std::printf("FAIL: no child %s\n", Utf8(arg).c_str());
                ++failures;
                continue;
            }
            if (step == L"--click") {
                const UINT_PTR closer = SetTimer(nullptr, 0, 1500, CancelDialogsTick);
                SendMessageW(child, BM_CLICK, 0, 0);
                KillTimer(nullptr, closer);
            } else {
                RECT r{};
                GetWindowRect(child, &r);
                SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
                POINT p{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
                SendMessageW(child, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
            }
            std::printf("%s %s\n", Utf8(step).c_str(), Utf8(arg).c_str());
        } else if (step == L"--dump") {
            wchar_t self[MAX_PATH] = {};
            GetModuleFileNameW(nullptr, self, MAX_PATH);
            std::wstring command = L"\"" + std::wstring(self) + L"\" dump " +
                                   std::to_wstring(reinterpret_cast<INT_PTR>(top)) + L" \"" + out + L"\\" + arg +
                                   L".txt\"";
            STARTUPINFOW si{};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi{};
            if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
                std::printf("FAIL: dumper not started\n");
                ++failures;
                continue;
            }
            const kv::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
            // The dumper's text requests are answered by this thread: keep pumping.
            while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) Pump(0);
            DWORD code = 1;
            GetExitCodeProcess(pi.hProcess, &code);
            std::printf("dump %s exit=%lu\n", Utf8(arg).c_str(), code);
            if (code != 0) ++failures;
        } else if (step == L"--shot") {
            const std::wstring ready = out + L"\\" + arg + L".ready";
            const std::wstring done = out + L"\\" + arg + L".done";
            Pump(300);
            // The file says where the pane is on the screen: width, height, left, top.
            POINT at{0, 0};
            ClientToScreen(top, &at);
            RECT client{};
            GetClientRect(top, &client);  // W x H, unless a DPI change resized it
            FILE* f = _wfopen(ready.c_str(), L"wb");
            if (f) {
                std::fprintf(f, "%ld %ld %ld %ld\n", client.right, client.bottom, at.x, at.y);
                std::fclose(f);
            }
            for (int n = 0; n < 300 && !Exists(done); ++n) Pump(100);
            std::printf("shot %s %s\n", Utf8(arg).c_str(), Exists(done) ? "taken" : "missed");
        } else if (step == L"--keys") {
            ++i;
            TypeKeys(unknown, host, arg);
        } else if (step == L"--netref") {
            const std::string paths = i + 1 < argc ? Ansi(argv[++i]) : std::string();
            std::printf("netref_ms=%.2f\n", NetReference(Ansi(arg), paths));
        } else if (step == L"--wait") {
            const std::wstring done = out + L"\\" + arg + L".done";
            std::printf("waiting %s\n", Utf8(arg).c_str());
            for (int n = 0; n < 1200 && !Exists(done); ++n) Pump(100);
            std::printf("wait %s %s\n", Utf8(arg).c_str(), Exists(done) ? "released" : "timed out");
        } else {
            std::printf("FAIL: unknown step %s\n", Utf8(step).c_str());
            return 2;
        }
        Pump(100);
    }

    // Let the control go before its window and the apartment.
    pane.reset();
    dispatch.reset();
    unknown.reset();
    DestroyWindow(top);
    Pump(100);
    OleUninitialize();
    return failures == 0 ? 0 : 1;
}
