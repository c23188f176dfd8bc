#include "addin/features/search/TemplateSearch.h"

#include "addin/base/shared/TextCut.h"
#include "addin/features/service/Addresses.h"
#include "addin/features/service/UsageLog.h"

namespace kv {
namespace {

// The Hangul part of a code-page-949 name: every byte with the high bit set, in order.
std::string HighBitBytes(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (static_cast<unsigned char>(c) & 0x80) out += c;
    }
    return out;
}

struct HostProbe {
    const char* property;
    HostKind host;
    ProgramKind program;
};
// Later successes override earlier ones.
constexpr HostProbe kProbes[] = {
    {"Documents", HostKind::Word, ProgramKind::Word},
    {"Workbooks", HostKind::Excel, ProgramKind::Excel},
    {"Presentations", HostKind::PowerPoint, ProgramKind::PowerPoint},
};

}  // namespace

const char* HostExtension(HostKind kind) {
    switch (kind) {
        case HostKind::Word: return "doc";
        case HostKind::PowerPoint: return "ppt";
        default: return "xls";
    }
}

TemplateSearch::TemplateSearch(SearchServices services) : s_(std::move(services)) {}

void TemplateSearch::SetDocumentName(const std::string& name) {
    documentName_ = CutCp949(name, kMaxKeywordBytes);
}

void TemplateSearch::FindApplication() {
    // A running PowerPoint wins over a running Word; without either the pane keeps what it holds.
    for (const char* progId : {"PowerPoint.Application", "Word.Application"}) {
        if (HostObjectPtr running = s_.hosts.GetRunningObject(progId)) {
            application_ = std::move(running);
            return;
        }
    }
}

bool TemplateSearch::Fetch(ReplySlot slot, const std::string& path, std::string* body) {
    body->clear();
    // No host probe succeeded: there is no address to ask, so the request fails without a
    // connection instead of sending whatever the keyword alone would make of an address.
    if (path.empty()) return false;
    if (!s_.client.HttpExchange(slot, s_.client.Address(path))) return false;
    *body = s_.client.Reply(slot).body();
    return true;
}

bool TemplateSearch::ReadList(const ListRequest& request) {
    ResultSummary& summary = s_.list.Summary();
    std::string body;
    if (!Fetch(request.slot, request.path, &body)) {
        // A failed exchange leaves its section empty; the search goes on.
        summary.lastRequestSucceeded = 0;
        return true;
    }
    // The exchange succeeded even when what came back is unusable: the service answered.
    summary.lastRequestSucceeded = 1;
    ListReply reply;
    if (body.empty() || !reply.Parse(body)) return false;
    *request.count = 0;
    reply.Fill(request.options, &items_, [this, &request](int slot) {
        if (request.counts) ++*request.count;
        MarkSelected(slot);
    });
    return true;
}

void TemplateSearch::MarkSelected(int slot) {
    if (!lastOpenedTemplate_.empty() && items_[slot].fileName == lastOpenedTemplate_) {
        s_.list.Summary().selected = slot + 1;
    }
}

void TemplateSearch::Search(int mode) {
    FindApplication();
    if (!application_) {
        s_.list.ShowItems(items_);
        return;
    }

    NetSession session(s_.client.network());
    ResultSummary& summary = s_.list.Summary();
    summary.selected = 0;

    std::string boxText;
    if (s_.box.TextEntered()) boxText = CutCp949(s_.box.Text(), kMaxKeywordBytes);
    std::string keyword = boxText;
    bool byName = false;
    if (mode == ByDocumentName) {
        std::string fromName = HighBitBytes(documentName_);
        if (!fromName.empty()) {
            keyword = fromName;
            byName = true;
        }
    }
    keyword_ = keyword;
    if (s_.storeLastKeyword) s_.storeLastKeyword(boxText);

    std::string freePath;
    std::string memberPath;
    for (const HostProbe& probe : kProbes) {
        if (!HasProperty(*application_, probe.property)) continue;
        hostKind_ = probe.host;
        const std::string ext = HostExtension(probe.host);
        if (keyword.empty()) {
            freePath = memberPath = BestSearchPath(ext);
        } else if (byName) {
            freePath = FreeSearchByNamePath(ext, keyword);
            memberPath = CertSearchByNamePath(ext, keyword);
        } else {
            freePath = FreeSearchPath(ext, keyword);
            memberPath = CertSearchPath(ext, keyword);
            PaneUsageLog(s_.log, UsageEventKind::KeywordSearch, probe.program, PaneLogKeyword, keyword_, s_.identity);
        }
    }

    for (TemplateItem& item : items_) item.Clear();

    // The best list's first three entries are the ones the free section already shows.
    const bool noKeyword = keyword.empty();
    const ListRequest requests[] = {
        {ReplySlot::WeekSearch,
         WeekSearchPath(),
         {ListKind::Weekly, kDailyFirst, kPickSlots, 0, false},
         &summary.freeCount,
         false},
        {ReplySlot::FreeSearch, freePath, {ListKind::Free, kFreeFirst, kFreeSlots, 0, false}, &summary.freeCount, true},
        {ReplySlot::CertSearch,
         memberPath,
         {ListKind::Member, kMemberFirst, kMemberSlots, noKeyword ? kFreeSlots : 0, noKeyword},
         &summary.memberCount,
         true},
    };
    // An empty body or one without a root element ends the search where it stands.
    for (const ListRequest& request : requests) {
        if (!ReadList(request)) {
            s_.list.ShowItems(items_);
            return;
        }
    }
    if (summary.lastRequestSucceeded) summary.moreResults = noKeyword ? 0 : 1;
    s_.list.ShowItems(items_);
}

void TemplateSearch::LoadBanner() {
    NetSession session(s_.client.network());
    std::string body;
    if (!Fetch(ReplySlot::FreeSearch, BannerListPath(), &body) || body.empty()) return;
    std::string text;
    std::string address;
    if (ReadBanner(body, &text, &address)) {
        bannerText_ = text;
        bannerAddress_ = address;
    }
}

void TemplateSearch::OpenMoreResults() {
    const std::string text = s_.box.TextEntered() ? CutCp949(s_.box.Text(), kMaxKeywordBytes) : std::string();
    OpenBrowserPage(s_.shell, s_.client.config(), MoreResultsPagePath(text, s_.identity));
}

void TemplateSearch::OpenBannerPage() {
    OpenBrowserPage(s_.shell, s_.client.config(), BannerPagePath(bannerAddress_, s_.identity));
}

}  // namespace kv
