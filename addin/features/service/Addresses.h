// Every address the add-in uses on the service, with its query keys. Values are appended as
// they stand (code page 949 bytes, no percent-encoding); reply-reading exchanges later turn
// spaces into "+" when the request target is composed.
#pragma once
#include <cstdint>
#include <string>

#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"

namespace kv {

class Shell;

// The usage log's numbering of the hosts (the search pane has its own, HostKind).
enum class ProgramKind : int32_t { None = 0, Word = 1, Excel = 2, PowerPoint = 3 };
// "doc", "xls", "ppt", or empty for None and any unknown value.
std::string ProgramName(ProgramKind kind);

// Template lists.
std::string WeekSearchPath();
std::string CertSearchPath(const std::string& program, const std::string& keyword);
std::string CertSearchByNamePath(const std::string& program, const std::string& keyword);
std::string FreeSearchPath(const std::string& program, const std::string& keyword);
std::string FreeSearchByNamePath(const std::string& program, const std::string& keyword);
std::string BestSearchPath(const std::string& program);
std::string BannerListPath();

// Login, update.
std::string LoginStatusPath();
std::string LoginPagePath();
std::string LogoutPagePath();
std::string PreviewImagePath(const std::string& imageName);

// One-way reports of registration and removal.
std::string InstallReportPath(const Identity& identity);
std::string UninstallReportPath(const std::string& installId);

// Browser pages. The identity suffix is "&code=" + code + "&PID=" + id.
std::string IdentitySuffix(const Identity& identity);
// The pages PageProcessing.asp opens, by its uflag.
enum ServicePage : int32_t {
    kPageSignUp = 1,
    kPageFindId = 2,
    kPagePremium = 3,
    kPageHome = 4,
    kPageHelp = 5,
};
std::string ServicePagePath(int32_t uflag, const Identity& identity);  // uflag: a ServicePage
std::string MoreResultsPagePath(const std::string& searchText, const Identity& identity);
std::string BannerPagePath(const std::string& bannerUrl, const Identity& identity);
std::string MemberPagePath();
std::string WeekUpdatePagePath();

// "http://" + service host (+ ":" + port when not 80) + path and query: what the browser
// pages and the embedded browser are given.
std::string FullAddress(const ServiceConfig& config, const std::string& pathAndQuery);
// Hands FullAddress(pathAndQuery) to the shell's "open".
void OpenBrowserPage(Shell& shell, const ServiceConfig& config, const std::string& pathAndQuery);

}  // namespace kv
