// The host object model over COM automation: IDispatch calls by name, the running-object
// table, class look-up and local-server creation, and connection-point events.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include "addin/base/host/HostModel.h"

namespace kv {

// Wraps an application object handed over by the host (takes its own reference); null for null.
HostObjectPtr WrapDispatch(IDispatch* dispatch);
// The IDispatch behind a wrapped object (no new reference), or null for other objects.
IDispatch* DispatchOf(const HostObject& object);

class DispatchEnvironment : public HostEnvironment {
public:
    HostObjectPtr GetRunningObject(const std::string& progId) override;
    bool ClassExists(const std::string& progId) override;
    HostObjectPtr CreateLocalServer(const std::string& progId) override;
};

}  // namespace kv
