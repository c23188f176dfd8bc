#include "addin/features/service/ServiceConfig.h"

#include "addin/features/service/RequestText.h"

namespace kv {

namespace {

constexpr char kDefaultServiceHost[] = "app.kestrova.com";
constexpr char kDefaultCookieAddress[] = "http://kestrova.com";

}  // namespace

bool ValidPort(int32_t port) {
    return port > 0 && port <= 65535;
}

ServiceConfig DefaultServiceConfig() {
    ServiceConfig config;
    config.serviceHost = kDefaultServiceHost;
    config.port = 80;
    config.cookieAddress = kDefaultCookieAddress;
    return config;
}

ServiceConfig ServiceConfigFrom(const std::string& serviceSetting, const std::string& cookieSetting) {
    ServiceConfig config = DefaultServiceConfig();
    std::string service = WithoutControlBytes(serviceSetting);
    if (!service.empty()) {
        size_t colon = service.find(':');
        std::string host = service.substr(0, colon);
        if (!host.empty()) {
            config.serviceHost = host;
            config.port = 80;
            if (colon != std::string::npos) {
                // Only a plain decimal port is taken; anything else keeps port 80.
                std::string digits = service.substr(colon + 1);
                long port = 0;
                bool ok = !digits.empty() && digits.size() <= 5;
                for (char c : digits) {
                    if (c < '0' || c > '9')
                        ok = false;
                    else
                        port = port * 10 + (c - '0');
                }
                if (ok && ValidPort(static_cast<int32_t>(port))) config.port = static_cast<int32_t>(port);
            }
        }
    }
    if (!cookieSetting.empty()) config.cookieAddress = cookieSetting;
    return config;
}

}  // namespace kv
