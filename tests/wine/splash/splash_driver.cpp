// Drives the loading splash during real downloads from a slow kvservice, under Wine; prints
// one line per fact for splash_test.py to judge. DPI aware, so the splash sees the DPI the
// prefix is set to.
//
//   splash_driver.exe download RESOURCE_DLL PORT URL_PATH FILE_NAME WORK [close]
//       opens a template as the pane does (OpenTemplate with the system's files and folders,
//       a stand-in host) behind the splash; one second into the download and a second later
//       the splash is shot (WORK/splash-progress-1.bmp, -2.bmp), then Escape is posted to it
//       (close: WM_CLOSE to the host's window instead, as when the host quits meanwhile). Prints the outcome, how
//       long the cancel took and the templates folder's names before and after.
//   splash_driver.exe list PORT
//       one list exchange (the weekly list) with the add-in's own limits, timed.
//   splash_driver.exe shot RESOURCE_DLL WORK NAME [hc]
//       the splash with a progress line, shot as WORK/NAME.bmp; hc: under high contrast (see
//       RunShot).
//   splash_driver.exe shot RESOURCE_DLL WORK NAME dpi N
//       the same, the splash told that it moved to a screen of N DPI before the shot.
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "addin/base/shared/SharedState.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/features/open/TemplateOpenWin.h"
#include "addin/features/popup/CertDlg.h"
#include "addin/features/service/NetSession.h"
#include "addin/features/service/ServiceClient.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "tests/support/FakeHost.h"
#include "tests/wine/support/HighContrastStandIn.h"
#include "tests/wine/support/WindowPicture.h"

namespace {

using namespace kv;

class NoCookies : public CookieSource {
public:
    bool GetCookie(const std::string&, std::string*, size_t) override { return false; }
};

std::string Utf8(const std::wstring& w) {
    return WideToCodePageLossy(CP_UTF8, w);
}

ServiceConfig Local(int port) {
    ServiceConfig c;
    c.serviceHost = "127.0.0.1";
    c.port = port;
    return c;
}

// The splash's pixels as it painted them, read from its window (what the user sees), into
// WORK/NAME.bmp: under Xvfb this Wine leaves the X copy of a borderless owned popup black, so
// a screenshot of the display would show nothing of it.
bool Shoot(HWND window, const std::wstring& work, const std::wstring& name) {
    return kv::testing::SaveWindowPicture(window, work + L"\\" + name + L".bmp");
}

std::vector<std::string> TemplateNames() {
    std::vector<std::string> names;
    wchar_t docs[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs))) return names;
    const std::wstring folder = std::wstring(docs) + L"\\kestrovas";
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        names.push_back("<no folder>");
        return names;
    }
    WIN32_FIND_DATAW found;
    UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
        const std::wstring n = found.cFileName;
        if (n != L"." && n != L"..") names.push_back(Utf8(n));
    } while (FindNextFileW(find.get(), &found));
    return names;
}

