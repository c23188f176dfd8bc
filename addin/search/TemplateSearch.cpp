#include "addin/search/TemplateSearch.h"

#include "addin/search/ResultReader.h"
#include "addin/service/Addresses.h"
#include "addin/service/UsageLog.h"

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
    documentName_ = name.substr(0, kMaxKeywordBytes);
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

TemplateSearch::Outcome TemplateSearch::Request(ReplySlot slot, const std::string& path, std::string* body) {
    // No host probe succeeded: there is no address to ask, so the request fails without a
    // connection instead of sending whatever the keyword alone would make of an address.
    if (path.empty()) return Outcome::Failed;
    if (!s_.client.HttpExchange(slot, s_.client.Address(path))) return Outcome::Failed;
    *body = s_.client.Reply(slot).body();
    return body->empty() ? Outcome::EmptyBody : Outcome::Body;
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
    if (s_.box.TextEntered()) boxText = s_.box.Text().substr(0, kMaxKeywordBytes);
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
            PaneUsageLog(s_.log, UsageEventKind::KeywordSearch, probe.program, PaneLogKeyword, keyword_,
                         s_.identity);
        }
    }

    for (TemplateItem& item : items_) item.Clear();
    auto mark = [this](int slot) { MarkSelected(slot); };
    auto countFree = [this, &summary](int slot) {
        ++summary.freeCount;
        MarkSelected(slot);
    };
    auto countMember = [this, &summary](int slot) {
        ++summary.memberCount;
        MarkSelected(slot);
    };

    // Each list: a failed exchange leaves its section empty and the search goes on; an empty
    // body or one without a root element ends the search where it stands.
    std::string body;
    ListReply reply;
    switch (Request(ReplySlot::WeekSearch, WeekSearchPath(), &body)) {
        case Outcome::Failed: summary.lastRequestSucceeded = 0; break;
        case Outcome::EmptyBody: summary.lastRequestSucceeded = 0; s_.list.ShowItems(items_); return;
        case Outcome::Body:
            summary.lastRequestSucceeded = 1;
            if (!reply.Parse(body)) {
                s_.list.ShowItems(items_);
                return;
            }
            summary.freeCount = 0;
            reply.Fill({ListKind::Weekly, kDailyFirst, kPickSlots, 0, false}, &items_, mark);
            break;
    }

    switch (Request(ReplySlot::FreeSearch, freePath, &body)) {
        case Outcome::Failed: summary.lastRequestSucceeded = 0; break;
        case Outcome::EmptyBody: summary.lastRequestSucceeded = 0; s_.list.ShowItems(items_); return;
        case Outcome::Body: {
            summary.lastRequestSucceeded = 1;
            ListReply freeReply;
            if (!freeReply.Parse(body)) {
                s_.list.ShowItems(items_);
                return;
            }
            summary.freeCount = 0;
            freeReply.Fill({ListKind::Free, kFreeFirst, kFreeSlots, 0, false}, &items_, countFree);
            break;
        }
    }

    switch (Request(ReplySlot::CertSearch, memberPath, &body)) {
        case Outcome::Failed: summary.lastRequestSucceeded = 0; break;
        case Outcome::EmptyBody: summary.lastRequestSucceeded = 0; s_.list.ShowItems(items_); return;
        case Outcome::Body: {
            summary.lastRequestSucceeded = 1;
            ListReply memberReply;
            if (!memberReply.Parse(body)) {
                s_.list.ShowItems(items_);
                return;
            }
            summary.memberCount = 0;
            // The best list's first three entries are the ones the free section already shows.
            const int skip = keyword.empty() ? kFreeSlots : 0;
            memberReply.Fill({ListKind::Member, kMemberFirst, kMemberSlots, skip, keyword.empty()}, &items_,
                             countMember);
            summary.moreResults = keyword.empty() ? 0 : 1;
            break;
        }
    }

    s_.list.ShowItems(items_);
}

void TemplateSearch::LoadBanner() {
    NetSession session(s_.client.network());
    std::string body;
    if (Request(ReplySlot::FreeSearch, BannerListPath(), &body) != Outcome::Body) return;
    std::string text;
    std::string address;
    if (ReadBanner(body, &text, &address)) {
        bannerText_ = text;
        bannerAddress_ = address;
    }
}

void TemplateSearch::OpenMoreResults() {
    const std::string text = s_.box.TextEntered() ? s_.box.Text().substr(0, kMaxKeywordBytes) : std::string();
    OpenBrowserPage(s_.shell, s_.client.config(), MoreResultsPagePath(text, s_.identity));
}

void TemplateSearch::OpenBannerPage() {
    OpenBrowserPage(s_.shell, s_.client.config(), BannerPagePath(bannerAddress_, s_.identity));
}

}  // namespace kv
