// A small COM add-in for testing the host: it implements the add-in interfaces a host calls,
// connects to the application events, builds a ribbon with every control kind the host shows,
// creates task panes with the test control, and reports what it received as "addin ..." lines.
#include <olectl.h>

#include <map>
#include <vector>
#include <string>

#include "tests/wine/hostsim/TestCommon.h"
#include "tools/hostsim/OfficeHost_h.h"

namespace hostsimtest {

namespace {

const wchar_t kRibbon[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnRibbonLoad\">"
    L"<ribbon><tabs><tab id=\"TestTab\" label=\"테스트 탭\">"
    L"<group id=\"SearchGroup\" label=\"검색\">"
    L"<box id=\"Box0\" boxStyle=\"vertical\">"
    L"<labelControl id=\"Caption\" label=\"테스트 검색 \"/>"
    L"<box id=\"Box1\" boxStyle=\"horizontal\">"
    L"<editBox id=\"Edit1\" getText=\"ThisDocument.Edit1\" sizeString=\"WWWWWWWWWWWW\" onChange=\"OnEditChange\"/>"
    L"<button id=\"Go\" getImage=\"GetImageGo\" onAction=\"OnButton\"/>"
    L"</box></box>"
    L"<button id=\"Big\" label=\"큰 단추\" size=\"large\" getImage=\"GetImageBig\" getVisible=\"GetVisibleBig\" onAction=\"OnButton\"/>"
    L"<button id=\"Hidden\" label=\"숨김\" getVisible=\"GetVisibleHidden\" onAction=\"OnButton\"/>"
    L"<dialogBoxLauncher><button id=\"Launcher\" onAction=\"OnLauncher\"/></dialogBoxLauncher>"
    L"</group>"
    L"<group id=\"OtherGroup\" label=\"기타\">"
    L"<button id=\"Refresh\" label=\"새로 고침\" imageMso=\"Refresh\" size=\"large\" onAction=\"OnRefresh\"/>"
    L"<checkBox id=\"Check1\" label=\"항상 보이기\" onAction=\"OnCheck\"/>"
    L"<button id=\"NoSuch\" label=\"없는 콜백\" onAction=\"NoSuchCallback\"/>"
    L"<button id=\"Modal\" label=\"대화 상자\" onAction=\"OnModal\"/>"
    L"</group>"
    L"</tab></tabs></ribbon></customUI>";

enum : DISPID {
  kOnRibbonLoad = 101, kOnButton, kOnEditChange, kOnCheck, kOnLauncher, kGetImageGo, kGetImageBig,
  kGetVisibleBig, kGetVisibleHidden, kOnRefresh, kOnModal,
};

const struct { const wchar_t* name; DISPID id; } kCallbacks[] = {
    {L"OnRibbonLoad", kOnRibbonLoad}, {L"OnButton", kOnButton}, {L"OnEditChange", kOnEditChange},
    {L"OnCheck", kOnCheck}, {L"OnLauncher", kOnLauncher}, {L"GetImageGo", kGetImageGo},
    {L"GetImageBig", kGetImageBig}, {L"GetVisibleBig", kGetVisibleBig}, {L"GetVisibleHidden", kGetVisibleHidden},
    {L"OnRefresh", kOnRefresh}, {L"OnModal", kOnModal},
};

const IID kWordEvents = {0x000209FE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kExcelEvents = {0x00024413, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPowerPointEvents = {0x914934C2, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
const IID kWordApplication = {0x00020970, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string Str(const VARIANT& v) {
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, const_cast<VARIANT*>(&v), 0, VT_BSTR))) return "?";
  std::string s = Utf8(V_BSTR(&t), static_cast<int>(SysStringLen(V_BSTR(&t))));
  VariantClear(&t);
  return s;
}

std::string PropertyText(IDispatch* d, const wchar_t* name) {
  VARIANT v;
  HRESULT hr = GetProperty(d, name, &v);
  if (FAILED(hr)) return "(failed)";
  std::string s = Str(v);
  VariantClear(&v);
  return s;
}

class Connect;

// One sink per host event interface; only the running host's connects.
class EventSink : public IDispatch {
 public:
  EventSink(Connect* owner, REFIID iid, const char* name) : owner_(owner), iid_(iid), name_(name) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == iid_) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { if (n) *n = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override { if (t) *t = nullptr; return DISP_E_BADINDEX; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override;

  DWORD cookie = 0;
  IConnectionPoint* point = nullptr;

 private:
  virtual ~EventSink() = default;
  LONG refs_ = 1;
  Connect* owner_;
  IID iid_;
  const char* name_;
};

class Connect : public _IDTExtensibility2, public IRibbonExtensibility, public ICustomTaskPaneConsumer {
 public:
  Connect() { ModuleAddRef(); }

  // IUnknown, shared by the three interfaces
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID__IDTExtensibility2) *out = static_cast<_IDTExtensibility2*>(this);
    else if (iid == IID_IDispatch) *out = static_cast<_IDTExtensibility2*>(this);  // the callbacks
    else if (iid == IID_IRibbonExtensibility) *out = static_cast<IRibbonExtensibility*>(this);
    else if (iid == IID_ICustomTaskPaneConsumer) *out = static_cast<ICustomTaskPaneConsumer*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // IDispatch: the ribbon callbacks by name
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { if (n) *n = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override { if (t) *t = nullptr; return DISP_E_BADINDEX; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    ids[0] = DISPID_UNKNOWN;
    for (const auto& c : kCallbacks)
      if (names[0] && lstrcmpW(names[0], c.name) == 0) ids[0] = c.id;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*, UINT*) override;

  // _IDTExtensibility2
  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch* addin, SAFEARRAY**) override {
    app_ = app;
    if (app_) app_->AddRef();
    Say("addin OnConnection mode=" + std::to_string(mode) + " app.Name=" + PropertyText(app, L"Name") +
        " addin.ProgId=" + PropertyText(addin, L"ProgId"));
    Say("addin Version=" + PropertyText(app, L"Version"));
    IUnknown* word = nullptr;
    HRESULT hr = app ? app->QueryInterface(kWordApplication, reinterpret_cast<void**>(&word)) : E_POINTER;
    Say("addin QueryInterface(Word _Application)=" + std::string(SUCCEEDED(hr) ? "S_OK" : "failed"));
    if (word) word->Release();
    ConnectSink(kWordEvents, "Word");
    ConnectSink(kExcelEvents, "Excel");
    ConnectSink(kPowerPointEvents, "PowerPoint");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) override {
    Say("addin OnDisconnection mode=" + std::to_string(mode));
    for (auto* s : sinks_) {
      if (s->point) {
        s->point->Unadvise(s->cookie);
        s->point->Release();
      }
      s->Release();
    }
    sinks_.clear();
    for (auto& p : panes_) p.second->Release();
    panes_.clear();
    if (ribbon_) ribbon_->Release();
    ribbon_ = nullptr;
    if (factory_) factory_->Release();
    factory_ = nullptr;
    if (app_) app_->Release();
    app_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override {
    Say("addin OnStartupComplete panes=" + std::to_string(panes_.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override {
    _CustomTaskPane* pane = ActivePane();
    VARIANT_BOOL visible = VARIANT_FALSE;
    if (pane) pane->get_Visible(&visible);
    Say("addin OnBeginShutdown pane.Visible=" + std::to_string(visible));
    return S_OK;
  }

  // IRibbonExtensibility
  HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR id, BSTR* xml) override {
    if (!xml) return E_POINTER;
    Say("addin GetCustomUI id=" + Utf8(id ? id : L""));
    *xml = SysAllocString(kRibbon);
    return *xml ? S_OK : E_OUTOFMEMORY;
  }

  // ICustomTaskPaneConsumer
  HRESULT STDMETHODCALLTYPE CTPFactoryAvailable(ICTPFactory* factory) override {
    Say(std::string("addin CTPFactoryAvailable factory=") + (factory ? "yes" : "no"));
    if (!factory) return S_OK;
    factory_ = factory;
    factory_->AddRef();
    {
      // A control that does not exist: the host must fail the call and keep no pane.
      BSTR progId = SysAllocString(L"HostSimTest.Missing");
      BSTR title = SysAllocString(L"없음");
      VARIANT missing;
      VariantInit(&missing);
      V_VT(&missing) = VT_ERROR;
      V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
      _CustomTaskPane* none = nullptr;
      HRESULT hr = factory_->CreateCTP(progId, title, missing, &none);
      SysFreeString(progId);
      SysFreeString(title);
      Say(std::string("addin CreateCTP(missing control) ") + (FAILED(hr) && !none ? "failed" : "succeeded"));
      if (none) none->Release();
    }
    _CustomTaskPane* pane = CreatePane();
    if (!pane) return S_OK;
    pane->put_Width(280);
    pane->put_Visible(VARIANT_TRUE);
    IDispatch* content = nullptr;
    HRESULT hr = pane->get_ContentControl(&content);
    Say("addin ContentControl hr=" + std::to_string(hr) + " Name=" + PropertyText(content, L"Name"));
    if (content) content->Release();
    return S_OK;
  }

  void OnEvent(const char* host, DISPID id, DISPPARAMS* p) {
    std::string doc = "?";
    if (p && p->cArgs >= 1 && V_VT(&p->rgvarg[p->cArgs - 1]) == VT_DISPATCH)
      doc = PropertyText(V_DISPATCH(&p->rgvarg[p->cArgs - 1]), L"Name");
    std::string caption;
    if (std::string(host) == "Word") {
      VARIANT w;
      if (SUCCEEDED(GetProperty(app_, L"ActiveWindow", &w)) && V_VT(&w) == VT_DISPATCH) {
        caption = PropertyText(V_DISPATCH(&w), L"Caption");
      }
      VariantClear(&w);
    } else {
      caption = PropertyText(app_, L"Caption");
    }
    std::string extra;
    if (std::string(host) == "PowerPoint") extra = " HWND=" + std::string(PropertyText(app_, L"HWND") != "0" ? "set" : "0");
    Say(std::string("addin event ") + host + " dispid=" + std::to_string(id) + " doc=" + doc + " caption=" + caption + extra);
    // Like a search add-in: search the opened document's caption in the active window's pane.
    if (_CustomTaskPane* pane = ActivePane()) SearchIn(pane, caption);
  }

 private:
  virtual ~Connect() { ModuleRelease(); }

  void ConnectSink(REFIID iid, const char* name) {
    IConnectionPointContainer* cpc = nullptr;
    HRESULT hr = app_ ? app_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)) : E_POINTER;
    IConnectionPoint* cp = nullptr;
    if (SUCCEEDED(hr)) hr = cpc->FindConnectionPoint(iid, &cp);
    if (cpc) cpc->Release();
    if (SUCCEEDED(hr)) {
      auto* sink = new EventSink(this, iid, name);
      hr = cp->Advise(static_cast<IDispatch*>(sink), &sink->cookie);
      if (SUCCEEDED(hr)) {
        sink->point = cp;
        sinks_.push_back(sink);
      } else {
        cp->Release();
        sink->Release();
      }
    }
    char buf[16];
    wsprintfA(buf, "0x%08lX", static_cast<unsigned long>(hr));
    Say(std::string("addin connect ") + name + " events=" + buf);
  }

  _CustomTaskPane* ActivePane() {
    auto it = panes_.find(GetActiveWindow());
    return it == panes_.end() ? nullptr : it->second;
  }

  _CustomTaskPane* CreatePane() {
    if (!factory_) return nullptr;
    BSTR progId = SysAllocString(kControlProgId);
    BSTR title = SysAllocString(L"테스트 창");
    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    _CustomTaskPane* pane = nullptr;
    HRESULT hr = factory_->CreateCTP(progId, title, missing, &pane);
    SysFreeString(progId);
    SysFreeString(title);
    char buf[16];
    wsprintfA(buf, "0x%08lX", static_cast<unsigned long>(hr));
    Say(std::string("addin CreateCTP hr=") + buf);
    if (FAILED(hr) || !pane) return nullptr;
    HWND key = GetActiveWindow();
    auto it = panes_.find(key);
    if (it != panes_.end()) it->second->Release();
    panes_[key] = pane;
    return pane;
  }

  void SearchIn(_CustomTaskPane* pane, const std::string& text) {
    IDispatch* content = nullptr;
    if (FAILED(pane->get_ContentControl(&content)) || !content) return;
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &w[0], n);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = SysAllocString(w.c_str());
    CallMethod(content, L"Search", &arg, 1, nullptr);
    VariantClear(&arg);
    content->Release();
  }

  friend class EventSink;
  LONG refs_ = 1;
  IDispatch* app_ = nullptr;
  ICTPFactory* factory_ = nullptr;
  IRibbonUI* ribbon_ = nullptr;
  std::map<HWND, _CustomTaskPane*> panes_;
  std::vector<EventSink*> sinks_;
  std::string editText_;
};

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) {
  owner_->OnEvent(name_, id, p);
  return S_OK;
}

std::string ControlId(const VARIANT& v, std::string* context = nullptr) {
  if (V_VT(&v) != VT_DISPATCH || !V_DISPATCH(&v)) return "(no control)";
  // The ribbon control through its own interface, as a compiled add-in would use it.
  IRibbonControl* control = nullptr;
  if (FAILED(V_DISPATCH(&v)->QueryInterface(IID_IRibbonControl, reinterpret_cast<void**>(&control))) || !control)
    return "(not an IRibbonControl)";
  BSTR id = nullptr;
  control->get_Id(&id);
  std::string s = Utf8(id ? id : L"");
  SysFreeString(id);
  if (context) {
    IDispatch* window = nullptr;
    control->get_Context(&window);
    *context = window ? PropertyText(window, L"Caption") : "(none)";
    if (window) window->Release();
  }
  control->Release();
  return s;
}

IPictureDisp* MakeBitmapPicture(int size) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = size;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return nullptr;
  auto* px = static_cast<BYTE*>(bits);
  int stride = ((size * 3 + 3) / 4) * 4;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      BYTE* p = px + y * stride + x * 3;
      bool ring = (x - size / 2) * (x - size / 2) + (y - size / 2) * (y - size / 2) < (size * size) / 6;
      p[0] = ring ? 200 : 255;
      p[1] = ring ? 90 : 255;
      p[2] = ring ? 30 : 255;
    }
  PICTDESC pd = {};
  pd.cbSizeofstruct = sizeof pd;
  pd.picType = PICTYPE_BITMAP;
  pd.bmp.hbitmap = bmp;
  IPictureDisp* pic = nullptr;
  if (FAILED(OleCreatePictureIndirect(&pd, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&pic)))) DeleteObject(bmp);
  return pic;
}

