#include "addin/widgets/pane/PaneController.h"

#include <climits>

#include "addin/features/service/Addresses.h"

namespace kv {

int32_t LoginLevelFromBody(const std::string& body) {
    if (body.empty()) return -1;
    size_t i = 0;
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n')) ++i;
    bool negative = false;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
    int64_t value = 0;
    for (; i < body.size() && body[i] >= '0' && body[i] <= '9'; ++i) {
        value = value * 10 + (body[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

PaneController::PaneController(PaneServices services)
    : s_(services),
      search_(SearchServices{s_.client, s_.hosts, s_.log, s_.shell, s_.identity, *this, s_.box,
                             [this](const std::string& keyword) { s_.shared.SetLastKeyword(keyword); }}) {
    // The pane made for a freshly opened template highlights it; later panes do not.
    search_.SetLastOpenedTemplate(s_.shared.TakeClickedName());
}

void PaneController::ShowItems(const ItemTable& items) {
    list_.items = items;
    ShowList();
}

void PaneController::ShowList() {
    if (view_) view_->Show(list_);
}

void PaneController::AttachList(ResultListView* view) {
    view_ = view;
    ShowList();
}

void PaneController::PutSearchText(const std::string& text, HostObjectPtr application) {
    search_.SetApplication(std::move(application));
    s_.box.SetEnteredText(CutCp949(text));
    search_.Search(TemplateSearch::ByKeyword);
}

void PaneController::PutApplication(HostObjectPtr application) {
    search_.SetApplication(std::move(application));
    search_.Search(TemplateSearch::ByKeyword);
}

void PaneController::PutSearchList() {
    RefreshLoginLevel();
    search_.Search(TemplateSearch::ByKeyword);
}

void PaneController::PutSearchText2(const std::string& text, HostObjectPtr application) {
    const std::string cut = CutCp949(text);
    search_.SetApplication(std::move(application));
    if (!cut.empty()) s_.box.SetEnteredText(cut);
    search_.Search(TemplateSearch::ByKeyword);
}

void PaneController::PutSearchFileName(const std::string& fileName) {
    if (s_.shared.NextOpenIsUserDocument()) {
        search_.SetDocumentName(CutCp949(fileName));
        search_.Search(TemplateSearch::ByDocumentName);
    } else {
        // The document is the template this pane (or another) just opened: no search by its name.
        s_.shared.SetNextOpenIsUserDocument(true);
        search_.Search(TemplateSearch::ByKeyword);
    }
}

void PaneController::RefreshLoginLevel() {
    NetSession session(s_.client.network());
    if (!s_.client.HttpExchange(ReplySlot::FreeSearch, s_.client.Address(LoginStatusPath()))) return;
    loginLevel_ = LoginLevelFromBody(s_.client.Reply(ReplySlot::FreeSearch).body());
}

bool PaneController::OnCommand(int id) {
    switch (id) {
        case kIdSearchButton:
            search_.Search(TemplateSearch::ByKeyword);
            s_.actions.RequestInPlaceActivation();
            return true;
        case kIdBanner: search_.OpenBannerPage(); return true;
        case kIdMoreResults: search_.OpenMoreResults(); return true;
        case kIdPicksHeader:
        case kIdResultsHeader: {
            int32_t& open = id == kIdPicksHeader ? list_.picksOpen : list_.resultsOpen;
            open = open ? 0 : 1;
            list_.items = search_.items();
            ShowList();
            s_.actions.RequestUiActivation();
            return true;
        }
        default:
            if (SlotOfControl(id) < 0) return false;
            RunEntryClick(id);
            return true;
    }
}

void PaneController::RunEntryClick(int id) {
    if (busy_) return;
    BusyScope busy(*this);
    const EntryClick click = DecideEntryClick(id, list_.items, loginLevel_);
    // A copy: a preview that ends in a new search replaces the table.
    const TemplateItem item = list_.items[click.slot];
    if (click.splashAround) s_.actions.ShowSplash();
    if (click.storeClickedName) s_.shared.SetClickedName(item.fileName);
    switch (click.action) {
        case EntryClick::Action::Open:
            if (!click.splashAround) s_.actions.ShowSplash();
            s_.actions.OpenTemplate(item.url, item.fileName, item.image1);
            if (!click.splashAround) s_.actions.CloseSplash();
            break;
        case EntryClick::Action::Preview: {
            PreviewRequest request;
            request.loginLevel = loginLevel_;
            request.templateClass = item.flag;
            request.previewAddress = PreviewImagePath(item);
            request.link = item.link;
            request.title = item.title;
            if (s_.actions.RunPreview(request) == 1) PutSearchList();
            break;
        }
        case EntryClick::Action::None: break;
    }
    if (click.splashAround) s_.actions.CloseSplash();
}

}  // namespace kv
