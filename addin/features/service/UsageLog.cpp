#include "addin/features/service/UsageLog.h"

#include "addin/features/service/LogRequest.h"
#include "addin/features/service/ServiceUrl.h"

namespace kv {
namespace {

bool KnownKind(UsageEventKind kind) {
    int32_t k = static_cast<int32_t>(kind);
    return k >= 1 && k <= 15;
}

std::string WithoutSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ') out += c;
    }
    return out;
}

std::string PageProcessing(int uflag) {
    return "/k_app/PageProcessing.asp?uflag=" + std::to_string(uflag);
}

// Kinds 5 to 14 of the add-in's table: uflag 1..5, then 7..11 (6 is not used).
int AddinUflag(int32_t kind) {
    return kind <= 9 ? kind - 4 : kind - 3;
}

}  // namespace

void ServiceLogSender::Send(const std::string& target, const std::string& userAgentLine) {
    SendLogRequest(net_, config_, target, userAgentLine, reachability_);
}

std::string AddinUsageLogTarget(UsageEventKind kind, ProgramKind program, const Identity& identity,
                                const AddinLogState& state) {
    if (!KnownKind(kind)) return "";
    const std::string programName = ProgramName(program);
    const char* documentKind = state.nextOpenIsUserDocument ? "client" : "kestrova";
    std::string path;
    switch (kind) {
        case UsageEventKind::Install: path = "/k_app/DataLog.asp?logtype=install"; break;
        case UsageEventKind::Uninstall: path = "/k_app/DataLog.asp?logtype=uninstall"; break;
        case UsageEventKind::Update:
            path = "/k_app/DataLog.asp?logtype=update&new_version=" + state.newestVersion;
            break;
        case UsageEventKind::Start: path = "/k_app/DataLog.asp?logtype=exe&program=" + programName; break;
        case UsageEventKind::DocumentOpen:
            path = "/k_app/DataLog.asp?logtype=filename&program=" + programName + "&kind=" + documentKind +
                   "&keyword=" + WithoutSpaces(state.openedDocumentName);
            break;
        default: path = PageProcessing(AddinUflag(static_cast<int32_t>(kind))); break;
    }
    path += std::string("&version=") + kAddinVersion + IdentitySuffix(identity);
    return RequestLineSafe(path);
}

std::string PaneUsageLogTarget(UsageEventKind kind, ProgramKind program, int32_t logType, const std::string& keyword,
                               const Identity& identity) {
    if (!KnownKind(kind)) return "";
    const char* logTypeSuffix = logType == PaneLogFileName  ? "&logtype=filename"
                                : logType == PaneLogKeyword ? "&logtype=keyword"
                                                            : "";
    std::string path;
    switch (kind) {
        case UsageEventKind::Install: path = "/k_app/DataLog.asp?logtype=install"; break;
        case UsageEventKind::Uninstall: path = "/k_app/DataLog.asp?logtype=uninstall"; break;
        case UsageEventKind::Update: path = "/k_app/DataLog.asp?logtype=update"; break;
        case UsageEventKind::Start: path = "/k_app/DataLog.asp?logtype=exe"; break;
        case UsageEventKind::FreeSearch:
            path = "/k_app/search_freeform.asp?uflag=8&keyword=" + keyword + logTypeSuffix;
            break;
        case UsageEventKind::BestSearch: path = "/k_app/search_bestform.asp?uflag=9"; break;
        case UsageEventKind::KeywordSearch:
            path = "/k_app/search_certform.asp?uflag=10&keyword=" + keyword + logTypeSuffix;
            break;
        case UsageEventKind::DocumentOpen: path = "/k_app/search_weekform.asp?uflag=12"; break;
        default: path = PageProcessing(AddinUflag(static_cast<int32_t>(kind))); break;
    }
    const std::string programName = ProgramName(program);
    if (!programName.empty()) path += "&program=" + programName;
    path += std::string("&version=") + kAddinVersion + IdentitySuffix(identity);
    return RequestLineSafe(path);
}

void AddinUsageLog(LogSender& sender, UsageEventKind kind, ProgramKind program, const Identity& identity,
                   const AddinLogState& state) {
    std::string target = AddinUsageLogTarget(kind, program, identity, state);
    if (!target.empty()) sender.Send(target, kAddinUserAgent);
}

void PaneUsageLog(LogSender& sender, UsageEventKind kind, ProgramKind program, int32_t logType,
                  const std::string& keyword, const Identity& identity) {
    std::string target = PaneUsageLogTarget(kind, program, logType, keyword, identity);
    if (!target.empty()) sender.Send(target, kPaneUserAgent);
}

}  // namespace kv
