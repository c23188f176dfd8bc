// hostsim.exe: a stand-in office host (word processor, spreadsheet or presentation program)
// that loads COM add-ins and behaves toward them through the same interfaces as the real hosts.
#include "tools/hostsim/core/Script.h"
#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"
#include "tools/hostsim/win/ScriptRunner.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdlib>
#include <vector>

using namespace hostsim;

namespace {

struct Options {
    AppKind app = AppKind::Word;
    std::wstring version = L"16.0";
    std::wstring script, screens, log;
    bool embedding = false, regServer = false, unregServer = false;
};

bool Is(const wchar_t* arg, const wchar_t* name) {
    return (arg[0] == L'/' || arg[0] == L'-') && lstrcmpiW(arg + 1, name) == 0;
}

bool ParseOptions(int argc, wchar_t** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const wchar_t* a = argv[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= argc) {
                error = "missing value after " + Utf8(a);
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::wstring v;
        if (lstrcmpW(a, L"--app") == 0) {
            if (!value(v)) return false;
            if (!AppKindFromName(v, o.app)) {
                error = "unknown application \"" + Utf8(v) + "\" (word, excel or powerpoint)";
                return false;
            }
        } else if (lstrcmpW(a, L"--version") == 0) {
            if (!value(o.version)) return false;
        } else if (lstrcmpW(a, L"--script") == 0) {
            if (!value(o.script)) return false;
        } else if (lstrcmpW(a, L"--screens") == 0) {
            if (!value(o.screens)) return false;
        } else if (lstrcmpW(a, L"--log") == 0) {
            if (!value(o.log)) return false;
        } else if (Is(a, L"Embedding") || Is(a, L"Automation")) {
            o.embedding = true;
        } else if (Is(a, L"RegServer")) {
            o.regServer = true;
        } else if (Is(a, L"UnregServer")) {
            o.unregServer = true;
        } else {
            error = "unknown argument \"" + Utf8(a) + "\"";
            return false;
        }
    }
    return true;
}

bool ReadFileUtf8(const std::wstring& path, std::string& out) {
    kv::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (f.get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxScriptBytes)) return false;
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return out.empty() ||
           (ReadFile(f.get(), &out[0], static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
}

// Dispatches messages for about `ms` milliseconds; a WM_QUIT left by Quit is dropped.
void PumpMessagesFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

int Run(const Options& o) {
    Host& h = Host::Get();
    h.info = AppInfoFor(o.app);
    h.version = o.version;
    h.embedding = o.embedding;
    h.screensDir = o.screens;
    if (!o.screens.empty()) CreateDirectoryW(o.screens.c_str(), nullptr);

    std::vector<ScriptStep> steps;
    if (!o.script.empty()) {
        std::string text;
        if (!ReadFileUtf8(o.script, text)) {
            LogError("cannot read script " + Utf8(o.script));
            return 2;
        }
        // Checked here once, so the steps' texts convert without loss later.
        std::wstring wide;
        if (!kv::Utf8ToWide(text, &wide)) {
            LogError("script " + Utf8(o.script) + ": not UTF-8 text");
            return 2;
        }
        ScriptParse parsed = ParseScript(text);
        if (!parsed.ok) {
            LogError("script " + Utf8(o.script) + ": " + parsed.error);
            return 2;
        }
        steps = std::move(parsed.steps);
    }

    kv::UniqueGdiObject font(CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGUL_CHARSET,
                                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                         DEFAULT_PITCH | FF_SWISS, L"NanumGothic"));
    h.font = static_cast<HFONT>(font.get());
    if (!RegisterWindowClasses()) {
        LogError("window classes could not be registered");
        return 1;
    }
    Log("host", "start " + Utf8(h.info.name) + " version " + Utf8(h.version) + (h.embedding ? " (embedding)" : ""));
    if (FAILED(CreateApplicationObject(h.app))) return 1;
    EnsureProgIdsRegistered();
    h.visible = !h.embedding;
    if (!h.NewBlankDocument() || h.frames.empty()) {
        LogError("the first window could not be created (is there a display?)");
        return 1;
    }
    RegisterCallFilter();
    DWORD rot = 0, factory = 0;
    // The running-object entry first: it proves the COM service answers, which the class
    // registration of a local server needs but does not report. Without it an embedded host
    // could never be reached by the client that started it: it ends at once instead of
    // lingering unseen.
    HRESULT registered = RegisterInRot(rot);
    if (h.embedding && registered == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)) {
        LogError("the COM service (RpcSs) does not answer; an embedded host cannot serve its client");
        h.quitting = true;
    }
    if (h.embedding && !h.quitting) StartClassFactory(factory);

    if (!h.quitting) h.LoadAddins();

    if (!steps.empty() && !h.quitting) StartScript(std::move(steps));
    // Quit may come inside a modal loop that swallows its WM_QUIT: the flag ends this loop too.
    MSG msg;
    while (!h.quitting && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (FocusPaneFromKey(&msg) || OfferKeyToPane(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    int rc = registered == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) && h.embedding ? 1 : ScriptExitCode();
    h.quitting = true;
    Log("host", "shutting down");
    // Out of the running-object table first, so no new caller finds a closing host; calls that
    // still arrive are refused by the call filter from here on.
    RevokeFromRot(rot);
    StopClassFactory(factory);
    h.ShutdownAddins();
    DetachObjects();
    DisconnectAllObjects();
    // The replies to the last calls (Quit itself, a client's last release) are sent after those
    // calls returned: give them time to go out before the process ends.
    PumpMessagesFor(300);
    RevokeCallFilter();
    for (auto& f : h.frames) DestroyWindow(f->hwnd);
    h.frames.clear();
    h.documents.clear();
    h.app.reset();
    Log("host", "exit " + std::to_string(rc));
    return rc;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    kv::UniqueLocal argvMemory(reinterpret_cast<HLOCAL>(argv));
    Options o;
    std::string error;
    bool parsed = argv && ParseOptions(argc, argv, o, error);
    argvMemory.reset();
    argv = nullptr;
    const wchar_t* logEnv = _wgetenv(L"HOSTSIM_LOG");
    if (!o.log.empty())
        OpenLogFile(o.log);
    else if (logEnv && *logEnv)
        OpenLogFile(logEnv);
    if (!parsed) {
        LogError(error +
                 "; usage: hostsim.exe --app word|excel|powerpoint [--version 16.0] [--script FILE] "
                 "[--screens DIR] [--log FILE] | /RegServer | /UnregServer");
        return 2;
    }
    if (o.regServer) return SUCCEEDED(RegisterServers()) ? 0 : 1;
    if (o.unregServer) return SUCCEEDED(UnregisterServers()) ? 0 : 1;
    if (FAILED(OleInitialize(nullptr))) return 1;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    int rc = 1;
    try {
        rc = Run(o);
    } catch (...) {
        LogError("unexpected failure");
        rc = 1;
    }
    OleUninitialize();
    return rc;
}
