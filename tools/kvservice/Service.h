// What each address of the substitute service answers. Pure over its inputs (the catalogue,
// the options and one request), so the HTTP plumbing stays in main.cpp and RawFront.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/kvservice/Catalogue.h"

namespace kvservice {

struct ServiceOptions {
    std::string version = "0.9.96.6";  // body of the version file
    std::string newLibrary;            // --newlib; empty: <data>/update/KestrovaSE_new.dll
    bool chunked = false;              // --chunked: every reply chunked unless the request says otherwise
    std::string base;                  // --base: "http://host[:port]" for URLs in replies; empty: from Host
    int port = 80;                     // the port clients reach us on
    // --slow-template SIZE:RATE: every template file is SIZE bytes (its own, then zeros, or cut)
    // sent at RATE bytes a second; 0: as it is, at once.
    size_t slowTemplateSize = 0;
    size_t slowTemplateRate = 0;
    // --drip-lists MS: the lists, the banner and the login status go out a byte every MS ms.
    int dripListMs = 0;
};

struct ServiceRequest {
    std::string method;         // "GET" or "POST"
    std::string target;         // exact bytes of the request target
    std::string host;           // Host header
    std::string cookie;         // Cookie header
    std::string chunkedSwitch;  // X-Kv-Chunked header: "1", "0" or empty
    std::string body;           // form body of a POST
};

struct ServiceReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false;
    // Pacing for a slow service (the front end sends with Content-Length then): bytes a second,
    // or one byte every byteIntervalMs.
    size_t bytesPerSecond = 0;
    int byteIntervalMs = 0;
};

// The cookie that holds a member's login; its value is the member id.
constexpr const char* kLoginCookie = "KVMEMBER";

class Service {
public:
    Service(const Catalogue& catalogue, ServiceOptions options);
    ServiceReply Handle(const ServiceRequest& request) const;

    // "http://host[:port]" that replies use to point back at this service.
    std::string BaseFor(const ServiceRequest& request) const;
    // Login level of the member named by the login cookie, or -1.
    int LoginLevel(const std::string& cookieHeader) const;

private:
    ServiceReply SearchList(const std::string& path, const std::string& query, const ServiceRequest& request) const;
    ServiceReply Login(const std::string& query, const ServiceRequest& request) const;
    ServiceReply FileFrom(const std::string& folder, const std::string& name) const;
    ServiceReply Page(const std::string& title, const std::string& bodyHtml) const;

    const Catalogue& catalogue_;
    ServiceOptions options_;
};

}  // namespace kvservice
