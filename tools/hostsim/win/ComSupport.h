// Small RAII owners for COM pointers, BSTRs, VARIANTs and GDI/window handles, plus text
// conversions. Every handle the host touches is owned by one of these.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <utility>

namespace hostsim {

// Runs the body of an interface method. No exception may leave through a COM interface, so
// whatever the body throws becomes an HRESULT: E_OUTOFMEMORY for a failed allocation,
// E_UNEXPECTED for anything else.
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

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }  // NOLINT: adds a reference
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  static ComPtr Adopt(T* p) { ComPtr c; c.p_ = p; return c; }
  void Reset() { if (p_) { T* p = p_; p_ = nullptr; p->Release(); } }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Out() { Reset(); return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* Detach() { T* p = p_; p_ = nullptr; return p; }
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out.OutVoid());
  }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : b_(o.b_) { o.b_ = nullptr; }
  ~Bstr() { SysFreeString(b_); }
  BSTR Get() const { return b_; }
  BSTR* Out() { SysFreeString(b_); b_ = nullptr; return &b_; }
  BSTR Detach() { BSTR b = b_; b_ = nullptr; return b; }
  std::wstring Str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

 private:
  BSTR b_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* operator&() { return &v_; }
  VARIANT& v() { return v_; }
  const VARIANT& v() const { return v_; }
  VARIANT* Out() { VariantClear(&v_); return &v_; }

 private:
  VARIANT v_;
};

// One owner type per kind of handle, from one template.
template <class H, class Traits>
class Handle {
 public:
  Handle() = default;
  explicit Handle(H h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = H(); }
  Handle& operator=(Handle&& o) noexcept { if (this != &o) { Reset(); h_ = o.h_; o.h_ = H(); } return *this; }
  ~Handle() { Reset(); }
  void Reset(H h = H()) { if (h_) Traits::Close(h_); h_ = h; }
  H Get() const { return h_; }
  H Release() { H h = h_; h_ = H(); return h; }
  explicit operator bool() const { return h_ != H(); }

 private:
  H h_ = H();
};

struct GdiTraits { static void Close(HGDIOBJ h) { DeleteObject(h); } };
struct IconTraits { static void Close(HICON h) { DestroyIcon(h); } };
struct KernelTraits { static void Close(HANDLE h) { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); } };
struct KeyTraits { static void Close(HKEY h) { RegCloseKey(h); } };
struct WindowTraits { static void Close(HWND h) { if (IsWindow(h)) DestroyWindow(h); } };
struct ModuleTraits { static void Close(HMODULE h) { FreeLibrary(h); } };

using GdiObject = Handle<HGDIOBJ, GdiTraits>;
using IconHandle = Handle<HICON, IconTraits>;
using KernelHandle = Handle<HANDLE, KernelTraits>;
using RegKey = Handle<HKEY, KeyTraits>;
using WindowHandle = Handle<HWND, WindowTraits>;
using ModuleHandle = Handle<HMODULE, ModuleTraits>;

// A screen DC or window DC released at scope exit.
class WindowDC {
 public:
  explicit WindowDC(HWND w) : w_(w), dc_(GetDC(w)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() { if (dc_) ReleaseDC(w_, dc_); }
  HDC Get() const { return dc_; }

 private:
  HWND w_;
  HDC dc_;
};

// Selects an object into a DC and restores the previous one at scope exit.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;
  ~SelectObjectScope() { if (old_) SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

class MemoryDC {
 public:
  explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  ~MemoryDC() { if (dc_) DeleteDC(dc_); }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

std::string Utf8(const std::wstring& w);
std::string Utf8(const wchar_t* w);
std::wstring Wide(const std::string& utf8);
std::string GuidText(REFGUID g);
std::string HrText(HRESULT hr);  // "S_OK", "E_NOINTERFACE", or "0x80004005"
std::wstring WindowText(HWND w);
std::wstring ExePath();

}  // namespace hostsim
