// Where the service lives: the Host line's value, the port requests go to, the cookie address.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

// serviceHost is the Host line's value; port is where requests go (80 unless the "service"
// setting says host:port).
struct ServiceConfig {
    std::string serviceHost;
    int32_t port = 80;
    std::string cookieAddress;  // an http:// address whose cookies go with every request
};

// Built-in defaults, overridden by the "service" and "cookie" string values of the machine
// settings key. serviceSetting is "host" or "host:port".
ServiceConfig DefaultServiceConfig();
ServiceConfig ServiceConfigFrom(const std::string& serviceSetting, const std::string& cookieSetting);

bool ValidPort(int32_t port);

}  // namespace kv
