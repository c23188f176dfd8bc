#include "addin/service/HttpExchange.h"

#include <chrono>
#include <climits>
#include <vector>

#include "platform/CookieSource.h"
#include "platform/Network.h"

namespace kv {

namespace {

constexpr char kDefaultServiceHost[] = "app.kestrova.com";
constexpr char kDefaultCookieAddress[] = "http://kestrova.com";
constexpr size_t kCookieCapacity = 4096;

constexpr size_t kTextBodyLimit = size_t(8) << 20;    // XML lists, status texts
constexpr size_t kFileBodyLimit = size_t(512) << 20;  // templates and the new library
constexpr int kTextDeadlineMs = 30 * 1000;
constexpr int kFileDeadlineMs = 10 * 60 * 1000;

struct SlotInfo {
    ReplySlot slot;
    const char* name;
};
constexpr SlotInfo kSlots[kReplySlotCount] = {
    {ReplySlot::CertSearch, "cert"},
    {ReplySlot::WeekSearch, "week"},
    {ReplySlot::FreeSearch, "free"},
    {ReplySlot::TemplateFile, "template"},
    {ReplySlot::UpdateFile, "update"},
};

bool IsFileSlot(ReplySlot slot) { return slot == ReplySlot::TemplateFile || slot == ReplySlot::UpdateFile; }

// A reply that a file slot may keep: the parser finished it, the status is 2xx, and the body is
// whole (chunked to the last chunk, or exactly as long as announced).
bool IsWholeFile(const HttpParser& reply) {
    if (reply.phase() != Idle || reply.status() < 200 || reply.status() > 299) return false;
    if (reply.chunked()) return true;
    if (reply.contentLength() < 0) return false;
    size_t announced = static_cast<size_t>(reply.contentLength());
    return announced == 0 ? reply.body().empty() : reply.body().size() >= announced;
}

// Control bytes would let a value end the line it stands in; they never belong in a head.
std::string WithoutControlBytes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) out += c;
    }
    return out;
}

bool HasControlBytes(const std::string& text) {
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

// Sends the whole text; a short send is continued rather than ignored.
void SendAll(Socket& socket, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        long n = socket.Send(text.data() + sent, text.size() - sent);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

bool ValidPort(int32_t port) { return port > 0 && port <= 65535; }

}  // namespace

const char* ReplySlotName(ReplySlot slot) {
    for (const SlotInfo& info : kSlots)
        if (info.slot == slot) return info.name;
    return "?";
}

bool ParseReplySlot(const std::string& name, ReplySlot* slot) {
    for (const SlotInfo& info : kSlots) {
        if (name == info.name) {
            *slot = info.slot;
            return true;
        }
    }
    return false;
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
                    if (c < '0' || c > '9') ok = false;
                    else port = port * 10 + (c - '0');
                }
                if (ok && ValidPort(static_cast<int32_t>(port))) config.port = static_cast<int32_t>(port);
            }
        }
    }
    if (!cookieSetting.empty()) config.cookieAddress = cookieSetting;
    return config;
}

ExchangeLimits LimitsFor(ReplySlot slot) {
    ExchangeLimits limits;
    limits.silenceMs = 1000;
    if (IsFileSlot(slot)) {
        limits.deadlineMs = kFileDeadlineMs;
        limits.maxBody = kFileBodyLimit;
    } else {
        limits.deadlineMs = kTextDeadlineMs;
        limits.maxBody = kTextBodyLimit;
    }
    return limits;
}

NetSession::NetSession(Network& net) : net_(net), started_(net.Start()) {}

NetSession::~NetSession() {
    if (started_) net_.Stop();
}

std::string BuildGetRequest(CookieSource& cookies, const std::string& cookieAddress,
                            const std::string& target, const std::string& host) {
    std::string cookie;
    if (!cookies.GetCookie(cookieAddress, &cookie, kCookieCapacity)) cookie.clear();
    cookie = WithoutControlBytes(cookie);

    std::string request;
    request.reserve(128 + target.size() + host.size() + cookie.size());
    request += "GET ";
    request += target.empty() ? std::string("/") : target;
    request += " HTTP/1.1\r\n";
    request += "Host: " + host + "\r\n";
    request += "User-Agent: test\r\n";
    request += "Accept: */*\r\n";
    request += "Accept-Language: ko\r\n";
    request += "Cookie: " + cookie + "\r\n";
    request += "\r\n";
    return request;
}

