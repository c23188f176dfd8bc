// The usage log: one-way requests that report installation, start, update, opened documents
// and searches. Two senders with their own path tables: the add-in object's and the pane's.
#pragma once
#include <cstdint>
#include <string>

#include "addin/features/service/Addresses.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"

namespace kv {

class HostAddressCache;
class Network;

enum class UsageEventKind : int32_t {
    Install = 1,
    Uninstall = 2,
    Update = 3,
    Start = 4,
    ServicePage1 = 5,
    ServicePage2 = 6,
    ServicePage3 = 7,
    ServicePage4 = 8,
    ServicePage5 = 9,
    MoreResults = 10,
    FreeSearch = 11,
    BestSearch = 12,
    KeywordSearch = 13,
    BannerPage = 14,
    DocumentOpen = 15,
};

constexpr char kAddinUserAgent[] = "User-Agent: kestrova\r\n";
constexpr char kPaneUserAgent[] = "User-Agent: test\r\n";

// Log type of the pane's log: what follows the keyword of kinds 11 and 13.
enum PaneLogType : int32_t { PaneLogPlain = 0, PaneLogFileName = 1, PaneLogKeyword = 2 };

// Where log requests go. The real one is ServiceLogSender; tests record.
class LogSender {
public:
    virtual ~LogSender() = default;
    virtual void Send(const std::string& target, const std::string& userAgentLine) = 0;
};

class ServiceLogSender : public LogSender {
public:
    // With the pane's host address cache, a service host that exchanges found unreachable gets
    // no log request either (and a failed log request marks it).
    ServiceLogSender(Network& net, ServiceConfig config, HostAddressCache* reachability = nullptr)
        : net_(net), config_(std::move(config)), reachability_(reachability) {}
    void Send(const std::string& target, const std::string& userAgentLine) override;

private:
    Network& net_;
    ServiceConfig config_;
    HostAddressCache* reachability_;
};

// What the add-in object's log reads besides the identity.
struct AddinLogState {
    bool nextOpenIsUserDocument = true;  // false right after the pane opened a template
    std::string openedDocumentName;      // code page 949 bytes, as the host's caption gave it
    std::string newestVersion;           // the version the service announced
};

// The request targets. Empty for a kind outside 1..15: such a call sends nothing.
std::string AddinUsageLogTarget(UsageEventKind kind, ProgramKind program, const Identity& identity,
                                const AddinLogState& state);
std::string PaneUsageLogTarget(UsageEventKind kind, ProgramKind program, int32_t logType, const std::string& keyword,
                               const Identity& identity);

void AddinUsageLog(LogSender& sender, UsageEventKind kind, ProgramKind program, const Identity& identity,
                   const AddinLogState& state);
void PaneUsageLog(LogSender& sender, UsageEventKind kind, ProgramKind program, int32_t logType,
                  const std::string& keyword, const Identity& identity);

}  // namespace kv
