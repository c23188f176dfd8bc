// The event sink on a host application's connection point, for every event interface the
// add-in connects to: the add-in object's document-open events and the host model's events.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include "addin/base/com/ComObject.h"
#include "platform/WinHandles.h"

namespace kv {

// Whoever takes the events of an ApplicationEventSink.
class ApplicationEventReceiver {
public:
    virtual ~ApplicationEventReceiver() = default;
    // eventInterface is the sink's; params are as the host passed them (arguments last first).
    virtual void OnApplicationEvent(REFIID eventInterface, DISPID id, const DISPPARAMS* params) = 0;
};

// An IDispatch that also answers one event interface's id, and hands each event to its
// receiver until it is disconnected; the host may hold it longer, it then forwards nothing.
class ApplicationEventSink final : public ComObject<ApplicationEventSink, IDispatch> {
public:
    ApplicationEventSink(REFIID eventInterface, ApplicationEventReceiver& receiver)
        : iid_(eventInterface), receiver_(&receiver) {}

    static const InterfaceEntry* Interfaces();

    // IUnknown and IDispatch from the table, and the event interface's id as IDispatch.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

    // Advises the source's connection point of the event interface.
    HRESULT Connect(IUnknown* source);
    bool connected() const { return static_cast<bool>(point_); }
    // Unadvises and forgets the receiver: no event reaches it after this.
    void Disconnect();

private:
    ~ApplicationEventSink() override = default;

    IID iid_;
    ApplicationEventReceiver* receiver_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace kv
