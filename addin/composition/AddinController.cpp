#include "addin/composition/AddinController.h"

#include "addin/base/host/HostModel.h"
#include "addin/features/service/Settings.h"

namespace kv {
namespace {

// How each host's document-open event reaches a pane. Word and PowerPoint give a window without
// a pane one and size it; Excel searches only in a pane that is there already. PowerPoint keys
// its pane by the application's window, so all its presentations share one.
struct DocumentOpenRule {
    int32_t eventId;
    ProgramKind program;
    bool applicationWindow;  // the pane of the application's window, not of the active one
    bool createsPane;
    bool preparesPane;  // width, and shown when the setting says so
    bool returnsFocus;  // creating a pane takes the focus from the document's window
};

constexpr DocumentOpenRule kDocumentOpenRules[] = {
    {kDocumentOpenId, ProgramKind::Word, false, true, true, true},
    {kWorkbookOpenId, ProgramKind::Excel, false, false, false, false},
    {kAfterPresentationOpenId, ProgramKind::PowerPoint, true, true, true, false},
};

const DocumentOpenRule* RuleFor(int32_t eventId) {
    for (const DocumentOpenRule& rule : kDocumentOpenRules) {
        if (rule.eventId == eventId) return &rule;
    }
    return nullptr;
}

}  // namespace

ProgramKind ProgramKindFromEvents(bool word, bool excel, bool powerPoint) {
    if (powerPoint) return ProgramKind::PowerPoint;
    if (excel) return ProgramKind::Excel;
    if (word) return ProgramKind::Word;
    return ProgramKind::None;
}

// ---- Connection ---------------------------------------------------------------------------------

void AddinController::Connect(ProgramKind program, const std::string& hostVersionText) {
    if (connected_) return;  // a second connection of the same object changes nothing
    programKind_ = program;
    ribbonSearchText_.clear();
    const LoadedSettings settings = LoadSettings(s_.settings, hostVersionText);
    hostMajorVersion_ = settings.hostMajorVersion;
    identity_ = settings.identity;
    connected_ = true;
    s_.actions.Connected();
    SendLog(UsageEventKind::Start, programKind_);
}

void AddinController::Disconnect() {
    // The first of this and the shut-down takes the process off the host count.
    if (connected_) s_.actions.Leaving();
    connected_ = false;
    factory_ = nullptr;
}

void AddinController::DeletePanes() {
    for (auto& entry : panes_) {
        if (entry.second) entry.second->Delete();
    }
    panes_.clear();
}

void AddinController::StartupComplete() {
    if (!connected_ || hostMajorVersion_ <= 11) return;
    // Another host has started the update already.
    if (s_.shared.UpdateState() != kUpdateNotStarted) {
        s_.shared.SetUpdateState(kUpdateElsewhere);
        return;
    }
    std::shared_ptr<AddinPane> pane = ActivePane();
    if (!pane) return;
    if (std::unique_ptr<PaneControl> control = pane->Control()) control->RunUpdate(identity_);
}

void AddinController::BeginShutdown() {
    if (!connected_) return;
    int32_t key = s_.host.ActiveWindowKey();
    if (programKind_ == ProgramKind::PowerPoint) s_.host.ApplicationWindowKey(&key);
    std::shared_ptr<AddinPane> pane;
    FindPane(key, &pane);
    bool visible = false;
    // An unreadable visibility leaves the stored value as it was.
    if (pane && pane->HasContentControl() && pane->Visible(&visible)) {
        s_.settings.WriteNumber(SettingsRoot::User, kUserSettingsKey, "visible", visible ? 1 : 0);
    }
    s_.actions.Leaving();
}

HostStatus AddinController::FactoryAvailable(PaneFactory* factory) {
    if (!factory || !connected_) return kHostOk;
    factory_ = factory;
    int32_t key = s_.host.ActiveWindowKey();
    const HostStatus probe = s_.host.ProbeApplicationWindow(&key);
    std::shared_ptr<AddinPane> pane;
    if (!FindPane(key, &pane)) {
        const HostStatus created = CreatePane(key, &pane);
        if (created == kHostOutOfMemory) return created;
    }
    if (!pane) return probe;
    PreparePane(*pane);
    if (std::unique_ptr<PaneControl> control = pane->Control()) {
        // The first search: the keyword last searched in any host, or the host's own lists.
        const std::string keyword = s_.shared.LastKeyword();
        if (!keyword.empty()) {
            control->PutSearchText2(keyword);
        } else {
            control->PutApplication();
        }
    }
    return probe;
}

// ---- Ribbon -------------------------------------------------------------------------------------

void AddinController::ChangeSearchText(const std::string& text) {
    if (!connected_) return;
    ribbonSearchText_ = text;
    std::shared_ptr<AddinPane> pane = ActivePane();
    if (!pane) return;
    ShowPane(*pane);
    if (std::unique_ptr<PaneControl> control = pane->Control()) control->PutSearchText2(ribbonSearchText_);
}

HostStatus AddinController::ButtonClicked() {
    if (!connected_) return kHostOk;
    const int32_t key = s_.host.ActiveWindowKey();
    std::shared_ptr<AddinPane> pane;
    if (!FindPane(key, &pane) && factory_) {
        const HostStatus created = CreatePane(key, &pane);
        if (created == kHostOutOfMemory) return created;
    }
    if (!pane) return kHostOk;
    HostStatus status = kHostOk;
    std::unique_ptr<PaneControl> control = pane->Control(&status);
    if (!control) return status;
    ShowPane(*pane);
    control->PutSearchText2(ribbonSearchText_);
    return kHostOk;
}

bool AddinController::PutVisiblePane() {
    std::shared_ptr<AddinPane> pane = ActivePane();
    if (!pane) return false;
    pane->SetWidth(kPaneWidth);
    bool visible = false;
    if (!pane->Visible(&visible)) visible = false;
    if (visible) {
        pane->SetVisible(false);
    } else if (std::unique_ptr<PaneControl> control = pane->Control()) {
        pane->SetVisible(true);
        // An empty text: the control repeats the search of its own box.
        control->PutSearchText2(std::string());
    }
    return true;
}

bool AddinController::PutVisiblePaneAllways() {
    std::shared_ptr<AddinPane> pane = ActivePane();
    if (!pane) return false;
    pane->SetWidth(kPaneWidth);
    bool visible = false;
    if (!pane->Visible(&visible)) visible = false;
    if (!visible && pane->Control()) pane->SetVisible(true);
    return true;
}

bool AddinController::ButtonCert() {
    std::shared_ptr<AddinPane> pane = ActivePane();
    if (!pane) return false;
    std::unique_ptr<PaneControl> control = pane->Control();
    // Not known (a control that cannot be asked) is the level of a user not logged in.
    int16_t level = -1;
    if (control && !control->LoginStatus(&level)) level = -1;
    s_.actions.ShowLogin(level);
    if (control) control->PutSearchList();
    return true;
}

void AddinController::OpenServicePage(int uflag) {
    if (connected_) s_.actions.OpenServicePage(uflag, identity_);
}

void AddinController::ButtonInfo() {
    if (connected_) s_.actions.ShowAbout();
}

// ---- Host events --------------------------------------------------------------------------------

void AddinController::DocumentOpened(int32_t eventId) {
    const DocumentOpenRule* rule = RuleFor(eventId);
    if (!connected_ || !rule) return;
    OpenedDocument document;
    if (!s_.host.ReadOpenedDocument(rule->program, &document)) return;
    if (!document.captionRead) {
        document.caption.clear();  // an unread caption searches nothing and is not logged
    } else {
        openedDocumentName_ = document.caption;
        SendLog(UsageEventKind::DocumentOpen, rule->program);
    }
    const int32_t key = rule->applicationWindow ? document.applicationWindowKey : s_.host.ActiveWindowKey();
    std::shared_ptr<AddinPane> pane;
    if (!FindPane(key, &pane) && rule->createsPane && factory_) CreatePane(key, &pane);
    if (pane) {
        if (rule->preparesPane) PreparePane(*pane);
        std::unique_ptr<PaneControl> control = pane->Control();
        if (control && !document.caption.empty()) control->PutSearchFileName(document.caption);
    }
    if (rule->returnsFocus && key != 0) s_.host.ReturnFocus(key);
}

// ---- Panes --------------------------------------------------------------------------------------

bool AddinController::FindPane(int32_t key, std::shared_ptr<AddinPane>* pane) const {
    const auto it = panes_.find(key);
    if (it == panes_.end()) {
        pane->reset();
        return false;
    }
    *pane = it->second;
    return true;
}

HostStatus AddinController::CreatePane(int32_t key, std::shared_ptr<AddinPane>* pane) {
    pane->reset();
    if (!factory_) return kHostOk;
    std::shared_ptr<AddinPane> created;
    const HostStatus status = factory_->CreatePane(&created);
    if (status == kHostOutOfMemory) return status;
    panes_.emplace(key, created);
    *pane = created;
    return status;
}

std::shared_ptr<AddinPane> AddinController::ActivePane() const {
    std::shared_ptr<AddinPane> pane;
    if (connected_) FindPane(s_.host.ActiveWindowKey(), &pane);
    return pane;
}

void AddinController::PreparePane(AddinPane& pane) {
    pane.SetWidth(kPaneWidth);
    if (identity_.paneVisibleAtStart) pane.SetVisible(true);
}

void AddinController::ShowPane(AddinPane& pane) {
    pane.SetWidth(kPaneWidth);
    bool visible = false;
    if (!pane.Visible(&visible) || !visible) pane.SetVisible(true);
}

void AddinController::SendLog(UsageEventKind kind, ProgramKind program) {
    AddinLogState state;
    state.nextOpenIsUserDocument = s_.shared.NextOpenIsUserDocument();
    if (kind == UsageEventKind::DocumentOpen) state.openedDocumentName = openedDocumentName_;
    AddinUsageLog(s_.log, kind, program, identity_, state);
}

}  // namespace kv
