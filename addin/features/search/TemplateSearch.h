// One task pane's template search: the weekly, free and member requests for a typed keyword or
// an opened document's name, the item table they fill, the banner, and the two service pages
// the pane opens in the browser. Runs synchronously on the caller's thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "addin/base/host/HostModel.h"
#include "addin/features/search/ResultList.h"
#include "addin/features/search/ResultReader.h"
#include "addin/features/search/TemplateItem.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceClient.h"

namespace kv {

class LogSender;
class Shell;

// The pane's own numbering of the hosts (the usage log uses ProgramKind).
enum class HostKind : int32_t { Excel = 1, Word = 2, PowerPoint = 3 };
// "xls", "doc" or "ppt".
const char* HostExtension(HostKind kind);

constexpr size_t kMaxKeywordBytes = 249;

struct SearchServices {
    ServiceClient& client;
    HostEnvironment& hosts;
    LogSender& log;
    Shell& shell;
    const Identity& identity;
    ResultList& list;
    SearchBox& box;
    // Receives the search box text of each search (the process-shared last keyword).
    std::function<void(const std::string&)> storeLastKeyword;
};

class TemplateSearch {
public:
    enum Mode { ByKeyword = 0, ByDocumentName = 1 };

    explicit TemplateSearch(SearchServices services);

    void SetApplication(HostObjectPtr application) { application_ = std::move(application); }
    const HostObjectPtr& application() const { return application_; }
    // The name from put_SearchFileName; at most 249 bytes are kept.
    void SetDocumentName(const std::string& name);
    // Marks the entry of this file as selected in later searches.
    void SetLastOpenedTemplate(const std::string& name) { lastOpenedTemplate_ = name; }

    void Search(int mode);
    void LoadBanner();
    void OpenMoreResults();
    void OpenBannerPage();

    HostKind hostKind() const { return hostKind_; }
    const ItemTable& items() const { return items_; }
    const std::string& keyword() const { return keyword_; }
    const std::string& documentName() const { return documentName_; }
    const std::string& bannerText() const { return bannerText_; }
    const std::string& bannerAddress() const { return bannerAddress_; }

private:
    // One list request of a search and where its entries go.
    struct ListRequest {
        ReplySlot slot;
        std::string path;
        ReadOptions options;
        int32_t* count;  // set to 0 when reading begins
        bool counts;     // counted up for each filled slot
    };
    // True when the exchange succeeded; *body is then the reply body (possibly empty).
    bool Fetch(ReplySlot slot, const std::string& path, std::string* body);
    // Makes the request and fills its section. False when the search must end here.
    bool ReadList(const ListRequest& request);
    void FindApplication();
    void MarkSelected(int slot);

    SearchServices s_;
    HostObjectPtr application_;
    HostKind hostKind_ = HostKind::Excel;
    ItemTable items_;
    std::string keyword_;
    std::string documentName_;
    std::string lastOpenedTemplate_;
    std::string bannerText_;
    std::string bannerAddress_;
};

}  // namespace kv
