#include "addin/features/webview/PageFetch.h"

#include <chrono>
#include <memory>

#include "addin/features/service/HttpParser.h"
#include "addin/features/service/RequestText.h"
#include "addin/features/webview/PageUrl.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"

namespace kv {

namespace {
constexpr size_t kCookieCapacity = 4096;
}

std::string BuildPageRequest(const PageRequest& request, const std::string& authority, const std::string& target,
                             const std::string& cookie) {
    const bool post = request.method == "POST";
    std::string text = (post ? "POST " : "GET ") + target + " HTTP/1.1\r\n";
    text += "Host: " + authority + "\r\n";
    text += "User-Agent: test\r\n";
    text += "Accept: */*\r\n";
    text += "Accept-Language: ko\r\n";
    text += "Cookie: " + WithoutControlBytes(cookie) + "\r\n";
    if (post) {
        text += "Content-Type: application/x-www-form-urlencoded\r\n";
        text += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
    }
    text += "Connection: close\r\n\r\n";
    if (post) text += request.body;
    return text;
}

SocketPageFetcher::SocketPageFetcher(Network& net, CookieSource& cookies, std::string cookieAddress,
                                     PageFetchLimits limits)
    : net_(net), cookies_(cookies), cookieAddress_(std::move(cookieAddress)), limits_(limits) {}

bool SocketPageFetcher::Fetch(const PageRequest& request, PageReply* reply) {
    *reply = PageReply();
    PageUrl url;
    if (!PageUrl::Parse(request.url, &url)) return false;
    if (request.method != "GET" && request.method != "POST") return false;
    const std::string cookieUrl = cookieAddress_.empty() ? url.Text() : cookieAddress_;

    if (!net_.Start()) return false;
    struct Stop {
        Network& n;
        ~Stop() { n.Stop(); }
    } stop{net_};

    uint32_t addr = 0;
    if (!net_.Resolve(url.host, &addr)) return false;
    std::unique_ptr<Socket> socket = net_.CreateSocket();
    if (!socket || !socket->Connect(addr, url.port, limits_.connectMs)) return false;

    std::string cookie;
    if (!cookies_.GetCookie(cookieUrl, &cookie, kCookieCapacity)) cookie.clear();
    SendRequestText(*socket, BuildPageRequest(request, url.Authority(), url.target, cookie));

    HttpParser parser;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.deadlineMs);
    std::vector<char> buffer;
    bool whole = false;
    for (;;) {
        long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        if (socket->WaitReadable(left < limits_.silenceMs ? static_cast<int>(left) : limits_.silenceMs) <= 0)
            return false;
        long available = socket->Available();
        if (available <= 0) break;  // closed by the peer
        if (static_cast<size_t>(available) > limits_.maxBody) available = static_cast<long>(limits_.maxBody);
        buffer.resize(static_cast<size_t>(available));
        long got = socket->Receive(buffer.data(), buffer.size());
        if (got <= 0) break;
        parser.feed(buffer.data(), static_cast<size_t>(got));
        if (parser.malformed() || parser.body().size() > limits_.maxBody) return false;
        if (parser.phase() == Idle) {
            whole = true;
            break;
        }
    }
    // A reply cut off before its head ended is no reply; a body cut short by a close stands,
    // as a browser shows what it got.
    if (!whole && (parser.status() == 0 || parser.phase() == Headers)) return false;
    if (parser.status() == 0) return false;

    reply->status = static_cast<int>(parser.status());
    reply->location = parser.location();
    reply->cookies = parser.cookies();
    reply->body = parser.body();
    for (const std::string& setCookie : reply->cookies) cookies_.SetCookie(cookieUrl, setCookie);
    return true;
}

}  // namespace kv
