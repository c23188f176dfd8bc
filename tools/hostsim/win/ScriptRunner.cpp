#include "tools/hostsim/win/ScriptRunner.h"

#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

enum class Outcome { Done, Pending, Failed };

struct Runner {
    std::vector<ScriptStep> steps;
    size_t next = 0;
    bool busy = false;     // a step is running (a tick from a nested loop must not start another)
    bool started = false;  // the current step has begun (waits keep their start time)
    DWORD stepStart = 0;
    UINT_PTR timer = 0;
    int exitCode = 0;
};

Runner g_runner;

struct FindChild {
    int id;
    HWND found;
};

BOOL CALLBACK FindChildProc(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<FindChild*>(lp);
    if (GetDlgCtrlID(hwnd) == f->id) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A window by control id anywhere inside the active window's pane (EnumChildWindows descends).
HWND FindInPane(int id, std::string& why) {
    Host& h = Host::Get();
    Frame* frame = h.ActiveFrame();
    _CustomTaskPane* pane = h.PaneForFrame(frame);
    if (!pane) {
        why = "the active window has no task pane";
        return nullptr;
    }
    HWND root = PaneControlWindow(pane);
    FindChild f{id, nullptr};
    if (root) EnumChildWindows(root, FindChildProc, reinterpret_cast<LPARAM>(&f));
    if (!f.found) why = "no window with control id " + std::to_string(id) + " in the pane";
    return f.found;
}

bool IsButton(HWND hwnd) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    return lstrcmpiW(cls, L"Button") == 0;
}

std::wstring ResolveScreenshotPath(const std::string& name) {
    Host& h = Host::Get();
    std::wstring n = Wide(name);
    if (n.find(L'.') == std::wstring::npos) n += L".bmp";
    bool absolute = n.size() > 1 && (n[1] == L':' || n[0] == L'\\' || n[0] == L'/');
    if (absolute || h.screensDir.empty()) return n;
    return h.screensDir + L"\\" + n;
}

// Reads a value by the method's [out] parameter when the name is a method with exactly one
// (get_LoginStatus): the parameter's type comes from the object's type information.
HRESULT ReadOutParameter(IDispatch* content, DISPID id, std::wstring& value) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = content->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put());
    if (FAILED(hr)) return hr;
    if (!info) return E_NOINTERFACE;
    // A dual interface's dispatch view may show the [out] parameter as a result: its interface
    // view has the parameter list that Invoke checks the arguments against.
    HREFTYPE interfaceView = 0;
    ComPtr<ITypeInfo> asInterface;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &interfaceView)) &&
        SUCCEEDED(info->GetRefTypeInfo(interfaceView, asInterface.put())) && asInterface)
        info = std::move(asInterface);
    ComPtr<ITypeInfo2> info2;
    if (FAILED(info->QueryInterface(IID_ITypeInfo2, info2.putVoid())) || !info2) return E_NOINTERFACE;
    UINT index = 0;
    hr = info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index);
    if (FAILED(hr)) return hr;
    FUNCDESC* desc = nullptr;
    hr = info->GetFuncDesc(index, &desc);
    if (FAILED(hr)) return hr;
    VARTYPE type = VT_EMPTY;
    if (desc->cParams == 1 && (desc->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FOUT) &&
        desc->lprgelemdescParam[0].tdesc.vt == VT_PTR && desc->lprgelemdescParam[0].tdesc.lptdesc)
        type = desc->lprgelemdescParam[0].tdesc.lptdesc->vt;
    info->ReleaseFuncDesc(desc);
    if (type != VT_I2 && type != VT_I4 && type != VT_BOOL && type != VT_BSTR) return DISP_E_TYPEMISMATCH;
    // Every member of the union starts at the same address: the out pointer fills `out`.
    Variant out;
    V_VT(out.get()) = type;
    V_BSTR(out.get()) = nullptr;  // the widest member: clears the smaller ones too
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = static_cast<VARTYPE>(VT_BYREF | type);
    V_BYREF(&arg) = &V_BSTR(out.get());
    DISPPARAMS params{&arg, nullptr, 1, 0};
    hr = content->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    return VariantToString(out.v(), value);
}

HRESULT ReadContentProperty(const std::string& name, std::wstring& value) {
    Host& h = Host::Get();
    ComPtr<IDispatch> content = PaneContent(h.PaneForFrame(h.ActiveFrame()));
    if (!content) return E_NOINTERFACE;
    std::wstring wname = Wide(name);
    LPOLESTR names[1] = {&wname[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = content->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    hr =
        content->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr);
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT) {
        // A method: its dispatch view may give a lone [out] parameter as the result; else the
        // parameter is read through the type information.
        hr = content->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr);
        if (FAILED(hr) || V_VT(result.get()) == VT_EMPTY) return ReadOutParameter(content.get(), id, value);
    }
    if (FAILED(hr)) return hr;
    return VariantToString(result.v(), value);
}

