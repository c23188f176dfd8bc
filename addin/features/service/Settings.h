// The installation's identity and settings: what registration writes and reports, what the
// add-in reads when a host connects it, and where the service lives. Everything here runs over
// interfaces (settings store, UUID source, log sender, the COM registration as a callback) so
// that the steps and their order can be checked without Windows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/UsageLog.h"
#include "platform/SettingsStore.h"

namespace kv {

// Buffer sizes of the stored values, terminating NUL included. A stored value that does not
// fit is treated as absent.
constexpr size_t kInstallIdCapacity = 128;
constexpr size_t kUninstallIdCapacity = 129;
constexpr size_t kDistributionCodeCapacity = 16;
constexpr size_t kServiceSettingCapacity = 260;

// The user-agent line of the install and uninstall reports.
constexpr char kReportUserAgentLine[] = "User-Agent: test\r\n";

// Makes a new installation identifier: the braced text of a new UUID in registry format
// (38 characters, upper-case hexadecimal). False when no UUID could be made.
class UuidSource {
public:
    virtual ~UuidSource() = default;
    virtual bool NewUuidText(std::string* text) = 0;
};

// Registers or unregisters the library's COM classes and type library; returns an HRESULT.
using ComRegistrationStep = std::function<int32_t()>;

// The work of DllRegisterServer, in this order: new identifier, "pid" stored under the machine
// key, "code" read (default when absent), "visible" = 1 stored, install report sent, COM
// registration. Only the COM registration's result is returned; the earlier steps fail silently.
int32_t RegisterInstallation(SettingsStore& settings, UuidSource& uuids, LogSender& send,
                             const ComRegistrationStep& registerCom);

// The work of DllUnregisterServer: the stored "pid" (empty when none) goes out in the uninstall
// report, then the COM unregistration runs and its result is returned. The settings key stays.
int32_t UnregisterInstallation(SettingsStore& settings, LogSender& send, const ComRegistrationStep& unregisterCom);

// A distribution code an installer may store: 1 to 15 letters, digits, '-' or '_', so that it
// fits the 16-byte read and goes into a request line as it is.
bool ValidDistributionCode(const std::string& code);

// The installer's step before the registration reads "code": a given code is stored under the
// machine key; an empty one leaves the stored code as it is. False, with nothing stored, for an
// invalid code or a failed write.
bool StoreDistributionCode(SettingsStore& settings, const std::string& code);

struct LoadedSettings {
    int32_t hostMajorVersion = 0;
    Identity identity;  // installId empty when none is stored
};

// What the add-in object reads when a host connects it: the host's major version from its
// Version text, "pid" and "code" from the machine key, "visible" from the user key (the pane
// is hidden at start only when that number is stored and is 0). The start report that follows
// (usage log "exe" with the host's program kind) is sent by the caller that owns the usage log,
// after this returns.
LoadedSettings LoadSettings(SettingsStore& settings, const std::string& hostVersionText);

// The digits before the first non-digit as a decimal number ("16.0" gives 16, "abc" 0);
// saturates instead of overflowing.
int32_t HostMajorVersionFrom(const std::string& versionText);

// "code" under the machine key, or the built-in default when it is absent, empty, too long
// (more than 15 characters) or not text.
std::string ReadDistributionCode(SettingsStore& settings);

// The request targets of the two reports.
std::string InstallReportTarget(const std::string& installId, const std::string& distributionCode);
std::string UninstallReportTarget(const std::string& installId);

// The service every request of the library goes to: the string values "service" (host or
// host:port) and "cookie" under the machine key; built-in defaults when absent.
ServiceConfig LoadServiceConfig(SettingsStore& settings);

}  // namespace kv
