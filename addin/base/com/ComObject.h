// The IUnknown of this module's COM objects, written once: an interface table in the shape of
// the classic samples' QITAB (an interface id and where that interface sits in the object),
// a reference count, and the module count that keeps the library loaded while the object
// lives.
//
//   class Sink final : public ComObject<Sink, IDispatch, IFoo> {
//   public:
//       static const InterfaceEntry* Interfaces() {
//           static const InterfaceEntry table[] = {KV_INTERFACE(Sink, IFoo), KV_INTERFACE(Sink, IDispatch), {}};
//           return table;
//       }
//   private:
//       ~Sink() override = default;
//   };
//
// IID_IUnknown answers the table's first entry. Objects start with one reference (the
// creator's) and delete themselves at the last Release.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <new>
#include <utility>

#include "addin/base/com/ComServer.h"
#include "platform/WinHandles.h"

namespace kv {

struct InterfaceEntry {
    const IID* iid;         // null ends the table
    std::ptrdiff_t offset;  // from the object's start to the interface's
};

// Where Interface sits inside Class.
template <class Class, class Interface>
std::ptrdiff_t InterfaceOffset() {
    alignas(Class) static char probe[sizeof(Class)];
    Class* object = reinterpret_cast<Class*>(probe);
    return reinterpret_cast<char*>(static_cast<Interface*>(object)) - reinterpret_cast<char*>(object);
}

// An entry answering the interface's own id.
#define KV_INTERFACE(Class, Interface)                                  \
    ::kv::InterfaceEntry {                                              \
        &__uuidof(Interface), ::kv::InterfaceOffset<Class, Interface>() \
    }
// An entry answering iid with the given base (an IDispatch reached through one dual interface).
#define KV_INTERFACE_AS(Class, iid, Interface)            \
    ::kv::InterfaceEntry {                                \
        &(iid), ::kv::InterfaceOffset<Class, Interface>() \
    }

// The table lookup: E_POINTER for a null out pointer, E_NOINTERFACE (and null) for an id the
// table lacks; otherwise the interface with a reference added.
HRESULT QueryInterfaceTable(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept;

// Derived lists its interfaces in a static Interfaces() table; Interfaces are the COM
// interfaces it implements, Bases (their IUnknown methods are answered here).
template <class Derived, class... Bases>
class ComObject : public Bases... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceTable(static_cast<Derived*>(this), Derived::Interfaces(), iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    ComObject() { ModuleAddRef(); }
    virtual ~ComObject() { ModuleRelease(); }

private:
    LONG refs_ = 1;
};

// A new object of T handed out as iid (the creator's reference is given up either way); no
// exception leaves.
template <class T, class... Args>
HRESULT CreateComObject(REFIID iid, void** out, Args&&... args) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guard([&]() -> HRESULT {
        // The creator's reference, released when the query has added the caller's.
        ComPtr<T> object = ComPtr<T>::adopt(new (std::nothrow) T(std::forward<Args>(args)...));
        if (!object) return E_OUTOFMEMORY;
        return object->QueryInterface(iid, out);
    });
}

}  // namespace kv