struct FindDialog {
    std::wstring title;
    int controlId;
    HWND found;   // the first one with that control
    HWND titled;  // the first one with that title
};

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<FindDialog*>(lp);
    if (!IsWindowVisible(hwnd) || WindowText(hwnd) != f->title) return TRUE;
    if (!f->titled) f->titled = hwnd;
    if (GetDlgItem(hwnd, f->controlId)) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of this thread (a dialog box) with exactly this title, preferably
// one that has the control (an empty title can fit more than one window).
HWND FindDialogWindow(const std::wstring& title, int controlId) {
    FindDialog f{title, controlId, nullptr, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&f));
    return f.found ? f.found : f.titled;
}

// Clicks a window the way the mouse would, but posted: the click (and any modal loop it opens)
// runs from the message loop, not inside the script step.
void PostClick(HWND w) {
    if (IsButton(w)) {
        PostMessageW(w, BM_CLICK, 0, 0);
        return;
    }
    RECT r;
    GetClientRect(w, &r);
    LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(w, WM_LBUTTONUP, 0, at);
}

Outcome Fail(const ScriptStep& s, const std::string& why) {
    Log("script", "line " + std::to_string(s.line) + " " + StepName(s.kind) + " FAILED: " + why);
    return Outcome::Failed;
}

bool TimedOut(const ScriptStep& s) {
    return GetTickCount() - g_runner.stepStart >= static_cast<DWORD>(s.timeoutMs);
}