// The templates folder with a file of the user's in it.
void SeedTemplates() {
    wchar_t docs[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs))) return;
    const std::wstring folder = std::wstring(docs) + L"\\kestrovas";
    CreateDirectoryW(folder.c_str(), nullptr);
    UniqueFile f(CreateFileW((folder + L"\\mine.doc").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (f) WriteFile(f.get(), "mine", 4, &written, nullptr);
}

void PrintNames(const char* when) {
    std::printf("folder %s:", when);
    for (const std::string& n : TemplateNames()) std::printf(" [%s]", n.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

// Between the splash and the download: shoots twice a second apart once a second has gone,
// then posts Escape to the splash, as a user's key press arrives.
class ScriptedUser : public ExchangeProgress {
public:
    // closeOwner: the host's window is asked to close instead of Escape.
    ScriptedUser(CCertDlg& splash, std::wstring work, HWND closeOwner)
        : splash_(splash), work_(std::move(work)), closeOwner_(closeOwner) {}
    bool Continue(size_t received, long long total) override {
        const bool go = splash_.Continue(received, total);
        const DWORD now = GetTickCount();
        if (!start_) start_ = now;
        ++calls_;
        if (step_ < 2 && now - start_ >= 1000u * (step_ + 1)) {
            const std::wstring name = L"splash-progress-" + std::to_wstring(step_ + 1);
            const bool shot = Shoot(splash_.hwnd(), work_, name);
            std::printf("shot %s=%d received=%zu total=%lld\n", Utf8(name).c_str(), shot ? 1 : 0, received, total);
            std::fflush(stdout);
            ++step_;
        } else if (step_ == 2) {
            if (closeOwner_)
                PostMessageW(closeOwner_, WM_CLOSE, 0, 0);
            else
                PostMessageW(splash_.hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
            escapeAt_ = GetTickCount();
            std::printf("%s posted received=%zu\n", closeOwner_ ? "close" : "escape", received);
            std::fflush(stdout);
            ++step_;
        }
        return go;
    }
    DWORD escapeAt() const { return escapeAt_; }
    int calls() const { return calls_; }

private:
    CCertDlg& splash_;
    std::wstring work_;
    HWND closeOwner_;
    DWORD start_ = 0, escapeAt_ = 0;
    int step_ = 0, calls_ = 0;
};

HWND MakeOwner() {
    HWND owner = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 640, 480, nullptr,
                                 nullptr, nullptr, nullptr);
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    return owner;
}

int RunDownload(HMODULE resources, int port, const std::string& path, const std::string& fileName,
                const std::wstring& work, bool closeHost) {
    // The second run meets a templates folder that exists and holds a file of the user's.
    if (closeHost) SeedTemplates();
    PrintNames("before");
    HWND owner = MakeOwner();
    NoCookies cookies;
    ServiceClient client(SystemNetwork(), cookies, Local(port));
    CCertDlg splash(resources);
    if (!splash.Show(owner)) {
        std::printf("FAIL: no splash\n");
        return 1;
    }
    ScriptedUser user(splash, work, closeHost ? owner : nullptr);
    auto application = MakeFakeApplication(FakeHostKind::Word);
    FakeHostEnvironment hosts;  // no host class: a whole download would end at UnknownClass
    Win32UpdateFileSystem files;
    Win32TemplateFolders folders;
    Win32TemplatePlace place;
    Win32ThreadApartments apartments;
    MemorySharedState shared;
    ServiceTemplateDownload download(client, &user);
    OpenServices services{download, files, folders, place, hosts, apartments, shared};
    OpenRequest request;
    request.application = application->application;
    request.paneKind = HostKind::Word;
    request.url = "http://127.0.0.1:" + std::to_string(port) + path;
    request.fileName = fileName;
    request.image1 = kImageWord1;
    const DWORD start = GetTickCount();
    const OpenResult result = OpenTemplate(request, services);
    const DWORD end = GetTickCount();
    std::printf("outcome=%d cancelled=%d host-calls=%zu calls=%d elapsed=%lu ms\n", static_cast<int>(result.outcome),
                splash.cancelled() ? 1 : 0, hosts.calls.size(), user.calls(), static_cast<unsigned long>(end - start));
    if (user.escapeAt()) std::printf("cancel took %lu ms\n", static_cast<unsigned long>(end - user.escapeAt()));
    // A close that came during the download waits until the download is off the stack.
    std::printf("host alive after the download=%d\n", IsWindow(owner) ? 1 : 0);
    splash.Destroy();
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    std::printf("host closed afterwards=%d\n", IsWindow(owner) ? 0 : 1);
    PrintNames("after");
    if (IsWindow(owner)) DestroyWindow(owner);
    return 0;
}

int RunList(int port) {
    NoCookies cookies;
    ServiceClient client(SystemNetwork(), cookies, Local(port));
    NetSession session(client.network());
    const DWORD start = GetTickCount();
    const bool ok = client.HttpExchange(ReplySlot::WeekSearch, client.Address("/k_app/search_weekform.asp"));
    const DWORD took = GetTickCount() - start;
    std::printf("list ok=%d bytes=%zu took=%lu ms limit=%d ms\n", ok ? 1 : 0,
                client.Reply(ReplySlot::WeekSearch).body().size(), static_cast<unsigned long>(took),
                client.Limits(ReplySlot::WeekSearch).deadlineMs);
    // A search asks for more lists: they now fail at once.
    const DWORD again = GetTickCount();
    const bool second = client.HttpExchange(ReplySlot::FreeSearch, client.Address("/k_app/banner_list.asp"));
    std::printf("next list ok=%d took=%lu ms\n", second ? 1 : 0, static_cast<unsigned long>(GetTickCount() - again));
    return 0;
}

// hc: the driver's own calls (the splash is linked in) hear that high contrast is on, under
// the black scheme's colours.
int RunShot(HMODULE resources, const std::wstring& work, const std::wstring& name, bool highContrast, int moveTo) {
    std::unique_ptr<kv::testing::BlackScheme> scheme;
    if (highContrast) {
        const bool reported = kv::testing::ReportHighContrastTo(GetModuleHandleW(nullptr));
        scheme = std::make_unique<kv::testing::BlackScheme>();
        std::printf("high contrast reported=%d colours=%d\n", reported ? 1 : 0, scheme->applied() ? 1 : 0);
    }
    std::printf("high contrast on=%d\n", HighContrastOn() ? 1 : 0);
    HWND owner = MakeOwner();
    CCertDlg splash(resources);
    if (!splash.Show(owner)) {
        std::printf("FAIL: no splash\n");
        return 1;
    }
    // A download a quarter of the way; the pump paints the line.
    splash.Continue(1310720, 5242880);
    if (moveTo > 0) {
        // Moved to a screen of moveTo DPI, as the system tells a window: the new DPI and a
        // suggested rectangle (here the same place, the size for the new DPI).
        RECT now{};
        GetWindowRect(splash.hwnd(), &now);
        const int dpi = WindowDpi(splash.hwnd());
        RECT suggested{now.left, now.top, now.left + MulDiv(now.right - now.left, moveTo, dpi),
                       now.top + MulDiv(now.bottom - now.top, moveTo, dpi)};
        SendMessageW(splash.hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(moveTo, moveTo),
                     reinterpret_cast<LPARAM>(&suggested));
        splash.Continue(1310720, 5242880);
        MSG msg;
        for (int i = 0; i < 10; ++i) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(20);
        }
        std::printf("moved to %d DPI\n", moveTo);
    }
    RECT r{};
    GetWindowRect(splash.hwnd(), &r);
    std::printf("dpi=%d size=%ld %ld\n", WindowDpi(splash.hwnd()), r.right - r.left, r.bottom - r.top);
    std::printf("shot=%d\n", Shoot(splash.hwnd(), work, name) ? 1 : 0);
    splash.Destroy();
    DestroyWindow(owner);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetProcessDPIAware();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"list" && argc >= 3) return RunList(_wtoi(argv[2]));
    if (argc < 3) {
        std::printf("usage: splash_driver download|list|shot ...\n");
        return 2;
    }
    const UniqueModule resourceModule(LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!resourceModule) {
        std::printf("FAIL: cannot load %s\n", Utf8(argv[2]).c_str());
        return 1;
    }
    if (mode == L"download" && argc >= 7)
        return RunDownload(resourceModule.get(), _wtoi(argv[3]), Utf8(argv[4]), Utf8(argv[5]), argv[6],
                           argc >= 8 && std::wstring(argv[7]) == L"close");
    if (mode == L"shot" && argc >= 5) {
        const std::wstring option = argc >= 6 ? argv[5] : L"";
        const int moveTo = option == L"dpi" && argc >= 7 ? _wtoi(argv[6]) : 0;
        return RunShot(resourceModule.get(), argv[3], argv[4], option == L"hc", moveTo);
    }
    std::printf("usage: splash_driver download|list|shot ...\n");
    return 2;
}
