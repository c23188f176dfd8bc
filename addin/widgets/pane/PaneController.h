// The task pane's own logic, without windows: the automation methods, the search state and the
// item table, the login level, the list's section flags, and what the pane's buttons do. The
// control (CSimTaskPane) feeds it the calls and shows what it decides; before the control's
// window exists the controller keeps the text, the application and the search's table, and
// the list shows them once it is attached.
#pragma once
#include <cstdint>
#include <string>

#include "addin/base/shared/SharedState.h"
#include "addin/features/popup/PreviewPlan.h"
#include "addin/features/search/TemplateSearch.h"
#include "addin/resources/resource.h"
#include "addin/widgets/pane/EntryClick.h"
#include "addin/widgets/pane/ListLayout.h"

namespace kv {

// Control ids of the pane's own children.
constexpr int kIdSearchBox = IDC_PANE_SEARCH_BOX;
constexpr int kIdSearchButton = IDC_PANE_SEARCH_BUTTON;
constexpr int kIdBanner = IDC_PANE_BANNER;

// The search box as the pane drives it.
class PaneSearchBox : public SearchBox {
public:
    // Puts text into the box in the text-entered state (also when empty).
    virtual void SetEnteredText(const std::string& text) = 0;
};

// The box before (and without) a window: what was put in.
class MemorySearchBox : public PaneSearchBox {
public:
    bool TextEntered() override { return entered_; }
    std::string Text() override { return text_; }
    void SetEnteredText(const std::string& text) override {
        text_ = CutCp949(text);
        entered_ = true;
    }

private:
    bool entered_ = false;
    std::string text_;
};

// The result list window as the controller sees it.
class ResultListView {
public:
    virtual ~ResultListView() = default;
    // Takes a copy of the state, resets the scroll position and size, and lays the list out.
    virtual void Show(const ListState& state) = 0;
};

// What an entry click or a button leads to outside the controller: the loading splash, opening
// a template, the preview popup and the control's activation, all of them the control's.
class PaneActions {
public:
    virtual ~PaneActions() = default;
    virtual void ShowSplash() = 0;
    virtual void CloseSplash() = 0;
    virtual void OpenTemplate(const std::string& url, const std::string& fileName, int32_t image1) = 0;
    // The popup's result; 1 means the login state changed.
    virtual int RunPreview(const PreviewRequest& request) = 0;
    // After a header click: the container gives the control the user-interface activation.
    virtual void RequestUiActivation() = 0;
    // After the search button: in-place activation.
    virtual void RequestInPlaceActivation() = 0;
};

struct PaneServices {
    ServiceClient& client;
    HostEnvironment& hosts;
    LogSender& log;
    Shell& shell;
    const Identity& identity;
    SharedState& shared;
    PaneActions& actions;
    PaneSearchBox& box;
};

// The login level from the login status reply: -1 for an empty body, else the decimal number
// at its start (blanks and a sign allowed, saturating), 0 when it does not start with one.
int32_t LoginLevelFromBody(const std::string& body);

class PaneController : private ResultList {
public:
    explicit PaneController(PaneServices services);
    PaneController(const PaneController&) = delete;
    PaneController& operator=(const PaneController&) = delete;

    // ISimTaskPane. Texts are narrow (code page 949); null application objects keep none.
    void PutSearchText(const std::string& text, HostObjectPtr application);
    void PutApplication(HostObjectPtr application);
    void PutSearchList();
    void PutSearchText2(const std::string& text, HostObjectPtr application);
    void PutSearchFileName(const std::string& fileName);
    int16_t LoginStatus() const { return static_cast<int16_t>(loginLevel_); }

    // Window creation, in the order the control makes its children.
    void AttachList(ResultListView* view);
    void LoadBanner() { search_.LoadBanner(); }
    void RefreshLoginLevel();
    void DetachList() { view_ = nullptr; }

    // A command (click) from one of the pane's windows; false for ids the pane does not handle.
    bool OnCommand(int controlId);

    // True while an entry click or the library download runs: its splash serves the thread's
    // messages meanwhile, and a click or a download that arrives then is ignored, never a
    // second one on top.
    bool busy() const { return busy_; }
    class BusyScope {
    public:
        explicit BusyScope(PaneController& pane) : pane_(pane) { pane_.busy_ = true; }
        ~BusyScope() { pane_.busy_ = false; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        PaneController& pane_;
    };

    const std::string& bannerText() const { return search_.bannerText(); }
    const ListState& listState() const { return list_; }
    int32_t loginLevel() const { return loginLevel_; }
    TemplateSearch& search() { return search_; }

private:
    ResultSummary& Summary() override { return list_.summary; }
    void ShowItems(const ItemTable& items) override;
    void ShowList();
    void RunEntryClick(int controlId);

    PaneServices s_;
    TemplateSearch search_;
    ListState list_;
    ResultListView* view_ = nullptr;
    int32_t loginLevel_ = -1;
    bool busy_ = false;
};

}  // namespace kv
