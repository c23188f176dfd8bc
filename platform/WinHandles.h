// The one set of owners for Windows handles, COM pointers, BSTRs and VARIANTs, and GDI
// objects, selections and device contexts. Every handle the Windows code touches is held by one
// of these; nothing else calls CloseHandle, RegCloseKey, DeleteObject, Release or LocalFree.
// Windows builds only; the portable core never includes it.
#pragma once
#include <winsock2.h>  // before windows.h, which would otherwise bring the old winsock.h
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/UniqueResource.h"

namespace kv {

// Runs the body of an interface method or an exported function. No exception may leave through
// a COM boundary, so whatever the body throws becomes an HRESULT.
template <class F>
HRESULT Guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

namespace handle_close {
inline void Kernel(HANDLE h) {
    ::CloseHandle(h);
}
inline void Key(HKEY h) {
    ::RegCloseKey(h);
}
inline void Module(HMODULE h) {
    ::FreeLibrary(h);
}
inline void Window(HWND h) {
    if (::IsWindow(h)) ::DestroyWindow(h);
}
inline void Gdi(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void Font(HFONT h) {
    ::DeleteObject(h);
}
inline void Brush(HBRUSH h) {
    ::DeleteObject(h);
}
inline void Bitmap(HBITMAP h) {
    ::DeleteObject(h);
}
inline void Pen(HPEN h) {
    ::DeleteObject(h);
}
inline void Region(HRGN h) {
    ::DeleteObject(h);
}
inline void Icon(HICON h) {
    ::DestroyIcon(h);
}
inline void MemoryDc(HDC h) {
    ::DeleteDC(h);
}
inline void Local(HLOCAL h) {
    ::LocalFree(h);
}
inline void Menu(HMENU h) {
    ::DestroyMenu(h);
}
inline void View(void* v) {
    ::UnmapViewOfFile(v);
}
// Only programs that use sockets call this, and they link ws2_32.
inline void Socket(SOCKET s) {
    ::closesocket(s);
}
}  // namespace handle_close

// Kernel handles come in two flavours of "none": most calls give NULL, files and mappings
// opened by CreateFile give INVALID_HANDLE_VALUE.
using UniqueKernelHandle = UniqueResource<HANDLE, decltype(&handle_close::Kernel), &handle_close::Kernel>;
struct FileTraits {
    using type = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FindTraits {
    using type = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::FindClose(h); }
};
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKey = UniqueResource<HKEY, decltype(&handle_close::Key), &handle_close::Key>;
using UniqueModule = UniqueResource<HMODULE, decltype(&handle_close::Module), &handle_close::Module>;
using UniqueWindow = UniqueResource<HWND, decltype(&handle_close::Window), &handle_close::Window>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, decltype(&handle_close::Gdi), &handle_close::Gdi>;
using UniqueFont = UniqueResource<HFONT, decltype(&handle_close::Font), &handle_close::Font>;
using UniqueBrush = UniqueResource<HBRUSH, decltype(&handle_close::Brush), &handle_close::Brush>;
using UniqueBitmap = UniqueResource<HBITMAP, decltype(&handle_close::Bitmap), &handle_close::Bitmap>;
using UniquePen = UniqueResource<HPEN, decltype(&handle_close::Pen), &handle_close::Pen>;
using UniqueRegion = UniqueResource<HRGN, decltype(&handle_close::Region), &handle_close::Region>;
// Only for icons made by CreateIcon*/CopyImage or loaded with LR_DEFAULTSIZE without LR_SHARED.
using UniqueIcon = UniqueResource<HICON, decltype(&handle_close::Icon), &handle_close::Icon>;
using UniqueMemoryDc = UniqueResource<HDC, decltype(&handle_close::MemoryDc), &handle_close::MemoryDc>;
using UniqueLocal = UniqueResource<HLOCAL, decltype(&handle_close::Local), &handle_close::Local>;
using UniqueMenu = UniqueResource<HMENU, decltype(&handle_close::Menu), &handle_close::Menu>;
// A view of a file mapping from MapViewOfFile.
using UniqueView = UniqueResource<void*, decltype(&handle_close::View), &handle_close::View>;
using UniqueSocket = UniqueResource<SOCKET, decltype(&handle_close::Socket), &handle_close::Socket, INVALID_SOCKET>;

// One counted reference to a COM interface.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference: the caller keeps its own.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    // Takes over a reference the caller already owns (an out parameter filled elsewhere).
    static ComPtr adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For the out parameter of a creating call; releases what was held first.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Hands the reference to the caller (an out parameter of ours).
    T* release() { return std::exchange(p_, nullptr); }
    template <class U>
    HRESULT as(REFIID iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->putVoid());
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(s ? ::SysAllocString(s) : nullptr) {}
    explicit Bstr(const std::wstring& s) : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            ::SysFreeString(b_);
            b_ = std::exchange(o.b_, nullptr);
        }
        return *this;
    }
    ~Bstr() { ::SysFreeString(b_); }
    BSTR get() const { return b_; }
    BSTR* put() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    BSTR release() { return std::exchange(b_, nullptr); }
    UINT length() const { return b_ ? ::SysStringLen(b_) : 0; }
    std::wstring str() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT& v() { return v_; }
    const VARIANT& v() const { return v_; }
    // Clears what was held, for an out parameter.
    VARIANT* put() {
        ::VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// A row of VARIANTs for one DISPPARAMS: initialised on construction, all cleared at scope exit.
class VariantArray {
public:
    explicit VariantArray(size_t count) : v_(count) {
        for (VARIANT& v : v_) ::VariantInit(&v);
    }
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;
    ~VariantArray() {
        for (VARIANT& v : v_) ::VariantClear(&v);
    }
    size_t size() const { return v_.size(); }
    VARIANT* data() { return v_.empty() ? nullptr : v_.data(); }
    VARIANT& operator[](size_t i) { return v_[i]; }

private:
    std::vector<VARIANT> v_;
};

// The strings an Invoke may fill into its EXCEPINFO, freed at scope exit.
class ExcepInfo {
public:
    ExcepInfo() = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() { clear(); }
    // For Invoke's out parameter; frees what an earlier call left first.
    EXCEPINFO* put() {
        clear();
        return &e_;
    }
    const EXCEPINFO& info() const { return e_; }

private:
    void clear() {
        ::SysFreeString(e_.bstrSource);
        ::SysFreeString(e_.bstrDescription);
        ::SysFreeString(e_.bstrHelpFile);
        e_ = EXCEPINFO{};
    }
    EXCEPINFO e_{};
};

// A window's DC from GetDC, released at scope exit.
class WindowDc {
public:
    explicit WindowDc(HWND w) : w_(w), dc_(::GetDC(w)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ::ReleaseDC(w_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

// BeginPaint/EndPaint for one WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND w) : w_(w) { dc_ = ::BeginPaint(w_, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { ::EndPaint(w_, &ps_); }
    HDC get() const { return dc_; }
    const RECT& dirty() const { return ps_.rcPaint; }

private:
    HWND w_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// Selects an object into a DC and puts the previous one back at scope exit.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// SaveDC/RestoreDC around drawing that changes colours, modes or clipping.
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;
    ~SavedDcState() {
        if (saved_) ::RestoreDC(dc_, saved_);
    }

private:
    HDC dc_;
    int saved_;
};

// CoInitializeEx on this thread, undone only when it was this call that initialised it
// (S_OK or S_FALSE), so a caller never tears down an apartment it did not make.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(::CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace kv