Outcome RunStep(const ScriptStep& s, bool first) {
    Host& h = Host::Get();
    Frame* frame = h.ActiveFrame();
    std::string head = "line " + std::to_string(s.line) + " " + StepName(s.kind);
    switch (s.kind) {
        case StepKind::Type:
        case StepKind::Commit:
        case StepKind::Click: {
            Log("script", head + " " + s.id + (s.kind == StepKind::Type ? " " + Quote(Wide(s.text)) : ""));
            RibbonItem* item = frame ? h.FindRibbonItem(frame, s.id) : nullptr;
            if (!item || !item->hwnd) return Fail(s, "no ribbon control \"" + s.id + "\" shown in the active window");
            if (!IsWindowEnabled(item->hwnd)) return Fail(s, "control is disabled");
            if (s.kind == StepKind::Click) {
                if (item->node->kind != RibbonKind::Button && item->node->kind != RibbonKind::CheckBox)
                    return Fail(s, "control is not a button or check box");
                PostClick(item->hwnd);
                return Outcome::Done;
            }
            if (item->node->kind != RibbonKind::EditBox) return Fail(s, "control is not an edit box");
            if (s.kind == StepKind::Type) {
                SetFocus(item->hwnd);
                SetWindowTextW(item->hwnd, Wide(s.text).c_str());
                SendMessageW(item->hwnd, EM_SETSEL, static_cast<WPARAM>(-1), -1);
                return Outcome::Done;
            }
            if (h.CommitEditBox(frame, item) == S_FALSE) Log("script", head + ": text unchanged; no onChange");
            return Outcome::Done;
        }
        case StepKind::PaneClick:
        case StepKind::PaneType:
        case StepKind::ExpectPane: {
            Log("script", head + " " + s.id + (s.kind != StepKind::PaneClick ? " " + Quote(Wide(s.text)) : ""));
            std::string why;
            HWND w = FindInPane(s.number, why);
            if (!w) return Fail(s, why);
            if (s.kind == StepKind::PaneClick) {
                PostClick(w);
            } else if (s.kind == StepKind::PaneType) {
                SetFocus(w);
                SetWindowTextW(w, Wide(s.text).c_str());
            } else {
                std::wstring got = WindowText(w);
                if (got != Wide(s.text)) return Fail(s, "window text is " + Quote(got));
            }
            return Outcome::Done;
        }
        case StepKind::DialogClick:
        case StepKind::DialogType: {
            const bool typing = s.kind == StepKind::DialogType;
            if (first)
                Log("script",
                    head + " " + s.id + " in " + Quote(Wide(s.text)) + (typing ? " " + Quote(Wide(s.input)) : ""));
            HWND dialog = FindDialogWindow(Wide(s.text), s.number);
            HWND w = dialog ? GetDlgItem(dialog, s.number) : nullptr;
            if (w) {
                if (!typing) {
                    PostClick(w);
                } else {
                    // The field's text is set as a paste would leave it: whole, caret at the end.
                    SetFocus(w);
                    SetWindowTextW(w, Wide(s.input).c_str());
                    SendMessageW(w, EM_SETSEL, static_cast<WPARAM>(-1), -1);
                }
                return Outcome::Done;
            }
            if (TimedOut(s))
                return Fail(s,
                            dialog ? "the dialog has no control " + s.id : "no dialog titled " + Quote(Wide(s.text)));
            return Outcome::Pending;
        }
        case StepKind::Key: {
            Log("script", head + " " + s.text);
            HWND target = GetFocus();
            if (!target && frame) target = frame->hwnd;
            if (!target) return Fail(s, "no window to receive the key");
            int vk = KeyCodeFromName(s.text);
            UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
            wchar_t ch = 0;
            if (vk == 0x0D)
                ch = L'\r';
            else if (vk == 0x09)
                ch = L'\t';
            else if (vk == 0x1B)
                ch = 0x1B;
            else if (vk == 0x20 || (vk >= '0' && vk <= '9'))
                ch = static_cast<wchar_t>(vk);
            else if (vk >= 'A' && vk <= 'Z')
                ch = static_cast<wchar_t>(vk - 'A' + 'a');
            PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
            if (ch) PostMessageW(target, WM_CHAR, ch, 1 | (scan << 16));
            PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
            return Outcome::Done;
        }
        case StepKind::Open: {
            Log("script", head + " " + Quote(Wide(s.id)));
            Document* doc = nullptr;
            std::wstring error;
            HRESULT hr = h.OpenDocument(Wide(s.id), &doc, error);
            if (FAILED(hr)) return Fail(s, Utf8(error));
            h.RaiseOpenEvent(doc);
            return Outcome::Done;
        }
        case StepKind::NewWindow: {
            Log("script", head);
            Document* doc = h.NewBlankDocument();
            if (doc && doc->frame) h.ActivateFrame(doc->frame);
            return Outcome::Done;
        }
        case StepKind::Activate: {
            Log("script", head + " " + std::to_string(s.number));
            if (s.number > static_cast<int>(h.frames.size())) return Fail(s, "no window " + std::to_string(s.number));
            h.ActivateFrame(h.frames[s.number - 1].get());
            return Outcome::Done;
        }
        case StepKind::WaitPane: {
            if (first) Log("script", head + " " + s.id + " timeout=" + std::to_string(s.timeoutMs));
            std::string why;
            HWND w = FindInPane(s.number, why);
            if (w && IsWindowVisible(w) && GetWindowTextLengthW(w) > 0) {
                Log("script", head + " done: " + Quote(WindowText(w)));
                return Outcome::Done;
            }
            if (TimedOut(s)) return Fail(s, "timed out: " + (w ? "window has no text" : why));
            return Outcome::Pending;
        }
        case StepKind::WaitProp: {
            if (first) Log("script", head + " " + s.id + "=" + s.text + " timeout=" + std::to_string(s.timeoutMs));
            std::wstring value;
            HRESULT hr = ReadContentProperty(s.id, value);
            if (SUCCEEDED(hr) && value == Wide(s.text)) {
                Log("script", head + " done");
                return Outcome::Done;
            }
            if (TimedOut(s)) return Fail(s, "timed out: " + (FAILED(hr) ? HrText(hr) : "value is " + Quote(value)));
            return Outcome::Pending;
        }
        case StepKind::Sleep:
            if (first) Log("script", head + " " + std::to_string(s.number));
            return GetTickCount() - g_runner.stepStart >= static_cast<DWORD>(s.number) ? Outcome::Done
                                                                                       : Outcome::Pending;
        case StepKind::Screenshot: {
            std::wstring path = ResolveScreenshotPath(s.id);
            // While a dialog of ours is in front, the picture is of the whole screen, dialog included.
            HWND fg = GetForegroundWindow();
            bool dialogUp = fg && !h.FrameOf(fg) && GetWindowThreadProcessId(fg, nullptr) == GetCurrentThreadId();
            HWND target = dialogUp ? GetDesktopWindow() : (frame ? frame->hwnd : nullptr);
            Log("script", head + " " + Quote(path) + (dialogUp ? " (screen)" : ""));
            if (!target) return Fail(s, "no window");
            for (auto& f : h.frames)
                RedrawWindow(f->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            if (!SaveWindowBitmap(target, path)) return Fail(s, "could not write " + Utf8(path));
            return Outcome::Done;
        }
        case StepKind::Echo: Log("script", "echo " + s.text); return Outcome::Done;
        case StepKind::Quit:
            Log("script", head);
            h.Quit();
            return Outcome::Done;
    }
    return Outcome::Done;
}

void Stop() {
    if (g_runner.timer) KillTimer(nullptr, g_runner.timer);
    g_runner.timer = 0;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Runner& r = g_runner;
    Host& h = Host::Get();
    if (r.busy) return;
    if (h.quitting) {
        Stop();
        return;
    }
    if (r.next >= r.steps.size()) {
        Log("script", "end of script");
        Stop();
        return;
    }
    r.busy = true;
    const ScriptStep& step = r.steps[r.next];
    bool first = !r.started;
    if (first) {
        r.started = true;
        r.stepStart = GetTickCount();
    }
    Outcome outcome = RunStep(step, first);
    r.busy = false;
    if (outcome == Outcome::Pending) return;
    r.started = false;
    ++r.next;
    if (outcome == Outcome::Failed) {
        r.exitCode = 3;
        Stop();
        h.Quit();
    }
}

}  // namespace

void StartScript(std::vector<ScriptStep> steps) {
    g_runner = Runner();
    g_runner.steps = std::move(steps);
    // A thread timer: dispatched by every message loop of this thread, modal ones included.
    g_runner.timer = SetTimer(nullptr, 0, 25, Tick);
}

int ScriptExitCode() {
    return g_runner.exitCode;
}

}  // namespace hostsim
