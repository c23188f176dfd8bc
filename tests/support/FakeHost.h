// A stand-in for the office hosts in native tests and tools: application objects whose
// properties are a plain map, a collection whose "Open" records the file and raises the host's
// document-open event, and an environment with a running-object table and known classes.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "addin/base/host/HostModel.h"

namespace kv {

enum class FakeHostKind { Word, Excel, PowerPoint };
bool ParseFakeHostKind(const std::string& name, FakeHostKind* kind);  // "word", "excel", "powerpoint"

class FakeHostObject : public HostObject, public std::enable_shared_from_this<FakeHostObject> {
public:
    bool GetProperty(const std::string& name, HostValue* value) override;
    bool PutProperty(const std::string& name, const HostValue& value) override;
    bool Call(const std::string& name, const std::vector<NamedArg>& args, HostValue* result) override;
    std::unique_ptr<HostEventConnection> ConnectEvents(const std::string& interfaceId, HostEventSink& sink) override;

    // Delivers an event to every sink connected now.
    void Raise(int32_t dispId, const std::vector<HostValue>& args);
    size_t connectionCount() const;

    std::map<std::string, HostValue> properties;  // readable; PutProperty writes here
    // Methods by name; a call to a name not listed fails.
    std::map<std::string, std::function<bool(const std::vector<NamedArg>&, HostValue*)>> methods;
    std::string eventInterface;      // the one event interface this object offers
    std::vector<std::string> calls;  // "get X", "put X", "call X(Name=..)" in order

private:
    struct Connections {
        int nextId = 1;
        std::map<int, HostEventSink*> sinks;
    };
    std::shared_ptr<Connections> connections_ = std::make_shared<Connections>();
};

struct FakeApplication {
    std::shared_ptr<FakeHostObject> application;
    std::shared_ptr<FakeHostObject> collection;  // Documents, Workbooks or Presentations
    std::vector<std::string> opened;             // FileName of every successful Open
};

// An application of the given kind: only its own collection is readable, "Version" is "16.0",
// the caption is Word's ActiveWindow.Caption or the application's Caption, PowerPoint has HWND.
std::shared_ptr<FakeApplication> MakeFakeApplication(FakeHostKind kind, const std::string& caption = "");

class FakeHostEnvironment : public HostEnvironment {
public:
    HostObjectPtr GetRunningObject(const std::string& progId) override;
    bool ClassExists(const std::string& progId) override;
    HostObjectPtr CreateLocalServer(const std::string& progId) override;

    std::map<std::string, HostObjectPtr> running;                   // by ProgID
    std::map<std::string, std::function<HostObjectPtr()>> classes;  // creatable, by ProgID
    std::vector<std::string> calls;
};

}  // namespace kv
