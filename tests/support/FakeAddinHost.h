// A stand-in for the office host as the add-in controller sees it, over a FakeApplication:
// windows are plain keys (the test says which one is active), panes and their controls record
// what is done to them, and the dialogs, pages and the host count are recorded as actions.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "addin/composition/AddinController.h"
#include "tests/support/FakeHost.h"

namespace kv {

// A task pane of the fake host; its control writes into calls.
class FakeAddinPane : public AddinPane {
public:
    void SetWidth(int w) override { width = w; }
    bool Visible(bool* v) override;
    void SetVisible(bool v) override { visible = v; }
    bool HasContentControl() override { return hasControl; }
    std::unique_ptr<PaneControl> Control(HostStatus* status) override;
    void Delete() override { deleted = true; }

    int32_t window = 0;  // the active window when the pane was made
    int width = 0;
    bool visible = false;
    bool hasControl = true;
    bool visibleReadable = true;
    bool deleted = false;
    int16_t loginLevel = 2;
    std::vector<std::string> calls;  // "search <text>", "application", "file <name>", "list", "update"
};

class FakeAddinHost : public AddinHost, public AddinActions, public PaneFactory {
public:
    explicit FakeAddinHost(FakeHostKind kind);

    int32_t ActiveWindowKey() override { return activeWindow; }
    bool ApplicationWindowKey(int32_t* key) override;
    HostStatus ProbeApplicationWindow(int32_t* key) override;
    bool ReadOpenedDocument(ProgramKind program, OpenedDocument* document) override;
    void ReturnFocus(int32_t windowKey) override { actions.push_back("focus " + std::to_string(windowKey)); }

    void ShowLogin(int16_t level) override { actions.push_back("login " + std::to_string(level)); }
    void ShowAbout() override { actions.push_back("about"); }
    void OpenServicePage(int uflag, const Identity&) override { actions.push_back("page " + std::to_string(uflag)); }
    void Connected() override { actions.push_back("connected"); }
    void Leaving() override { actions.push_back("leaving"); }

    HostStatus CreatePane(std::shared_ptr<AddinPane>* pane) override;

    // The caption the host shows for the next opened document, in the host's own place.
    void SetCaption(const std::string& caption);
    // PowerPoint's application window.
    void SetApplicationWindow(int32_t key);

    FakeHostKind kind;
    std::shared_ptr<FakeApplication> host;
    int32_t activeWindow = 0;
    bool factoryGivesPane = true;
    std::vector<std::shared_ptr<FakeAddinPane>> panes;  // in the order they were made
    std::vector<std::string> actions;
};

// The usage log's requests, in order.
class RecordingLogSender : public LogSender {
public:
    void Send(const std::string& target, const std::string&) override { targets.push_back(target); }
    std::vector<std::string> targets;
};

}  // namespace kv
