// The ribbon strip: real controls built from each add-in's custom-UI definition, and the
// callbacks the host makes by name through the add-in's IDispatch, with an IRibbonControl first.
#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

#include <commctrl.h>
#include <olectl.h>

#include <algorithm>
#include <map>

namespace hostsim {

namespace {

constexpr UINT kRebuildRibbon = WM_APP + 1;
constexpr int kFirstCommandId = 2000;

// ---------------------------------------------------------------------------------------------
class RibbonControlObject : public DispatchImpl<IRibbonControl> {
public:
    RibbonControlObject(std::wstring id, std::wstring tag, Frame* frame)
        : id_(std::move(id)), tag_(std::move(tag)), window_(frame->window), number_(frame->number) {}

    HRESULT STDMETHODCALLTYPE get_Id(BSTR* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = SysAllocString(id_.c_str());
            LogBuilt("host<-", [&] { return "RibbonControl.Id [get] = " + Quote(id_); });
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Context(IDispatch** out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = window_.get();
            if (*out) (*out)->AddRef();
            LogBuilt("host<-", [&] { return "RibbonControl.Context [get] = Window " + std::to_string(number_); });
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = SysAllocString(tag_.c_str());
            LogBuilt("host<-", [&] { return "RibbonControl.Tag [get] = " + Quote(tag_); });
            return S_OK;
        });
    }

protected:
    REFIID PrimaryIid() const override { return IID_IRibbonControl; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return 3; }
    const char* ObjectName() const override { return "RibbonControl"; }
    HRESULT Call(DISPID id, WORD flags, DispArgs&, VARIANT* result, EXCEPINFO*) override {
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
        HRESULT hr = DISP_E_MEMBERNOTFOUND;
        // The result is filled once, and only by a getter that succeeded.
        if (id == 1 || id == 3) {
            Bstr b;
            hr = id == 1 ? get_Id(b.put()) : get_Tag(b.put());
            if (SUCCEEDED(hr) && result) {
                VariantInit(result);
                V_VT(result) = VT_BSTR;
                V_BSTR(result) = b.release();
            }
        } else if (id == 2) {
            ComPtr<IDispatch> d;
            hr = get_Context(d.put());
            if (SUCCEEDED(hr) && result) {
                VariantInit(result);
                V_VT(result) = VT_DISPATCH;
                V_DISPATCH(result) = d.release();
            }
        }
        return hr;
    }

private:
    static constexpr DispMember kMembers[] = {{L"Id", 1, {}}, {L"Context", 2, {}}, {L"Tag", 3, {}}};
    std::wstring id_, tag_;
    ComPtr<IDispatch> window_;  // the window object outlives its frame safely (it is detached)
    int number_;
};
constexpr DispMember RibbonControlObject::kMembers[];

}  // namespace

// ---------------------------------------------------------------------------------------------
class RibbonUIObject : public DispatchImpl<IRibbonUI> {
public:
    explicit RibbonUIObject(AddinRecord* addin) : addin_(addin) {}
    void Detach() { addin_ = nullptr; }

