// One HTTP request of the built-in form browser (GET, or POST with a form body) and its reply.
// The socket implementation speaks through the service client's socket layer and reply parser,
// sends the cookies that the socket client sends, and stores every Set-Cookie of a reply in
// that same cookie source, so the member login made in a page reaches the pane's requests.
#pragma once
#include <string>
#include <vector>

namespace kv {

class CookieSource;
class Network;

struct PageRequest {
    std::string method = "GET";  // "GET" or "POST"
    std::string url;             // absolute http:// address
    std::string body;            // POST only, application/x-www-form-urlencoded
};

struct PageReply {
    int status = 0;
    std::string location;
    std::vector<std::string> cookies;  // Set-Cookie values
    std::string body;
};

class PageFetcher {
public:
    virtual ~PageFetcher() = default;
    // False when no complete reply came (no connection, silence, a bound passed, bad address).
    virtual bool Fetch(const PageRequest& request, PageReply* reply) = 0;
};

struct PageFetchLimits {
    int connectMs = 3000;
    int silenceMs = 2000;
    int deadlineMs = 15000;
    size_t maxBody = 8 * 1024 * 1024;
};

class SocketPageFetcher : public PageFetcher {
public:
    // cookieAddress: where the socket client reads its cookies (the cookie address of the
    // service configuration); empty means the page's own address.
    SocketPageFetcher(Network& net, CookieSource& cookies, std::string cookieAddress,
                      PageFetchLimits limits = PageFetchLimits());
    bool Fetch(const PageRequest& request, PageReply* reply) override;

private:
    Network& net_;
    CookieSource& cookies_;
    std::string cookieAddress_;
    PageFetchLimits limits_;
};

// The request head and body as the form browser sends them.
std::string BuildPageRequest(const PageRequest& request, const std::string& authority, const std::string& target,
                             const std::string& cookie);

}  // namespace kv
