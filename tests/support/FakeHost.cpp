#include "tests/support/FakeHost.h"

namespace kv {
namespace {

class FakeConnection : public HostEventConnection {
public:
    FakeConnection(std::weak_ptr<void> owner, std::map<int, HostEventSink*>* sinks, int id)
        : owner_(std::move(owner)), sinks_(sinks), id_(id) {}
    ~FakeConnection() override {
        // The object may be gone already; then there is nothing to disconnect from.
        if (auto alive = owner_.lock()) sinks_->erase(id_);
    }

private:
    std::weak_ptr<void> owner_;
    std::map<int, HostEventSink*>* sinks_;
    int id_;
};

std::string Describe(const HostValue& v) {
    switch (v.type) {
        case HostValue::Type::Int:
        case HostValue::Type::Bool: return std::to_string(v.number);
        case HostValue::Type::Text: return v.text;
        case HostValue::Type::Object: return "<object>";
        default: return "<empty>";
    }
}

}  // namespace

bool ParseFakeHostKind(const std::string& name, FakeHostKind* kind) {
    if (name == "word")
        *kind = FakeHostKind::Word;
    else if (name == "excel")
        *kind = FakeHostKind::Excel;
    else if (name == "powerpoint")
        *kind = FakeHostKind::PowerPoint;
    else
        return false;
    return true;
}

bool FakeHostObject::GetProperty(const std::string& name, HostValue* value) {
    calls.push_back("get " + name);
    auto it = properties.find(name);
    if (it == properties.end()) return false;
    if (value) *value = it->second;
    return true;
}

bool FakeHostObject::PutProperty(const std::string& name, const HostValue& value) {
    calls.push_back("put " + name + "=" + Describe(value));
    properties[name] = value;
    return true;
}

bool FakeHostObject::Call(const std::string& name, const std::vector<NamedArg>& args, HostValue* result) {
    std::string text = "call " + name + "(";
    for (size_t i = 0; i < args.size(); ++i) {
        text += (i ? "," : "") + args[i].name + "=" + Describe(args[i].value);
    }
    calls.push_back(text + ")");
    auto it = methods.find(name);
    if (it == methods.end()) return false;
    HostValue ignored;
    return it->second(args, result ? result : &ignored);
}

std::unique_ptr<HostEventConnection> FakeHostObject::ConnectEvents(const std::string& interfaceId,
                                                                   HostEventSink& sink) {
    if (eventInterface.empty() || interfaceId != eventInterface) return nullptr;
    int id = connections_->nextId++;
    connections_->sinks[id] = &sink;
    return std::make_unique<FakeConnection>(std::weak_ptr<void>(connections_), &connections_->sinks, id);
}

void FakeHostObject::Raise(int32_t dispId, const std::vector<HostValue>& args) {
    // A sink may disconnect while handling the event; walk a copy.
    std::map<int, HostEventSink*> sinks = connections_->sinks;
    for (auto& entry : sinks) {
        if (connections_->sinks.count(entry.first)) entry.second->OnHostEvent(dispId, args);
    }
}

size_t FakeHostObject::connectionCount() const {
    return connections_->sinks.size();
}

std::shared_ptr<FakeApplication> MakeFakeApplication(FakeHostKind kind, const std::string& caption) {
    auto fake = std::make_shared<FakeApplication>();
    fake->application = std::make_shared<FakeHostObject>();
    fake->collection = std::make_shared<FakeHostObject>();
    FakeHostObject& app = *fake->application;
    app.properties["Version"] = HostValue::Text("16.0");

    std::string collectionName;
    int32_t openEvent = 0;
    switch (kind) {
        case FakeHostKind::Word: {
            collectionName = "Documents";
            openEvent = kDocumentOpenId;
            app.eventInterface = kWordApplicationEvents;
            auto window = std::make_shared<FakeHostObject>();
            window->properties["Caption"] = HostValue::Text(caption.empty() ? "Document1" : caption);
            app.properties["ActiveWindow"] = HostValue::Object(window);
            break;
        }
        case FakeHostKind::Excel:
            collectionName = "Workbooks";
            openEvent = kWorkbookOpenId;
            app.eventInterface = kExcelApplicationEvents;
            app.properties["Caption"] = HostValue::Text(caption.empty() ? "Book1" : caption);
            break;
        case FakeHostKind::PowerPoint:
            collectionName = "Presentations";
            openEvent = kAfterPresentationOpenId;
            app.eventInterface = kPowerPointApplicationEvents;
            app.properties["Caption"] = HostValue::Text(caption.empty() ? "Presentation1" : caption);
            app.properties["HWND"] = HostValue::Int(0x1234);
            break;
    }
    app.properties[collectionName] = HostValue::Object(fake->collection);

    // Weak references: the application holds the collection, and the fake holds both.
    std::weak_ptr<FakeApplication> weakFake = fake;
    fake->collection->methods["Open"] = [weakFake, openEvent](const std::vector<NamedArg>& args, HostValue* result) {
        auto self = weakFake.lock();
        if (!self) return false;
        for (const NamedArg& arg : args) {
            if (arg.name != "FileName" || arg.value.type != HostValue::Type::Text) continue;
            self->opened.push_back(arg.value.text);
            auto document = std::make_shared<FakeHostObject>();
            document->properties["FullName"] = arg.value;
            *result = HostValue::Object(document);
            self->application->Raise(openEvent, {HostValue::Object(document)});
            return true;
        }
        return false;
    };
    return fake;
}

HostObjectPtr FakeHostEnvironment::GetRunningObject(const std::string& progId) {
    calls.push_back("running " + progId);
    auto it = running.find(progId);
    return it == running.end() ? nullptr : it->second;
}

bool FakeHostEnvironment::ClassExists(const std::string& progId) {
    calls.push_back("class " + progId);
    return classes.count(progId) != 0;
}

HostObjectPtr FakeHostEnvironment::CreateLocalServer(const std::string& progId) {
    calls.push_back("create " + progId);
    auto it = classes.find(progId);
    return it == classes.end() ? nullptr : it->second();
}

}  // namespace kv
