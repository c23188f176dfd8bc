// The non-template parts of the ActiveX control framework (ActiveXControl.h): the stock
// property values and their persistence, connection points and their enumerators, and the
// control's window class.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "addin/base/com/ComObject.h"
#include "platform/WinHandles.h"

namespace kv {

// The OLEMISC status of this module's controls (IOleObject::GetMiscStatus, the MiscStatus
// registry entry): recompose on resize, cannot link inside, inside-out, activate when visible,
// set the client site first.
constexpr DWORD kControlMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                     OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
static_assert(kControlMiscStatus == 131473, "the status the controls have always reported");

// The stock properties a control holds. Booleans are kept as VARIANT_TRUE / VARIANT_FALSE.
struct StockProperties {
    VARIANT_BOOL autoSize = VARIANT_FALSE;
    OLE_COLOR backColor = 0;
    long backStyle = 0;
    OLE_COLOR borderColor = 0;
    long borderStyle = 0;
    long borderWidth = 0;
    long drawMode = 0;
    long drawStyle = 0;
    long drawWidth = 0;
    OLE_COLOR fillColor = 0;
    long fillStyle = 0;
    ComPtr<IFontDisp> font;
    OLE_COLOR foreColor = 0;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    VARIANT_BOOL tabStop = VARIANT_FALSE;
    std::wstring text;
    std::wstring caption;
    VARIANT_BOOL borderVisible = VARIANT_FALSE;
    short appearance = 0;
    long mousePointer = 0;
    ComPtr<IPictureDisp> mouseIcon;
    ComPtr<IPictureDisp> picture;
    VARIANT_BOOL valid = VARIANT_FALSE;
    long readyState = READYSTATE_COMPLETE;  // a control of ours loads nothing asynchronously
};

// Persistence of the extent and of the stock properties that are plain values (Font, MouseIcon
// and Picture are objects and are not persisted). A load reads everything first and changes
// *props and *extent only when the whole record was read and is valid.
HRESULT SaveStockToStream(IStream* stream, const StockProperties& props, const SIZEL& extent);
HRESULT LoadStockFromStream(IStream* stream, StockProperties* props, SIZEL* extent);
ULONG StockStreamSize(const StockProperties& props);
// Property bags hold the same values under the stock property names; a missing name keeps
// its value, a value that does not convert fails the whole load.
HRESULT SaveStockToBag(IPropertyBag* bag, const StockProperties& props);
HRESULT LoadStockFromBag(IPropertyBag* bag, IErrorLog* log, StockProperties* props);

// A connection point of a control: its references are the control's own (AddRef and Release
// go to the container's controlling unknown), so it lives exactly as long as the control.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* container, const IID& iid) : container_(container), iid_(iid) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // IUnknown and IConnectionPoint, both this point.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    const IID& iid() const { return iid_; }
    // A copy of the connected sinks, so a sink may unadvise while it is being called.
    std::vector<ComPtr<IUnknown>> Sinks() const;
    void Clear() { sinks_.clear(); }

private:
    IConnectionPointContainer* container_;
    IID iid_;
    std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks_;
    DWORD nextCookie_ = 1;
};

// An enumerator over a snapshot of items; keeps its source object alive while it exists.
//   Policy::Copy(Item& out, const Stored& in) fills one output element (with its reference).
template <class Enum, const IID* EnumIid, class Item, class Stored, class Policy>
class SnapshotEnumerator final : public ComObject<SnapshotEnumerator<Enum, EnumIid, Item, Stored, Policy>, Enum> {
public:
    SnapshotEnumerator(IUnknown* source, std::vector<Stored> items, size_t position = 0)
        : source_(source), items_(std::move(items)), position_(position) {}

    // IUnknown and the enumerator's own interface.
    static const InterfaceEntry* Interfaces() {
        static const InterfaceEntry table[] = {KV_INTERFACE_AS(SnapshotEnumerator, *EnumIid, Enum), {}};
        return table;
    }
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && position_ < items_.size()) Policy::Copy(out[n++], items_[position_++]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = items_.size() - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Enum** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&]() -> HRESULT {
            auto* copy = new (std::nothrow) SnapshotEnumerator(source_.get(), items_, position_);
            if (!copy) return E_OUTOFMEMORY;
            *out = copy;
            return S_OK;
        });
    }

private:
    ~SnapshotEnumerator() override = default;

    ComPtr<IUnknown> source_;
    std::vector<Stored> items_;
    size_t position_;
};

struct ConnectionPointCopy {
    static void Copy(IConnectionPoint*& out, IConnectionPoint* const& in) {
        out = in;
        in->AddRef();
    }
};
using ConnectionPointEnumerator = SnapshotEnumerator<IEnumConnectionPoints, &IID_IEnumConnectionPoints,
                                                     IConnectionPoint*, IConnectionPoint*, ConnectionPointCopy>;

// The window every control of this module creates on in-place activation; a child of the
// container's window. Messages go to HandleMessage until WM_NCDESTROY.
class ControlWindow {
public:
    HWND Window() const { return hwnd_; }

protected:
    ControlWindow() = default;
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;
    ~ControlWindow() = default;

    // Creates the window (WM_CREATE reaches HandleMessage before this returns).
    HWND CreateControlWindow(HWND parent, const RECT& position);
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The framework's face: a frame with the text centred in bounds.
void DrawDefaultFace(HDC dc, const RECT& bounds, const wchar_t* text);
// The text the default face shows: the framework's version.
extern const wchar_t kControlFrameworkVersionText[];

}  // namespace kv
