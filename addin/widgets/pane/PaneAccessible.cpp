#include "addin/widgets/pane/PaneAccessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>
#include <utility>

#include "addin/base/com/ComObject.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

constexpr UINT_PTR kSubclassId = 0x4B564143;  // "KVAC"

// The import library's IID_IAccessible is no data symbol (it resolves to a thunk): the id
// comes from the interface's declaration.
const IID& kIidAccessible = __uuidof(IAccessible);

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT GiveText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The system's object with our texts in front of it.
class PaneAccessibleObject final : public ComObject<PaneAccessibleObject, IAccessible> {
public:
    static const InterfaceEntry* Interfaces() {
        static const InterfaceEntry table[] = {
            KV_INTERFACE(PaneAccessibleObject, IAccessible), KV_INTERFACE(PaneAccessibleObject, IDispatch), {}};
        return table;
    }
    PaneAccessibleObject(ComPtr<IAccessible> inner, AccessibleText text)
        : inner_(std::move(inner)), text_(std::move(text)) {}

    // IDispatch: the system object's.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { return inner_->GetTypeInfoCount(n); }
    STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return inner_->GetTypeInfo(i, l, t); }
    STDMETHODIMP GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
        return inner_->GetIDsOfNames(r, n, c, l, d);
    }
    STDMETHODIMP Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e, UINT* a) override {
        return inner_->Invoke(d, r, l, f, p, v, e, a);
    }

    // IAccessible: ours for the window itself, the system's otherwise.
    STDMETHODIMP get_accParent(IDispatch** p) override { return inner_->get_accParent(p); }
    STDMETHODIMP get_accChildCount(long* n) override { return inner_->get_accChildCount(n); }
    STDMETHODIMP get_accChild(VARIANT c, IDispatch** p) override { return inner_->get_accChild(c, p); }
    STDMETHODIMP get_accName(VARIANT c, BSTR* out) override {
        return IsSelf(c) ? GiveText(text_.name, out) : inner_->get_accName(c, out);
    }
    STDMETHODIMP get_accValue(VARIANT c, BSTR* out) override {
        if (!IsSelf(c) || text_.role != ROLE_SYSTEM_TEXT) return inner_->get_accValue(c, out);
        return GiveText(text_.value, out);
    }
    STDMETHODIMP get_accDescription(VARIANT c, BSTR* out) override {
        return IsSelf(c) ? GiveText(text_.description, out) : inner_->get_accDescription(c, out);
    }
    STDMETHODIMP get_accRole(VARIANT c, VARIANT* out) override {
        if (!IsSelf(c) || text_.role == 0) return inner_->get_accRole(c, out);
        if (!out) return E_POINTER;
        ::VariantInit(out);
        out->vt = VT_I4;
        out->lVal = text_.role;
        return S_OK;
    }
    STDMETHODIMP get_accState(VARIANT c, VARIANT* out) override {
        const HRESULT hr = inner_->get_accState(c, out);
        if (FAILED(hr) || !IsSelf(c) || !out || out->vt != VT_I4) return hr;
        if (text_.expanded == AccessibleText::Expanded::Open) out->lVal |= STATE_SYSTEM_EXPANDED;
        if (text_.expanded == AccessibleText::Expanded::Closed) out->lVal |= STATE_SYSTEM_COLLAPSED;
        return hr;
    }
    STDMETHODIMP get_accHelp(VARIANT c, BSTR* out) override { return inner_->get_accHelp(c, out); }
    STDMETHODIMP get_accHelpTopic(BSTR* f, VARIANT c, long* t) override { return inner_->get_accHelpTopic(f, c, t); }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT c, BSTR* out) override {
        return inner_->get_accKeyboardShortcut(c, out);
    }
    STDMETHODIMP get_accFocus(VARIANT* out) override { return inner_->get_accFocus(out); }
    STDMETHODIMP get_accSelection(VARIANT* out) override { return inner_->get_accSelection(out); }
    STDMETHODIMP get_accDefaultAction(VARIANT c, BSTR* out) override { return inner_->get_accDefaultAction(c, out); }
    STDMETHODIMP accSelect(long f, VARIANT c) override { return inner_->accSelect(f, c); }
    STDMETHODIMP accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
        return inner_->accLocation(x, y, w, h, c);
    }
    STDMETHODIMP accNavigate(long d, VARIANT s, VARIANT* e) override { return inner_->accNavigate(d, s, e); }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* c) override { return inner_->accHitTest(x, y, c); }
    STDMETHODIMP accDoDefaultAction(VARIANT c) override { return inner_->accDoDefaultAction(c); }
    STDMETHODIMP put_accName(VARIANT c, BSTR n) override { return inner_->put_accName(c, n); }
    STDMETHODIMP put_accValue(VARIANT c, BSTR v) override { return inner_->put_accValue(c, v); }

private:
    ~PaneAccessibleObject() override = default;

    ComPtr<IAccessible> inner_;
    AccessibleText text_;  // read when the question came: a later one makes a new object
};

LRESULT Answer(HWND window, WPARAM wp, const AccessibleSource& source) {
    ComPtr<IAccessible> inner;
    if (FAILED(::CreateStdAccessibleObject(window, OBJID_CLIENT, kIidAccessible, inner.putVoid())) || !inner) {
        return 0;
    }
    AccessibleText text = source();
    ComPtr<IAccessible> mine;
    if (FAILED(
            CreateComObject<PaneAccessibleObject>(kIidAccessible, mine.putVoid(), std::move(inner), std::move(text)))) {
        return 0;
    }
    return ::LresultFromObject(kIidAccessible, wp, mine.get());
}

LRESULT CALLBACK AccessibleProc(HWND window, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* source = reinterpret_cast<AccessibleSource*>(data);
    if (msg == WM_GETOBJECT && static_cast<DWORD>(lp) == static_cast<DWORD>(OBJID_CLIENT)) {
        LRESULT answer = 0;
        Guard([&] {
            answer = Answer(window, wp, *source);
            return S_OK;
        });
        if (answer) return answer;
    } else if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, AccessibleProc, kSubclassId);
        delete source;
    }
    return ::DefSubclassProc(window, msg, wp, lp);
}

}  // namespace

bool AttachAccessible(HWND window, AccessibleSource source) {
    if (!window || !source) return false;
    auto* held = new (std::nothrow) AccessibleSource(std::move(source));
    if (!held) return false;
    if (!::SetWindowSubclass(window, AccessibleProc, kSubclassId, reinterpret_cast<DWORD_PTR>(held))) {
        delete held;
        return false;
    }
    return true;
}

}  // namespace kv