IPictureDisp* MakeIconPicture(int size) {
  HDC screen = GetDC(nullptr);
  HBITMAP color = CreateCompatibleBitmap(screen, size, size);
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, color);
  RECT r{0, 0, size, size};
  HBRUSH green = CreateSolidBrush(RGB(40, 160, 60));
  FillRect(mem, &r, green);
  DeleteObject(green);
  SelectObject(mem, mask);
  PatBlt(mem, 0, 0, size, size, BLACKNESS);
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  ICONINFO ii = {TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(color);
  DeleteObject(mask);
  if (!icon) return nullptr;
  PICTDESC pd = {};
  pd.cbSizeofstruct = sizeof pd;
  pd.picType = PICTYPE_ICON;
  pd.icon.hicon = icon;
  IPictureDisp* pic = nullptr;
  if (FAILED(OleCreatePictureIndirect(&pd, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&pic)))) DestroyIcon(icon);
  return pic;
}

HRESULT Connect::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*, UINT*) {
  UINT n = p ? p->cArgs : 0;
  auto arg = [p, n](UINT i) -> const VARIANT& { return p->rgvarg[n - 1 - i]; };
  switch (id) {
    case kOnRibbonLoad: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      IUnknown* unk = V_VT(&arg(0)) == VT_DISPATCH ? V_DISPATCH(&arg(0)) : V_VT(&arg(0)) == VT_UNKNOWN ? V_UNKNOWN(&arg(0)) : nullptr;
      if (ribbon_) ribbon_->Release();
      ribbon_ = nullptr;
      HRESULT hr = unk ? unk->QueryInterface(IID_IRibbonUI, reinterpret_cast<void**>(&ribbon_)) : E_POINTER;
      Say(std::string("addin OnRibbonLoad IRibbonUI=") + (SUCCEEDED(hr) ? "yes" : "no"));
      return hr;
    }
    case kOnButton: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      std::string context;
      std::string cid = ControlId(arg(0), &context);
      Say("addin OnButton id=" + cid + " context=" + context + " edit=" + editText_);
      if (cid == "Go") {
        _CustomTaskPane* pane = ActivePane();
        if (!pane) pane = CreatePane();
        if (!pane) return S_OK;
        pane->put_Width(300);
        VARIANT_BOOL v = VARIANT_FALSE;
        pane->get_Visible(&v);
        if (v != VARIANT_TRUE) pane->put_Visible(VARIANT_TRUE);
        SearchIn(pane, editText_);
      }
      return S_OK;
    }
    case kOnEditChange: {
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      editText_ = Str(arg(1));
      Say("addin OnEditChange id=" + ControlId(arg(0)) + " text=" + editText_);
      return S_OK;
    }
    case kOnCheck: {
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      Say("addin OnCheck id=" + ControlId(arg(0)) + " pressed=" + (V_VT(&arg(1)) == VT_BOOL && V_BOOL(&arg(1)) ? "true" : "false"));
      return S_OK;
    }
    case kOnLauncher: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      _CustomTaskPane* pane = ActivePane();
      if (!pane) {
        Say("addin OnLauncher id=" + ControlId(arg(0)) + " no pane");
        return S_FALSE;
      }
      VARIANT_BOOL v = VARIANT_FALSE;
      pane->get_Visible(&v);
      pane->put_Visible(v == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE);
      Say("addin OnLauncher id=" + ControlId(arg(0)) + " visible=" + (v == VARIANT_TRUE ? "false" : "true"));
      return S_OK;
    }
    case kOnModal: {
      // A modal dialog inside a callback, as an add-in's login or about box runs.
      int answer = MessageBoxW(GetActiveWindow(), L"테스트 대화 상자입니다", L"테스트 알림", MB_OKCANCEL);
      Say("addin OnModal answer=" + std::to_string(answer));
      return S_OK;
    }
    case kOnRefresh: {
      Say("addin OnRefresh id=" + ControlId(arg(0)));
      return ribbon_ ? ribbon_->Invalidate() : E_POINTER;
    }
    case kGetImageGo:
    case kGetImageBig: {
      if (n != 1 || !result) return DISP_E_BADPARAMCOUNT;
      IPictureDisp* pic = id == kGetImageGo ? MakeBitmapPicture(20) : MakeIconPicture(32);
      Say("addin GetImage id=" + ControlId(arg(0)));
      VariantInit(result);
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = pic;
      return pic ? S_OK : E_FAIL;
    }
    case kGetVisibleBig:
    case kGetVisibleHidden: {
      if (n != 1 || !result) return DISP_E_BADPARAMCOUNT;
      Say("addin GetVisible id=" + ControlId(arg(0)));
      VariantInit(result);
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = id == kGetVisibleBig ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

HRESULT CreateAddin(REFIID iid, void** out) {
  auto* c = new (std::nothrow) Connect();
  if (!c) return E_OUTOFMEMORY;
  HRESULT hr = static_cast<_IDTExtensibility2*>(c)->QueryInterface(iid, out);
  static_cast<_IDTExtensibility2*>(c)->Release();
  return hr;
}

}  // namespace hostsimtest
