#include "tests/support/FakeAddinHost.h"

namespace kv {
namespace {

// The control inside a fake pane.
class FakePaneControl : public PaneControl {
public:
    explicit FakePaneControl(FakeAddinPane& pane) : pane_(pane) {}
    void PutSearchText2(const std::string& text) override { pane_.calls.push_back("search " + text); }
    void PutApplication() override { pane_.calls.push_back("application"); }
    void PutSearchFileName(const std::string& caption) override { pane_.calls.push_back("file " + caption); }
    bool LoginStatus(int16_t* level) override {
        *level = pane_.loginLevel;
        return true;
    }
    void PutSearchList() override { pane_.calls.push_back("list"); }
    void RunUpdate(const Identity&) override { pane_.calls.push_back("update"); }

private:
    FakeAddinPane& pane_;
};

constexpr HostStatus kNoInterface = static_cast<HostStatus>(0x80004002U);

}  // namespace

bool FakeAddinPane::Visible(bool* v) {
    if (!visibleReadable) return false;
    *v = visible;
    return true;
}

std::unique_ptr<PaneControl> FakeAddinPane::Control(HostStatus* status) {
    if (status) *status = hasControl ? kHostOk : kNoInterface;
    if (!hasControl) return nullptr;
    return std::make_unique<FakePaneControl>(*this);
}

FakeAddinHost::FakeAddinHost(FakeHostKind k) : kind(k), host(MakeFakeApplication(k)) {}

bool FakeAddinHost::ApplicationWindowKey(int32_t* key) {
    HostValue hwnd;
    if (kind != FakeHostKind::PowerPoint || !host->application->GetProperty("HWND", &hwnd)) return false;
    *key = static_cast<int32_t>(hwnd.number);
    return true;
}

HostStatus FakeAddinHost::ProbeApplicationWindow(int32_t* key) {
    return ApplicationWindowKey(key) ? kHostOk : kNoInterface;
}

bool FakeAddinHost::ReadOpenedDocument(ProgramKind, OpenedDocument* document) {
    // Word's caption is its active window's; the others' the application's.
    HostObjectPtr captionHolder = host->application;
    HostValue value;
    if (kind == FakeHostKind::Word) {
        captionHolder = host->application->GetProperty("ActiveWindow", &value) ? value.object : nullptr;
    }
    if (kind == FakeHostKind::PowerPoint) ApplicationWindowKey(&document->applicationWindowKey);
    document->captionRead = captionHolder && captionHolder->GetProperty("Caption", &value);
    if (document->captionRead) document->caption = value.text;
    return true;
}

HostStatus FakeAddinHost::CreatePane(std::shared_ptr<AddinPane>* pane) {
    if (!factoryGivesPane) return kHostOk;
    auto made = std::make_shared<FakeAddinPane>();
    made->window = activeWindow;
    panes.push_back(made);
    *pane = made;
    return kHostOk;
}

void FakeAddinHost::SetCaption(const std::string& caption) {
    HostValue window;
    FakeHostObject& app = *host->application;
    if (kind == FakeHostKind::Word && app.GetProperty("ActiveWindow", &window)) {
        window.object->PutProperty("Caption", HostValue::Text(caption));
    } else {
        app.PutProperty("Caption", HostValue::Text(caption));
    }
}

void FakeAddinHost::SetApplicationWindow(int32_t key) {
    host->application->PutProperty("HWND", HostValue::Int(key));
}

}  // namespace kv
