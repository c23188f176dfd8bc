// What the add-in asks of the office host applications, as one portable interface: properties
// by name, method calls with named arguments, the running-object table, class look-up and
// local-server creation, and event connection. Windows implements it over IDispatch
// (HostDispatch.cpp); native tests and tools use FakeHost.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv {

class HostObject;
using HostObjectPtr = std::shared_ptr<HostObject>;

// A value crossing the host boundary. Text is narrow, in the ANSI code page (949 on Korean
// systems); the Windows implementation converts to and from UTF-16.
struct HostValue {
    enum class Type { Empty, Int, Bool, Text, Object };
    Type type = Type::Empty;
    int64_t number = 0;  // Int; Bool as 0/1
    std::string text;
    HostObjectPtr object;

    static HostValue Int(int64_t v) {
        HostValue h;
        h.type = Type::Int;
        h.number = v;
        return h;
    }
    static HostValue Bool(bool v) {
        HostValue h;
        h.type = Type::Bool;
        h.number = v ? 1 : 0;
        return h;
    }
    static HostValue Text(std::string v) {
        HostValue h;
        h.type = Type::Text;
        h.text = std::move(v);
        return h;
    }
    static HostValue Object(HostObjectPtr v) {
        HostValue h;
        h.type = Type::Object;
        h.object = std::move(v);
        return h;
    }
};

struct NamedArg {
    std::string name;
    HostValue value;
};

// Receives the events of one connection: the dispatch id and the arguments in the order the
// host declares them.
class HostEventSink {
public:
    virtual ~HostEventSink() = default;
    virtual void OnHostEvent(int32_t dispId, const std::vector<HostValue>& args) = 0;
};

// An event connection; dropping it disconnects.
class HostEventConnection {
public:
    virtual ~HostEventConnection() = default;
};

// Event interfaces of the three hosts' application objects, with the ids the add-in handles.
constexpr char kWordApplicationEvents[] = "{00020A01-0000-0000-C000-000000000046}";
constexpr char kExcelApplicationEvents[] = "{00024413-0000-0000-C000-000000000046}";
constexpr char kPowerPointApplicationEvents[] = "{914934C2-5A91-11CF-8700-00AA0060263B}";
constexpr int32_t kDocumentOpenId = 4;
constexpr int32_t kWorkbookOpenId = 1567;
constexpr int32_t kAfterPresentationOpenId = 2021;

class HostObject {
public:
    virtual ~HostObject() = default;
    // False when the object has no such property or the host refuses it.
    virtual bool GetProperty(const std::string& name, HostValue* value) = 0;
    virtual bool PutProperty(const std::string& name, const HostValue& value) = 0;
    // A method call; result may be null when the caller does not want it.
    virtual bool Call(const std::string& name, const std::vector<NamedArg>& args, HostValue* result) = 0;
    // Connects sink to the object's event interface given as braced interface id text; null
    // when the object does not offer that interface.
    virtual std::unique_ptr<HostEventConnection> ConnectEvents(const std::string& interfaceId, HostEventSink& sink) = 0;
};

class HostEnvironment {
public:
    virtual ~HostEnvironment() = default;
    // The running application registered under progId ("Word.Application"); null when none.
    virtual HostObjectPtr GetRunningObject(const std::string& progId) = 0;
    // Whether progId names a known class.
    virtual bool ClassExists(const std::string& progId) = 0;
    // A new or attached instance of progId as a local server; null on failure.
    virtual HostObjectPtr CreateLocalServer(const std::string& progId) = 0;
};

// Convenience for the common read of a property that must be there.
inline bool HasProperty(HostObject& object, const std::string& name) {
    HostValue ignored;
    return object.GetProperty(name, &ignored);
}

}  // namespace kv