std::string BuildLogRequest(const std::string& target, const std::string& serviceHost,
                            const std::string& userAgentLine) {
    // Log targets carry values as they stand; a space or a control byte would break the
    // request line, so they get the same treatment as composed addresses.
    const std::string safeTarget = RequestLineSafe(target);

    std::string request;
    request += "GET " + safeTarget + " HTTP/1.1\r\n";
    request += "Host: " + WithoutControlBytes(serviceHost) + "\r\n";
    request += userAgentLine;
    request += "Accept: */*\r\n";
    request += "Accept-Language: ko\r\n";
    request += "Cookie: \r\n";
    request += "\r\n";
    return request;
}

void SendLogRequest(Network& net, const ServiceConfig& config, const std::string& target,
                    const std::string& userAgentLine) {
    NetSession session(net);
    if (!session.started()) return;
    if (config.serviceHost.empty() || HasControlBytes(config.serviceHost) || !ValidPort(config.port)) return;
    uint32_t addr = 0;
    if (!net.Resolve(config.serviceHost, &addr)) return;  // nowhere to go: the event is lost
    std::unique_ptr<Socket> socket = net.CreateSocket();
    if (!socket) return;
    if (!socket->Connect(addr, config.port)) return;
    SendAll(*socket, BuildLogRequest(target, config.serviceHost, userAgentLine));
    // The socket closes here without anything being read.
}

ServiceClient::ServiceClient(Network& net, CookieSource& cookies, ServiceConfig config)
    : net_(net), cookies_(cookies), config_(std::move(config)) {
    for (const SlotInfo& info : kSlots) limits_[static_cast<int>(info.slot)] = LimitsFor(info.slot);
}

ServiceUrl ServiceClient::Address(const std::string& pathAndQuery) const {
    std::string text = "http://" + config_.serviceHost;
    if (config_.port != 80) text += ":" + std::to_string(config_.port);
    return ServiceUrl::Parse(text + pathAndQuery);
}

bool ServiceClient::HttpExchange(ReplySlot slot, const ServiceUrl& url) {
    const int index = static_cast<int>(slot);
    if (index < 0 || index >= kReplySlotCount) return false;
    HttpParser& reply = slots_[index];
    const ExchangeLimits limits = limits_[index];
    const bool fileSlot = IsFileSlot(slot);
    reply.reset();

    if (url.host.empty() || HasControlBytes(url.host) || !ValidPort(url.port)) return false;

    // A name that does not resolve leaves no cache entry and no connection attempt.
    auto cached = cache_.find(url.host);
    uint32_t addr = 0;
    if (cached != cache_.end()) {
        addr = cached->second;
    } else {
        if (!net_.Resolve(url.host, &addr)) return false;
        cache_.emplace(url.host, addr);
    }

    std::unique_ptr<Socket> socket = net_.CreateSocket();
    if (!socket) return false;
    if (!socket->Connect(addr, url.port)) return false;

    SendAll(*socket, BuildGetRequest(cookies_, config_.cookieAddress, url.compose(ServiceUrl::RequestTarget), url.host));

    // Receive loop: each wait is bounded by the silence limit, the whole exchange by the
    // deadline, so a server that drips bytes cannot hold the caller forever.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.deadlineMs);
    std::vector<char> buffer;
    for (;;) {
        long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        int wait = left < limits.silenceMs ? static_cast<int>(left) : limits.silenceMs;
        if (socket->WaitReadable(wait) <= 0) return false;

        long available = socket->Available();
        if (available <= 0) {
            // The peer has closed: a text reply stands as read, a file only when it is whole
            // (a whole one has already returned below).
            return fileSlot ? IsWholeFile(reply) : true;
        }
        buffer.resize(static_cast<size_t>(available));
        long got = socket->Receive(buffer.data(), buffer.size());
        if (got <= 0) return fileSlot ? IsWholeFile(reply) : true;

        reply.feed(buffer.data(), static_cast<size_t>(got));
        if (reply.malformed()) return false;
        if (reply.body().size() > limits.maxBody) return false;
        if (reply.contentLength() > 0 && static_cast<size_t>(reply.contentLength()) > limits.maxBody) return false;
        if (reply.phase() == Idle) return fileSlot ? IsWholeFile(reply) : true;
    }
}

}  // namespace kv