    HRESULT STDMETHODCALLTYPE Invalidate() override {
        return Guard([&] {
            Log("host<-", "RibbonUI.Invalidate() = S_OK");
            if (addin_) Host::Get().InvalidateRibbon(addin_, L"");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE InvalidateControl(BSTR id) override {
        return Guard([&] {
            std::wstring s = id ? id : L"";
            Log("host<-", "RibbonUI.InvalidateControl(" + Quote(s) + ") = S_OK");
            if (addin_) Host::Get().InvalidateRibbon(addin_, s);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE InvalidateControlMso(BSTR id) override {
        return Guard([&] {
            Log("host<-", "RibbonUI.InvalidateControlMso(" + Quote(id ? id : L"") + ") = S_OK");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ActivateTab(BSTR id) override {
        return Guard([&] {
            Log("host<-", "RibbonUI.ActivateTab(" + Quote(id ? id : L"") + ") = S_OK");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ActivateTabMso(BSTR id) override {
        return Guard([&] {
            Log("host<-", "RibbonUI.ActivateTabMso(" + Quote(id ? id : L"") + ") = S_OK");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ActivateTabQ(BSTR id, BSTR ns) override {
        return Guard([&] {
            Log("host<-", "RibbonUI.ActivateTabQ(" + Quote(id ? id : L"") + ", " + Quote(ns ? ns : L"") + ") = S_OK");
            return S_OK;
        });
    }

protected:
    REFIID PrimaryIid() const override { return IID_IRibbonUI; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return 6; }
    const char* ObjectName() const override { return "RibbonUI"; }
    HRESULT Call(DISPID id, WORD, DispArgs& args, VARIANT*, EXCEPINFO*) override {
        std::wstring a, b;
        args.GetString(0, 0, a);
        args.GetString(1, 1, b);
        Bstr ba(a), bb(b);
        switch (id) {
            case 1: return Invalidate();
            case 2: return InvalidateControl(ba.get());
            case 3: return InvalidateControlMso(ba.get());
            case 4: return ActivateTab(ba.get());
            case 5: return ActivateTabMso(ba.get());
            case 6: return ActivateTabQ(ba.get(), bb.get());
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    static constexpr DispMember kMembers[] = {
        {L"Invalidate", 1, {}},
        {L"InvalidateControl", 2, {L"ControlID"}},
        {L"InvalidateControlMso", 3, {L"ControlID"}},
        {L"ActivateTab", 4, {L"ControlID"}},
        {L"ActivateTabMso", 5, {L"ControlID"}},
        {L"ActivateTabQ", 6, {L"ControlID", L"Namespace"}},
    };
    AddinRecord* addin_;
};
constexpr DispMember RibbonUIObject::kMembers[];

ComPtr<IDispatch> NewRibbonControl(const std::wstring& id, const std::wstring& tag, Frame* frame) {
    return ComPtr<IDispatch>::adopt(new (std::nothrow) RibbonControlObject(id, tag, frame));
}

ComPtr<IRibbonUI> NewRibbonUI(AddinRecord* addin) {
    return ComPtr<IRibbonUI>::adopt(new (std::nothrow) RibbonUIObject(addin));
}

void DetachRibbonUI(IRibbonUI* ui) {
    // Every IRibbonUI the host hands out is one of ours.
    if (ui) static_cast<RibbonUIObject*>(ui)->Detach();
}

// ---------------------------------------------------------------------------------------------
namespace {

// Calls one named callback; `args` are in call order (first = the ribbon control). The host
// owns the variants in `args`.
HRESULT InvokeCallback(AddinRecord* addin, const std::string& attr, const std::string& name, std::vector<VARIANT>& args,
                       const std::string& argText, VARIANT* result) {
    std::string call = "callback " + attr + "=" + name + "(" + argText + ")";
    if (!addin->callbacks) {
        Log("host->", call + " = E_NOINTERFACE (the add-in has no IDispatch)");
        return E_NOINTERFACE;
    }
    std::wstring wname = Wide(name);
    LPOLESTR names[1] = {&wname[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = addin->callbacks->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        Log("host->", call + ": GetIDsOfNames = " + HrText(hr) + "; not called");
        return hr;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    kv::ExcepInfo ex;
    UINT argErr = 0;
    if (result) VariantInit(result);
    hr = addin->callbacks->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, ex.put(),
                                  &argErr);
    std::string text = call + " dispid=" + std::to_string(id) + " = " + HrText(hr);
    if (result && SUCCEEDED(hr)) text += " result=" + Describe(*result);
    Log("host->", text);
    return hr;
}

VARIANT DispatchArg(IDispatch* d) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = d;
    return v;
}

std::string ControlArgText(const RibbonItem& item) {
    return "control=" + Quote(Wide(item.node->Id()));
}

// Takes the picture from a getImage result: a copy of its bitmap or icon, owned by the item.
void TakeImage(RibbonItem& item, const VARIANT& v) {
    IUnknown* unk = nullptr;
    if (V_VT(&v) == VT_DISPATCH)
        unk = V_DISPATCH(&v);
    else if (V_VT(&v) == VT_UNKNOWN)
        unk = V_UNKNOWN(&v);
    if (!unk) {
        Log("host", "getImage of " + Quote(Wide(item.node->Id())) + " returned no picture");
        return;
    }
    ComPtr<IPicture> pic;
    if (FAILED(unk->QueryInterface(IID_IPicture, pic.putVoid())) || !pic) {
        Log("host", "getImage of " + Quote(Wide(item.node->Id())) + " returned an object without IPicture");
        return;
    }
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    pic->get_Type(&type);
    pic->get_Handle(&handle);
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle));
    if (type == PICTYPE_BITMAP && h) {
        BITMAP bm{};
        GetObjectW(h, sizeof bm, &bm);
        item.bitmap.reset(CopyImage(h, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        Log("host", "image of " + Quote(Wide(item.node->Id())) + ": bitmap " + std::to_string(bm.bmWidth) + "x" +
                        std::to_string(bm.bmHeight) + " " + std::to_string(bm.bmBitsPixel) + " bpp");
    } else if (type == PICTYPE_ICON && h) {
        ICONINFO ii{};
        int w = 0, hgt = 0;
        if (GetIconInfo(static_cast<HICON>(h), &ii)) {
            kv::UniqueBitmap color(ii.hbmColor), mask(ii.hbmMask);  // GetIconInfo made copies for us
            BITMAP bm{};
            GetObjectW(color ? color.get() : mask.get(), sizeof bm, &bm);
            w = bm.bmWidth;
            hgt = color ? bm.bmHeight : bm.bmHeight / 2;
        }
        item.icon.reset(CopyIcon(static_cast<HICON>(h)));
        Log("host",
            "image of " + Quote(Wide(item.node->Id())) + ": icon " + std::to_string(w) + "x" + std::to_string(hgt));
    } else {
        Log("host",
            "image of " + Quote(Wide(item.node->Id())) + ": picture type " + std::to_string(type) + " not shown");
    }
}

void QueryItem(Frame* frame, RibbonItem& item) {
    const RibbonNode& n = *item.node;
    item.visible = n.Attr("visible") != "false";
    if (n.Has("getVisible")) {
        std::vector<VARIANT> args{DispatchArg(item.control.get())};
        Variant result;
        if (SUCCEEDED(InvokeCallback(item.addin, "getVisible", n.Attr("getVisible"), args, ControlArgText(item),
                                     result.get()))) {
            bool b = true;
            // A callback that answers nothing leaves the control as it is.
            if (V_VT(&result.v()) != VT_EMPTY && SUCCEEDED(VariantToBool(result.v(), b))) item.visible = b;
        }
    }
    if (n.Has("getImage")) {
        std::vector<VARIANT> args{DispatchArg(item.control.get())};
        Variant result;
        if (SUCCEEDED(
                InvokeCallback(item.addin, "getImage", n.Attr("getImage"), args, ControlArgText(item), result.get())))
            TakeImage(item, result.v());
    }
    (void)frame;
}

LRESULT CALLBACK EditSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    if (msg == WM_KEYDOWN && wp == VK_RETURN) {
        Host& h = Host::Get();
        Frame* frame = h.FrameOf(GetParent(hwnd));
        if (frame) h.CommitEditBox(frame, reinterpret_cast<RibbonItem*>(ref));
        return 0;
    }
    if (msg == WM_CHAR && (wp == L'\r' || wp == L'\n')) return 0;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FrameRebuildSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == kRebuildRibbon) {
        Host& h = Host::Get();
        if (Frame* f = h.FrameOf(hwnd)) h.BuildRibbon(f);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

RibbonItem* Host::FindRibbonItem(Frame* frame, const std::string& id) {
    for (auto& item : frame->ribbon)
        if (item->node->Id() == id) return item.get();
    return nullptr;
}

RibbonItem* Host::FindRibbonItem(Frame* frame, int commandId) {
    for (auto& item : frame->ribbon)
        if (item->commandId == commandId) return item.get();
    return nullptr;
}

void Host::BuildRibbon(Frame* frame) {
    SetWindowSubclass(frame->hwnd, FrameRebuildSubclass, 1, 0);
    // Keep what the user typed or ticked across a rebuild.
    struct Kept {
        std::wstring text, committed;
        bool checked;
    };
    std::map<std::string, Kept> kept;
    for (auto& item : frame->ribbon) {
        if (item->hwnd) {
            kept[item->node->Id()] = {WindowText(item->hwnd), item->committedText, item->checked};
            DestroyWindow(item->hwnd);
        }
    }
    frame->ribbon.clear();
    frame->tabs.clear();
    frame->groups.clear();
    RibbonMetrics metrics;
    int left = 0;
    int nextId = kFirstCommandId;
    bool any = false;
    for (auto& addin : addins) {
        if (!addin->ribbon.ok) continue;
        any = true;
        std::vector<const RibbonNode*> nodes;
        CollectRibbonControls(addin->ribbon.root, nodes);
        std::map<const RibbonNode*, RibbonItem*> byNode;
        for (const RibbonNode* n : nodes) {
            if (n->kind != RibbonKind::Label && n->kind != RibbonKind::EditBox && n->kind != RibbonKind::Button &&
                n->kind != RibbonKind::CheckBox && n->kind != RibbonKind::Tab && n->kind != RibbonKind::Group &&
                n->kind != RibbonKind::Box)
                continue;
            auto item = std::make_unique<RibbonItem>();
            item->node = n;
            item->addin = addin.get();
            item->control = NewRibbonControl(Wide(n->Id()), Wide(n->Attr("tag")), frame);
            QueryItem(frame, *item);
            byNode[n] = item.get();
            frame->ribbon.push_back(std::move(item));
        }
        auto visibleFn = [&byNode](const RibbonNode& n) {
            auto it = byNode.find(&n);
            if (it != byNode.end()) return it->second->visible;
            return n.Attr("visible") != "false";
        };
        RibbonLayoutResult layout = LayoutRibbon(addin->ribbon.root, left, TextWidthPx, visibleFn, metrics);
        frame->tabs.insert(frame->tabs.end(), layout.tabs.begin(), layout.tabs.end());
        frame->groups.insert(frame->groups.end(), layout.groups.begin(), layout.groups.end());
        for (const PlacedControl& p : layout.controls) {
            RibbonItem* item = nullptr;
            auto it = byNode.find(p.node);
            if (it != byNode.end()) item = it->second;
            if (!item) continue;
            item->large = p.large;
            item->commandId = nextId++;
            const RibbonNode& n = *p.node;
            std::wstring label = Wide(n.Attr("label"));
            HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(item->commandId));
            HINSTANCE inst = GetModuleHandleW(nullptr);
            const auto& r = p.rect;
            switch (n.kind) {
                case RibbonKind::Label:
                    item->hwnd =
                        CreateWindowExW(0, L"STATIC", label.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE,
                                        r.left, r.top, r.width, r.height, frame->hwnd, id, inst, nullptr);
                    break;
                case RibbonKind::EditBox: {
                    item->hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, r.left, r.top,
                                                 r.width, r.height, frame->hwnd, id, inst, nullptr);
                    SetWindowSubclass(item->hwnd, EditSubclass, 1, reinterpret_cast<DWORD_PTR>(item));
                    auto k = kept.find(n.Id());
                    if (k != kept.end()) {
                        SetWindowTextW(item->hwnd, k->second.text.c_str());
                        item->committedText = k->second.committed;
                    }
                    break;
                }
                case RibbonKind::CheckBox: {
                    item->hwnd = CreateWindowExW(0, L"BUTTON", label.c_str(),
                                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, r.left, r.top,
                                                 r.width, r.height, frame->hwnd, id, inst, nullptr);
                    auto k = kept.find(n.Id());
                    if (k != kept.end()) item->checked = k->second.checked;
                    SendMessageW(item->hwnd, BM_SETCHECK, item->checked ? BST_CHECKED : BST_UNCHECKED, 0);
                    break;
                }
                case RibbonKind::Button:
                    item->hwnd =
                        CreateWindowExW(0, L"BUTTON", label.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                                        r.left, r.top, r.width, r.height, frame->hwnd, id, inst, nullptr);
                    break;
                default: break;
            }
            if (item->hwnd) SendMessageW(item->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        left += layout.width + metrics.gap;
    }
    frame->ribbonHeight = any ? metrics.stripHeight() : metrics.headerHeight;
    LayoutFrame(frame);
}

void Host::InvalidateRibbon(AddinRecord*, const std::wstring&) {
    // Rebuilt later: the request may come from inside a callback of a control about to be replaced.
    for (auto& f : frames) PostMessageW(f->hwnd, kRebuildRibbon, 0, 0);
}

void Host::OnRibbonCommand(Frame* frame, RibbonItem* item, int notification) {
    const RibbonNode& n = *item->node;
    if (n.kind == RibbonKind::EditBox) {
        if (notification == EN_KILLFOCUS) CommitEditBox(frame, item);
        return;
    }
    if (notification != BN_CLICKED) return;
    if (!n.Has("onAction")) {
        Log("host", "control " + Quote(Wide(n.Id())) + " clicked; it has no onAction");
        return;
    }
    std::vector<VARIANT> args{DispatchArg(item->control.get())};
    std::string argText = ControlArgText(*item);
    if (n.kind == RibbonKind::CheckBox) {
        item->checked = SendMessageW(item->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
        VARIANT pressed;
        VariantInit(&pressed);
        V_VT(&pressed) = VT_BOOL;
        V_BOOL(&pressed) = item->checked ? VARIANT_TRUE : VARIANT_FALSE;
        args.push_back(pressed);
        argText += std::string(", pressed=") + (item->checked ? "true" : "false");
    }
    Variant result;
    InvokeCallback(item->addin, "onAction", n.Attr("onAction"), args, argText, result.get());
}

HRESULT Host::CommitEditBox(Frame* frame, RibbonItem* item) {
    (void)frame;
    std::wstring text = WindowText(item->hwnd);
    if (text == item->committedText) return S_FALSE;  // like the hosts: onChange only for a change
    item->committedText = text;
    const RibbonNode& n = *item->node;
    if (!n.Has("onChange")) {
        Log("host", "edit box " + Quote(Wide(n.Id())) + " committed; it has no onChange");
        return S_OK;
    }
    Bstr b(text);
    VARIANT tv;
    VariantInit(&tv);
    V_VT(&tv) = VT_BSTR;
    V_BSTR(&tv) = b.get();
    std::vector<VARIANT> args{DispatchArg(item->control.get()), tv};
    Variant result;
    return InvokeCallback(item->addin, "onChange", n.Attr("onChange"), args,
                          ControlArgText(*item) + ", text=" + Quote(text), result.get());
}

void Host::DrawRibbonItem(const DRAWITEMSTRUCT* dis) {
    if (!dis || dis->CtlType != ODT_BUTTON) return;
    Frame* frame = FrameOf(GetParent(dis->hwndItem));
    RibbonItem* item = frame ? FindRibbonItem(frame, static_cast<int>(dis->CtlID)) : nullptr;
    HDC dc = dis->hDC;
    RECT r = dis->rcItem;
    bool pressed = (dis->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(pressed ? COLOR_BTNSHADOW : COLOR_BTNFACE));
    if (pressed || (dis->itemState & ODS_FOCUS)) DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : BDR_RAISEDINNER, BF_RECT);
    if (!item) return;
    std::wstring label = WindowText(dis->hwndItem);
    bool launcher = item->node->Id().empty() || (r.right - r.left) <= 16;
    kv::SelectedObject f(dc, font);
    SetBkMode(dc, TRANSPARENT);
    if (launcher && label.empty()) {
        // The group's dialog launcher: a small corner arrow.
        MoveToEx(dc, r.left + 3, r.top + 3, nullptr);
        LineTo(dc, r.right - 4, r.bottom - 4);
        MoveToEx(dc, r.right - 4, r.top + 6, nullptr);
        LineTo(dc, r.right - 4, r.bottom - 4);
        LineTo(dc, r.left + 6, r.bottom - 4);
        return;
    }
    int size = item->large ? 32 : 16;
    int ix = item->large ? (r.left + r.right - size) / 2 : r.left + 3;
    int iy = item->large ? r.top + 4 : (r.top + r.bottom - size) / 2;
    bool hasImage = false;
    if (item->icon) {
        DrawIconEx(dc, ix, iy, item->icon.get(), size, size, 0, nullptr, DI_NORMAL);
        hasImage = true;
    } else if (item->bitmap) {
        kv::UniqueMemoryDc mem(CreateCompatibleDC(dc));
        kv::SelectedObject sel(mem.get(), item->bitmap.get());
        BITMAP bm{};
        GetObjectW(item->bitmap.get(), sizeof bm, &bm);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, ix, iy, size, size, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
        hasImage = true;
    } else if (item->node->Has("imageMso") || item->node->Has("getImage")) {
        // A built-in image this host does not have: a plain placeholder square.
        RECT ph{ix, iy, ix + size, iy + size};
        FrameRect(dc, &ph, GetSysColorBrush(COLOR_BTNSHADOW));
        hasImage = true;
    }
    RECT tr = r;
    UINT fmt = DT_SINGLELINE | DT_END_ELLIPSIS;
    if (item->large) {
        tr.top = r.top + 40;
        fmt = DT_CENTER | DT_WORDBREAK;
    } else {
        tr.left = hasImage ? r.left + 22 : r.left + 4;
        fmt |= DT_VCENTER;
    }
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &tr, fmt);
}

void Host::PaintRibbonStrip(Frame* frame, HDC dc) {
    RECT client;
    GetClientRect(frame->hwnd, &client);
    RECT strip{0, 0, client.right, frame->ribbonHeight};
    FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
    kv::SelectedObject f(dc, font);
    SetBkMode(dc, TRANSPARENT);
    RibbonMetrics m;
    RECT header{0, 0, client.right, m.headerHeight};
    FillRect(dc, &header, GetSysColorBrush(COLOR_ACTIVECAPTION));
    SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
    for (const auto& t : frame->tabs) {
        RECT r{t.rect.left, t.rect.top + 2, t.rect.right(), t.rect.bottom()};
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        std::wstring label = Wide(t.node->Attr("label"));
        DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    for (const auto& g : frame->groups) {
        RECT r{g.rect.left, g.rect.top, g.rect.right(), g.rect.bottom()};
        MoveToEx(dc, r.right, r.top + 2, nullptr);
        LineTo(dc, r.right, r.bottom - 2);
        RECT label{r.left, r.bottom - m.groupLabelHeight, r.right - m.launcherSize, r.bottom};
        std::wstring text = Wide(g.node->Attr("label"));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    MoveToEx(dc, 0, frame->ribbonHeight - 1, nullptr);
    LineTo(dc, client.right, frame->ribbonHeight - 1);
}

}  // namespace hostsim
