#include "addin/features/service/Addresses.h"

#include "platform/Shell.h"

namespace kv {

std::string ProgramName(ProgramKind kind) {
    switch (kind) {
        case ProgramKind::Word: return "doc";
        case ProgramKind::Excel: return "xls";
        case ProgramKind::PowerPoint: return "ppt";
        default: return "";
    }
}

std::string WeekSearchPath() {
    return "/k_app/search_weekform.asp";
}

std::string CertSearchPath(const std::string& program, const std::string& keyword) {
    return "/k_app/search_certform.asp?ext=" + program + "&keyword=" + keyword;
}

std::string CertSearchByNamePath(const std::string& program, const std::string& keyword) {
    return "/k_app/search_certform.asp?ext=" + program + "&logtype=cfilename&keyword=" + keyword;
}

std::string FreeSearchPath(const std::string& program, const std::string& keyword) {
    return "/k_app/search_freeform.asp?ext=" + program + "&keyword=" + keyword;
}

std::string FreeSearchByNamePath(const std::string& program, const std::string& keyword) {
    return "/k_app/search_freeform.asp?ext=" + program + "&logtype=cfilename&keyword=" + keyword;
}

std::string BestSearchPath(const std::string& program) {
    return "/k_app/search_bestform.asp?ext=" + program;
}

std::string BannerListPath() {
    return "/k_app/banner_list.asp";
}
std::string LoginStatusPath() {
    return "/k_app/login_status.asp";
}
std::string LoginPagePath() {
    return "/k_app/login.asp";
}
std::string LogoutPagePath() {
    return "/k_app/logout.asp";
}

std::string PreviewImagePath(const std::string& imageName) {
    return "/k_app/preview_image.asp?image=" + imageName;
}

std::string InstallReportPath(const Identity& identity) {
    return "/k_app/DataLog.asp?logtype=install&PID=" + identity.installId + "&code=" + identity.distributionCode +
           "&version=" + kAddinVersion;
}

std::string UninstallReportPath(const std::string& installId) {
    return "/k_app/DataLog.asp?logtype=uninstall&PID=" + installId + "&version=" + kAddinVersion;
}

std::string IdentitySuffix(const Identity& identity) {
    return "&code=" + identity.distributionCode + "&PID=" + identity.installId;
}

std::string ServicePagePath(int32_t uflag, const Identity& identity) {
    return "/k_app/PageProcessing.asp?uflag=" + std::to_string(uflag) + IdentitySuffix(identity);
}

std::string MoreResultsPagePath(const std::string& searchText, const Identity& identity) {
    return "/k_app/PageProcessing.asp?uflag=7&keyword=" + searchText + IdentitySuffix(identity);
}

std::string BannerPagePath(const std::string& bannerUrl, const Identity& identity) {
    return "/k_app/PageProcessing.asp?uflag=11&url=" + bannerUrl + IdentitySuffix(identity);
}

std::string MemberPagePath() {
    return "/member/register_change_mypage_pay.asp";
}
std::string WeekUpdatePagePath() {
    return "/weekupdate/pindex.asp";
}

std::string FullAddress(const ServiceConfig& config, const std::string& pathAndQuery) {
    std::string address = "http://" + config.serviceHost;
    if (config.port != 80) address += ":" + std::to_string(config.port);
    return address + pathAndQuery;
}

void OpenBrowserPage(Shell& shell, const ServiceConfig& config, const std::string& pathAndQuery) {
    shell.Open(FullAddress(config, pathAndQuery));
}

}  // namespace kv
