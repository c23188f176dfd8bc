#include "addin/features/service/Settings.h"

#include <climits>

#include "platform/Decimal.h"

namespace kv {
namespace {

// Stored values go into a request line as raw bytes; a space or a control byte there would
// split the line or inject a header, so such a value counts as absent.
bool FitsRequestLine(const std::string& text) {
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::string ReadMachineText(SettingsStore& settings, const char* name, size_t capacity) {
    std::string value;
    if (!settings.ReadString(SettingsRoot::Machine, kSettingsKey, name, &value, capacity)) return {};
    if (!FitsRequestLine(value)) return {};
    return value;
}

}  // namespace

std::string InstallReportTarget(const std::string& installId, const std::string& distributionCode) {
    return std::string("/k_app/DataLog.asp?logtype=install&PID=") + installId + "&code=" + distributionCode +
           "&version=" + kAddinVersion;
}

std::string UninstallReportTarget(const std::string& installId) {
    return std::string("/k_app/DataLog.asp?logtype=uninstall&PID=") + installId + "&version=" + kAddinVersion;
}

std::string ReadDistributionCode(SettingsStore& settings) {
    std::string code = ReadMachineText(settings, "code", kDistributionCodeCapacity);
    if (code.empty()) code = kDefaultDistributionCode;
    return code;
}

bool ValidDistributionCode(const std::string& code) {
    if (code.empty() || code.size() + 1 > kDistributionCodeCapacity) return false;
    for (char c : code) {
        const bool letterOrDigit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!letterOrDigit && c != '-' && c != '_') return false;
    }
    return true;
}

bool StoreDistributionCode(SettingsStore& settings, const std::string& code) {
    if (code.empty()) return true;
    return ValidDistributionCode(code) && settings.WriteString(SettingsRoot::Machine, kSettingsKey, "code", code);
}

int32_t RegisterInstallation(SettingsStore& settings, UuidSource& uuids, LogSender& send,
                             const ComRegistrationStep& registerCom) {
    std::string installId;
    if (!uuids.NewUuidText(&installId) || installId.size() + 1 > kInstallIdCapacity) installId.clear();
    // Without a new identifier the stored one is left alone rather than blanked.
    if (!installId.empty()) settings.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", installId);
    const std::string code = ReadDistributionCode(settings);
    settings.WriteNumber(SettingsRoot::Machine, kSettingsKey, "visible", 1);
    send.Send(InstallReportTarget(installId, code), kReportUserAgentLine);
    return registerCom ? registerCom() : 0;
}

int32_t UnregisterInstallation(SettingsStore& settings, LogSender& send, const ComRegistrationStep& unregisterCom) {
    const std::string installId = ReadMachineText(settings, "pid", kUninstallIdCapacity);
    send.Send(UninstallReportTarget(installId), kReportUserAgentLine);
    return unregisterCom ? unregisterCom() : 0;
}

int32_t HostMajorVersionFrom(const std::string& versionText) {
    return ReadDecimal(versionText, DecimalStart::DigitsOnly);
}

LoadedSettings LoadSettings(SettingsStore& settings, const std::string& hostVersionText) {
    LoadedSettings loaded;
    loaded.hostMajorVersion = HostMajorVersionFrom(hostVersionText);
    loaded.identity.installId = ReadMachineText(settings, "pid", kInstallIdCapacity);
    loaded.identity.distributionCode = ReadDistributionCode(settings);
    uint32_t visible = 1;
    if (settings.ReadNumber(SettingsRoot::User, kUserSettingsKey, "visible", &visible)) {
        loaded.identity.paneVisibleAtStart = visible != 0;
    }
    return loaded;
}

ServiceConfig LoadServiceConfig(SettingsStore& settings) {
    // An absent (or unreadable) value reads as empty, which ServiceConfigFrom turns into its default.
    std::string service;
    std::string cookie;
    if (!settings.ReadString(SettingsRoot::Machine, kSettingsKey, "service", &service, kServiceSettingCapacity)) {
        service.clear();
    }
    if (!settings.ReadString(SettingsRoot::Machine, kSettingsKey, "cookie", &cookie, kServiceSettingCapacity)) {
        cookie.clear();
    }
    return ServiceConfigFrom(service, cookie);
}

}  // namespace kv
