// The task pane as another process sees it: its keyboard from synthesized input, and what a
// screen reader reads of it. The pane is the window that holds the search box ("KvMyEdit"),
// found among every top-level window of the session.
//
//   pane_outside.exe keys KEY...  brings the pane's top-level window to the front and types
//                                 each key (F6, TAB, SHIFT+TAB, UP, DOWN, SPACE, RETURN), one
//                                 line per key with the focused window afterwards (SendInput:
//                                 Wine delivers it to the foreground window's thread).
//   pane_outside.exe narrow W     the pane's container window W pixels wide
//   pane_outside.exe hover ID     the pointer over the control ID; prints the pane's visible
//                                 tooltips ("tip at X,Y size WxH")
//   pane_outside.exe acc          one line per visible control of the pane, from its accessible
//                                 object (AccessibleObjectFromWindow, OBJID_CLIENT): id, role,
//                                 state, name, value, description, and for buttons whether the
//                                 caption is wider than the button ("wider=1"), and the window
//                                 text
//
// Texts print as UTF-8. Exit code 1 when there is no pane.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace {

// The import library's IID_IAccessible is no data symbol (it resolves to a thunk): the id
// comes from the interface's declaration.
const IID& kIidAccessible = __uuidof(IAccessible);

std::string Utf8(const std::wstring& w) {
    return kv::WideToCodePageLossy(CP_UTF8, w);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// WM_GETTEXT: GetWindowText gives only the caption of another process's windows, not an edit
// control's text.
std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

BOOL CALLBACK FindBoxInChildren(HWND child, LPARAM out) {
    if (ClassOf(child) == L"KvMyEdit") {
        *reinterpret_cast<HWND*>(out) = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindBox(HWND top, LPARAM out) {
    EnumChildWindows(top, FindBoxInChildren, out);
    return *reinterpret_cast<HWND*>(out) == nullptr;
}

HWND FindSearchBox() {
    for (int tries = 0; tries < 100; ++tries) {
        HWND box = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
        if (box) return box;
        Sleep(100);
    }
    return nullptr;
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus ? info.hwndFocus : info.hwndActive;
}

std::string Describe(HWND window) {
    if (!window) return "none";
    char line[64];
    std::snprintf(line, sizeof line, " id=%d", GetDlgCtrlID(window));
    return Utf8(ClassOf(window)) + line + " \"" + Utf8(TextOf(window)) + "\"";
}

struct Key {
    const wchar_t* name;
    WORD vk;
    bool shift;
};
const Key kKeys[] = {{L"F6", VK_F6, false},        {L"TAB", VK_TAB, false},   {L"SHIFT+TAB", VK_TAB, true},
                     {L"UP", VK_UP, false},        {L"DOWN", VK_DOWN, false}, {L"SPACE", VK_SPACE, false},
                     {L"RETURN", VK_RETURN, false}};

void SendKey(const Key& key) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    if (key.shift) add(VK_SHIFT, false);
    add(key.vk, false);
    add(key.vk, true);
    if (key.shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

int Keys(HWND box, int argc, wchar_t** argv) {
    HWND top = GetAncestor(box, GA_ROOT);
    HWND pane = GetParent(box);
    const DWORD thread = GetWindowThreadProcessId(box, nullptr);
    SetForegroundWindow(top);
    Sleep(500);
    std::printf("start focus %s\n", Describe(FocusOf(thread)).c_str());
    for (int i = 2; i < argc; ++i) {
        const Key* key = nullptr;
        for (const Key& k : kKeys) {
            if (_wcsicmp(k.name, argv[i]) == 0) key = &k;
        }
        if (!key) {
            std::printf("unknown key %s\n", Utf8(argv[i]).c_str());
            return 2;
        }
        SendKey(*key);
        Sleep(700);
        HWND after = FocusOf(thread);
        const bool inPane = after && (after == pane || IsChild(pane, after));
        std::printf("key %s focus %s%s\n", Utf8(key->name).c_str(), Describe(after).c_str(), inPane ? " in-pane" : "");
        std::fflush(stdout);
    }
    return 0;
}

// One text property of the object itself; empty when it has none.
template <class Getter>
std::wstring TextProperty(Getter get) {
    kv::Bstr text;
    return SUCCEEDED(get(text.put())) ? text.str() : std::wstring();
}

void PrintAccessible(HWND window) {
    kv::ComPtr<IAccessible> acc;
    const HRESULT hr =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible, acc.putVoid());
    if (FAILED(hr) || !acc) {
        std::printf("acc id=%d none hr=0x%08lx\n", GetDlgCtrlID(window), static_cast<unsigned long>(hr));
        return;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    const std::wstring name = TextProperty([&](BSTR* out) { return acc->get_accName(self, out); });
    const std::wstring value = TextProperty([&](BSTR* out) { return acc->get_accValue(self, out); });
    const std::wstring description = TextProperty([&](BSTR* out) { return acc->get_accDescription(self, out); });
    kv::Variant role, state;
    acc->get_accRole(self, role.put());
    acc->get_accState(self, state.put());
    // Whether the caption, drawn in the dialog font, is wider than the button.
    int wider = 0;
    if (ClassOf(window) == L"Button") {
        kv::WindowDc dc(window);
        RECT client{};
        GetClientRect(window, &client);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
        kv::SelectedObject sel(dc.get(), font ? font : GetStockObject(DEFAULT_GUI_FONT));
        const std::wstring caption = TextOf(window);
        SIZE size{};
        GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &size);
        wider = size.cx > client.right - client.left ? 1 : 0;
    }
    std::printf("acc id=%d role=%ld state=0x%lx wider=%d name=\"%s\" value=\"%s\" description=\"%s\" text=\"%s\"\n",
                GetDlgCtrlID(window), role.v().vt == VT_I4 ? role.v().lVal : -1L,
                state.v().vt == VT_I4 ? state.v().lVal : -1L, wider, Utf8(name).c_str(), Utf8(value).c_str(),
                Utf8(description).c_str(), Utf8(TextOf(window)).c_str());
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    const std::wstring cls = ClassOf(child);
    if (IsWindowVisible(child) && (cls == L"Button" || cls == L"KvMyEdit")) PrintAccessible(child);
    return TRUE;
}

// The pane's container window narrower, so that titles are cut.
int Narrow(HWND box, int width) {
    HWND container = GetParent(GetParent(box));
    RECT r{};
    GetWindowRect(container, &r);
    SetWindowPos(container, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(1000);
    std::printf("narrowed to %d\n", width);
    return 0;
}

BOOL CALLBACK PrintTip(HWND window, LPARAM process) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != static_cast<DWORD>(process) || !IsWindowVisible(window) || ClassOf(window) != L"tooltips_class32") {
        return TRUE;
    }
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("tip at %ld,%ld size %ldx%ld \"%s\"\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
                Utf8(TextOf(window)).c_str());
    return TRUE;
}

// The pointer over the list's control id (in the pane's process), then the visible tooltips.
int Hover(HWND box, int id) {
    std::pair<int, HWND> want(id, nullptr);
    EnumChildWindows(
        GetParent(box),
        [](HWND child, LPARAM out) {
            auto* want = reinterpret_cast<std::pair<int, HWND>*>(out);
            if (GetDlgCtrlID(child) != want->first || !IsWindowVisible(child)) return TRUE;
            want->second = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&want));
    HWND target = want.second;
    if (!target) return 1;
    RECT r{};
    GetWindowRect(target, &r);
    SetForegroundWindow(GetAncestor(box, GA_ROOT));
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Sleep(300);
    SetCursorPos((r.left + r.right) / 2 + 2, (r.top + r.bottom) / 2);
    Sleep(2500);
    DWORD process = 0;
    GetWindowThreadProcessId(box, &process);
    std::printf("hover id=%d \"%s\"\n", id, Utf8(TextOf(target)).c_str());
    EnumWindows(PrintTip, static_cast<LPARAM>(process));
    return 0;
}

int Accessibility(HWND box) {
    EnumChildWindows(GetParent(box), PrintChild, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const HRESULT init = CoInitialize(nullptr);
    HWND box = FindSearchBox();
    int rc = 1;
    if (!box) {
        std::printf("no pane\n");
    } else if (_wcsicmp(argv[1], L"keys") == 0) {
        rc = Keys(box, argc, argv);
    } else if (_wcsicmp(argv[1], L"acc") == 0) {
        rc = Accessibility(box);
    } else if (_wcsicmp(argv[1], L"narrow") == 0 && argc > 2) {
        rc = Narrow(box, _wtoi(argv[2]));
    } else if (_wcsicmp(argv[1], L"hover") == 0 && argc > 2) {
        rc = Hover(box, _wtoi(argv[2]));
    } else {
        rc = 2;
    }
    std::fflush(stdout);
    if (SUCCEEDED(init)) CoUninitialize();
    return rc;
}
