#include "tools/hostsim/win/ScriptRunner.h"

#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

bool g_sawQuit = false;

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
  hr = content->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  return VariantToString(result.v(), value);
}

bool Fail(const ScriptStep& s, const std::string& why) {
  Log("script", "line " + std::to_string(s.line) + " " + StepName(s.kind) + " FAILED: " + why);
  return false;
}

bool RunStep(const ScriptStep& s, bool& quit) {
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
        // Through the control's window, as a mouse click would go.
        SendMessageW(item->hwnd, BM_CLICK, 0, 0);
        return true;
      }
      if (item->node->kind != RibbonKind::EditBox) return Fail(s, "control is not an edit box");
      if (s.kind == StepKind::Type) {
        SetFocus(item->hwnd);
        SetWindowTextW(item->hwnd, Wide(s.text).c_str());
        SendMessageW(item->hwnd, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        return true;
      }
      if (h.CommitEditBox(frame, item) == S_FALSE) Log("script", head + ": text unchanged; no onChange");
      return true;
    }
    case StepKind::PaneClick:
    case StepKind::PaneType:
    case StepKind::ExpectPane: {
      Log("script", head + " " + s.id + (s.kind != StepKind::PaneClick ? " " + Quote(Wide(s.text)) : ""));
      std::string why;
      HWND w = FindInPane(s.number, why);
      if (!w) return Fail(s, why);
      if (s.kind == StepKind::PaneClick) {
        if (IsButton(w)) {
          SendMessageW(w, BM_CLICK, 0, 0);
        } else {
          RECT r;
          GetClientRect(w, &r);
          LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
          SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
          SendMessageW(w, WM_LBUTTONUP, 0, at);
        }
      } else if (s.kind == StepKind::PaneType) {
        SetFocus(w);
        SetWindowTextW(w, Wide(s.text).c_str());
      } else {
        std::wstring got = WindowText(w);
        if (got != Wide(s.text)) return Fail(s, "window text is " + Quote(got));
      }
      return true;
    }
    case StepKind::Key: {
      Log("script", head + " " + s.text);
      HWND target = GetFocus();
      if (!target && frame) target = frame->hwnd;
      if (!target) return Fail(s, "no window to receive the key");
      int vk = KeyCodeFromName(s.text);
      UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
      SendMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
      wchar_t ch = 0;
      if (vk == 0x0D) ch = L'\r';
      else if (vk == 0x09) ch = L'\t';
      else if (vk == 0x1B) ch = 0x1B;
      else if (vk == 0x20 || (vk >= '0' && vk <= '9')) ch = static_cast<wchar_t>(vk);
      else if (vk >= 'A' && vk <= 'Z') ch = static_cast<wchar_t>(vk - 'A' + 'a');
      if (ch && IsWindow(target)) SendMessageW(target, WM_CHAR, ch, 1 | (scan << 16));
      if (IsWindow(target)) SendMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
      return true;
    }
    case StepKind::Open: {
      Log("script", head + " " + Quote(Wide(s.id)));
      Document* doc = nullptr;
      std::wstring error;
      HRESULT hr = h.OpenDocument(Wide(s.id), &doc, error);
      if (FAILED(hr)) return Fail(s, Utf8(error));
      h.RaiseOpenEvent(doc);
      return true;
    }
    case StepKind::NewWindow: {
      Log("script", head);
      Document* doc = h.NewBlankDocument();
      if (doc && doc->frame) h.ActivateFrame(doc->frame);
      return true;
    }
    case StepKind::Activate: {
      Log("script", head + " " + std::to_string(s.number));
      if (s.number > static_cast<int>(h.frames.size())) return Fail(s, "no window " + std::to_string(s.number));
      h.ActivateFrame(h.frames[s.number - 1].get());
      return true;
    }
    case StepKind::WaitPane: {
      Log("script", head + " " + s.id + " timeout=" + std::to_string(s.timeoutMs));
      DWORD start = GetTickCount();
      std::string why;
      for (;;) {
        HWND w = FindInPane(s.number, why);
        if (w && IsWindowVisible(w) && GetWindowTextLengthW(w) > 0) {
          Log("script", head + " done: " + Quote(WindowText(w)));
          return true;
        }
        if (GetTickCount() - start >= static_cast<DWORD>(s.timeoutMs)) return Fail(s, "timed out: " + (w ? "window has no text" : why));
        if (!PumpMessages(50)) return Fail(s, "the host is quitting");
      }
    }
    case StepKind::WaitProp: {
      Log("script", head + " " + s.id + "=" + s.text + " timeout=" + std::to_string(s.timeoutMs));
      DWORD start = GetTickCount();
      std::wstring want = Wide(s.text), value;
      for (;;) {
        HRESULT hr = ReadContentProperty(s.id, value);
        if (SUCCEEDED(hr) && value == want) {
          Log("script", head + " done");
          return true;
        }
        if (GetTickCount() - start >= static_cast<DWORD>(s.timeoutMs))
          return Fail(s, "timed out: " + (FAILED(hr) ? HrText(hr) : "value is " + Quote(value)));
        if (!PumpMessages(50)) return Fail(s, "the host is quitting");
      }
    }
    case StepKind::Sleep:
      Log("script", head + " " + std::to_string(s.number));
      PumpMessages(s.number);
      return true;
    case StepKind::Screenshot: {
      std::wstring path = ResolveScreenshotPath(s.id);
      Log("script", head + " " + Quote(path));
      if (!frame) return Fail(s, "no window");
      for (auto& f : h.frames) {
        RedrawWindow(f->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      }
      PumpMessages(300);
      if (!SaveWindowBitmap(frame->hwnd, path)) return Fail(s, "could not write " + Utf8(path));
      return true;
    }
    case StepKind::Echo:
      Log("script", "echo " + s.text);
      return true;
    case StepKind::Quit:
      Log("script", head);
      quit = true;
      h.Quit();
      return true;
  }
  return true;
}

}  // namespace

bool PumpMessages(int ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        g_sawQuit = true;
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<DWORD>(ms)) return !g_sawQuit;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms) - elapsed, QS_ALLINPUT);
  }
}

bool RunScript(const std::vector<ScriptStep>& steps, bool& quit) {
  for (const auto& s : steps) {
    if (g_sawQuit || Host::Get().quitting) {
      quit = true;
      Log("script", "stopped: the application is quitting");
      return true;
    }
    if (!RunStep(s, quit)) return false;
    if (quit) return true;
    // Let posted work (layout, repaint, controls' own messages) happen between steps.
    if (!PumpMessages(30)) {
      quit = true;
      return true;
    }
  }
  return true;
}

}  // namespace hostsim
